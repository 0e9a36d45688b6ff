#include "http_download.h"

#include <gtest/gtest.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

// The program's log, as far as these functions use it.
static std::vector<std::string> g_log;
void MsgBox(uint32_t, const char* format, ...) {
    char line[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    g_log.push_back(line);
}

namespace {

std::string Url(const char* path) {
    const char* base = getenv("ZORVET_HTTP_BASE");
    return std::string(base ? base : "http://127.0.0.1:1") + path;
}

struct Got {
    char* body = nullptr;
    int length = -1;
    char* headers = nullptr;
    ~Got() {
        free(body);
        free(headers);
    }
};

}  // namespace

TEST(HttpGet, BodyHeadersAndDigest) {
    Got g;
    char digest[kContentMd5Size] = "stale-value-from-cache!";
    g.body = HttpGet(Url("/md5").c_str(), &g.length, &g.headers, digest);
    ASSERT_NE(g.body, nullptr);
    EXPECT_EQ(g.length, 3000);
    EXPECT_EQ(std::string(g.body, 3), "abc");
    EXPECT_EQ(g.body[g.length], 0);
    ASSERT_NE(g.headers, nullptr);
    EXPECT_NE(strstr(g.headers, "Content-MD5: kAFQmDzST7DWlj99KOF/cg==\r\n"), nullptr);
    EXPECT_STREQ(digest, "kAFQmDzST7DWlj99KOF/cg==");
}

TEST(HttpGet, DigestZeroedWithoutOrWithOverlongHeader) {
    for (const char* path : {"/plain", "/longmd5"}) {
        Got g;
        char digest[kContentMd5Size] = "kAFQmDzST7DWlj99KOF/cg==";
        g.body = HttpGet(Url(path).c_str(), &g.length, nullptr, digest);
        ASSERT_NE(g.body, nullptr) << path;
        EXPECT_EQ(std::string(g.body), "plain body") << path;
        char zero[kContentMd5Size] = {0};
        EXPECT_EQ(memcmp(digest, zero, sizeof zero), 0) << path;
    }
    ASSERT_FALSE(g_log.empty());
    EXPECT_NE(g_log.back().find("Content-MD5 too long"), std::string::npos);
}

TEST(HttpGet, FailuresGiveNothing) {
    for (const char* path : {"/missing", "/error", "/empty", "/nolength", "/drop", "/badlength"}) {
        Got g;
        char digest[kContentMd5Size] = "unchanged";
        g.body = HttpGet(Url(path).c_str(), &g.length, &g.headers, digest);
        EXPECT_EQ(g.body, nullptr) << path;
        EXPECT_EQ(g.length, 0) << path;
        EXPECT_EQ(g.headers, nullptr) << path;
    }
}

TEST(HttpGet, LongerThanContentLengthIsReadToTheEnd) {
    Got g;
    g.body = HttpGet(Url("/more").c_str(), &g.length, nullptr, nullptr);
    ASSERT_NE(g.body, nullptr);
    EXPECT_EQ(g.length, 50000);
    EXPECT_EQ(g.body[49999], 'm');
}

TEST(HeaderValues, Table) {
    const char* headers =
        "HTTP/1.1 200 OK\r\nContent-Length: 12\r\nContent-disposition: attachment; filename=pic.gif\r\n"
        "X-Last: tail";
    struct Case {
        const char* name;
        const char* value;  // null: not found
    } cases[] = {
        {"Content-Length", "12"},
        {"content-length", nullptr},  // exact case
        {"X-Last", "tail"},           // value up to the end of the text
        {"Missing", nullptr},
    };
    for (const auto& c : cases) {
        char out[64] = "junk";
        char* r = GetHeaderValue(headers, c.name, out, sizeof out);
        if (c.value) {
            ASSERT_NE(r, nullptr) << c.name;
            EXPECT_STREQ(out, c.value) << c.name;
        } else {
            EXPECT_EQ(r, nullptr) << c.name;
            EXPECT_STREQ(out, "") << c.name;
        }
    }
    char small[3];
    EXPECT_EQ(GetHeaderValue(headers, "X-Last", small, sizeof small), nullptr);  // refused, not cut
}

TEST(ContentFilename, ReducedToABareName) {
    struct Case {
        const char* disposition;
        const char* name;  // null: no result
    } cases[] = {
        {"attachment; filename=pic.gif", "pic.gif"},
        {"attachment; filename=\"quoted name.jpg\"", "quoted name.jpg"},
        {"attachment; filename=../../windows/evil.dll", "evil.dll"},
        {"attachment; filename=C:\\evil.exe", "evil.exe"},
        {"attachment; filename=..", nullptr},
        {"attachment; filename=dir/", nullptr},
        {"attachment", nullptr},
    };
    for (const auto& c : cases) {
        std::string h = std::string("HTTP/1.1 200 OK\r\nContent-disposition: ") + c.disposition + "\r\n";
        char out[64] = "junk";
        char* r = GetContentFilename(h.c_str(), out, sizeof out);
        if (c.name) {
            ASSERT_NE(r, nullptr) << c.disposition;
            EXPECT_STREQ(out, c.name) << c.disposition;
        } else {
            EXPECT_EQ(r, nullptr) << c.disposition;
        }
    }
    char out[64];
    EXPECT_EQ(GetContentFilename("HTTP/1.1 200 OK\r\nContent-Disposition: a; filename=x\r\n", out,
                                 sizeof out),
              nullptr);  // other case is another header
}

TEST(Md5Hex, AppendsDigest) {
    char text[64] = "";
    ASSERT_NE(Md5Hex("abc", 3, text, sizeof text), nullptr);
    EXPECT_STREQ(text, "900150983cd24fb0d6963f7d28e17f72");
    char empty[33 + 4] = "id:";
    ASSERT_NE(Md5Hex("", 0, empty, sizeof empty), nullptr);
    EXPECT_STREQ(empty, "id:d41d8cd98f00b204e9800998ecf8427e");
    char tight[32] = "";
    EXPECT_EQ(Md5Hex("abc", 3, tight, sizeof tight), nullptr);  // no room for 32 + NUL
    EXPECT_STREQ(tight, "");
}
