// What the benchmarks share: a clock, an exact socket read and Nagle off.
#ifndef ZORVET_BENCH_UTIL_H
#define ZORVET_BENCH_UTIL_H

#include <winsock2.h>
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

// Seconds on the performance counter.
inline double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return (double)c.QuadPart / (double)f.QuadPart;
}

// Blocks until n bytes have come; false when the peer closes or the read fails.
inline bool ReadExact(SOCKET s, uint8_t* p, size_t n) {
    while (n > 0) {
        int got = recv(s, (char*)p, (int)n, 0);
        if (got <= 0) return false;
        p += got;
        n -= (size_t)got;
    }
    return true;
}

// Sends each request at once: small requests are not held back to be joined.
inline void NoDelay(SOCKET s) {
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&on, sizeof on);
}

#endif
