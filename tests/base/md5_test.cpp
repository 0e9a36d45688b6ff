// MD5 against the RFC 1321 suite and against digests that Python's hashlib
// gave for the same generated contents (sizes around the block and chunk edges).
#include "md5.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

std::string HexOf(const void* data, size_t n) {
    Md5Context ctx;
    Md5Init(&ctx);
    Md5Update(&ctx, data, n);
    char text[33];
    return Md5DigestToHex(&ctx, text);
}

std::vector<unsigned char> Pattern(size_t n) {
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = (unsigned char)((i * 31 + 7) & 0xFF);
    return v;
}

std::string TempPath(const char* name) {
    const char* dir = getenv("TEMP");
    if (!dir) dir = getenv("TMPDIR");
    if (!dir) dir = "/tmp";
    return std::string(dir) + "/" + name;
}

std::string WriteFile(const char* name, const std::vector<unsigned char>& data) {
    std::string path = TempPath(name);
    FILE* f = fopen(path.c_str(), "wb");
    EXPECT_TRUE(f != NULL);
    if (f) {
        if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
        fclose(f);
    }
    return path;
}

}  // namespace

TEST(Md5, Rfc1321Suite) {
    struct Case {
        const char* input;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.digest, HexOf(c.input, strlen(c.input))) << c.input;
}

TEST(Md5, PiecewiseUpdatesMatchOneShot) {
    std::vector<unsigned char> data = Pattern(1000);
    std::string whole = HexOf(data.data(), data.size());
    // Feeds of every length from 1 to 130 cross the block edge in every phase.
    for (size_t step = 1; step <= 130; ++step) {
        Md5Context ctx;
        Md5Init(&ctx);
        for (size_t off = 0; off < data.size(); off += step)
            Md5Update(&ctx, data.data() + off, off + step <= data.size() ? step : data.size() - off);
        char text[33];
        ASSERT_EQ(whole, Md5DigestToHex(&ctx, text)) << "step " << step;
    }
}

TEST(Md5, DigestToHexAllocatesWithoutBuffer) {
    Md5Context ctx;
    Md5Init(&ctx);
    Md5Update(&ctx, "abc", 3);
    char* text = Md5DigestToHex(&ctx, NULL);
    ASSERT_TRUE(text != NULL);
    EXPECT_STREQ("900150983cd24fb0d6963f7d28e17f72", text);
    free(text);
}

TEST(Md5, FilesAtBlockAndChunkEdgesMatchHashlib) {
    struct Case {
        size_t size;
        const char* digest;  // hashlib.md5 of the same pattern
    } cases[] = {
        {0, "d41d8cd98f00b204e9800998ecf8427e"},      {55, "c9e512626618c9980ef21a96597af94c"},
        {56, "ecde7caa08e9f5657c863df107cac60a"},     {63, "2f0301069e1c40af7f6c8f843b1b13f2"},
        {64, "b6bf87c24b1bc334e2541387a92b981b"},     {65, "f168246f08b6134d66bd2a10343fa9f1"},
        {102400, "403ccf89c608d9c7ce71e955f706ec5a"}, {102401, "e610093a082f5c8a28b005265dfd74ef"},
        {204800, "1053ed3df355520eaf4c1595a9389ca0"},
    };
    for (const Case& c : cases) {
        std::string path = WriteFile("zorvet_md5_case.bin", Pattern(c.size));
        const char* text = Md5OfFile(path.c_str());
        ASSERT_TRUE(text != NULL) << c.size;
        EXPECT_STREQ(c.digest, text) << c.size;
        remove(path.c_str());
    }
}

TEST(Md5, MissingFileGivesNullAndResultBufferIsShared) {
    EXPECT_TRUE(Md5OfFile(TempPath("zorvet_md5_no_such_file.bin").c_str()) == NULL);
    std::string a = WriteFile("zorvet_md5_a.bin", Pattern(10));
    std::string b = WriteFile("zorvet_md5_b.bin", Pattern(0));
    const char* first = Md5OfFile(a.c_str());
    std::string firstText = first;
    const char* second = Md5OfFile(b.c_str());
    EXPECT_EQ(first, second);
    EXPECT_STREQ("d41d8cd98f00b204e9800998ecf8427e", first);
    EXPECT_NE(firstText, std::string(first));
    remove(a.c_str());
    remove(b.c_str());
}

TEST(Md5, StreamAtItsEndGivesNull) {
    std::string path = WriteFile("zorvet_md5_end.bin", Pattern(100));
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_TRUE(f != NULL);
    ASSERT_TRUE(Md5OfStream(f) != NULL);
    EXPECT_TRUE(Md5OfStream(f) == NULL);  // the first call read to the end
    fclose(f);
    remove(path.c_str());
}
