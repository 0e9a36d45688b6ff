#include "netcheck_schedule.h"

namespace {

unsigned PeriodFor(const NetcheckIntervals& iv, int status) {
    return status == 1 ? iv.onlineMs : iv.offlineMs;
}

// One decimal number of 1..3600000 at *p, moving *p past it.
bool ParseMs(const char** p, unsigned* out) {
    const char* s = *p;
    unsigned long v = 0;
    int digits = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + static_cast<unsigned>(*s - '0');
        if (v > 3600000UL) return false;
        ++s;
        ++digits;
    }
    if (digits == 0 || v == 0) return false;
    *out = static_cast<unsigned>(v);
    *p = s;
    return true;
}

}  // namespace

void StartNetcheckSchedule(NetcheckSchedule* s, const NetcheckIntervals& intervals) {
    s->intervals = intervals;
    s->periodMs = intervals.firstMs;
    s->status = 0;
    s->ticks = 0;
}

int NetcheckTimerTick(NetcheckSchedule* s) {
    if (s->ticks >= 2) return 0;
    if (++s->ticks < 2) return 0;
    s->periodMs = PeriodFor(s->intervals, s->status);
    return 1;
}

int NetcheckProbeDone(NetcheckSchedule* s, int result) {
    int status = result == 1 ? 1 : 0;
    if (status == s->status) return 0;
    s->status = status;
    s->periodMs = PeriodFor(s->intervals, status);
    return 1;
}

int IsNetcheckReply(long size) {
    return size >= 1 && size <= 10;
}

bool ParseNetcheckIntervals(const char* text, NetcheckIntervals* out) {
    if (!text) return false;
    unsigned v[3];
    const char* p = text;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && *p++ != ',') return false;
        if (!ParseMs(&p, &v[i])) return false;
    }
    if (*p) return false;
    *out = {v[0], v[1], v[2]};
    return true;
}
