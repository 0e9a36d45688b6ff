// Service notifications straight into DispatchNotification: which callback or
// note entry fires with which arguments, or that nothing happens.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "core.h"
#include "test_seams.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<std::string> g_events;
std::vector<std::string> g_debug;

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    return buf;
}

// Texts longer than a line of output are shown by their length.
std::string Shown(const char* text) {
    size_t n = strlen(text);
    return n > 200 ? Printf("<%u bytes>", (unsigned)n) : std::string(text);
}

void RecordState(int state) { g_events.push_back(Printf("state %d", state)); }

void RecordMessage(uint32_t code, const char* text) {
    g_events.push_back(Printf("message %08x %s", code, Shown(text).c_str()));
}

void RecordDebug(uint32_t code, const char* text) { g_debug.push_back(Printf("%08x %s", code, text)); }

void RecordCredentials(const char* name, const char* password) {
    g_events.push_back("account " + Shown(name) + "|" + Shown(password));
}

const char* Module(HINSTANCE m) { return m == GetModuleHandleA(nullptr) ? "own" : "other"; }

void RecordTextNote(uint32_t regId, const char* title, const char* text, const char* url, int seconds,
                    HINSTANCE module, const char* type, int skin, const RECT* titleRect,
                    const RECT* textRect, const RECT* closeRect) {
    g_events.push_back(Printf("text %u %ds [%s] [%s] [%s] %s %s %d %s", regId, seconds,
                              Shown(title).c_str(), Shown(text).c_str(), Shown(url).c_str(),
                              Module(module), type, skin,
                              !titleRect && !textRect && !closeRect ? "default-rects" : "rects"));
}

void RecordImageNote(uint32_t regId, const char* image, const char* url, int seconds,
                     HINSTANCE module, const char* type, int closeId, int x, int y, int w, int h) {
    g_events.push_back(Printf("image %u %ds [%s] [%s] %s %s %d %d,%d,%d,%d", regId, seconds,
                              Shown(image).c_str(), Shown(url).c_str(), Module(module), type, closeId,
                              x, y, w, h));
}

// Payload pieces: little-endian words, then text bytes.
Bytes Words(std::initializer_list<uint32_t> words, const std::string& tail = "") {
    Bytes b;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) b.push_back((uint8_t)(w >> (8 * i)));
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

Bytes Packet(uint32_t command, const Bytes& payload, uint32_t value = 0, uint32_t result = 0) {
    Bytes out(wire::kHeaderSize + payload.size());
    size_t n = wire::BuildPacket(wire::KIND_UDP, command, value, result, payload.data(),
                                 payload.size(), out.data(), out.size());
    out.resize(n);
    return out;
}

Bytes Truncated(Bytes b, size_t n) {
    b.resize(n);
    return b;
}

std::string Text(size_t n, char c = 'a') { return std::string(n, c); }

Bytes TextNote(const std::string& title, const std::string& text, const std::string& url) {
    return Packet(wire::NTF_TEXT_NOTE,
                  Words({7, 15, (uint32_t)title.size(), (uint32_t)text.size(), (uint32_t)url.size()},
                        title + text + url));
}

Bytes ImageNote(const std::string& image, const std::string& url) {
    return Packet(wire::NTF_IMAGE_NOTE,
                  Words({9, 20, (uint32_t)image.size(), (uint32_t)url.size()}, image + url));
}

Bytes Account(const std::string& name, const std::string& password) {
    return Packet(wire::NTF_ACCOUNT,
                  Words({(uint32_t)name.size(), (uint32_t)password.size()}, name + password));
}

// LatestVersionInfo: core 1.7.2.0301, library 1.7.1.0600, client 1.7.3.0140.
Bytes Latest(uint32_t index, uint32_t coreFlag, uint32_t dllFlag, uint32_t guiFlag, size_t size = 36) {
    Bytes p = Words({0, 0, 0, 0x1072012D, 0x10710258, 0x1073008C, coreFlag, dllFlag, guiFlag});
    p.resize(size);
    return Packet(wire::NTF_LATEST_VERSION, p, index);
}

const char kLatestNotice[] =
    "message 30000000 DLL: The latest version infomation: Core 1.7.2.0301, DLL 1.7.1.0600, GUI 1.7.3.0140 index ";

class Notifications : public ::testing::Test {
protected:
    void SetUp() override {
        g_events.clear();
        g_debug.clear();
        ResetLastReportedError();
        SetMessageCallback(RecordMessage);
        SetDebugCallback(nullptr);
        g_core.stateCallback = RecordState;
        g_core.credentialsCallback = RecordCredentials;
        g_textNoteEntry = RecordTextNote;
        g_imageNoteEntry = RecordImageNote;
        g_core.moduleInstance = GetModuleHandleA(nullptr);
        g_core.UpgradeState = UPGRADE_NONE;
        g_core.clientIndex = 0;
        g_core.connected = 0;
    }
    void TearDown() override {
        SetMessageCallback(nullptr);
        SetDebugCallback(nullptr);
        g_core.stateCallback = nullptr;
        g_core.credentialsCallback = nullptr;
        g_core.UpgradeState = UPGRADE_NONE;
    }
    static void Dispatch(const Bytes& p) { DispatchNotification(p.data(), (int)p.size()); }
};

struct Case {
    const char* name;
    Bytes packet;
    std::vector<std::string> expected;
};

TEST_F(Notifications, EachKindWithValidAndInvalidLengths) {
    const uint32_t big = 0xFFFFFFFF;
    const std::vector<Case> cases = {
        // 1001 / 2001: a trace only
        {"info 1001", Packet(wire::NTF_INFO, Words({5}, "hello")), {}},
        {"info 2001", Packet(wire::NTF_INFO2, Words({5}, "hello")), {}},
        {"info without payload", Packet(wire::NTF_INFO, {}), {}},
        // 1003
        {"status 2", Packet(wire::NTF_STATUS, Words({2})), {"state 2"}},
        {"status 3", Packet(wire::NTF_STATUS, Words({3})), {"state 3"}},
        {"status with empty payload reads 0", Packet(wire::NTF_STATUS, {}), {"state 0"}},
        // 1004: passed on unfiltered, even a debug-level or repeated code
        {"message", Packet(wire::NTF_MESSAGE, Words({}, "conflict"), 0, 0x30170004),
         {"message 30170004 conflict"}},
        {"message debug-level code", Packet(wire::NTF_MESSAGE, Words({}, "low"), 0, 0x10000000),
         {"message 10000000 low"}},
        {"message with percent", Packet(wire::NTF_MESSAGE, Words({}, "100% %s %n"), 0, 0x50170005),
         {"message 50170005 100% %s %n"}},
        {"message empty", Packet(wire::NTF_MESSAGE, {}, 0, 0x50000A09), {"message 50000a09 "}},
        // 1005: payload = 8 + L1 + L2; each text at most 1023 bytes
        {"account", Account("demo_user", "demo_pass"), {"account demo_user|demo_pass"}},
        {"account empty texts", Account("", ""), {"account |"}},
        {"account one byte short", Packet(wire::NTF_ACCOUNT, Words({9, 9}, "demo_userdemo_pas")), {}},
        {"account one byte long", Packet(wire::NTF_ACCOUNT, Words({9, 9}, "demo_userdemo_pass!")), {}},
        {"account shorter than its lengths", Packet(wire::NTF_ACCOUNT, Words({9})), {}},
        {"account sum wraps 32 bits", Packet(wire::NTF_ACCOUNT, Words({big, 9}, "12345678")), {}},
        {"account name 1023 bytes", Account(Text(1023), "p"), {"account <1023 bytes>|p"}},
        {"account name 1024 bytes", Account(Text(1024), "p"), {}},
        {"account password 1024 bytes", Account("n", Text(1024)), {}},
        // 1006: payload above 20 and = 20 + T + M + U; each text at most 1023 bytes
        {"text note", TextNote("Title", "Body", "http://127.0.0.1/x"),
         {"text 7 15s [Title] [Body] [http://127.0.0.1/x] own BINARY 1002 default-rects"}},
        {"text note with only a URL", TextNote("", "", "u"),
         {"text 7 15s [] [] [u] own BINARY 1002 default-rects"}},
        {"text note all lengths 0", TextNote("", "", ""), {}},
        {"text note lengths one short",
         Packet(wire::NTF_TEXT_NOTE, Words({7, 15, 2, 2, 2}, "aabbc")), {}},
        {"text note lengths one long",
         Packet(wire::NTF_TEXT_NOTE, Words({7, 15, 2, 2, 2}, "aabbccd")), {}},
        {"text note header only part", Packet(wire::NTF_TEXT_NOTE, Words({7, 15, 0})), {}},
        {"text note sum wraps 32 bits",
         Packet(wire::NTF_TEXT_NOTE, Words({7, 15, big, 2, 0}, "a")), {}},
        {"text note sum wraps with all three",
         Packet(wire::NTF_TEXT_NOTE, Words({7, 15, 0x80000000, 0x7FFFFFFF, 2}, "a")), {}},
        {"text note text 1023 bytes", TextNote("t", Text(1023), ""),
         {"text 7 15s [t] [<1023 bytes>] [] own BINARY 1002 default-rects"}},
        {"text note title 1024 bytes", TextNote(Text(1024), "x", ""), {}},
        {"text note text 1024 bytes", TextNote("t", Text(1024), ""), {}},
        {"text note URL 1024 bytes", TextNote("t", "x", Text(1024)), {}},
        // 1007: payload above 16 and = 16 + I + U
        {"image note", ImageNote("http://127.0.0.1/p.gif", "http://127.0.0.1/"),
         {"image 9 20s [http://127.0.0.1/p.gif] [http://127.0.0.1/] own BINARY 1001 -1,-1,-1,-1"}},
        {"image note without click URL", ImageNote("i", ""),
         {"image 9 20s [i] [] own BINARY 1001 -1,-1,-1,-1"}},
        {"image note both lengths 0", ImageNote("", ""), {}},
        {"image note lengths one short", Packet(wire::NTF_IMAGE_NOTE, Words({9, 20, 3, 3}, "iiiuu")), {}},
        {"image note sum wraps 32 bits",
         Packet(wire::NTF_IMAGE_NOTE, Words({9, 20, 0xFFFFFFF8, 9}, "a")), {}},
        {"image note image URL 1024 bytes", ImageNote(Text(1024), "u"), {}},
        {"image note click URL 1024 bytes", ImageNote("i", Text(1024)), {}},
        // 1009: exactly 36 bytes (flags clear here: only the notice)
        {"latest version", Latest(5, 0, 0, 0), {std::string(kLatestNotice) + "5"}},
        {"latest version index 0", Latest(0, 0, 0, 0), {std::string(kLatestNotice) + "0"}},
        {"latest version 35 bytes", Latest(5, 0, 0, 0, 35), {}},
        {"latest version 37 bytes", Latest(5, 0, 0, 0, 37), {}},
        // not notifications, or not packets
        {"registration code 1002", Packet(wire::CMD_REGISTER_UDP, Words({}, "APP KEY:x")), {}},
        {"code 1008", Packet(1008, Words({3})), {}},
        {"reply code 2011", Packet(wire::CMD_GET_QUERY_DATA, Words({3})), {}},
        {"23 bytes", Truncated(Packet(wire::NTF_STATUS, {}), 23), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_events.clear();
        g_core.UpgradeState = UPGRADE_NONE;
        Dispatch(c.packet);
        EXPECT_EQ(c.expected, g_events);
    }
}

TEST_F(Notifications, MalformedPacketsAreDropped) {
    Bytes status = Packet(wire::NTF_STATUS, Words({3}));
    Bytes badMagic = status;
    badMagic[0] ^= 1;
    Bytes claimsMore = status;
    wire::PutU32(claimsMore.data() + 12, 5);  // 5 payload bytes claimed, 4 sent
    Bytes claimsHuge = status;
    wire::PutU32(claimsHuge.data() + 12, 0xFFFFFFF0);
    for (const Bytes* p : {&badMagic, &claimsMore, &claimsHuge}) Dispatch(*p);
    DispatchNotification(status.data(), 0);
    DispatchNotification(status.data(), -1);
    DispatchNotification(nullptr, 24);
    EXPECT_TRUE(g_events.empty());
}

TEST_F(Notifications, MissingCallbacksMeanNothingHappens) {
    g_core.stateCallback = nullptr;
    g_core.credentialsCallback = nullptr;
    SetMessageCallback(nullptr);
    Dispatch(Packet(wire::NTF_STATUS, Words({3})));
    Dispatch(Account("demo_user", "demo_pass"));
    Dispatch(Packet(wire::NTF_MESSAGE, Words({}, "x"), 0, 0x30170004));
    EXPECT_TRUE(g_events.empty());
}

TEST_F(Notifications, CloseLinkMessageClosesFirstEvenWithoutCallback) {
    g_core.connected = 1;
    SetMessageCallback(nullptr);
    Dispatch(Packet(wire::NTF_MESSAGE, Words({}, "bye"), 0, 0x401A0A05));
    EXPECT_EQ(0, g_core.connected);

    // With a callback: the link is already closed when it runs.
    static LONG connectedInCallback = -1;
    connectedInCallback = -1;
    g_core.connected = 1;
    SetMessageCallback([](uint32_t, const char*) { connectedInCallback = g_core.connected; });
    Dispatch(Packet(wire::NTF_MESSAGE, Words({}, "bye"), 0, 0x401A0A05));
    EXPECT_EQ(0, connectedInCallback);

    g_core.connected = 1;
    Dispatch(Packet(wire::NTF_MESSAGE, Words({}, "stay"), 0, 0x401A0A06));
    EXPECT_EQ(1, g_core.connected);
    g_core.connected = 0;
}

// A callback that pumps messages (a message box) lets the next datagram in
// before it returns; its own text must survive the nested dispatch.
TEST_F(Notifications, NestedDispatchKeepsTheOuterTexts) {
    static int depth = 0;
    depth = 0;
    SetMessageCallback([](uint32_t code, const char* text) {
        std::string before = text;
        if (depth++ == 0) {
            Dispatch(Packet(wire::NTF_MESSAGE, Words({}, "inner text that is longer"), 0, 0x30000002));
            Dispatch(Account("nested", "account"));
        }
        g_events.push_back(Printf("message %08x %s%s", code, text, before == text ? "" : " (changed)"));
    });
    g_core.credentialsCallback = [](const char* name, const char* password) {
        std::string n = name, p = password;
        Dispatch(TextNote("nested note", "x", ""));
        g_events.push_back("account " + std::string(name) + "|" + password +
                           (n == name && p == password ? "" : " (changed)"));
    };
    Dispatch(Packet(wire::NTF_MESSAGE, Words({}, "outer"), 0, 0x30000001));
    std::vector<std::string> expected = {
        "message 30000002 inner text that is longer",
        "text 7 15s [nested note] [x] [] own BINARY 1002 default-rects",
        "account nested|account",
        "message 30000001 outer",
    };
    EXPECT_EQ(expected, g_events);
}

TEST_F(Notifications, TraceLines) {
    SetDebugCallback(RecordDebug);
    Dispatch(Packet(wire::NTF_INFO, Words({42}, "text")));
    Dispatch(Packet(wire::NTF_STATUS, Words({3})));
    Dispatch(TextNote("T", "M", "U"));
    Dispatch(ImageNote("I", "U"));
    Dispatch(Packet(wire::NTF_STATUS, {}));
    std::vector<std::string> expected = {
        "20000000 RECV: (8) *",  // the payload text: the number's bytes, then "text"
        "20000000 Info: [42] text",
        "20000000 RECV: (4) \x03",
        "20000000 New Status: New=3",
        "20000000 RECV: (23) \x07",
        "20000000 DLL: nw_ShowTextNote: reg_id=7, title=T message =M url=U",
        "20000000 RECV: (18) \x09",
        "20000000 DLL: nw_ShowImageNote2: reg_id=9 image=I url=U",
        "20000000 New Status: New=0",  // no payload: no RECV line
    };
    EXPECT_EQ(expected, g_debug);
}

struct UpgradeCase {
    const char* name;
    Bytes packet;
    LONG upgradeState;
    int clientIndex;
    std::vector<std::string> events;
};

// The upgrade worker that the core flag starts is parked before it does
// anything: its waits and reports belong to tests/core_upgrade.
void ParkUpgradeWorker() { Sleep(INFINITE); }

TEST_F(Notifications, LatestVersionStoresAndStartsTheUpgrade) {
    SetDebugCallback(RecordDebug);
    SetUpgradeWorkerHookForTest(ParkUpgradeWorker);
    const std::vector<UpgradeCase> cases = {
        {"no flags", Latest(3, 0, 0, 0), 0, 3, {std::string(kLatestNotice) + "3"}},
        {"index 0 stored as 1", Latest(0, 0, 0, 0), 0, 1, {std::string(kLatestNotice) + "0"}},
        {"negative index stored as 1", Latest(0xFFFFFFFE, 0, 0, 0), 0, 1,
         {std::string(kLatestNotice) + "-2"}},
        {"core flag", Latest(2, 1, 1, 1), 1, 2, {std::string(kLatestNotice) + "2", "state 1"}},
        {"client flag over library flag", Latest(2, 0, 1, 1), 3, 2,
         {std::string(kLatestNotice) + "2", "message 301b0004 upgrade Zorvet GUI version"}},
        {"library flag", Latest(2, 0, 1, 0), 2, 2,
         {std::string(kLatestNotice) + "2", "message 301b0003 upgrade Zorvet DLL version"}},
    };
    for (const UpgradeCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_events.clear();
        g_debug.clear();
        g_core.UpgradeState = UPGRADE_NONE;
        g_core.clientIndex = 0;
        Dispatch(c.packet);
        EXPECT_EQ(c.events, g_events);
        EXPECT_EQ(c.upgradeState, g_core.UpgradeState);
        EXPECT_EQ(c.clientIndex, g_core.clientIndex);
        EXPECT_EQ(0, memcmp(&g_core.latestVersion, c.packet.data() + 24, 36));
        bool traced = false;
        for (const std::string& d : g_debug) traced = traced || d == "201b0000 start_upgrade";
        EXPECT_EQ(c.upgradeState == UPGRADE_CORE, traced);
    }
}

TEST_F(Notifications, UpgradeStateTexts) {
    const struct {
        LONG state;
        const char* text;
    } cases[] = {
        {0, nullptr},
        {1, "message 301b0001 UPDT: updating Zorvet Core ..."},
        {2, "message 301b0001 UPDT: Please update Zorvet DLL"},
        {3, "message 301b0001 UPDT: Please update Zorvet GUI"},
    };
    for (const auto& c : cases) {
        g_events.clear();
        g_core.UpgradeState = c.state;
        ReportUpgradeState();
        ReportUpgradeState();  // notices are not deduplicated
        std::vector<std::string> expected;
        if (c.text) expected = {c.text, c.text};
        EXPECT_EQ(expected, g_events) << c.state;
    }
}

}  // namespace
