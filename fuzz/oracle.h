// The fuzz targets' own reading of what is safe, written apart from the code
// under test so that a fault there cannot hide in the check as well.
#ifndef ZORVET_FUZZ_ORACLE_H
#define ZORVET_FUZZ_ORACLE_H

#include <strings.h>

#include <string>

namespace oracle {

// A violated property stops the run with the input that broke it.
inline void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// GBK (code page 936) lead and trail bytes.
inline bool IsLead(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
inline bool IsTrail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE); }

// CON, NUL, COM1 ... as the stem of a name (before its first dot, blanks dropped at its end).
inline bool NamesDevice(const std::string& name) {
    static const char* const kDevices[] = {"CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "CLOCK$",
                                           "COM0", "COM1", "COM2", "COM3", "COM4",   "COM5",    "COM6",
                                           "COM7", "COM8", "COM9", "LPT0", "LPT1",   "LPT2",    "LPT3",
                                           "LPT4", "LPT5", "LPT6", "LPT7", "LPT8",   "LPT9"};
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (const char* d : kDevices)
        if (strcasecmp(stem.c_str(), d) == 0) return true;
    return false;
}

}  // namespace oracle

#endif
