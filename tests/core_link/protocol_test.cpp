#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core.h"
#include "fake_peer.h"
#include "test_seams.h"
#include "../wait_scale.h"

using namespace wire;

namespace {

FakePeer g_peer;
std::vector<std::pair<uint32_t, std::string>> g_messages;
void OnMessage(uint32_t code, const char* text) { g_messages.emplace_back(code, text); }

// Waits with the window's messages flowing (timers and socket events of the
// helper window belong to this thread).
void PumpFor(int ms) {
    DWORD start = GetTickCount();
    while ((int)(GetTickCount() - start) < ms) {
        PumpMessages();
        Sleep(5);
    }
}

std::string RegistrationText() { return "APP KEY:client-" + std::to_string(GetCurrentProcessId()); }

// Whole requests as the library frames them: prefix, header, payload.
struct Request {
    uint32_t prefix;
    PacketHeader h;
    std::string payload;
};
std::vector<Request> SplitRequests(const Bytes& b, bool* wellFormed) {
    std::vector<Request> out;
    size_t at = 0;
    *wellFormed = true;
    while (at + 28 <= b.size()) {
        Request r;
        r.prefix = GetU32(&b[at]);
        r.h.Magic = GetU32(&b[at + 4]);
        r.h.Marker = GetU32(&b[at + 8]);
        r.h.Command = GetU32(&b[at + 12]);
        r.h.Length = GetU32(&b[at + 16]);
        r.h.Value = GetU32(&b[at + 20]);
        r.h.Result = GetU32(&b[at + 24]);
        if (r.prefix != 24 + r.h.Length || r.h.Magic != kMagic || r.h.Marker != 1001 ||
            at + 4 + r.prefix > b.size()) {
            *wellFormed = false;
            return out;
        }
        r.payload.assign((const char*)&b[at + 28], r.h.Length);
        out.push_back(r);
        at += 4 + r.prefix;
    }
    if (at != b.size()) *wellFormed = false;
    return out;
}

class Link : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        WSADATA wsa;
        WSAStartup(0x0202, &wsa);
        static bool started = g_peer.Start(kDaemonPort);
        ASSERT_TRUE(started) << "port 63872 in use";
    }
    void SetUp() override { Open(); }
    void TearDown() override {
        CloseDaemonSockets();
        g_peer.CloseConn(false);
        SetMessageCallback(nullptr);
        SetKeepAliveIntervalForTest(0);
        PumpMessages();
    }
    void Open() {
        g_messages.clear();
        SetMessageCallback(OnMessage);
        ResetLastReportedError();
        ASSERT_EQ(dll_socket_init(kDaemonPort), 1);
        ASSERT_TRUE(g_peer.Accept(2000));
        std::string text = RegistrationText();
        tcpRegistration = g_peer.Read(28 + text.size(), 2000);
        udpRegistration = g_peer.RecvDatagram(2000, &clientUdp);
    }
    // Leaves nothing of an earlier case in the stream.
    void Drain() {
        char buf[8192];
        while (Readable(g_core.tcpSocket, 0) && recv(g_core.tcpSocket, buf, sizeof buf, 0) > 0) {
        }
        AssemblerReset(&g_core.tcpStream);
    }
    Bytes tcpRegistration, udpRegistration;
    sockaddr_in clientUdp = {};
};

}  // namespace

TEST_F(Link, RegistrationBytes) {
    std::string text = RegistrationText();
    // UDP: header and text, no prefix, no NUL.
    ASSERT_EQ(udpRegistration.size(), 24 + text.size());
    EXPECT_EQ(GetU32(&udpRegistration[0]), kMagic);
    EXPECT_EQ(GetU32(&udpRegistration[4]), 1001u);
    EXPECT_EQ(GetU32(&udpRegistration[8]), 1002u);
    EXPECT_EQ(GetU32(&udpRegistration[12]), text.size());
    EXPECT_EQ(GetU32(&udpRegistration[16]), 0u);
    EXPECT_EQ(GetU32(&udpRegistration[20]), 0x1071024Bu);
    EXPECT_EQ(std::string(udpRegistration.begin() + 24, udpRegistration.end()), text);
    // The notification socket listens on loopback only.
    EXPECT_EQ(ntohl(clientUdp.sin_addr.s_addr), INADDR_LOOPBACK);
    sockaddr_in bound = {};
    int bl = sizeof bound;
    ASSERT_EQ(getsockname(g_core.udpSocket, (sockaddr*)&bound, &bl), 0);
    EXPECT_EQ(ntohl(bound.sin_addr.s_addr), INADDR_LOOPBACK);

    // TCP: the same with the length prefix.
    ASSERT_EQ(tcpRegistration.size(), 28 + text.size());
    EXPECT_EQ(GetU32(&tcpRegistration[0]), 24 + text.size());
    EXPECT_EQ(GetU32(&tcpRegistration[4]), kMagic);
    EXPECT_EQ(GetU32(&tcpRegistration[12]), 2002u);
    EXPECT_EQ(GetU32(&tcpRegistration[24]), 0x1071024Bu);
    EXPECT_EQ(std::string(tcpRegistration.begin() + 28, tcpRegistration.end()), text);
    EXPECT_TRUE(g_peer.ReadAll(100).empty()) << "no further bytes";
}

TEST_F(Link, RequestFraming) {
    for (uint32_t n : {0u, 1u, 52u, 180u, 5096u}) {
        std::string payload(n, '\0');
        for (uint32_t i = 0; i < n; ++i) payload[i] = (char)(i * 7 + 1);
        ASSERT_EQ(SendPacket(KIND_TCP, g_core.tcpSocket, nullptr, CMD_INIT, 0x11, 0x22, payload.data(), n), 1);
        Bytes got = g_peer.Read(28 + n, 2000);
        ASSERT_EQ(got.size(), 28 + n) << n;
        EXPECT_EQ(GetU32(&got[0]), 24 + n);
        EXPECT_EQ(GetU32(&got[4]), kMagic);
        EXPECT_EQ(GetU32(&got[8]), 1001u);
        EXPECT_EQ(GetU32(&got[12]), (uint32_t)CMD_INIT);
        EXPECT_EQ(GetU32(&got[16]), n);
        EXPECT_EQ(GetU32(&got[20]), 0x11u);
        EXPECT_EQ(GetU32(&got[24]), 0x22u);
        EXPECT_EQ(std::string(got.begin() + 28, got.end()), payload);
    }
    EXPECT_TRUE(g_peer.ReadAll(50).empty());

    // UDP to the service: no prefix.
    sockaddr_in service = {};
    service.sin_family = AF_INET;
    service.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    service.sin_port = htons(kDaemonPort);
    ASSERT_EQ(SendPacket(KIND_UDP, g_core.udpSocket, &service, CMD_REGISTER_UDP, 0, 5, "abc", 3), 1);
    Bytes d = g_peer.RecvDatagram(1000, nullptr);
    ASSERT_EQ(d.size(), 27u);
    EXPECT_EQ(GetU32(&d[0]), kMagic);

    EXPECT_EQ(SendPacket(3, g_core.tcpSocket, nullptr, CMD_STOP, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(SendPacket(KIND_TCP, INVALID_SOCKET, nullptr, CMD_STOP, 0, 0, nullptr, 0), 0);
    EXPECT_TRUE(g_peer.ReadAll(50).empty());
}

TEST_F(Link, LargeSendArrivesWhole) {
    // Far more than one send takes while the peer is not reading: the rest must
    // follow, not be dropped and counted as sent.
    const uint32_t n = 3 * 1024 * 1024;
    std::string payload(n, '\0');
    for (uint32_t i = 0; i < n; ++i) payload[i] = (char)(i % 251);
    std::atomic<int> result{-1};
    std::thread t([&] {
        result = SendPacket(KIND_TCP, g_core.tcpSocket, nullptr, CMD_SET_REGISTRY_VALUE, 0, 0,
                            payload.data(), n);
    });
    Sleep(200);
    Bytes got = g_peer.Read(28 + n, 10000);
    t.join();
    EXPECT_EQ(result, 1);
    ASSERT_EQ(got.size(), 28u + n);
    EXPECT_EQ(GetU32(&got[0]), 24 + n);
    EXPECT_TRUE(memcmp(got.data() + 28, payload.data(), n) == 0);
}

TEST_F(Link, WaitReplyCases) {
    auto r2009 = ServicePacket(CMD_ERRNO, "", 0, 7);
    auto q64 = ServicePacket(CMD_GET_QUERY_DATA, std::string(64, 'q'), 0, 1);
    Bytes badMagic = q64;
    badMagic[0] ^= 0xFF;
    Bytes badMagicOther = r2009;
    badMagicOther[0] ^= 0xFF;
    Bytes claimsMore = ServicePacket(CMD_GET_QUERY_DATA, std::string(64, 'q'));
    PutU32(&claimsMore[12], 100);  // 64 arrive, 100 claimed
    Bytes huge = ServicePacket(CMD_GET_QUERY_DATA, "");
    PutU32(&huge[12], 6000);

    struct Case {
        const char* name;
        std::vector<Bytes> sends;  // each its own send, 60 ms apart
        int expected;
        uint32_t length;
        int maxMs;
    } cases[] = {
        {"other command first, joined", {Join({r2009, q64})}, 1, 64, 1000},
        {"other command first, separate", {r2009, q64}, 1, 64, 1000},
        {"short packet skipped", {Join({Bytes(r2009.begin(), r2009.begin() + 10), q64})}, 1, 64, 1000},
        {"garbage skipped", {Bytes(40, 0x55), q64}, 1, 64, 1000},
        {"wrong magic on another command", {Join({badMagicOther, q64})}, 1, 64, 1000},
        {"wrong magic on the expected command", {badMagic}, 0, 0, 1000},
        {"63 bytes", {ServicePacket(CMD_GET_QUERY_DATA, std::string(63, 'q'))}, 0, 63, 1000},
        {"64 bytes", {q64}, 1, 64, 1000},
        {"65 bytes", {ServicePacket(CMD_GET_QUERY_DATA, std::string(65, 'q'))}, 0, 65, 1000},
        {"split in three", {Bytes(q64.begin(), q64.begin() + 10), Bytes(q64.begin() + 10, q64.begin() + 30),
                            Bytes(q64.begin() + 30, q64.end())}, 1, 64, 1000},
        {"length over 5096", {huge}, 0, 0, 1000},
        {"length beyond what arrived", {claimsMore}, 0, 0, 3500},
        {"no reply", {}, 0, 0, 3500},
    };
    for (const Case& c : cases) {
        Drain();
        g_core.LastReplyHeader = PacketHeader{1, 2, 3, 4, 5, 6};
        std::thread peer([&] {
            for (const Bytes& b : c.sends) {
                Sleep(60);
                g_peer.Send(b);
            }
        });
        uint8_t dest[80];
        memset(dest, 0xEE, sizeof dest);
        uint32_t len = 99;
        DWORD start = GetTickCount();
        int r = WaitReply(g_core.tcpSocket, CMD_GET_QUERY_DATA, &g_core.LastReplyHeader, dest, 64, &len);
        int ms = (int)(GetTickCount() - start);
        peer.join();
        EXPECT_EQ(r, c.expected) << c.name;
        EXPECT_EQ(len, c.length) << c.name;
        EXPECT_LE(ms, c.maxMs) << c.name;
        EXPECT_EQ(dest[64], 0xEE) << c.name << ": nothing past the destination";
        if (r == 1) {
            EXPECT_EQ(dest[0], 'q') << c.name;
            EXPECT_EQ(g_core.LastReplyHeader.Result, 1u) << c.name;
        }
        if (c.sends.empty()) {
            EXPECT_GE(ms, 1700) << "about 2 s";
            EXPECT_EQ(g_core.LastReplyHeader.Command, 3u) << "kept when nothing arrives";
        }
    }
}

TEST_F(Link, WaitReplyDestinations) {
    struct Case {
        const char* name;
        uint32_t command;
        Bytes reply;
        bool withDest;
        size_t destSize;
        int expected;
        size_t copied;
    } cases[] = {
        {"2014 fits", CMD_PROC_GET_INFO, ServicePacket(CMD_PROC_GET_INFO, std::string(2 * 312, 'p')), true, 2 * 312, 1, 2 * 312},
        {"2014 longer than destination", CMD_PROC_GET_INFO, ServicePacket(CMD_PROC_GET_INFO, std::string(3 * 312, 'p')), true, 2 * 312, 0, 0},
        {"2014 count only", CMD_PROC_GET_INFO, ServicePacket(CMD_PROC_GET_INFO, std::string(312, 'p')), false, 0, 1, 0},
        {"2104 text", CMD_GET_CERT_INFO, ServicePacket(CMD_GET_CERT_INFO, "cert-text"), true, 100, 1, 9},
        {"2104 longer than destination", CMD_GET_CERT_INFO, ServicePacket(CMD_GET_CERT_INFO, std::string(101, 'c')), true, 100, 0, 0},
        {"2104 without destination", CMD_GET_CERT_INFO, ServicePacket(CMD_GET_CERT_INFO, "x"), false, 0, 0, 0},
        {"2102 without destination", CMD_GET_USER_PASS, ServicePacket(CMD_GET_USER_PASS, "x"), false, 0, 0, 0},
        {"2012 eight bytes", CMD_GET_RED_INFO, ServicePacket(CMD_GET_RED_INFO, std::string("\1\0\0\0\2\0\0\0", 8)), true, 8, 1, 8},
        {"2012 twelve bytes", CMD_GET_RED_INFO, ServicePacket(CMD_GET_RED_INFO, std::string(12, '\1')), true, 8, 0, 0},
        {"2107 seven bytes", CMD_SET_TRANS_BAND, ServicePacket(CMD_SET_TRANS_BAND, std::string(7, '\1')), true, 8, 0, 0},
        {"2001 info", NTF_INFO2, ServicePacket(NTF_INFO2, "hello", 0, 3), false, 0, 1, 0},
        {"other command", CMD_ERRNO, ServicePacket(CMD_ERRNO, "", 0, 42), false, 0, 1, 0},
    };
    for (const Case& c : cases) {
        Drain();
        ASSERT_TRUE(g_peer.Send(c.reply));
        std::vector<uint8_t> dest(c.destSize + 16, 0xEE);
        uint32_t len = 0;
        int r = WaitReply(g_core.tcpSocket, c.command, &g_core.LastReplyHeader,
                          c.withDest ? dest.data() : nullptr, c.destSize, &len);
        EXPECT_EQ(r, c.expected) << c.name;
        size_t touched = 0;
        for (uint8_t b : dest) touched += b != 0xEE;
        EXPECT_LE(touched, c.copied) << c.name;
        EXPECT_EQ(dest[c.destSize], 0xEE) << c.name << ": nothing past the destination";
        if (c.command == CMD_GET_RED_INFO && r == 1) {
            uint32_t words[2];
            memcpy(words, dest.data(), 8);
            EXPECT_EQ(words[0], 1u);
            EXPECT_EQ(words[1], 2u);
        }
    }
    EXPECT_EQ(g_core.LastReplyHeader.Result, 42u);
}

TEST_F(Link, JoinedRepliesComeOutOneByOne) {
    ASSERT_TRUE(g_peer.Send(Join({ServicePacket(CMD_ERRNO, "", 0, 7), ServicePacket(CMD_GET_CORE_VERSION, "", 0, 9)})));
    Sleep(100);
    ASSERT_EQ(WaitReply(g_core.tcpSocket, CMD_ERRNO, &g_core.LastReplyHeader, nullptr, 0, nullptr), 1);
    EXPECT_EQ(g_core.LastReplyHeader.Result, 7u);
    DWORD start = GetTickCount();
    ASSERT_EQ(WaitReply(g_core.tcpSocket, CMD_GET_CORE_VERSION, &g_core.LastReplyHeader, nullptr, 0, nullptr), 1);
    EXPECT_EQ(g_core.LastReplyHeader.Result, 9u);
    EXPECT_LT(GetTickCount() - start, 500u) << "the second was already read";
}

TEST_F(Link, ReadEndsWhenPeerClosesOrSocketFails) {
    g_peer.CloseConn(false);
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitReply(g_core.tcpSocket, CMD_ERRNO, &g_core.LastReplyHeader, nullptr, 0, nullptr), 0);
    EXPECT_LT(GetTickCount() - start, 1000u);

    // A closed socket: select fails at once; the read must end, not spin out the time-out.
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    closesocket(s);
    char buf[64];
    int size = sizeof buf;
    start = GetTickCount();
    EXPECT_EQ(ReceiveData(s, buf, &size, 2), -1);
    EXPECT_EQ(size, 0);
    EXPECT_LT(GetTickCount() - start, 500u);
}

TEST_F(Link, RequestRepliesAndSerialisesThreads) {
    std::atomic<bool> stop{false};
    std::atomic<bool> framingOk{true};
    std::atomic<bool> overlapped{false};
    std::atomic<int> keepAlives{0};
    // Answers every request with its own command and result = value; each reply
    // goes out in two pieces so that a reader that does not reassemble fails.
    // While a request is unanswered nothing else may arrive: not another
    // thread's request, not a keep-alive.
    std::thread peer([&] {
        Bytes pending;
        while (!stop) {
            Bytes got = g_peer.ReadSome(20);
            pending.insert(pending.end(), got.begin(), got.end());
            while (pending.size() >= 4 && pending.size() >= 4 + GetU32(&pending[0])) {
                size_t whole = 4 + GetU32(&pending[0]);
                bool ok;
                auto reqs = SplitRequests(Bytes(pending.begin(), pending.begin() + whole), &ok);
                pending.erase(pending.begin(), pending.begin() + whole);
                if (!ok || reqs.size() != 1) {
                    framingOk = false;
                    continue;
                }
                if (reqs[0].h.Command == CMD_KEEP_ALIVE) {
                    ++keepAlives;
                    continue;
                }
                if (!pending.empty()) overlapped = true;
                Bytes reply = ServicePacket(reqs[0].h.Command, reqs[0].payload, 0, reqs[0].h.Value);
                g_peer.Send(Bytes(reply.begin(), reply.begin() + 12));
                Sleep(2);
                Bytes early = g_peer.ReadSome(0);
                if (!early.empty()) {
                    overlapped = true;
                    pending.insert(pending.end(), early.begin(), early.end());
                }
                g_peer.Send(Bytes(reply.begin() + 12, reply.end()));
            }
        }
    });

    uint32_t len = 0;
    ASSERT_EQ(RequestReply(CMD_ERRNO, 41, 0, "ab", 2, nullptr, 0, &len), 1);
    EXPECT_EQ(g_core.LastReplyHeader.Result, 41u);
    EXPECT_EQ(len, 2u);

    // Two threads and the keep-alive on the window thread, all on one socket.
    // The keep-alive skips its tick while a request is in flight, and one
    // worker's request may well outlast the other's pause (a slow machine), so
    // every ten requests both workers stay out of the lock until a keep-alive
    // has gone out (or a give-up time has passed).
    g_core.connected = 1;
    SetTimer(g_core.helperWnd, KEEPALIVE_TIMER, 5, nullptr);
    std::atomic<int> wrong{0}, failed{0}, finished{0}, done{0};
    std::atomic<bool> gap{false};
    auto worker = [&](uint32_t base) {
        for (uint32_t i = 0; i < 40; ++i) {
            while (gap) Sleep(1);
            EnterCriticalSection(&g_core.requestLock);
            std::string payload(100 + i, (char)base);
            int ok = RequestReply(CMD_PROC_KILL, base + i, 0, payload.data(), (uint32_t)payload.size(),
                                  nullptr, 0, nullptr);
            uint32_t result = g_core.LastReplyHeader.Result;
            LeaveCriticalSection(&g_core.requestLock);
            if (++done % 10 == 0) gap = true;
            Sleep(5);
            if (!ok) ++failed;
            else if (result != base + i) ++wrong;
        }
        ++finished;
    };
    std::thread a(worker, 1000), b(worker, 2000);
    int gaps = 0, gapsWithKeepAlive = 0;
    while (finished < 2) {
        PumpFor(10);
        if (!gap || finished == 2) continue;
        int before = keepAlives;
        DWORD start = GetTickCount();
        while (keepAlives == before && GetTickCount() - start < ScaledMs(2000)) PumpFor(5);
        ++gaps;
        if (keepAlives > before) ++gapsWithKeepAlive;
        gap = false;
    }
    a.join();
    b.join();
    KillTimer(g_core.helperWnd, KEEPALIVE_TIMER);
    stop = true;
    peer.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(framingOk) << "a request was cut or run together with another";
    EXPECT_FALSE(overlapped) << "bytes came while a request was unanswered: requests, or a request and a "
                                "keep-alive, interleaved on the wire";
    EXPECT_GE(gaps, 7);
    EXPECT_EQ(gapsWithKeepAlive, gaps) << "no keep-alive while neither worker held the lock";
}

TEST_F(Link, KeepAliveTicksOnlyWhileConnected) {
    CloseDaemonSockets();
    g_peer.CloseConn(false);
    SetKeepAliveIntervalForTest(100);
    Open();
    g_core.connected = 1;
    PumpFor(550);
    bool ok;
    auto reqs = SplitRequests(g_peer.ReadAll(100), &ok);
    EXPECT_TRUE(ok);
    EXPECT_GE(reqs.size(), 3u);
    for (const Request& r : reqs) {
        EXPECT_EQ(r.prefix, 24u);
        EXPECT_EQ(r.h.Command, (uint32_t)CMD_KEEP_ALIVE);
        EXPECT_EQ(r.h.Length, 0u);
        EXPECT_EQ(r.h.Value, 0u);
        EXPECT_EQ(r.h.Result, 0u);
    }
    g_core.connected = 0;
    PumpFor(350);
    EXPECT_TRUE(g_peer.ReadAll(50).empty()) << "nothing while not connected";
}

TEST_F(Link, KeepAliveSkipsWhileRequestInFlight) {
    g_core.connected = 1;
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread t([&] {
        EnterCriticalSection(&g_core.requestLock);
        SetEvent(held);
        WaitForSingleObject(release, 5000);
        LeaveCriticalSection(&g_core.requestLock);
    });
    WaitForSingleObject(held, 5000);
    DWORD start = GetTickCount();
    KeepAlive();
    EXPECT_LT(GetTickCount() - start, 100u) << "the window thread does not wait for the request";
    EXPECT_TRUE(g_peer.ReadAll(100).empty());
    SetEvent(release);
    t.join();
    KeepAlive();
    EXPECT_EQ(g_peer.Read(28, 1000).size(), 28u);
    CloseHandle(held);
    CloseHandle(release);
}

TEST_F(Link, LostConnectionClosesBothSockets) {
    g_core.connected = 1;
    g_peer.CloseConn(true);  // reset
    Sleep(100);
    for (int i = 0; i < 10 && g_core.tcpSocket != INVALID_SOCKET; ++i) {
        KeepAlive();
        Sleep(50);
    }
    EXPECT_EQ(g_core.tcpSocket, INVALID_SOCKET);
    EXPECT_EQ(g_core.udpSocket, INVALID_SOCKET);
    EXPECT_EQ(g_core.connected, 0);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].first, 0x501A0202u);
    EXPECT_EQ(g_messages[0].second, "Zorvet Daemon is aborted/stoped");

    CloseDaemonSockets();  // again: nothing left to close
    EXPECT_EQ(g_core.tcpSocket, INVALID_SOCKET);
    EXPECT_EQ(g_core.udpSocket, INVALID_SOCKET);
    EXPECT_EQ(SendPacket(KIND_TCP, g_core.tcpSocket, nullptr, CMD_STOP, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(RequestReply(CMD_STOP, 0, 0, nullptr, 0, nullptr, 0, nullptr), 0);
}

TEST_F(Link, ConnectFailureReportsAndCloses) {
    CloseDaemonSockets();
    g_messages.clear();
    EXPECT_EQ(dll_socket_init(63999), 0);  // nothing listens there
    EXPECT_EQ(g_core.tcpSocket, INVALID_SOCKET);
    EXPECT_EQ(g_core.udpSocket, INVALID_SOCKET);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_EQ(g_messages[0].first, 0x500B0208u);
    EXPECT_EQ(g_messages[0].second, "Could not connect.");
}

TEST_F(Link, HelperWindowAndPump) {
    ASSERT_TRUE(IsWindow(g_core.helperWnd));
    char cls[64] = {};
    GetClassNameA(g_core.helperWnd, cls, (int)countof(cls));
    EXPECT_STREQ(cls, "Zorvet DLL Helper Window");
    EXPECT_EQ(SendMessageA(g_core.helperWnd, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(g_core.helperWnd)) << "the helper window lives on";
    // A second set-up reuses the window.
    HWND before = g_core.helperWnd;
    CloseDaemonSockets();
    g_peer.CloseConn(false);
    Open();
    EXPECT_EQ(g_core.helperWnd, before);

    PostQuitMessage(7);
    PumpMessages();
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT posted again";
    EXPECT_EQ(m.wParam, 7u);
}

namespace {
std::atomic<int> g_state{0};
void OnState(int s) { g_state = s; }
}  // namespace

TEST_F(Link, NotificationReachesDispatch) {
    g_state = 0;
    g_core.stateCallback = OnState;
    Bytes status = ServicePacket(NTF_STATUS, std::string("\3\0\0\0", 4));
    sendto(g_peer.udp, (const char*)status.data(), (int)status.size(), 0, (sockaddr*)&clientUdp,
           sizeof clientUdp);
    for (int i = 0; i < 100 && g_state == 0; ++i) PumpFor(10);
    g_core.stateCallback = nullptr;
    EXPECT_EQ(g_state, 3);
}
