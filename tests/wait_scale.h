// The lane's factor for the test programs' waits (ZORVET_TIME_SCALE, set by
// scripts/lane.sh): 1 where Wine runs natively, more in the emulated machine,
// whose processor is several times slower. Only how long a test waits for
// something to happen scales; what it checks does not.
#pragma once
#include <windows.h>
#include <stdlib.h>

inline DWORD ScaledMs(DWORD ms) {
    static const DWORD scale = [] {
        char text[16];
        DWORD n = GetEnvironmentVariableA("ZORVET_TIME_SCALE", text, sizeof text);
        long v = n > 0 && n < sizeof text ? strtol(text, nullptr, 10) : 1;
        return v >= 1 && v <= 100 ? (DWORD)v : 1u;
    }();
    return ms * scale;
}
