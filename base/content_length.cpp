#include "content_length.h"

int ParseContentLength(const char* text, uint32_t cap, uint32_t* out) {
    if (!text || !*text) return 0;
    uint64_t v = 0;  // at most 10 * cap + 9 before the test: no overflow
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        v = v * 10 + (uint64_t)(*p - '0');
        if (v > cap) return 0;
    }
    *out = (uint32_t)v;
    return 1;
}
