#include "netcheck_schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// What a check does with a run of probe results: when each probe runs (ms from
// the start) and which statuses it reports.
struct Played {
    std::vector<unsigned> at;
    std::vector<int> reported;
};

// The schedule's decisions played on a periodic timer the way the check's
// thread does: each tick of the timer probes; a re-arm starts the period anew
// from that moment. Probes take no time here.
Played Play(const NetcheckIntervals& intervals, const std::vector<int>& results) {
    NetcheckSchedule s;
    StartNetcheckSchedule(&s, intervals);
    Played out;
    unsigned next = s.periodMs;
    for (int result : results) {
        unsigned now = next;
        next = now + s.periodMs;
        if (NetcheckTimerTick(&s)) next = now + s.periodMs;
        out.at.push_back(now);
        if (NetcheckProbeDone(&s, result)) {
            out.reported.push_back(s.status);
            next = now + s.periodMs;
        }
    }
    return out;
}

struct Case {
    const char* name;
    NetcheckIntervals intervals;
    std::vector<int> results;
    std::vector<unsigned> at;
    std::vector<int> reported;
};

const Case kCases[] = {
    // Offline from the start: never reported. The first period spaces the
    // first two probes (5 s and 10 s); the second tick sets 15 s.
    {"stays offline", kNetcheckIntervals, {0, 0, 0, 0}, {5000, 10000, 25000, 40000}, {}},
    // A change sets the new status's period at once; the second tick then
    // sets it again (150 s on from there).
    {"online at the first probe", kNetcheckIntervals, {1, 1, 1}, {5000, 155000, 305000}, {1}},
    {"online at the second probe", kNetcheckIntervals, {0, 1, 1}, {5000, 10000, 160000}, {1}},
    {"online, offline, online", kNetcheckIntervals, {1, 0, 0, 1, 1}, {5000, 155000, 170000, 185000, 335000},
     {1, 0, 1}},
    // Anything but 1 counts as offline.
    {"odd results", kNetcheckIntervals, {2, -1, 1, 7}, {5000, 10000, 25000, 175000}, {1, 0}},
    {"equal first and offline periods", {300, 300, 900}, {0, 1, 1, 0}, {300, 600, 1500, 2400}, {1, 0}},
};

TEST(NetcheckSchedule, ProbeTimesAndReports) {
    for (const Case& c : kCases) {
        Played p = Play(c.intervals, c.results);
        EXPECT_EQ(p.at, c.at) << c.name;
        EXPECT_EQ(p.reported, c.reported) << c.name;
    }
}

TEST(NetcheckSchedule, ReplySizes) {
    const struct {
        long size;
        int online;
    } cases[] = {{-1, 0}, {0, 0}, {1, 1}, {9, 1}, {10, 1}, {11, 0}, {1000, 0}, {65507, 0}};
    for (const auto& c : cases) EXPECT_EQ(IsNetcheckReply(c.size), c.online) << c.size;
}

TEST(NetcheckSchedule, TestIntervalText) {
    NetcheckIntervals iv = {1, 2, 3};
    EXPECT_TRUE(ParseNetcheckIntervals("300,1500,3000", &iv));
    EXPECT_EQ(iv.firstMs, 300u);
    EXPECT_EQ(iv.offlineMs, 1500u);
    EXPECT_EQ(iv.onlineMs, 3000u);
    EXPECT_TRUE(ParseNetcheckIntervals("1,1,3600000", &iv));
    EXPECT_EQ(iv.onlineMs, 3600000u);
    const char* bad[] = {nullptr, "", "300", "300,1500", "300,1500,", ",1500,3000", "300,,3000",
                         "300,1500,3000,1", "0,1500,3000", "300,1500,3600001", "300, 1500,3000",
                         "-1,1500,3000", "300,1500,3000x", "99999999999999999999,1,1"};
    for (const char* text : bad) {
        NetcheckIntervals keep = {7, 8, 9};
        EXPECT_FALSE(ParseNetcheckIntervals(text, &keep)) << (text ? text : "(null)");
        EXPECT_EQ(keep.firstMs, 7u);
        EXPECT_EQ(keep.offlineMs, 8u);
        EXPECT_EQ(keep.onlineMs, 9u);
    }
}

}  // namespace
