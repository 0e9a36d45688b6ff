#include "client_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string.h>

#include <string>

namespace {

const TrayTipTexts kTexts = {"\n\xd2\xd1\xc1\xac\xbd\xd3\xb5\xbd: ",  // 已连接到:
                             "\n\xd5\xfd\xd4\xda\xc1\xac\xbd\xd3: ",  // 正在连接:
                             "\n\xce\xde\xc1\xac\xbd\xd3",            // 无连接
                             "\n\xd5\xfd\xd4\xda\xb6\xcf\xbf\xaa: ",  // 正在断开:
                             "\n\xc1\xac\xbd\xd3\xca\xb1\xbc\xe4: ",  // 连接时间:
                             "\n\xb7\xd6\xc5\xe4\xb5\xd8\xd6\xb7: %s"};

std::string Tip(unsigned state, const char* start, const char* ip, size_t size = 128) {
    char out[256];
    BuildTrayTip(out, size, state, kTexts, start, ip);
    return out;
}

QueryData Query(uint32_t status, uint32_t minutes, const char* date) {
    QueryData q;
    memset(&q, 0, sizeof q);
    q.Status = status;
    q.Time = minutes;
    // As on the wire: NUL-padded, no NUL when the text fills the field.
    memcpy(q.Date, date, std::min(strlen(date), sizeof q.Date));
    return q;
}

std::string DateIn(int days, time_t now) {
    time_t t = now + days * 86400;
    struct tm lt = *localtime(&t);
    char text[16];
    strftime(text, sizeof text, "%Y-%m-%d", &lt);
    return text;
}

}  // namespace

TEST(ClientText, TrayTipPerState) {
    EXPECT_EQ(Tip(1, "", ""), "OVIK_ACC\n\xce\xde\xc1\xac\xbd\xd3");
    EXPECT_EQ(Tip(2, "", ""), "OVIK_ACC\n\xd5\xfd\xd4\xda\xc1\xac\xbd\xd3: ovik_acc");
    EXPECT_EQ(Tip(4, "", ""), "OVIK_ACC\n\xd5\xfd\xd4\xda\xb6\xcf\xbf\xaa: ovik_acc");
    EXPECT_EQ(Tip(3, "26-12-10 10:30", ""),
              "OVIK_ACC\n\xd2\xd1\xc1\xac\xbd\xd3\xb5\xbd: ovik_acc\n\xc1\xac\xbd\xd3\xca\xb1\xbc\xe4: 26-12-10 10:30");
    EXPECT_EQ(Tip(3, "26-12-10 10:30", "10.1.2.3"),
              "OVIK_ACC\n\xd2\xd1\xc1\xac\xbd\xd3\xb5\xbd: ovik_acc\n\xc1\xac\xbd\xd3\xca\xb1\xbc\xe4: 26-12-10 10:30"
              "\n\xb7\xd6\xc5\xe4\xb5\xd8\xd6\xb7: 10.1.2.3");
    EXPECT_EQ(Tip(7, "", ""), "OVIK_ACC");
    // An address holding a format directive is printed, not interpreted.
    EXPECT_NE(Tip(3, "x", "%s%n%s").find("%s%n%s"), std::string::npos);
}

TEST(ClientText, LongTipIsCutOnACharacterBoundary) {
    TrayTipTexts t = kTexts;
    std::string longStart(150, 'x');
    std::string tip = Tip(3, longStart.c_str(), "10.1.2.3");
    EXPECT_EQ(tip.size(), 127u);
    // Cutting so that a GBK character would be split drops it whole.
    for (size_t size = 9; size < 20; size++) {
        char out[64];
        BuildTrayTip(out, size, 1, t, "", "");
        size_t n = strlen(out);
        EXPECT_LT(n, size);
        // "OVIK_ACC", "\n", then whole two-byte characters.
        EXPECT_TRUE(n == 8 || (n - 9) % 2 == 0) << size;
    }
}

TEST(ClientText, GbkCopyKeepsCharactersWhole) {
    char out[6];
    EXPECT_EQ(CopyTextGbk(out, sizeof out, "a\xce\xde\xc1\xac\xbd\xd3"), 5u);
    EXPECT_STREQ(out, "a\xce\xde\xc1\xac");
    EXPECT_EQ(CopyTextGbk(out, 5, "a\xce\xde\xc1\xac"), 3u);
    EXPECT_STREQ(out, "a\xce\xde");
    // A lone lead byte at the end is copied as one byte.
    EXPECT_EQ(CopyTextGbk(out, sizeof out, "ab\xce"), 3u);
    char one[1] = {'z'};
    CopyTextGbk(one, 1, "abc");
    EXPECT_EQ(one[0], 0);
}

TEST(ClientText, TemplateFillsOnlyItsPlaceholder) {
    char out[64];
    FillTemplate(out, sizeof out, "\xb7\xd6\xc5\xe4 IP: %s", "10.0.0.1");
    EXPECT_STREQ(out, "\xb7\xd6\xc5\xe4 IP: 10.0.0.1");
    FillTemplate(out, sizeof out, "%s done", "%x%n");
    EXPECT_STREQ(out, "%x%n done");
    FillTemplate(out, 8, "no placeholder at all", "v");
    EXPECT_STREQ(out, "no plac");
}

TEST(ClientText, ConnectTimeAndTraffic) {
    struct {
        int32_t s;
        const char* text;
    } times[] = {{0, "0:0:0"}, {59, "0:0:59"}, {3725, "1:2:5"}, {86399, "23:59:59"}, {360000, "100:0:0"}};
    char out[32];
    for (auto& c : times) {
        FormatConnectTime(out, sizeof out, c.s);
        EXPECT_STREQ(out, c.text);
    }
    FormatBytes(out, sizeof out, 2048);
    EXPECT_STREQ(out, "2.00KB");
    FormatBytes(out, sizeof out, 1024);
    EXPECT_STREQ(out, "1024.00B");
    struct {
        float rate;
        const char* text;
    } rates[] = {{1.5f, "1.50Kbps"}, {0.0f, "0.00bps"}, {-3.0f, "0.00bps"}, {0.5f, "512.00bps"}};
    for (auto& c : rates) {
        FormatRate(out, sizeof out, c.rate);
        EXPECT_STREQ(out, c.text);
    }
    // Values from the wire that no integer holds are clamped, not undefined.
    float nan = 0.0f / 0.0f, huge = 3.0e38f;
    FormatRate(out, sizeof out, nan);
    EXPECT_STREQ(out, "0.00bps");
    FormatRate(out, sizeof out, huge);
    EXPECT_NE(strstr(out, "Tbps"), nullptr);
}

TEST(ClientText, QueryTextsAreBounded) {
    QueryData q;
    memset(&q, 'x', sizeof q);  // no NUL in Date or IP
    char date[64], ip[64];
    QueryDateText(date, sizeof date, q);
    QueryIpText(ip, sizeof ip, q);
    EXPECT_EQ(strlen(date), 11u);
    EXPECT_EQ(strlen(ip), 16u);
    QueryIpText(ip, 4, q);
    EXPECT_EQ(strlen(ip), 3u);
}

TEST(ClientText, AccountTypeImages) {
    struct {
        uint32_t status;
        int image;
        int type;
    } cases[] = {
        {0x10 | (0u << 10), 1137, 0}, {0x10 | (1u << 10), 1140, 1}, {0x20 | (2u << 10), 1138, 2},
        {0x20 | (3u << 10), 1139, 3}, {0x10 | (4u << 10), 0, 4},    {0x18 | (3u << 10), 1137, 0},
        {(2u << 10), 1137, 0},  // neither 0x10 nor 0x20: the type does not count
    };
    for (auto& c : cases) {
        EXPECT_EQ(AccountTypeImage(c.status), c.image) << std::hex << c.status;
        EXPECT_EQ(AccountType(c.status), c.type);
    }
    EXPECT_TRUE(AccountTextShown(0x90, "1.2.3.4"));
    EXPECT_TRUE(AccountTextShown(0xA0, "1.2.3.4"));
    EXPECT_FALSE(AccountTextShown(0x80, "1.2.3.4"));
    EXPECT_FALSE(AccountTextShown(0x98, "1.2.3.4"));
    EXPECT_FALSE(AccountTextShown(0x90, ""));
}

TEST(ClientText, AccountViewImagesPerStatusAndService) {
    struct {
        uint32_t status;
        int serviceIndex;
        int type, service, dateLabel;
    } cases[] = {
        {0x90 | (2u << 10), 0, 1138, 1135, 1133},  // VIP with an end date, internet service
        {0xA0 | (3u << 10), 1, 1139, 1136, 1129},  // platinum with remaining time, game service
        {0x10 | (1u << 10), 2, 1140, 1135, 1133},  // service indexes other than 1: internet
        {0x30 | (2u << 10), -1, 1138, 1135, 1133}, // both bits: the end date wins
        {0x28 | (3u << 10), 1, 1137, 1136, 1129},  // bit 0x08: free, whatever the type bits
        {0x80 | (2u << 10), 0, 1137, 1135, 0},     // neither 0x10 nor 0x20: free, no date label
        {0x20 | (5u << 10), 7, 0, 1135, 1129},     // type 5: no type image
    };
    for (auto& c : cases) {
        AccountViewImages v = AccountImagesFor(c.status, c.serviceIndex);
        EXPECT_EQ(v.type, c.type) << std::hex << c.status;
        EXPECT_EQ(v.service, c.service) << std::hex << c.status << " index " << c.serviceIndex;
        EXPECT_EQ(v.dateLabel, c.dateLabel) << std::hex << c.status;
    }
}

TEST(ClientText, ExpiryNotices) {
    time_t now = time(nullptr);
    std::string tomorrow = DateIn(1, now), inThree = DateIn(3, now), today = DateIn(0, now);
    struct {
        uint32_t status;
        uint32_t minutes;
        std::string date;
        ExpiryNotice want;
    } cases[] = {
        {(1u << 10) | 0x10, 0, tomorrow, EXPIRY_END_DATE_SOON},
        {(1u << 10) | 0x10, 0, inThree, EXPIRY_NONE},
        {(1u << 10) | 0x10, 0, today, EXPIRY_NONE},  // midnight already passed
        {(1u << 10) | 0x10, 0, "garbage", EXPIRY_NONE},
        {(1u << 10) | 0x10, 0, "2030-13-45", EXPIRY_NONE},
        {(2u << 10) | 0x20, 45, "", EXPIRY_LESS_THAN_HOUR},
        {(2u << 10) | 0x20, 59, "", EXPIRY_LESS_THAN_HOUR},
        {(2u << 10) | 0x20, 60, "", EXPIRY_NONE},
        {(0u << 10) | 0x20, 10, "", EXPIRY_NONE},          // type 0
        {(2u << 10) | 0x28, 10, "", EXPIRY_NONE},          // bit 0x08
        {(3u << 10) | 0x80, 10, tomorrow, EXPIRY_NONE},    // type 3, (Status & 0xB0) == 0x80
        {(3u << 10) | 0xA0, 10, "", EXPIRY_LESS_THAN_HOUR},
        {(1u << 10) | 0x30, 10, inThree, EXPIRY_NONE},     // end date wins over time
    };
    for (auto& c : cases) {
        QueryData q = Query(c.status, c.minutes, c.date.c_str());
        EXPECT_EQ(DecideExpiryNotice(q, now), c.want) << std::hex << c.status << " " << c.date;
    }
}
