#include "utils.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// The client program's scramble, written out here so the round trip is checked
// against an independent copy.
void Scramble(uint8_t* out, const char* in, int length) {
    int t[40];
    for (int i = 0; i < length; ++i) {
        int b = (signed char)in[i] + 3 * i;
        t[i] = (b >> 1) & 15;
        t[length + i] = ((b >> 5) & 15) | ((b & 1) << 3);
    }
    for (int j = 0; j < length; ++j) out[j] = (uint8_t)(j * j + t[2 * j] * 16 + t[2 * j + 1]);
}

std::string Content(const ByteBuffer& b) {
    return std::string((const char*)b.data + b.head, (size_t)b.length);
}

}  // namespace

TEST(Utils, FormatVersionAndCompare) {
    char buf[16];
    FormatVersion(0x1073008B, buf);
    EXPECT_STREQ(buf, "1.7.3.0139");
    FormatVersion(0x1071024B, buf);
    EXPECT_STREQ(buf, "1.7.1.0587");
    FormatVersion(0xFFFFFFFF, buf);  // widest fields still fit 16 bytes
    EXPECT_STREQ(buf, "15.255.15.65535");

    struct {
        uint32_t current, other;
        int expected;
    } cases[] = {
        {0x1071024B, 0x1073008B, 0},                // other newer
        {0x1071024B, 0x1071024B, 0},                // equal
        {0x1073008B, 0x1071024B, -1},               // lower upper 16 bits
        {0x1071024B, 0x1071024A, 1},                // only the build is lower
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComparePackedVersion(c.current, c.other), c.expected)
            << std::hex << c.current << " " << c.other;
}

TEST(Utils, FormatByteSizeTable) {
    struct {
        uint64_t count;
        const char* suffix;
        const char* text;
    } cases[] = {
        {0, nullptr, "0.00"},
        {1024, nullptr, "1024.00"},
        {1025, nullptr, "1.00K"},
        {1536, nullptr, "1.50K"},
        {1048576, nullptr, "1024.00K"},
        {2048, "B", "2.00KB"},
        {3ull << 30, "bps", "3.00Gbps"},
        {5ull << 40, "B", "5.00TB"},
        {~0ull, "B", "16777216.00TB"},              // largest count: T stays the top unit
    };
    for (const auto& c : cases) {
        char buf[kByteSizeTextSize];
        FormatByteSize(buf, c.count, c.suffix);
        EXPECT_STREQ(buf, c.text) << c.count;
    }
    // A long suffix is cut to the documented size, never written past it.
    char big[kByteSizeTextSize + 8];
    memset(big, 'z', sizeof big);
    FormatByteSize(big, 2048, "BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB");
    EXPECT_EQ(strlen(big), kByteSizeTextSize - 1);
    EXPECT_EQ(big[kByteSizeTextSize], 'z');
}

TEST(Utils, ByteSizeTraceHook) {
    static std::string seen;
    auto old = g_byteSizeTrace;
    g_byteSizeTrace = [](const char* t) { seen = t; };
    char buf[kByteSizeTextSize];
    FormatByteSize(buf, 1536, "B");
    g_byteSizeTrace = old;
    EXPECT_EQ(seen, "1.50KB");
}

TEST(Utils, IPv4ParseAndFormat) {
    struct {
        const char* text;
        uint32_t value;
    } cases[] = {
        {"192.168.1.2", 0xC0A80102},
        {"255.255.255.255", 0xFFFFFFFF},
        {"10.0.0.256", 0},
        {"24", 0xFFFFFF00},
        {"8", 0xFF000000},
        {"32", 0xFFFFFFFF},
        {"1", 0x80000000},
        {"0", 0},
        {"33", 0},
        {"x", 0},
        {"", 0},
        {"100", 0},                                 // three characters: not a prefix length
        {"1.2.3", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseIPv4(c.text), c.value) << c.text;
    EXPECT_EQ(ParseIPv4(nullptr), 0u);

    char buf[16];
    FormatIPv4(0x0201A8C0, buf);  // network order in memory prints as usual
    EXPECT_STREQ(buf, "192.168.1.2");
    FormatIPv4(0xFFFFFFFF, buf);
    EXPECT_STREQ(buf, "255.255.255.255");
}

TEST(Utils, UnscrambleCredential) {
    const uint8_t abc[] = {0x02, 0x4C, 0xBF};
    char out[4] = {};
    UnscrambleCredential(out, abc, 3);
    EXPECT_STREQ(out, "abc");

    const char* texts[] = {"a", "user_01", "P@ss.word-9", "ABCDEFGHIJKLMNOPQRST", "~~~~~~~~~~~~~~~~~~~~",
                           " !\"#$%&'()*+,-./0123"};
    for (const char* t : texts) {
        int n = (int)strlen(t);
        uint8_t s[20];
        Scramble(s, t, n);
        char back[21];
        memset(back, 'X', sizeof back);
        UnscrambleCredential(back, s, n);
        EXPECT_EQ(std::string(back, n), t);
        EXPECT_EQ(back[n], 'X') << "no NUL is added";
    }
    // A byte of 128 or above: b even comes back one greater (lowest bit lost).
    const char high[] = {(char)0xB0, 0};
    uint8_t s[1];
    Scramble(s, high, 1);
    UnscrambleCredential(out, s, 1);
    EXPECT_EQ((uint8_t)out[0], 0xB1);

    memset(out, 'X', sizeof out);
    UnscrambleCredential(out, abc, 0);
    EXPECT_EQ(out[0], 'X');
}

TEST(Utils, CheckCredentials) {
    static std::vector<std::pair<uint32_t, std::string>> reports;
    auto old = g_utilsReport;
    g_utilsReport = [](uint32_t code, const char* text) { reports.emplace_back(code, text); };
    const std::string longName(41, 'n');
    struct {
        const char* name;
        const char* password;
        uint32_t code;
    } cases[] = {
        {"alice1", "secret", 0},
        {"a.b-c_d@e", "123456", 0},
        {"alice", "secret", kAuthBadLength},        // 5-character name
        {"", "secret", kAuthBadLength},
        {nullptr, "secret", kAuthBadLength},
        {"alice1", "12345", kAuthBadLength},
        {longName.c_str(), "secret", kAuthBadLength},
        {"alice 1", "secret", kAuthBadChar},        // blank
        {"alice1", "sec/ret", kAuthBadChar},
        {"alice1", "secr\xb0t", kAuthBadChar},      // high byte
    };
    for (const auto& c : cases) {
        reports.clear();
        EXPECT_EQ(CheckCredentials(c.name, c.password), c.code) << (c.name ? c.name : "(null)");
        if (c.code == 0) {
            EXPECT_TRUE(reports.empty());
        } else {
            ASSERT_EQ(reports.size(), 1u);
            EXPECT_EQ(reports[0].first, c.code);
        }
    }
    std::string maxName(40, 'n'), maxPass(127, 'p');
    EXPECT_EQ(CheckCredentials(maxName.c_str(), maxPass.c_str()), 0u);
    EXPECT_EQ(CheckCredentials(maxName.c_str(), (maxPass + "p").c_str()), kAuthBadLength);

    reports.clear();
    CheckCredentials("abc", "abcdef");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].second, "AUTH: the name or the password is empty, or not in 6 - 40");
    reports.clear();
    CheckCredentials("abc def", "abcdef");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].second, "AUTH: the name or the password is contained un-legal char.");
    g_utilsReport = old;
}

TEST(Utils, CharacterClasses) {
    struct {
        int c;
        uint32_t flags;
        int in;
    } cases[] = {
        {0, 0, 0},                                  // flags 0 match nothing, not even NUL
        {'a', 0, 0},
        {0, CC_NUL, 1},
        {'a', CC_NUL, 0},
        {0, CC_ANY, 1},
        {0xB0, CC_ANY, 1},
        {'a', CC_ALPHA, 1},
        {'5', CC_ALPHA, 0},
        {'5', CC_DIGIT | CC_ALPHA, 1},
        {'F', CC_XDIGIT, 1},
        {'g', CC_XDIGIT, 0},
        {'\t', CC_BLANK, 1},
        {'\n', CC_BLANK, 0},
        {'\n', CC_SPACE, 1},
        {'\n', CC_LF, 1},
        {'\r', CC_CR, 1},
        {0x7F, CC_CNTRL, 1},
        {' ', CC_PRINT, 1},
        {' ', CC_PUNCT, 0},
        {'!', CC_PUNCT, 1},
        {0x7F, CC_ASCII, 1},
        {0x80, CC_ASCII, 0},
        {(char)0xC4, CC_ALPHA | CC_PRINT | CC_PUNCT | CC_SPACE | CC_CNTRL, 0},  // high bytes: none
        {'\\', CC_BACKSLASH, 1}, {'_', CC_UNDERSCORE, 1}, {'-', CC_HYPHEN, 1},
        {'.', CC_FULLSTOP, 1},   {',', CC_COMMA, 1},      {':', CC_COLON, 1},
        {'/', CC_SLASH, 1},      {'\'', CC_QUOTE, 1},     {'"', CC_DQUOTE, 1},
        {'`', CC_BACKQUOTE, 1},  {'@', CC_AT, 1},         {'=', CC_EQUALS, 1},
        {'=', CC_AT, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CharInClasses(c.c, c.flags), c.in) << c.c << " " << std::hex << c.flags;

    EXPECT_EQ(StringInClasses("", CC_DIGIT), 1);
    EXPECT_EQ(StringInClasses("123", CC_DIGIT), 1);
    EXPECT_EQ(StringInClasses("12a", CC_DIGIT), 0);

    char t1[] = "ab1-c";
    EXPECT_EQ(FilterText(t1, CC_ALPHA, 0, '*'), 0);
    EXPECT_STREQ(t1, "ab**c");
    char t2[] = "ab1-c";
    EXPECT_EQ(FilterText(t2, CC_ALNUM, CC_DIGIT, 0), 0);
    EXPECT_STREQ(t2, "abc");
    char t3[] = "abc";
    EXPECT_EQ(FilterText(t3, CC_ALPHA, 0, '*'), 1);
    EXPECT_STREQ(t3, "abc");
    EXPECT_EQ(FilterText(nullptr, CC_ANY, 0, 0), 0);
}

TEST(Utils, TextCopies) {
    char small[5];
    memset(small, 'z', sizeof small);
    CopyText(small, "abcdefgh");
    EXPECT_STREQ(small, "abcd");
    CopyText(small, nullptr);
    EXPECT_STREQ(small, "");
    char n3[8];
    memset(n3, 'z', sizeof n3);
    CopyTextN(n3, "abcdef", 3);
    EXPECT_EQ(std::string(n3, 4), std::string("ab\0z", 4));

    char f[6];
    memset(f, 'z', sizeof f);
    EXPECT_EQ(FormatText(f, countof(f), "%d-%s", 42, "hello"), 8);
    EXPECT_STREQ(f, "42-he");
    char untouched = 'q';
    EXPECT_EQ(FormatText(&untouched, 0, "%d", 1), 0);
    EXPECT_EQ(untouched, 'q');
}

TEST(Utils, PoolAndHexDump) {
    MemoryPool pool = PoolInit();
    EXPECT_EQ(pool.head, nullptr);
    char* a = PoolStrdup("hello", &pool);
    EXPECT_STREQ(a, "hello");
    EXPECT_EQ(PoolStrdup(nullptr, &pool), nullptr);
    uint8_t* z = (uint8_t*)PoolAlloc(100, 1, &pool);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(z[i], 0);

    const uint8_t bytes[] = {0x01, 0xAB, 0x00, 0xFF, 0x10};
    EXPECT_STREQ(HexDump(bytes, 5, 0, 2, ":", &pool), "01ab:00ff:10");
    EXPECT_STREQ(HexDump(bytes, 5, 0, 1, ", ", &pool), "01, ab, 00, ff, 10");
    EXPECT_STREQ(HexDump(bytes, 5, 64, 1, nullptr, &pool), "01ab00ff10");
    EXPECT_STREQ(HexDump(bytes, 5, 5, 1, nullptr, &pool), "01ab");  // cut to its buffer
    EXPECT_STREQ(HexDump(bytes, 0, 0, 4, "-", &pool), "");
    EXPECT_EQ(HexDump(bytes, 5, 0, 0, ":", &pool), nullptr);
    PoolFree(&pool);
    EXPECT_EQ(pool.head, nullptr);
    PoolFree(&pool);  // empty pool: nothing happens
}

TEST(UtilsDeathTest, OutOfMemoryIsFatal) {
    EXPECT_EXIT(EnsureAllocated(nullptr), ::testing::ExitedWithCode(1), "Zorvet: Out of Memory");
}

TEST(ByteBuffer, AppendGetAndNetworkOrder) {
    uint8_t block[16];
    ByteBuffer b;
    ByteBufferInit(&b);
    EXPECT_EQ(ByteBufferAppend(&b, "x", 1), 0);  // no block
    EXPECT_EQ(ByteBufferGetU8(&b), -1);
    EXPECT_EQ(ByteBufferPrintf(&b, "%d", 1), 0);

    ByteBufferAttach(&b, block, sizeof block);
    ASSERT_TRUE(ByteBufferSetHead(&b, 4));
    EXPECT_EQ(ByteBufferRoom(&b), 12);
    EXPECT_TRUE(ByteBufferPutU16(&b, 0x1234));
    EXPECT_TRUE(ByteBufferPutU32(&b, 0xA1B2C3D4));
    EXPECT_TRUE(ByteBufferPutU8(&b, 0x1FF));  // only the low byte
    EXPECT_EQ(Content(b), std::string("\x12\x34\xA1\xB2\xC3\xD4\xFF", 7));
    EXPECT_TRUE(ByteBufferHasRoom(&b, 5));
    EXPECT_FALSE(ByteBufferHasRoom(&b, 6));
    EXPECT_FALSE(ByteBufferHasRoom(&b, -1));
    EXPECT_FALSE(ByteBufferPutU32(&b, 1) && ByteBufferPutU32(&b, 2));  // second does not fit
    EXPECT_EQ(b.length, 11);
    EXPECT_FALSE(ByteBufferPutU16(&b, 1));
    EXPECT_EQ(b.length, 11);

    EXPECT_EQ(ByteBufferGetU16(&b), 0x1234);
    uint8_t four[4];
    EXPECT_TRUE(ByteBufferGet(&b, four, 4));
    EXPECT_EQ(four[0], 0xA1);
    EXPECT_FALSE(ByteBufferGet(&b, four, 6));  // more than the content: unchanged
    EXPECT_EQ(b.length, 5);
    EXPECT_FALSE(ByteBufferGet(&b, four, -1));
    EXPECT_EQ(ByteBufferGetU8(&b), 0xFF);
    EXPECT_TRUE(ByteBufferSkip(&b, 4));
    EXPECT_FALSE(ByteBufferSkip(&b, 1));
    EXPECT_EQ(ByteBufferGetU8(&b), -1);
    EXPECT_EQ(ByteBufferGetU16(&b), -1);
    EXPECT_EQ(b.head, 15);
    EXPECT_EQ(ByteBufferRoom(&b), 1);
    EXPECT_FALSE(ByteBufferSetHead(&b, 17));
    EXPECT_FALSE(ByteBufferSetHead(&b, -1));
}

TEST(ByteBuffer, FrontReserveAndCopy) {
    uint8_t block[12] = {};
    ByteBuffer b;
    ByteBufferAttach(&b, block, sizeof block);
    ByteBufferSetHead(&b, 4);
    ByteBufferAppend(&b, "data", 4);
    EXPECT_EQ(ByteBufferPushFront(&b, 5), nullptr);  // only 4 in front
    EXPECT_EQ(ByteBufferPushFront(&b, -1), nullptr);
    EXPECT_TRUE(ByteBufferPrepend(&b, "hd", 2));
    EXPECT_EQ(Content(b), "hddata");

    ByteBuffer front = ByteBufferReserve(&b, 2, 1);
    ASSERT_NE(front.data, nullptr);
    EXPECT_EQ(front.capacity, 2);
    EXPECT_EQ(front.length, 0);
    ByteBufferAppend(&front, "<<", 2);
    ByteBuffer back = ByteBufferReserve(&b, 4, 0);
    ASSERT_NE(back.data, nullptr);
    ByteBufferAppend(&back, ">>>>", 4);
    EXPECT_FALSE(ByteBufferAppend(&back, "!", 1));  // a reserved piece never grows into its parent
    EXPECT_EQ(Content(b), "<<hddata>>>>");
    ByteBuffer none = ByteBufferReserve(&b, 1, 0);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(none.capacity, 0);
    none = ByteBufferReserve(&b, 1, 1);
    EXPECT_EQ(none.data, nullptr);

    uint8_t other[16];
    memset(other, '.', sizeof other);
    ByteBuffer o;
    ByteBufferAttach(&o, other, sizeof other);
    ByteBufferSkip(&b, 2);  // head 2, content "hddata>>>>"
    EXPECT_TRUE(ByteBufferCopy(&o, &b));
    EXPECT_EQ(o.head, 2);
    EXPECT_EQ(Content(o), "hddata>>>>");
    ByteBuffer tiny;
    uint8_t t[8];
    ByteBufferAttach(&tiny, t, sizeof t);
    EXPECT_FALSE(ByteBufferCopy(&tiny, &b));  // 2 + 10 > 8
    EXPECT_EQ(tiny.length, 8);

    EXPECT_TRUE(ByteBufferAppendBuffer(&o, &tiny) == 0);  // 12 + 8 > 16
    ByteBufferClear(&o);
    EXPECT_EQ(o.length, 0);
    for (uint8_t c : other) ASSERT_EQ(c, 0);
}

TEST(ByteBuffer, TextOperations) {
    MemoryPool pool = PoolInit();
    ByteBuffer b;
    ByteBufferAlloc(&b, 8, &pool);
    EXPECT_EQ(b.data[0], 0);
    EXPECT_EQ(b.capacity, 8);
    EXPECT_TRUE(ByteBufferPrintf(&b, "%s", "abc"));
    EXPECT_TRUE(ByteBufferPrintf(&b, "%d", 123456));  // cut at the block's end
    EXPECT_EQ(b.length, 7);
    EXPECT_STREQ((const char*)b.data, "abc1234");
    EXPECT_EQ(b.data[7], 0);
    ByteBufferTerminate(&b);  // room for one: NUL appended
    EXPECT_EQ(b.length, 8);
    ByteBufferTerminate(&b);  // already ends in NUL
    EXPECT_EQ(b.length, 8);

    uint8_t full[3] = {'x', 'y', 'z'};
    ByteBuffer f;
    ByteBufferAttach(&f, full, 3);
    ByteBufferTerminate(&f);  // no room: last byte replaced
    EXPECT_EQ(Content(f), std::string("xy\0", 3));

    char text[] = "GET /a,b\0tail";
    ByteBuffer t;
    ByteBufferAttach(&t, text, sizeof text - 1);
    EXPECT_TRUE(ByteBufferStartsWithText(&t, "GET "));
    EXPECT_FALSE(ByteBufferStartsWithText(&t, "PUT "));
    EXPECT_FALSE(ByteBufferSkipText(&t, "PUT "));
    EXPECT_TRUE(ByteBufferSkipText(&t, "GET "));
    EXPECT_TRUE(ByteBufferStartsWith(&t, "/a", 2));
    EXPECT_FALSE(ByteBufferEquals(&t, "/a", 2));

    ByteBuffer heap;
    ByteBufferAlloc(&heap, 4, nullptr);
    ByteBufferFree(&heap);
    EXPECT_EQ(heap.data, nullptr);
    EXPECT_EQ(heap.capacity, 0);
    PoolFree(&pool);
}

TEST(ByteBuffer, ReadUntil) {
    // Each row reads once from a buffer holding `content`; the destination starts
    // filled with 'z' so a missing terminator or a write at size 0 shows.
    struct {
        std::string content;
        int size;
        int result;
        const char* out;  // null: destination untouched
        std::string rest;
    } cases[] = {
        {"/a,b", 8, 1, "/a", "b"},
        {std::string("b\0tail", 6), 8, 1, "b", "tail"},  // a NUL ends the field too
        {"tail", 3, 1, "ta", "il"},                 // size - 1 stored, rest stays
        {"il", 8, 1, "il", ""},                     // content ran out after storing
        {",x", 8, 1, "", "x"},                      // an empty field is still a field
        {"", 8, 0, "", ""},                         // ran out with nothing stored
        {"il", 0, 0, nullptr, "il"},                // no room at all
        {"ab", 1, 1, "", "ab"},                     // room for the NUL only, content left
        {",x", 1, 1, "", ",x"},                     // the delimiter stays as well
        {"", 1, 0, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.content << "\" size " << c.size);
        std::string text = c.content;
        ByteBuffer b;
        ByteBufferAttach(&b, &text[0], (int)text.size());
        char out[8];
        memset(out, 'z', sizeof out);
        EXPECT_EQ(ByteBufferReadUntil(&b, ',', out, c.size), c.result);
        if (c.out)
            EXPECT_EQ(std::string(out, strnlen(out, sizeof out)), c.out);
        else
            EXPECT_EQ(out[0], 'z');
        EXPECT_EQ(Content(b), c.rest);
    }
}
