#include "cert_record.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "utils.h"

namespace {

std::string Scrambled(const char* text) {
    uint8_t out[20] = {0};
    ScrambleCredential(out, text, (int)strlen(text));
    return std::string((const char*)out, strlen(text));
}

}  // namespace

TEST(CertRecord, ScrambleKnownBytes) {
    EXPECT_EQ(Scrambled("abc"), std::string("\x02\x4C\xBF", 3));
    uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    ScrambleCredential(out, "abc", 0);  // nothing for length < 1
    ScrambleCredential(out, "abcdefghijklmnopqrstu", 21);
    EXPECT_EQ(out[0], 0xAA);
}

TEST(CertRecord, AsciiCredentialsRoundTripThroughTheField) {
    const char* cases[] = {"a", "abc", "demo01", "user_name-2.x@y", "ABCDEFGHIJKLMNOPQRST", "~~~~~~~~~~~~~~~~~~~~",
                           "0123456789", "P4ssw0rd!"};
    for (const char* text : cases) {
        uint8_t field[cert::kCredentialSize];
        ASSERT_EQ(EncodeCredentialField(field, text), 1) << text;
        char back[41];
        DecodeCredentialField(back, sizeof back, field);
        EXPECT_STREQ(back, text);
        for (size_t i = strlen(text); i < sizeof field; i++) EXPECT_EQ(field[i], 0) << text;
    }
}

TEST(CertRecord, CredentialsTheFormatCannotHoldAreRefused) {
    // "a]" scrambles to a first byte 0 (the reader would stop there); "@]" too;
    // 21 characters do not fit; bytes of 128 and above do not come back as they were.
    const char* cases[] = {"a]", "@]zz", "abcdefghijklmnopqrstu", "\xC4\xE3\xBA\xC3"};
    for (const char* text : cases) {
        uint8_t field[cert::kCredentialSize];
        memset(field, 0x55, sizeof field);
        EXPECT_EQ(EncodeCredentialField(field, text), 0) << text;
        for (uint8_t b : field) EXPECT_EQ(b, 0);
    }
    EXPECT_EQ(Scrambled("a]")[0], '\0');
}

TEST(CertRecord, StoredFieldIsReadUpToItsFirstZeroByte) {
    uint8_t field[cert::kCredentialSize] = {0};
    std::string s = Scrambled("abcdef");
    memcpy(field, s.data(), s.size());
    field[3] = 0;
    char back[41];
    DecodeCredentialField(back, sizeof back, field);
    EXPECT_EQ(strlen(back), 3u);
    uint8_t full[cert::kCredentialSize];
    memset(full, 0x41, sizeof full);  // 20 bytes without a zero: 20 characters
    DecodeCredentialField(back, sizeof back, full);
    EXPECT_EQ(strlen(back), 20u);
}

TEST(CertRecord, OptionBits) {
    struct Case {
        uint8_t bits;
        CertOptions o;
    } cases[] = {
        {0xC0, {1, 1, 0, 0, 0, 0}}, {0x80, {1, 0, 0, 0, 0, 0}}, {0x20, {0, 0, 1, 0, 0, 0}},
        {0x10, {0, 0, 0, 1, 0, 0}}, {0x08, {0, 0, 0, 0, 1, 0}}, {0x04, {0, 0, 0, 0, 0, 1}},
        {0xFC, {1, 1, 1, 1, 1, 1}}, {0x00, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        CertOptions o = UnpackOptionBits(c.bits);
        EXPECT_EQ(memcmp(&o, &c.o, sizeof o), 0) << (int)c.bits;
        EXPECT_EQ(PackOptionBits(c.o), c.bits);
    }
    // Bits 1 and 0 are read as nothing and written as 0.
    EXPECT_EQ(PackOptionBits(UnpackOptionBits(0xFF)), 0xFC);
}

TEST(CertRecord, ServerNameIsNibbleSwapped) {
    char server[21] = "ab.example";
    uint8_t field[cert::kServerSize];
    memset(field, 0xEE, sizeof field);
    EncodeServerField(field, server, sizeof server);
    EXPECT_EQ(field[0], 0x16);
    EXPECT_EQ(field[1], 0x26);
    for (size_t i = strlen(server); i < sizeof field; i++) EXPECT_EQ(field[i], 0);
    char back[21];
    DecodeServerField(back, sizeof back, field);
    EXPECT_STREQ(back, "ab.example");

    char twenty[21] = "abcdefghijklmnopqrst";  // fills the field: no zero byte stored
    EncodeServerField(field, twenty, sizeof twenty);
    DecodeServerField(back, sizeof back, field);
    EXPECT_STREQ(back, twenty);
    uint8_t zeros[cert::kServerSize] = {0};
    DecodeServerField(back, sizeof back, zeros);
    EXPECT_STREQ(back, "");
}

TEST(CertRecord, VersionBytesAreLittleEndian) {
    uint8_t c[cert::kSize] = {0};
    PutCertVersion(c, 0x1071024B);
    EXPECT_EQ(c[0], 0x4B);
    EXPECT_EQ(c[3], 0x10);
    EXPECT_EQ(GetCertVersion(c), 0x1071024Bu);
}

TEST(CertRecord, ReadFromStoredValueOfAnyLength) {
    uint8_t stored[cert::kSize + 8];
    memset(stored, 0x11, sizeof stored);
    PutCertVersion(stored, 0x1073008B);
    std::string name = Scrambled("demo_user");
    memcpy(stored + cert::kUserNameOffset, name.data(), name.size());
    memset(stored + cert::kUserNameOffset + name.size(), 0, cert::kCredentialSize - name.size());
    stored[cert::kPasswordOffset] = 0;  // no password stored
    stored[cert::kOptionsOffset] = 0xC4;
    const char server[] = "ab.example";
    EncodeServerField(stored + cert::kServerOffset, server, sizeof server);
    stored[cert::kServiceIndexOffset] = 7;

    CertRecord r;
    for (size_t size : {(size_t)cert::kSize, sizeof stored}) {  // a longer value: its first 126 bytes
        ASSERT_EQ(ReadCertRecord(stored, size, &r), 1) << size;
        EXPECT_EQ(r.InstalledVersion, 0x1073008Bu);
        EXPECT_STREQ(r.UserName, "demo_user");
        EXPECT_STREQ(r.Password, "");
        EXPECT_EQ(r.Options.RememberName + r.Options.RememberPassword + r.Options.LogToFile, 3);
        EXPECT_EQ(r.Options.Autorun + r.Options.AutoConnect + r.Options.ImportantOnly, 0);
        EXPECT_STREQ(r.RedirectServer, "ab.example");
        EXPECT_EQ(r.ServiceIndex, 7);
    }
    // Shorter than the record: not the installation's value, nothing taken.
    for (size_t size : {(size_t)0, (size_t)4, (size_t)cert::kSize - 1}) {
        memset(&r, 0x5A, sizeof r);
        EXPECT_EQ(ReadCertRecord(stored, size, &r), 0) << size;
        EXPECT_EQ(r.InstalledVersion, 0u);
        EXPECT_STREQ(r.UserName, "");
    }
    EXPECT_EQ(ReadCertRecord(nullptr, cert::kSize, &r), 0);
}
