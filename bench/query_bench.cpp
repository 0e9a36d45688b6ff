// Zorvet_Get_QueryData against the running ZorvetDaemon service, as a ratio to a
// raw Winsock round trip of the same request measured in the same run; and the
// time from a UDP status datagram to StateCallback, as a ratio to the same
// datagram reaching a plain WSAAsyncSelect window of this program.
//   bench_core_query [iterations]
// Needs ZorvetDaemon running and answering on 127.0.0.1:63872 (bench/query_bench.py
// sets that up in a test bed).
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "bench_util.h"
#include "core.h"

namespace {

constexpr int kLatencySamples = 200;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

// The same request the library sends, over a connection of our own: prefix,
// header, no payload; the reply is read to its 88 bytes.
SOCKET RawConnect() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    NoDelay(s);
    sockaddr_in to = Loopback(wire::kDaemonPort);
    if (connect(s, (const sockaddr*)&to, sizeof to) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// Seconds for n raw queries; < 0 on failure.
double RawQueries(SOCKET s, int n) {
    uint8_t request[wire::kPrefixSize + wire::kHeaderSize];
    wire::BuildPacket(wire::KIND_TCP, wire::CMD_GET_QUERY_DATA, 0, 0, nullptr, 0, request,
                      sizeof request);
    uint8_t reply[wire::kHeaderSize + sizeof(QueryData)];
    double start = Now();
    for (int i = 0; i < n; ++i) {
        if (send(s, (const char*)request, sizeof request, 0) != (int)sizeof request) return -1;
        if (!ReadExact(s, reply, sizeof reply)) return -1;
    }
    return Now() - start;
}

double LibraryQueries(int n) {
    QueryData q;
    double start = Now();
    for (int i = 0; i < n; ++i)
        if (!Zorvet_Get_QueryData(&q)) return -1;
    return Now() - start;
}

volatile LONG g_stateSeen;
void OnState(int) { g_stateSeen = 1; }
void OnMessage(uint32_t, const char*) {}

// Pumps this thread's messages until *flag is set; false after a second.
bool PumpUntil(volatile LONG* flag) {
    double end = Now() + 1.0;
    while (!*flag) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        if (*flag) break;
        if (Now() > end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return true;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One status datagram to `port`, timed until *flag is set; < 0 when lost.
double DatagramLatency(SOCKET s, uint16_t port, volatile LONG* flag) {
    sockaddr_in to = Loopback(port);
    uint8_t packet[wire::kHeaderSize + 4];
    uint8_t state[4];
    wire::PutU32(state, ZORVET_STATE_IDLE);
    wire::BuildPacket(wire::KIND_UDP, wire::NTF_STATUS, 0, 0, state, sizeof state, packet,
                      sizeof packet);
    *flag = 0;
    double start = Now();
    sendto(s, (const char*)packet, sizeof packet, 0, (const sockaddr*)&to, sizeof to);
    if (!PumpUntil(flag)) return -1;
    return Now() - start;
}

// Baseline: a window of our own gets the datagram by WSAAsyncSelect and reads it.
constexpr UINT kBaselineSocketMessage = WM_USER + 77;
SOCKET g_baselineSocket = INVALID_SOCKET;
volatile LONG g_baselineSeen;

LRESULT CALLBACK BaselineProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kBaselineSocketMessage && WSAGETSELECTEVENT(lp) == FD_READ) {
        uint8_t buf[wire::kMaxRead];
        if (recvfrom(g_baselineSocket, (char*)buf, sizeof buf, 0, nullptr, nullptr) > 0) g_baselineSeen = 1;
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

uint16_t StartBaseline() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BaselineProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BenchBaselineWindow";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    g_baselineSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in any = Loopback(0);
    bind(g_baselineSocket, (const sockaddr*)&any, sizeof any);
    int len = sizeof any;
    getsockname(g_baselineSocket, (sockaddr*)&any, &len);
    WSAAsyncSelect(g_baselineSocket, wnd, kBaselineSocketMessage, FD_READ);
    return ntohs(any.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? atoi(argv[1]) : 2000;
    if (iterations <= 0) iterations = 2000;
    WSADATA wsa;
    WSAStartup(0x0202, &wsa);

    SOCKET rawSocket = RawConnect();
    if (rawSocket == INVALID_SOCKET) {
        printf("cannot connect to 127.0.0.1:%u: is ZorvetDaemon running?\n", wire::kDaemonPort);
        return 1;
    }
    InitConfig cfg = {};
    CopyText(cfg.Hostname, "127.0.0.1");
    CopyText(cfg.Regname, "OVIK");
    cfg.Version = 0x1073008B;
    cfg.PartnerID = 119;
    int init = Zorvet_Init(&cfg, OnMessage, OnState);
    if (init < 0 || init > 4) {
        printf("Zorvet_Init gave 0x%08x: is ZorvetDaemon running?\n", (unsigned)init);
        return 1;
    }
    // Blocks of both kinds alternate, so that neither gains from order.
    constexpr int kBlock = 100;
    double rawSeconds = 0, librarySeconds = 0;
    for (int done = 0; done < iterations; done += kBlock) {
        double r = RawQueries(rawSocket, kBlock);
        double l = LibraryQueries(kBlock);
        if (r < 0 || l < 0) {
            printf("a round trip failed after %d\n", done);
            return 1;
        }
        rawSeconds += r;
        librarySeconds += l;
    }
    closesocket(rawSocket);
    int total = (iterations + kBlock - 1) / kBlock * kBlock;
    double raw = total / rawSeconds, lib = total / librarySeconds;
    printf("Zorvet_Get_QueryData: %.0f calls/s; raw round trip: %.0f/s\n", lib, raw);
    printf("ratio (Zorvet_Get_QueryData/raw round trip, calls per second): %.2f\n", lib / raw);

    sockaddr_in local = {};
    int len = sizeof local;
    getsockname(g_core.udpSocket, (sockaddr*)&local, &len);
    uint16_t libraryPort = ntohs(local.sin_port);
    uint16_t baselinePort = StartBaseline();
    // Samples alternate between the two paths, so that neither gains from order.
    SOCKET sender = socket(AF_INET, SOCK_DGRAM, 0);
    std::vector<double> base, toCallback;
    for (int i = 0; i < kLatencySamples; ++i) {
        double c = DatagramLatency(sender, libraryPort, &g_stateSeen);
        double b = DatagramLatency(sender, baselinePort, &g_baselineSeen);
        if (c < 0 || b < 0) {
            printf("a datagram was lost (sample %d)\n", i);
            return 1;
        }
        toCallback.push_back(c);
        base.push_back(b);
    }
    closesocket(sender);
    double b = Median(base), c = Median(toCallback);
    printf("UDP status datagram to StateCallback: median %.1f us; to a plain window: %.1f us\n",
           c * 1e6, b * 1e6);
    printf("ratio (StateCallback/plain window, datagram latency): %.2f\n", b > 0 ? c / b : 0);
    Zorvet_Clear();
    return 0;
}
