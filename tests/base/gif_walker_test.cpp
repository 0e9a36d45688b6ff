#include "gif_walker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace gif;

namespace {

typedef std::vector<uint8_t> Bytes;

void Add(Bytes& b, std::initializer_list<int> v) {
    for (int x : v) b.push_back((uint8_t)x);
}
void Add16(Bytes& b, int v) { Add(b, {v & 0xFF, (v >> 8) & 0xFF}); }

// Logical screen w x h with a two-colour global table (6 bytes): 19 bytes.
Bytes Header(int w, int h, bool table = true) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Add16(b, w);
    Add16(b, h);
    Add(b, {table ? 0x80 : 0x00, 0, 0});
    if (table) Add(b, {0, 0, 0, 255, 255, 255});
    return b;
}
void Control(Bytes& b, int delay, int disposal) {
    Add(b, {0x21, 0xF9, 4, (disposal << 2) | 1});
    Add16(b, delay);
    Add(b, {0, 0});
}
// Image block of 10 + lct + 1 + 4 bytes (one 2-byte sub-block and the terminator).
void Image(Bytes& b, int l, int t, int w, int h, bool lct = false) {
    Add(b, {0x2C});
    Add16(b, l);
    Add16(b, t);
    Add16(b, w);
    Add16(b, h);
    Add(b, {lct ? 0x81 : 0});  // 0x81: local table of 4 colours, 12 bytes
    if (lct) b.insert(b.end(), 12, 0x11);
    Add(b, {2, 2, 0x44, 0x01, 0});
}
void Comment(Bytes& b, const std::string& text) {
    Add(b, {0x21, 0xFE, (int)text.size()});
    b.insert(b.end(), text.begin(), text.end());
    Add(b, {0});
}
void Netscape(Bytes& b) {
    Add(b, {0x21, 0xFF, 11});
    std::string id = "NETSCAPE2.0";
    b.insert(b.end(), id.begin(), id.end());
    Add(b, {3, 1, 0, 0, 0});
}

struct Frames {
    Screen screen;
    std::vector<FrameSpan> spans;
};
Frames Cut(const Bytes& b) {
    Frames f = {};
    EXPECT_TRUE(ReadScreen(b.data(), b.size(), &f.screen));
    Walker w = MakeWalker(b.data(), b.size(), f.screen.gctLen);
    FrameSpan s;
    while (CutFrame(&w, f.screen, &s)) f.spans.push_back(s);
    return f;
}

}  // namespace

TEST(GifWalker, ScreenDescriptor) {
    Bytes b = Header(300, 200);
    Screen s;
    ASSERT_TRUE(IsGif(b.data(), b.size()));
    ASSERT_TRUE(ReadScreen(b.data(), b.size(), &s));
    EXPECT_EQ(s.width, 300);
    EXPECT_EQ(s.height, 200);
    EXPECT_EQ(s.gctLen, 6u);
    EXPECT_EQ(s.headerLen, 19u);
    // Table size field 7: 3 x 256 bytes.
    b[10] = 0x87;
    ASSERT_TRUE(ReadScreen(b.data(), b.size(), &s));
    EXPECT_EQ(s.gctLen, 768u);
    // Any version after "GIF"; too short for the descriptor.
    const uint8_t odd[] = {'G', 'I', 'F', 'x', 'y', 'z'};
    EXPECT_TRUE(IsGif(odd, sizeof odd));
    EXPECT_FALSE(ReadScreen(odd, sizeof odd, &s));
    const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF};
    EXPECT_FALSE(IsGif(jpeg, sizeof jpeg));
    EXPECT_FALSE(IsGif(b.data(), 2));
}

TEST(GifWalker, FrameCounts) {
    struct Case {
        const char* name;
        Bytes data;
        int frames;
    };
    std::vector<Case> cases;
    {
        Bytes b = Header(4, 4);
        Image(b, 0, 0, 4, 4);
        Add(b, {';'});
        cases.push_back({"one frame, no control block", b, 1});
    }
    {
        Bytes b = Header(4, 4);
        Netscape(b);
        Control(b, 10, 0);
        Image(b, 0, 0, 4, 4);
        Control(b, 20, 2);
        Image(b, 1, 1, 2, 2, true);
        Add(b, {';'});
        cases.push_back({"two frames with loop block and local table", b, 2});
    }
    {
        Bytes b = Header(4, 4);
        Add(b, {';'});
        cases.push_back({"trailer right after the colour table", b, 0});
    }
    {
        Bytes b = Header(4, 4);
        cases.push_back({"nothing after the colour table", b, 0});
    }
    {
        Bytes b = Header(4, 4);
        b.resize(16);  // colour table cut short
        cases.push_back({"colour table past the end", b, 0});
    }
    {
        Bytes b = Header(4, 4);
        Control(b, 10, 0);
        Image(b, 0, 0, 4, 4);
        Control(b, 10, 0);
        Image(b, 0, 0, 4, 4);
        b.resize(b.size() - 2);  // cut inside the second image's data
        cases.push_back({"cut mid-frame", b, 1});
    }
    {
        Bytes b = Header(4, 4);
        Image(b, 0, 0, 4, 4);
        Image(b, 0, 0, 4, 4);  // no trailer: the last block ends exactly at the end
        cases.push_back({"last block ends at the data's end", b, 2});
    }
    {
        Bytes b = Header(4, 4);
        Image(b, 0, 0, 4, 4);
        Add(b, {0x2C, 0, 0, 0});  // descriptor cut short
        cases.push_back({"image descriptor past the end", b, 1});
    }
    {
        Bytes b = Header(4, 4);
        Image(b, 0, 0, 4, 4);
        Add(b, {0x21, 0x99, 0});  // unknown extension label
        Image(b, 0, 0, 4, 4);
        cases.push_back({"unknown extension stops the walk", b, 1});
    }
    {
        Bytes b = Header(4, 4);
        Control(b, 10, 0);
        Add(b, {';'});
        cases.push_back({"control block followed by the trailer", b, 0});
    }
    {
        Bytes b = Header(4, 4);
        Add(b, {0x21, 0xFE, 200, 'x'});  // comment whose sub-block runs past the end
        cases.push_back({"comment past the end", b, 0});
    }
    {
        Bytes b = Header(4, 4);
        Add(b, {0x21, 0xFF, 11, 'N', 'E'});  // application block shorter than its fixed part
        cases.push_back({"application block past the end", b, 0});
    }
    {
        Bytes b = Header(4, 4);
        Image(b, 0, 0, 4, 4, true);
        b.resize(19 + 14);  // local colour table cut short
        cases.push_back({"local colour table past the end", b, 0});
    }
    for (const Case& c : cases) {
        EXPECT_EQ(CountFrames(c.data.data(), c.data.size(), kMaxFrames), c.frames) << c.name;
        EXPECT_EQ((int)Cut(c.data).spans.size(), c.frames) << c.name;
    }
}

TEST(GifWalker, BlockSizes) {
    Bytes b = Header(4, 4);
    size_t at = b.size();
    Netscape(b);
    size_t comment = b.size();
    Comment(b, "hello");
    size_t control = b.size();
    Control(b, 1, 0);
    size_t image = b.size();
    Image(b, 0, 0, 4, 4, true);
    size_t trailer = b.size();
    Add(b, {';'});
    Walker w = MakeWalker(b.data(), b.size(), 6);
    struct {
        size_t pos;
        BlockKind kind;
        uint32_t size;
    } rows[] = {
        {at, BLOCK_APPEXT, 14 + 5},
        {comment, BLOCK_COMMENT, 2 + 7},
        {control, BLOCK_CONTROLEXT, 8},
        {image, BLOCK_IMAGE, 10 + 12 + 1 + 4},
        {trailer, BLOCK_TRAILER, 1},
    };
    for (auto& r : rows) {
        w.pos = (uint32_t)r.pos;
        EXPECT_EQ(KindAt(w, w.pos), r.kind) << r.pos;
        EXPECT_EQ(CurrentBlockSize(w), r.size) << r.pos;
        EXPECT_TRUE(AdvanceBlock(&w));
        EXPECT_EQ(w.pos, r.pos + r.size);
    }
    EXPECT_EQ(KindAt(w, w.pos), BLOCK_UNKNOWN);  // at the end
    EXPECT_FALSE(AdvanceBlock(&w));
    // A control block whose 8 bytes do not fit is refused and the position stays.
    Bytes c = Header(4, 4);
    Add(c, {0x21, 0xF9, 4, 0});
    Walker cw = MakeWalker(c.data(), c.size(), 6);
    EXPECT_FALSE(AdvanceBlock(&cw));
    EXPECT_EQ(cw.pos, 19u);
}

TEST(GifWalker, SubBlockChains) {
    struct {
        Bytes bytes;
        uint32_t size;
    } rows[] = {
        {{0}, 1},
        {{2, 'a', 'b', 0}, 4},
        {{1, 'a', 1, 'b', 0}, 5},
        {{2, 'a', 'b'}, 0},   // terminator missing
        {{5, 'a'}, 0},        // sub-block past the end
        {{}, 0},
    };
    for (auto& r : rows) {
        Walker w = MakeWalker(r.bytes.data(), r.bytes.size(), 0);
        EXPECT_EQ(SubBlockChainSize(w, 0), r.size);
    }
}

TEST(GifWalker, CutFramesCarryTheirFields) {
    Bytes b = Header(10, 8);
    Comment(b, "before");  // in front of the control block: not in the frame
    size_t f0 = b.size();
    Control(b, 5, 2);
    Image(b, 0, 0, 10, 8);
    size_t f1 = b.size();
    Control(b, 0x1234, 3);
    Comment(b, "inside");  // between control block and image: carried along
    Image(b, 2, 3, 4, 5);
    size_t f2 = b.size();
    Image(b, 1, 1, 1, 1);  // no control block
    size_t end = b.size();
    Add(b, {';'});

    Frames f = Cut(b);
    ASSERT_EQ(f.spans.size(), 3u);
    const FrameSpan& a = f.spans[0];
    EXPECT_EQ(a.start, f0);
    EXPECT_EQ(a.end, f1);
    EXPECT_EQ(a.delay, 5u);
    EXPECT_EQ(a.disposal, 2);
    EXPECT_EQ(a.width, 10);
    EXPECT_EQ(a.height, 8);
    const FrameSpan& s = f.spans[1];
    EXPECT_EQ(s.start, f1);
    EXPECT_EQ(s.end, f2);
    EXPECT_EQ(s.delay, 0x1234u);
    EXPECT_EQ(s.disposal, 3);
    EXPECT_EQ(s.left, 2);
    EXPECT_EQ(s.top, 3);
    EXPECT_EQ(s.width, 4);
    EXPECT_EQ(s.height, 5);
    const FrameSpan& c = f.spans[2];
    EXPECT_EQ(c.start, f2);
    EXPECT_EQ(c.end, end);
    EXPECT_EQ(c.delay, kNoDelay);
    EXPECT_EQ(c.disposal, 0);

    // The one-frame GIF: header and table, the frame's blocks, the trailer.
    Bytes out(FrameGifSize(f.screen, s));
    ASSERT_EQ(out.size(), 19 + (f2 - f1) + 1);
    ASSERT_EQ(BuildFrameGif(b.data(), f.screen, s, out.data(), out.size()), out.size());
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 19, out.begin()));
    EXPECT_TRUE(std::equal(b.begin() + f1, b.begin() + f2, out.begin() + 19));
    EXPECT_EQ(out.back(), ';');
    EXPECT_EQ(CountFrames(out.data(), out.size(), kMaxFrames), 1);
    EXPECT_NE(std::string(out.begin(), out.end()).find("inside"), std::string::npos);
    EXPECT_EQ(BuildFrameGif(b.data(), f.screen, s, out.data(), out.size() - 1), 0u);
}

TEST(GifWalker, PlainTextFrameCoversTheScreen) {
    Bytes b = Header(7, 6);
    Add(b, {0x21, 0x01, 12});
    b.insert(b.end(), 12, 0);
    Add(b, {1, 'A', 0});
    Add(b, {';'});
    Frames f = Cut(b);
    ASSERT_EQ(f.spans.size(), 1u);
    EXPECT_EQ(f.spans[0].end - f.spans[0].start, 15u + 3u);
    EXPECT_EQ(f.spans[0].width, 7);
    EXPECT_EQ(f.spans[0].height, 6);
}

TEST(GifWalker, Limits) {
    struct {
        int w, h, frames, ok;
    } rows[] = {
        {256, 160, 1, 1},   {4096, 4096, 1, 1}, {4097, 10, 1, 0},   {10, 4097, 1, 0},
        {0, 10, 1, 0},      {10, 0, 1, 0},      {100, 100, 256, 1}, {100, 100, 257, 0},
        {1024, 1024, 16, 1}, {1024, 1024, 17, 0},
    };
    for (auto& r : rows) EXPECT_EQ(WithinLimits(r.w, r.h, r.frames), r.ok) << r.w << "x" << r.h << " " << r.frames;
    // The frame count stops one past the limit.
    Bytes b = Header(1, 1);
    for (int i = 0; i < 10; ++i) Image(b, 0, 0, 1, 1);
    EXPECT_EQ(CountFrames(b.data(), b.size(), 3), 4);
}

TEST(GifWalker, SurveyWeighsScreenAndFrames) {
    struct Case {
        const char* name;
        Bytes data;
        int frames, tooLarge;
    };
    std::vector<Case> cases;
    {
        Bytes b = Header(256, 160);
        Control(b, 10, 0);
        Image(b, 0, 0, 256, 160);
        Control(b, 10, 0);
        Image(b, 10, 10, 20, 20);
        Add(b, {';'});
        cases.push_back({"two frames within the screen", b, 2, 0});
    }
    {
        Bytes b = Header(16, 16);
        Image(b, 0, 0, 60000, 16);  // the decoder would allocate by this
        Add(b, {';'});
        cases.push_back({"one frame wider than the limit on a small screen", b, 1, 1});
    }
    {
        Bytes b = Header(4000, 4000);
        Image(b, 0, 0, 4, 4);
        Add(b, {';'});
        cases.push_back({"screen of 16 M pixels, one frame", b, 1, 0});
    }
    {
        Bytes b = Header(4000, 4000);
        Image(b, 0, 0, 4, 4);
        Image(b, 0, 0, 4, 4);
        Add(b, {';'});
        cases.push_back({"two frames of a 16 M pixel screen", b, 2, 1});
    }
    {
        Bytes b = Header(5000, 10);
        Image(b, 0, 0, 4, 4);
        cases.push_back({"screen wider than the limit", b, 1, 1});
    }
    {
        Bytes b = Header(2, 2);
        for (int i = 0; i < kMaxFrames + 5; ++i) Image(b, 0, 0, 2, 2);
        cases.push_back({"too many frames", b, kMaxFrames + 1, 1});
    }
    {
        Bytes b = Header(2, 2);
        Add(b, {';'});
        cases.push_back({"no frame", b, 0, 0});
    }
    for (const Case& c : cases) {
        Screen s;
        ASSERT_TRUE(ReadScreen(c.data.data(), c.data.size(), &s)) << c.name;
        Survey v = SurveyFrames(c.data.data(), c.data.size(), s);
        EXPECT_EQ(v.frames, c.frames) << c.name;
        EXPECT_EQ(v.tooLarge, c.tooLarge) << c.name;
    }
}
