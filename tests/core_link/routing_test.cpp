#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "core.h"
#include "test_seams.h"

namespace {

struct Call {
    uint32_t code;
    std::string text;
};
struct Note {
    std::string title, text, url;
    int seconds;
};
std::vector<Call> g_messages, g_debug;
std::vector<Note> g_notes;

void OnMessage(uint32_t code, const char* text) { g_messages.push_back({code, text}); }
void OnDebug(uint32_t code, const char* text) { g_debug.push_back({code, text}); }
void OnNote(const char* title, const char* text, const char* url, int seconds) {
    g_notes.push_back({title, text, url, seconds});
}

class Routing : public ::testing::Test {
protected:
    void SetUp() override {
        g_messages.clear();
        g_debug.clear();
        g_notes.clear();
        SetPromptNoteSinkForTest(OnNote);
        ResetLastReportedError();
        SetMessageCallback(OnMessage);
        SetDebugCallback(nullptr);
    }
    void TearDown() override {
        SetMessageCallback(nullptr);
        SetDebugCallback(nullptr);
        SetPromptNoteSinkForTest(nullptr);
    }
    static std::vector<uint32_t> Codes() {
        std::vector<uint32_t> v;
        for (const Call& c : g_messages) v.push_back(c.code);
        return v;
    }
};

const char kNewVersion[] = "本软件最新版本已经发布，\n您是否现在就更新？";

}  // namespace

TEST_F(Routing, DebugCodesAreDroppedWithoutFormatting) {
    // A bad pointer for %s: formatting it would fault, so this shows nothing is formatted.
    ReportMessage(0x20000000, "%s", (const char*)1);
    ReportMessage(0x2FFFFFFF, "trace");
    EXPECT_TRUE(g_messages.empty());
    EXPECT_TRUE(g_notes.empty());

    SetDebugCallback(OnDebug);
    ReportMessage(0x20000400, "FUNC: %s in", "Zorvet_Stop");  // prompt bit on a debug code: no note
    ASSERT_EQ(g_debug.size(), 1u);
    EXPECT_EQ(g_debug[0].text, "FUNC: Zorvet_Stop in");
    EXPECT_TRUE(g_messages.empty());
    EXPECT_TRUE(g_notes.empty());
}

TEST_F(Routing, NoticesAlwaysErrorsOnlyWhenChanged) {
    struct Case {
        const char* name;
        std::vector<uint32_t> reported;
        std::vector<uint32_t> delivered;
    } cases[] = {
        {"notices repeat", {0x30000000, 0x30000000, 0x301B0001}, {0x30000000, 0x30000000, 0x301B0001}},
        {"prompt codes repeat", {0x40000001, 0x40000001}, {0x40000001, 0x40000001}},
        {"same error once", {0x500B0208, 0x500B0208, 0x500B0208}, {0x500B0208}},
        {"error in between", {0x500B0208, 0x501A0202, 0x500B0208}, {0x500B0208, 0x501A0202, 0x500B0208}},
        {"notice does not reset", {0x500B0208, 0x30000000, 0x500B0208}, {0x500B0208, 0x30000000}},
        {"top of range", {0xFFFFFFFF, 0xFFFFFFFF, 0x50000000}, {0xFFFFFFFF, 0x50000000}},
    };
    for (const Case& c : cases) {
        SetUp();
        for (uint32_t code : c.reported) ReportMessage(code, "m");
        EXPECT_EQ(Codes(), c.delivered) << c.name;
    }

    // A new Zorvet_Init resets the memory; so does a repeat after no callback was set.
    SetUp();
    ReportMessage(0x500B0201, "Could not create socket.");
    ResetLastReportedError();
    ReportMessage(0x500B0201, "Could not create socket.");
    EXPECT_EQ(g_messages.size(), 2u);
    SetMessageCallback(nullptr);
    ReportMessage(0x500B0202, "x");  // remembered even with no callback
    EXPECT_EQ(GetLastReportedError(), 0x500B0202u);
    SetMessageCallback(OnMessage);
    ReportMessage(0x500B0202, "x");
    EXPECT_EQ(g_messages.size(), 2u);
}

TEST_F(Routing, PromptBitRaisesNote) {
    ReportMessage(0x40000408, "new version");
    ASSERT_EQ(g_notes.size(), 1u);
    EXPECT_EQ(g_notes[0].title, "软件提示信息");
    EXPECT_EQ(g_notes[0].text, kNewVersion);
    EXPECT_EQ(g_notes[0].url, "");
    EXPECT_EQ(g_notes[0].seconds, 15);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].text, "new version");

    // An error with the bit that repeats the last error still raises its note.
    ReportMessage(0x50000401, "e");
    ReportMessage(0x50000401, "e");
    EXPECT_EQ(g_messages.size(), 2u);
    ASSERT_EQ(g_notes.size(), 3u);
    EXPECT_EQ(g_notes[2].text, "未知错误 (#50000401)");

    // The debug sink gets the message, then the prompt text.
    SetDebugCallback(OnDebug);
    ReportMessage(0x40150404, "pppoe");
    ASSERT_EQ(g_debug.size(), 2u);
    EXPECT_EQ(g_debug[0].text, "pppoe");
    EXPECT_EQ(g_debug[1].text, PromptText(0x40150404));
}

TEST_F(Routing, PromptTextsAreGbk) {
    const uint8_t* t = (const uint8_t*)PromptText(0x40000408);
    EXPECT_EQ(t[0], 0xB1);  // 本
    EXPECT_EQ(t[1], 0xBE);
    EXPECT_STREQ(PromptText(0x40000408), kNewVersion);
    EXPECT_STREQ(PromptText(0x40150404),
                 "您正在直接使用PPPOE拨号上网，\n这种方式可能影响加速效果，\n建议您在电脑前设置一个路由，以保障效果。");
    EXPECT_STREQ(PromptText(0x4000ABCD), "未知错误 (#4000abcd)");
    const uint8_t* u = (const uint8_t*)PromptText(1);
    EXPECT_EQ(u[0], 0xCE);  // 未
    EXPECT_EQ(u[1], 0xB4);
}

TEST_F(Routing, LongMessageIsCut) {
    std::string big(2000, 'a');
    SetDebugCallback(OnDebug);
    ReportMessage(0x30000000, "%s", big.c_str());
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].text, std::string(1023, 'a'));
    EXPECT_EQ(g_debug[0].text.size(), 1023u);
}

TEST_F(Routing, UtilityHooksReport) {
    SetDebugCallback(OnDebug);
    char buf[kByteSizeTextSize];
    FormatByteSize(buf, 1536, "B");
    ASSERT_EQ(g_debug.size(), 1u);
    EXPECT_EQ(g_debug[0].code, 0x20000000u);
    EXPECT_EQ(g_debug[0].text, "string: 1.50KB");

    EXPECT_EQ(CheckCredentials("abc", "secret1"), 0x50130209u);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].code, 0x50130209u);
    EXPECT_EQ(g_messages[0].text, "AUTH: the name or the password is empty, or not in 6 - 40");
}

TEST(ErrorTexts, SocketAndSystem) {
    MemoryPool pool = PoolInit();
    struct {
        int number;
        const char* text;
    } cases[] = {
        {31, "General failure (ERROR_GEN_FAILURE)"},
        {10035, "Operation would block (WSAEWOULDBLOCK)"},
        {10054, "Connection reset by peer (WSAECONNRESET)"},
        {10093, "Successful WSASTARTUP not yet performed (WSANOTINITIALISED)"},
        {11001, "Host not found (WSAHOST_NOT_FOUND)"},
    };
    for (const auto& c : cases) EXPECT_STREQ(SocketErrorText(c.number, &pool), c.text) << c.number;

    // Other numbers: the system's text on one line.
    const char* sys = SocketErrorText(ERROR_FILE_NOT_FOUND, &pool);
    EXPECT_GT(strlen(sys), 0u);
    EXPECT_EQ(strpbrk(sys, "\r\n"), nullptr);
    EXPECT_STREQ(SocketErrorText(0x2345678, &pool), "[Unknown Win32 Error]");
    PoolFree(&pool);

    EXPECT_GT(strlen(SystemErrorText(ERROR_ACCESS_DENIED)), 0u);
    EXPECT_STREQ(SystemErrorText(0x2345678), "");
    SetLastError(ERROR_ACCESS_DENIED);
    std::string last = SystemErrorText(0);
    EXPECT_EQ(last, SystemErrorText(ERROR_ACCESS_DENIED));
}
