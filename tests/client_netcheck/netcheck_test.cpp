// The network check on its own: client/netcheck.cpp linked with a MsgBox that
// records the lines, against a UDP responder of the test on the redirect
// server's ports of 127.0.0.1. Run inside a test bed (tests/client_netcheck/
// test_netcheck_unit.py): the ports are those of its own network namespace.
#include <winsock2.h>
#include <mswsock.h>
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "app.h"
#include "../wait_scale.h"

// Internals of netcheck.cpp.
int ProbeRedirectServer(const char* host);

namespace {

CRITICAL_SECTION g_linesLock;
std::vector<std::string> g_lines;

// Before any test: the lock of the lines and Winsock for the responders.
struct Init {
    Init() {
        InitializeCriticalSection(&g_linesLock);
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} g_init;

struct Locked {
    Locked() { EnterCriticalSection(&g_linesLock); }
    ~Locked() { LeaveCriticalSection(&g_linesLock); }
};

std::vector<std::string> Lines() {
    Locked lock;
    return g_lines;
}

void ClearLines() {
    Locked lock;
    g_lines.clear();
}

int CountLines(const std::string& prefix) {
    int n = 0;
    for (const std::string& l : Lines())
        if (l.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

// Thread ids of every "THREAD: Netcheck run (%u)" line so far.
std::vector<DWORD> StartedThreads() {
    std::vector<DWORD> ids;
    for (const std::string& l : Lines()) {
        unsigned id;
        if (sscanf(l.c_str(), "THREAD: Netcheck run (%u)", &id) == 1) ids.push_back(id);
    }
    return ids;
}

// Waits for pred, up to ms in this lane's time.
template <class F>
bool WaitFor(F pred, DWORD ms) {
    DWORD start = GetTickCount();
    ms = ScaledMs(ms);
    while (!pred()) {
        if (GetTickCount() - start > ms) return pred();
        Sleep(10);
    }
    return true;
}

constexpr u_short kPorts[] = {80, 3724, 53, 8000, 4000};

// UDP sockets on chosen ports of 127.0.0.1: records what arrives and answers
// what reaches port 4000 with the next scripted size (then with the default;
// -1 is silence).
class Responder {
public:
    explicit Responder(std::initializer_list<u_short> ports, int defaultSize = -1) : defaultSize_(defaultSize) {
        InitializeCriticalSection(&lock_);
        for (u_short port : ports) {
            SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
            BOOL off = FALSE;
            DWORD bytes = 0;
            WSAIoctl(s, SIO_UDP_CONNRESET, &off, sizeof off, nullptr, 0, &bytes, nullptr, nullptr);
            sockaddr_in a = {};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(port);
            if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ADD_FAILURE() << "bind 127.0.0.1:" << port << " failed: " << WSAGetLastError();
                closesocket(s);
                continue;
            }
            sockets_.push_back({s, port});
        }
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~Responder() {
        stop_ = true;
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        for (auto& e : sockets_) closesocket(e.s);
        DeleteCriticalSection(&lock_);
    }
    void Script(std::initializer_list<int> sizes) {
        Locked2 l(this);
        script_.assign(sizes);
    }
    void SetDefault(int size) { defaultSize_ = size; }
    // Ports of the datagrams received, in order; each checked to be the probe.
    std::vector<u_short> Received() {
        Locked2 l(this);
        return received_;
    }
    int Probes() {  // datagrams that reached port 4000
        int n = 0;
        for (u_short p : Received()) n += p == 4000;
        return n;
    }
    int BadDatagrams() const { return bad_; }

private:
    struct Entry {
        SOCKET s;
        u_short port;
    };
    struct Locked2 {
        Responder* r;
        explicit Locked2(Responder* r) : r(r) { EnterCriticalSection(&r->lock_); }
        ~Locked2() { LeaveCriticalSection(&r->lock_); }
    };
    static DWORD WINAPI Run(LPVOID p) {
        static_cast<Responder*>(p)->Loop();
        return 0;
    }
    void Loop() {
        static const char kReply[2000] = {'o', 'k'};
        while (!stop_) {
            fd_set rd;
            FD_ZERO(&rd);
            for (auto& e : sockets_) FD_SET(e.s, &rd);
            timeval tv = {0, 50000};
            if (select(0, &rd, nullptr, nullptr, &tv) <= 0) continue;
            for (auto& e : sockets_) {
                if (!FD_ISSET(e.s, &rd)) continue;
                char buf[100];
                sockaddr_in from;
                int len = sizeof from;
                int got = recvfrom(e.s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
                if (got < 0) continue;
                if (got != 9 || memcmp(buf, "netcheck", 9) != 0) ++bad_;
                int size;
                {
                    Locked2 l(this);
                    received_.push_back(e.port);
                    if (e.port != 4000) continue;
                    size = defaultSize_;
                    if (!script_.empty()) {
                        size = script_.front();
                        script_.pop_front();
                    }
                }
                if (size >= 0) sendto(e.s, kReply, size, 0, reinterpret_cast<sockaddr*>(&from), len);
            }
        }
    }

    std::vector<Entry> sockets_;
    CRITICAL_SECTION lock_;
    std::deque<int> script_;
    std::vector<u_short> received_;
    std::atomic<int> defaultSize_;
    std::atomic<int> bad_{0};
    std::atomic<bool> stop_{false};
    HANDLE thread_ = nullptr;
};

double ThreadCpuMs(HANDLE thread) {
    FILETIME c, e, k, u;
    if (!GetThreadTimes(thread, &c, &e, &k, &u)) return -1;
    auto ms = [](FILETIME f) { return ((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e4; };
    return ms(k) + ms(u);
}

class NetcheckTest : public ::testing::Test {
protected:
    void SetUp() override { ClearLines(); }
};

// -- the probe ---------------------------------------------------------------

TEST_F(NetcheckTest, BadReplySizesEachCostAnAttemptThenTenBytesIsOnline) {
    Responder r({80, 3724, 53, 8000, 4000});
    r.Script({11, 0, 1500, 10});  // 1500 does not fit the 1000-byte buffer
    EXPECT_EQ(ProbeRedirectServer("127.0.0.1"), 1);
    std::vector<u_short> got = r.Received();
    ASSERT_EQ(got.size(), 20u) << "four attempts of five datagrams";
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], kPorts[i % 5]) << "datagram " << i;
    EXPECT_EQ(r.BadDatagrams(), 0) << "every datagram is \"netcheck\" and a NUL";
}

TEST_F(NetcheckTest, OneByteIsOnline) {
    Responder r({4000}, 1);
    EXPECT_EQ(ProbeRedirectServer("127.0.0.1"), 1);
    EXPECT_EQ(r.Probes(), 1);
}

// Only 4000 answers: 80, 3724, 53 and 8000 send back port-unreachable before
// the reply arrives. They must not use up the first attempt.
TEST_F(NetcheckTest, UnreachablePortsDoNotCostAttempts) {
    Responder r({4000}, 10);
    EXPECT_EQ(ProbeRedirectServer("127.0.0.1"), 1);
    EXPECT_EQ(r.Probes(), 1) << "online at the first attempt";
}

// No answer: five attempts, each waits in select (no spinning on the
// unreachable reports), then offline.
TEST_F(NetcheckTest, SilentServerIsOfflineAfterFiveAttemptsWithoutSpinning) {
    Responder r({4000}, -1);
    double cpu0 = ThreadCpuMs(GetCurrentThread());
    EXPECT_EQ(ProbeRedirectServer("127.0.0.1"), 0);
    double cpu = ThreadCpuMs(GetCurrentThread()) - cpu0;
    EXPECT_EQ(r.Probes(), 5);
    EXPECT_LT(cpu, 300.0) << "CPU ms of a five-second probe";
    EXPECT_EQ(CountLines("DIRS:"), 0);
}

// -- start and stop ------------------------------------------------------------

std::atomic<int> g_calls{0};
std::atomic<int> g_lastStatus{-1};
std::atomic<int> g_inCallback{0};
std::atomic<int> g_stopped{0};
std::atomic<int> g_callsAfterStop{0};
std::atomic<int> g_callbackSleepMs{0};

void RecordStatus(int status) {
    g_inCallback = 1;
    if (g_stopped) ++g_callsAfterStop;
    if (g_callbackSleepMs) Sleep(g_callbackSleepMs);
    g_lastStatus = status;
    ++g_calls;
    g_inCallback = 0;
}

void ResetCallback() {
    g_calls = 0;
    g_lastStatus = -1;
    g_inCallback = 0;
    g_stopped = 0;
    g_callsAfterStop = 0;
    g_callbackSleepMs = 0;
}

// Waits for the thread's end, up to ms in this lane's time.
bool ThreadEnds(DWORD id, DWORD ms) {
    HANDLE h = OpenThread(SYNCHRONIZE, FALSE, id);
    if (!h) return true;  // already gone
    bool ended = WaitForSingleObject(h, ScaledMs(ms)) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

TEST_F(NetcheckTest, HostNamesOverTwentyCharactersAreRefused) {
    SetEnvironmentVariableA("ZORVET_NETCHECK_TEST_MS", "60000,60000,60000");
    std::string name(20, 'a');
    StartNetcheck(RecordStatus, (name + "bc").c_str());
    EXPECT_EQ(CountLines("NETCHECK: redirect server name of 22 characters refused"), 1);
    StartNetcheck(RecordStatus, (name + "b").c_str());
    EXPECT_EQ(CountLines("NETCHECK: redirect server name of 21 characters refused"), 1);
    StartNetcheck(RecordStatus, (name + std::string(100, 'x')).c_str());
    EXPECT_EQ(CountLines("NETCHECK: redirect server name of "), 3) << "a long name's length is not read past 64";
    EXPECT_TRUE(StartedThreads().empty());
    StopNetcheck();
    EXPECT_EQ(CountLines("THREAD: Netcheck closed before"), 1);

    StartNetcheck(RecordStatus, name.c_str());  // 20: accepted
    ASSERT_EQ(StartedThreads().size(), 1u);
    DWORD id = StartedThreads()[0];
    StartNetcheck(RecordStatus, "127.0.0.1");
    EXPECT_EQ(CountLines("THREAD: Netcheck already run (" + std::to_string(id) + ")"), 1);
    EXPECT_EQ(StartedThreads().size(), 1u) << "a second start only logs";
    StopNetcheck();
    EXPECT_EQ(CountLines("THREAD: Netcheck closed (" + std::to_string(id) + ")"), 1);
    EXPECT_TRUE(ThreadEnds(id, 5000));
}

TEST_F(NetcheckTest, OnlineIsReportedOnceAndStopEndsTheThread) {
    Responder r({4000}, 10);
    ResetCallback();
    SetEnvironmentVariableA("ZORVET_NETCHECK_TEST_MS", "100,300,300");
    StartNetcheck(RecordStatus, "127.0.0.1");
    ASSERT_EQ(StartedThreads().size(), 1u);
    DWORD id = StartedThreads()[0];
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    ASSERT_TRUE(WaitFor([] { return g_calls > 0; }, 5000));
    EXPECT_EQ(g_lastStatus, 1);
    EXPECT_EQ(CountLines("NET: Network change to online."), 1);
    // Probes go on at the online period; the status stays and is not reported
    // again. The thread sleeps between them.
    double cpu0 = ThreadCpuMs(thread);
    int probes0 = r.Probes();
    Sleep(2000);
    int probes = r.Probes() - probes0;
    EXPECT_GE(probes, 3);
    EXPECT_LE(probes, 8) << "one probe per period";
    EXPECT_LT(ThreadCpuMs(thread) - cpu0, 150.0) << "CPU ms in two seconds";
    EXPECT_EQ(g_calls, 1);

    // The server goes quiet: offline after one full probe (five one-second
    // reply windows), before a second one could have ended.
    r.SetDefault(-1);
    DWORD quiet = GetTickCount();
    ASSERT_TRUE(WaitFor([] { return g_calls > 1; }, 10000));
    // The wait above grows with the lane; the probe's reply windows do not.
    EXPECT_LT(GetTickCount() - quiet, 10000u) << "offline only after more than one full probe";
    EXPECT_EQ(g_lastStatus, 0);
    EXPECT_EQ(CountLines("NET: Network change to offline."), 1);

    StopNetcheck();
    DWORD stopped = GetTickCount();
    EXPECT_TRUE(ThreadEnds(id, 8000)) << "thread never ended";
    // The wait above grows with the lane; the reply windows do not. The probe
    // in hand takes about five seconds, a second one would end past ten.
    EXPECT_LT(GetTickCount() - stopped, 8000u) << "thread ends after the probe in hand";
    int after = r.Probes();
    Sleep(700);
    EXPECT_EQ(r.Probes(), after) << "no probes once stopped";
    CloseHandle(thread);
}

// Offline at the first probe, which waits out its five attempts: the first
// period's second tick comes meanwhile and probes at once (finding the network
// up) instead of the offline period (a minute here) starting after the first.
TEST_F(NetcheckTest, SecondTickOfTheFirstPeriodProbes) {
    Responder r({4000});
    r.Script({-1, -1, -1, -1, -1});
    r.SetDefault(10);
    ResetCallback();
    const DWORD offlineMs = 60000;
    SetEnvironmentVariableA("ZORVET_NETCHECK_TEST_MS", "300,60000,60000");
    DWORD t0 = GetTickCount();
    StartNetcheck(RecordStatus, "127.0.0.1");
    ASSERT_EQ(StartedThreads().size(), 1u);
    DWORD id = StartedThreads()[0];
    EXPECT_TRUE(WaitFor([] { return g_calls > 0; }, 30000)) << "no second probe before the offline period";
    // The wait above grows with the lane; the offline period does not.
    EXPECT_LT(GetTickCount() - t0, offlineMs) << "the second probe waited for the offline period";
    EXPECT_EQ(g_lastStatus, 1);
    EXPECT_EQ(r.Probes(), 6) << "five unanswered attempts, then one answered";
    StopNetcheck();
    EXPECT_TRUE(ThreadEnds(id, 5000));
}

// The callback is under way when StopNetcheck comes: the stop returns only
// after it, and no call follows.
TEST_F(NetcheckTest, NoCallbackOnceStopHasReturned) {
    Responder r({4000}, 10);
    SetEnvironmentVariableA("ZORVET_NETCHECK_TEST_MS", "1,1,1");
    ResetCallback();
    g_callbackSleepMs = 300;
    StartNetcheck(RecordStatus, "127.0.0.1");
    ASSERT_TRUE(WaitFor([] { return g_inCallback == 1; }, 5000));
    StopNetcheck();
    g_stopped = 1;
    EXPECT_EQ(g_inCallback, 0) << "StopNetcheck returned while the callback ran";
    Sleep(500);
    EXPECT_EQ(g_callsAfterStop, 0);
    EXPECT_EQ(g_calls, 1);
    EXPECT_TRUE(ThreadEnds(StartedThreads().back(), 5000));
}

// Start and stop back to back, the thread just created or in its first probe
// (1 ms intervals): every thread ends, none calls back after its stop.
TEST_F(NetcheckTest, StartStopRace) {
    Responder r({4000}, 10);
    SetEnvironmentVariableA("ZORVET_NETCHECK_TEST_MS", "1,1,1");
    ResetCallback();
    for (int i = 0; i < 40; ++i) {
        g_stopped = 0;
        StartNetcheck(RecordStatus, "127.0.0.1");
        if (i % 2) Sleep(i % 7);
        StopNetcheck();
        g_stopped = 1;
    }
    std::vector<DWORD> ids = StartedThreads();
    EXPECT_EQ(ids.size(), 40u);
    EXPECT_EQ(CountLines("THREAD: Netcheck closed ("), 40);
    for (DWORD id : ids) EXPECT_TRUE(ThreadEnds(id, 5000)) << id;
    EXPECT_EQ(g_callsAfterStop, 0);
    EXPECT_EQ(CountLines("THREAD: Netcheck quit message not posted"), 0);
    EXPECT_EQ(CountLines("THREAD: Netcheck has no message queue yet"), 0);
}

}  // namespace

// The client's log routine, recording instead of writing.
void MsgBox(uint32_t code, const char* format, ...) {
    if ((code & LOG_LEVEL_MASK) > 3) return;
    char text[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    text[sizeof text - 1] = 0;
    Locked lock;
    g_lines.push_back(text);
}
