// Texts of the updater that need no Windows: version texts ("%u.%u.%u.%u") and
// their packing, the "404" page test and the local file name of a package URL. Portable: no windows.h.
#ifndef ZORVET_UPDATE_TEXT_H
#define ZORVET_UPDATE_TEXT_H

#include <stddef.h>
#include <stdint.h>

#include "utils.h"  // IsGbkLeadByte, IsGbkTrailByte

// Reads "%u.%u.%u.%u"; numbers that are missing stay 0. Returns how many were read.
int ParseVersionText(const char* text, unsigned numbers[4]);
// Fields of 4, 8, 4 and 16 bits (major, minor, third, build); each number masked.
uint32_t PackVersionText(const char* text);
// "%u.%u.%u.%u" of a packed version; buffer of at least 24 bytes.
void FormatUpdaterVersion(uint32_t version, char* buffer, size_t size);
// 1 when `offered` is newer than `current`, -1 when older, 0 when equal: the
// numbers are compared as unsigned values from the first to the fourth.
int CompareVersionTexts(const char* current, const char* offered);

// 1 when the body holds "<title>HTTP 404" or "<title>404" after its first byte.
int IsNotFoundPage(const char* body, size_t length);

// The name part of a URL: after the last '/', cut before the last '?' when that
// is not its first character. Then made safe for a folder of our own: a name
// that names a path (with '\\' or ':' in it) keeps only what follows the last
// of them; GBK double-byte characters are kept whole. Returns 0 and an empty
// text when nothing safe is left: an empty name, "." or "..", a name of dots and
// blanks only, one with control characters or <>"|*?, a device name (CON, NUL,
// COM1, ...), or one that does not fit `size`.
int SafeUrlFileName(const char* url, char* out, size_t size);

// 1 when the first `length` bytes of name name a device (CON, NUL, COM1, ...):
// the part before the first dot, without blanks at its end, whatever the case.
int IsDeviceName(const char* name, size_t length);


#endif
