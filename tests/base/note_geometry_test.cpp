#include "note_geometry.h"

#include <gtest/gtest.h>

#include <string>

using namespace note;

TEST(NoteGeometry, DirectionAndPositions) {
    // 256 x 160 popup, margins 12 and 17 (SM_CXEDGE 2 + 10, SM_CYEDGE 2 + 15).
    const int w = 256, h = 160, mx = 12, my = 17;
    struct {
        const char* name;
        Rect work;
        int sw, sh;
        Direction dir;
        int startX, startY, restX, restY, distance;
    } rows[] = {
        {"bottom taskbar", {0, 0, 1024, 738}, 1024, 768, FROM_BOTTOM, 756, 738, 756, 561, 177},
        {"no taskbar", {0, 0, 1024, 768}, 1024, 768, FROM_BOTTOM, 756, 768, 756, 591, 177},
        {"top taskbar", {0, 30, 1024, 768}, 1024, 768, FROM_TOP, 756, -147, 756, 30, 177},
        {"right taskbar", {0, 0, 960, 768}, 1024, 768, FROM_RIGHT, 960, 591, 692, 591, 268},
        {"left taskbar", {64, 0, 1024, 768}, 1024, 768, FROM_LEFT, -204, 591, 64, 591, 268},
        // Both narrower and shorter: the horizontal rule wins.
        {"narrower and shorter", {0, 30, 960, 768}, 1024, 768, FROM_RIGHT, 960, 591, 692, 591, 268},
        {"narrower, shorter, left", {64, 30, 1024, 768}, 1024, 768, FROM_LEFT, -204, 591, 64, 591, 268},
    };
    for (auto& r : rows) {
        SlidePath p = ComputeSlidePath(r.work, r.sw, r.sh, w, h, mx, my);
        EXPECT_EQ(p.direction, r.dir) << r.name;
        EXPECT_EQ(p.startX, r.startX) << r.name;
        EXPECT_EQ(p.startY, r.startY) << r.name;
        EXPECT_EQ(p.restX, r.restX) << r.name;
        EXPECT_EQ(p.restY, r.restY) << r.name;
        EXPECT_EQ(p.distance, r.distance) << r.name;
    }
}

TEST(NoteGeometry, SlideSteps) {
    struct {
        const char* name;
        int distance;
        uint32_t show, hide;
        int step;
        int wantStep, wantSteps;
        uint32_t showStep, hideStep;
    } rows[] = {
        // 177 one-pixel steps at 2 ms would tick slower than asked: coarser steps.
        {"text note", 177, 500, 500, 1, 6, 31, 16, 16},
        {"slow slide keeps 1 px", 100, 5000, 5000, 1, 1, 100, 50, 50},
        {"show 0 jumps", 177, 0, 500, 1, 177, 1, 0, 500},
        {"negative step", 50, 1000, 1000, -3, 1, 50, 20, 20},
        {"zero step", 50, 1000, 1000, 0, 1, 50, 20, 20},
        {"step above distance", 50, 1000, 1000, 80, 50, 1, 1000, 1000},
        {"tiny show time", 177, 5, 5, 1, 177, 1, 5, 5},
        {"zero distance", 0, 500, 500, 1, 1, 1, 500, 500},
    };
    for (auto& r : rows) {
        SlideSteps s = ComputeSlideSteps(r.distance, r.show, r.hide, r.step);
        EXPECT_EQ(s.step, r.wantStep) << r.name;
        EXPECT_EQ(s.steps, r.wantSteps) << r.name;
        EXPECT_EQ(s.showStepMs, r.showStep) << r.name;
        EXPECT_EQ(s.hideStepMs, r.hideStep) << r.name;
        EXPECT_GE(s.step, 1) << r.name;
        EXPECT_GE((long long)s.step * s.steps, r.distance) << r.name;  // the slide gets there
    }
}

TEST(NoteGeometry, OverlayRect) {
    struct {
        int picW, x, y, w, h;
        Rect want;
    } rows[] = {
        {256, -1, -1, 15, 15, {233, 5, 248, 20}},
        {100, -1, 7, 15, 15, {77, 7, 92, 22}},
        {100, 3, -1, 10, 12, {3, 5, 13, 17}},
        {100, 0, 0, 15, 15, {0, 0, 15, 15}},
    };
    for (auto& r : rows) {
        Rect got = OverlayRect(r.picW, r.x, r.y, r.w, r.h);
        EXPECT_EQ(got.left, r.want.left);
        EXPECT_EQ(got.top, r.want.top);
        EXPECT_EQ(got.right, r.want.right);
        EXPECT_EQ(got.bottom, r.want.bottom);
    }
}

TEST(NoteGeometry, ClickUrl) {
    struct {
        const char* url;
        uint32_t reg;
        const char* want;
    } rows[] = {
        {"example.test/a", 7, "http://example.test/a?reg=7"},
        {"example.test/a?b=1", 7, "http://example.test/a?b=1&reg=7"},
        {"http://x.test/", 0, "http://x.test/?reg=0"},
        {"https://x.test/", 4294967295u, "https://x.test/?reg=4294967295"},
        {"abcde://x", 1, "abcde://x?reg=1"},          // "://" at index 5: no prefix
        {"abcdef://x", 1, "http://abcdef://x?reg=1"},  // index 6: prefixed
        {"://x", 2, "://x?reg=2"},                     // index 0
        {"file://c:/a", 3, "file://c:/a?reg=3"},
        {"", 9, ""},
        {nullptr, 9, ""},
    };
    for (auto& r : rows) EXPECT_EQ(BuildClickUrl(r.url, r.reg), r.want) << (r.url ? r.url : "(null)");
    std::string longUrl(3000, 'a');
    EXPECT_EQ(BuildClickUrl(longUrl.c_str(), 1).size(), 7 + 3000 + 6u);
}

TEST(NoteGeometry, ImageAddress) {
    char out[32];
    struct {
        const char* text;
        int ok;
        const char* want;
    } rows[] = {
        {"127.0.0.1/a.gif", 1, "http://127.0.0.1/a.gif"},
        {"http://127.0.0.1/a", 1, "http://127.0.0.1/a"},
        {"abcdef://q", 1, "http://abcdef://q"},
        {"0123456789012345678901234", 0, ""},   // 7 + 25 = 32 characters: no room for the NUL
        {"012345678901234567890123", 1, "http://012345678901234567890123"},  // 31
        {"http://0123456789012345678901234", 0, ""},
        {nullptr, 0, ""},
    };
    for (auto& r : rows) {
        EXPECT_EQ(BuildImageAddress(r.text, out, sizeof out), r.ok) << (r.text ? r.text : "(null)");
        EXPECT_STREQ(out, r.want);
    }
}

TEST(NoteGeometry, WebAddresses) {
    struct {
        const char* url;
        bool ok;
    } rows[] = {
        {"http://a/", true},  {"HTTPS://a/", true}, {"Http://a", true},  {"file://c:/x", false},
        {"ftp://a/", false},  {"httpx://a", false}, {"http:/a", false},  {"", false},
        {nullptr, false},     {"javascript:alert(1)", false},
    };
    for (auto& r : rows) EXPECT_EQ(IsWebAddress(r.url), r.ok) << (r.url ? r.url : "(null)");
}
