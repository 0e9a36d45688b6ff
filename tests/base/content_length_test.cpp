#include "content_length.h"

#include <gtest/gtest.h>

TEST(ContentLength, StrictDecimalWithinCap) {
    struct {
        const char* text;
        int ok;
        uint32_t value;
    } rows[] = {
        {"0", 1, 0},          {"999", 1, 999},     {"0001", 1, 1},       {"1000", 1, 1000},
        {"1001", 0, 0},       {"", 0, 0},            {"-1", 0, 0},         {"+5", 0, 0},
        {" 5", 0, 0},         {"5 ", 0, 0},          {"12a", 0, 0},        {"0x10", 0, 0},
        {"4294967295", 0, 0}, {"4294967296", 0, 0},  {"99999999999", 0, 0}, {"1e3", 0, 0},
        {"000000000001", 1, 1}, {"00000000000000000000999", 1, 999}, {"00000000001001", 0, 0},
        {nullptr, 0, 0},
    };
    for (auto& r : rows) {
        uint32_t v = 777;
        EXPECT_EQ(ParseContentLength(r.text, 1000, &v), r.ok) << (r.text ? r.text : "(null)");
        if (r.ok) {
            EXPECT_EQ(v, r.value);
        }
    }
    uint32_t v;
    EXPECT_EQ(ParseContentLength("4294967295", 0xFFFFFFFFu, &v), 1);
    EXPECT_EQ(v, 4294967295u);
}
