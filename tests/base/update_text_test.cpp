// The updater's portable texts: version packing and comparison, the strict
// Content-Length, the 404 page test and safe package file names.
#include "update_text.h"

#include <gtest/gtest.h>

#include <string>

TEST(UpdateText, VersionPackingAndFormat) {
    EXPECT_EQ(0x1073008Bu, PackVersionText("1.7.3.139"));
    char text[32];
    FormatUpdaterVersion(0x1073008B, text, sizeof(text));
    EXPECT_STREQ("1.7.3.139", text);
    // Each field masked to its width; the first keeps its low 4 bits.
    EXPECT_EQ(0x1FF0FFFFu, PackVersionText("17.255.16.65535"));
    EXPECT_EQ(0u, PackVersionText(""));
    EXPECT_EQ(0x12000000u, PackVersionText("1.32"));
    FormatUpdaterVersion(0xFFFFFFFF, text, sizeof(text));
    EXPECT_STREQ("15.255.15.65535", text);
}

TEST(UpdateText, CompareVersionTexts) {
    struct Case {
        const char* current;
        const char* offered;
        int result;
    } cases[] = {
        {"1.9.0.0", "1.10.0.0", 1},  {"1.255.15.65535", "2.0.0.0", 1}, {"1.7.3.139", "1.7.3.139", 0},
        {"1.7.3.139", "1.7.3.99", -1}, {"2.0.0.0", "1.255.15.65535", -1}, {"", "", 0},
        {"", "0.0.0.1", 1},          {"1.0.0.0", "garbage", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, CompareVersionTexts(c.current, c.offered)) << c.offered;
}

TEST(UpdateText, NotFoundPage) {
    std::string page = "<html><head><title>404 Not Found</title></head></html>";
    EXPECT_TRUE(IsNotFoundPage(page.data(), page.size()));
    std::string iis = "<html><title>HTTP 404 - File not found</title></html>";
    EXPECT_TRUE(IsNotFoundPage(iis.data(), iis.size()));
    std::string first = "<title>404";  // only after the first character
    EXPECT_FALSE(IsNotFoundPage(first.data(), first.size()));
    std::string url = "http://127.0.0.1/info.xml";
    EXPECT_FALSE(IsNotFoundPage(url.data(), url.size()));
}

TEST(UpdateText, SafeUrlFileName) {
    struct Case {
        const char* url;
        const char* name;
    } cases[] = {
        {"http://h/d/pack.zip?a=1", "pack.zip"}, {"pack.zip", "pack.zip"},       {"http://h/d/", ""},
        {"http://h/..", ""},                     {"http://h/a\\..\\b.exe", "b.exe"}, {"http://h/c:x.exe", "x.exe"},
        {"http://h/?x", ""},                     {"http://h/Aux.txt", ""},        {"http://h/LPT9", ""},
        {"http://h/a\x01.zip", ""},              {"http://h/com10.zip", "com10.zip"},
        // 0x9C 0x5C: a GBK character whose trail byte is '\\'.
        {"http://h/\x9c\x5c.zip", "\x9c\x5c.zip"},
        // A lead byte before '/' or ':' (no trail bytes) does not hide them.
        {"http://h/a\x81/b.zip", "b.zip"},
        {"http://h/x\xAB:LPT8.zip", ""},
        {"http://h/x\xAB:y.zip", "y.zip"},
    };
    for (const Case& c : cases) {
        char out[260];
        int ok = SafeUrlFileName(c.url, out, sizeof(out));
        EXPECT_EQ(c.name[0] != 0, ok != 0) << c.url;
        EXPECT_STREQ(c.name, out) << c.url;
    }
    char small[8];
    EXPECT_FALSE(SafeUrlFileName("http://h/longname.zip", small, sizeof(small)));
    EXPECT_STREQ("", small);
}
