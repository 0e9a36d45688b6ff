/* Version numbers of the deliverables; included by code and by the .rc files. */
#ifndef ZORVET_VERSION_H
#define ZORVET_VERSION_H

/* PackedVersion: major 4 bits, minor 8, third 4, build 16. */
#define ZORVET_PACK_VERSION(a, b, c, d) \
    ((((a) & 0xFu) << 28) | (((b) & 0xFFu) << 20) | (((c) & 0xFu) << 16) | ((d) & 0xFFFFu))

/* Client program ovik_acc: 1.7.3.0139 */
#define OVIK_VERSION_MAJOR 1
#define OVIK_VERSION_MINOR 7
#define OVIK_VERSION_THIRD 3
#define OVIK_VERSION_BUILD 139
#define OVIK_VERSION_TEXT "1.7.3.0139"
#define OVIK_PACKED_VERSION 0x1073008Bu

/* Core library Zorvet_Core: 1.7.1.0587 */
#define CORE_VERSION_MAJOR 1
#define CORE_VERSION_MINOR 7
#define CORE_VERSION_THIRD 1
#define CORE_VERSION_BUILD 587
#define CORE_VERSION_TEXT "1.7.1.0587"
#define CORE_PACKED_VERSION 0x1071024Bu

#define OVIK_PARTNER_ID 119
#define OVIK_REGNAME "OVIK"

#endif
