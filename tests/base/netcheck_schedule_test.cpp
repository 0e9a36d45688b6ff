#include "netcheck_schedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
    int result;        // probe result fed in
    int changed;       // reported?
    unsigned period;   // timer period afterwards
    int rearm;         // timer set again?
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

// Probe results in sequence, from a fresh check (first probe after 5 s).
const Case kCases[] = {
    // Offline from the start: never reported, but the 5 s timer becomes 15 s at
    // once (the next probe is 15 s after the first, not another 5 s or 20 s).
    {"stays offline", {{0, 0, 15000, 1}, {0, 0, 15000, 0}, {0, 0, 15000, 0}}},
    {"online at the first probe", {{1, 1, 150000, 1}, {1, 0, 150000, 0}, {1, 0, 150000, 0}}},
    {"online, offline, online",
     {{0, 0, 15000, 1}, {1, 1, 150000, 1}, {0, 1, 15000, 1}, {0, 0, 15000, 0}, {1, 1, 150000, 1}}},
    // Anything but 1 counts as offline.
    {"odd results", {{2, 0, 15000, 1}, {-1, 0, 15000, 0}, {1, 1, 150000, 1}, {7, 1, 15000, 1}}},
};

TEST(NetcheckSchedule, ProbeSequences) {
    for (const Case& c : kCases) {
        NetcheckSchedule s;
        StartNetcheckSchedule(&s, kNetcheckIntervals);
        EXPECT_EQ(s.periodMs, 5000u) << c.name;
        EXPECT_EQ(s.status, 0) << c.name;
        int i = 0;
        for (const Step& step : c.steps) {
            int rearm = -1;
            int changed = NetcheckProbeDone(&s, step.result, &rearm);
            EXPECT_EQ(changed, step.changed) << c.name << " step " << i;
            EXPECT_EQ(rearm, step.rearm) << c.name << " step " << i;
            EXPECT_EQ(s.periodMs, step.period) << c.name << " step " << i;
            ++i;
        }
    }
}

TEST(NetcheckSchedule, EqualIntervalsNeedNoRearm) {
    NetcheckSchedule s;
    StartNetcheckSchedule(&s, {300, 300, 900});
    int rearm = -1;
    EXPECT_EQ(NetcheckProbeDone(&s, 0, &rearm), 0);
    EXPECT_EQ(rearm, 0);
    EXPECT_EQ(NetcheckProbeDone(&s, 1, &rearm), 1);
    EXPECT_EQ(rearm, 1);
    EXPECT_EQ(s.periodMs, 900u);
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
