// Decisions of the client's network check that need no socket or window: when
// the next probe runs, and which reply counts as the network being up.
// Portable (no windows.h) so they are also tested natively.
#ifndef ZORVET_NETCHECK_SCHEDULE_H
#define ZORVET_NETCHECK_SCHEDULE_H

struct NetcheckIntervals {
    unsigned firstMs;    // from the start of the check to its first probe
    unsigned offlineMs;  // between probes while offline
    unsigned onlineMs;   // between probes while online
};
constexpr NetcheckIntervals kNetcheckIntervals = {5000, 15000, 150000};

// The probe timer of one check: its current period, the last result and how
// many of its timer's ticks have come so far.
struct NetcheckSchedule {
    NetcheckIntervals intervals;
    unsigned periodMs;  // period of the running timer
    int status;         // last result: 1 online, 0 offline
    int ticks;          // ticks of the check's timer seen so far (counting stops at 2)
};

// A new check: offline, first probe after intervals.firstMs.
void StartNetcheckSchedule(NetcheckSchedule* s, const NetcheckIntervals& intervals);
// A tick of the check's timer, before its probe runs: returns 1 when the timer
// must be set again now with s->periodMs. That is at the second tick, which
// still probes: the first period spaces the first two probes, then the period
// of the current status takes over.
int NetcheckTimerTick(NetcheckSchedule* s);
// After a probe that gave result (1 online, anything else offline): returns 1
// when the status changed. Then it is to be reported and the timer set again
// with s->periodMs, the period of the new status.
int NetcheckProbeDone(NetcheckSchedule* s, int result);

// The redirect server answers a probe with 1 to 10 bytes; any other size (or a
// receive error, passed as a negative size) is no answer.
int IsNetcheckReply(long size);

// Test builds only: "first,offline,online" in milliseconds, each 1 to 3600000,
// nothing else in the text. Returns false (out untouched) on anything else.
bool ParseNetcheckIntervals(const char* text, NetcheckIntervals* out);

#endif
