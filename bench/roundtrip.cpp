// One request round trip through the library's export (Zorvet_ErrNo: send, then
// the reply read with select + recv) as a ratio to two raw Winsock ping-pongs of
// the same bytes in the same run: one that reads with a blocking recv, and one
// that reads as the library must, select on the one socket and then one recv.
// All three talk to one in-process echo thread, each over a connection of its
// own. The paths take turns trip by trip (in a rotating order), so that load
// from elsewhere on the machine hits them alike, and each path's time is the
// median of its trips, so that a burst of load does not decide the ratio.
//   bench_roundtrip [iterations]
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "core.h"

using namespace wire;

namespace {

constexpr size_t kRequestBytes = kPrefixSize + kHeaderSize;  // a request without payload
constexpr size_t kReplyBytes = kHeaderSize;
constexpr uint32_t kEchoResult = 7;  // what the echo answers; Zorvet_ErrNo returns it
constexpr int kPaths = 3;
constexpr int kWarmUpRounds = 100;

bool WriteAll(SOCKET s, const uint8_t* p, size_t n) {
    while (n > 0) {
        int sent = send(s, (const char*)p, (int)n, 0);
        if (sent <= 0) return false;
        p += sent;
        n -= (size_t)sent;
    }
    return true;
}

// The path whose turn it is at trip k of round i; client and echo agree on it.
int Turn(int round, int k) { return (round + k) % kPaths; }

// Listens on 127.0.0.1 (any free port), accepts one connection per path in the
// order they connect, then answers them in the clients' turns from one thread
// (so that no path has a server thread of its own placed differently): reads
// each prefixed request (prefix and header with one read) and answers it with a
// reply of its command; the registration and the keep-alive get none.
struct EchoServer {
    SOCKET listener = INVALID_SOCKET;
    uint16_t port = 0;
    int rounds = 0;
    std::thread thread;

    bool Start(int totalRounds) {
        rounds = totalRounds;
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener, (sockaddr*)&a, sizeof a) != 0 || listen(listener, kPaths) != 0)
            return false;
        int al = sizeof a;
        getsockname(listener, (sockaddr*)&a, &al);
        port = ntohs(a.sin_port);
        thread = std::thread([this] { Serve(); });
        return true;
    }
    // Reads requests from c until one that wants a reply, and replies.
    static bool Answer(SOCKET c) {
        uint8_t buf[kMaxRead + kPrefixSize];
        for (;;) {
            if (!ReadExact(c, buf, kRequestBytes)) return false;
            uint32_t n = GetU32(buf);
            if (n < kHeaderSize || n > kMaxRead) return false;
            if (!ReadExact(c, buf + kRequestBytes, n - kHeaderSize)) return false;
            uint32_t command = GetU32(buf + kPrefixSize + 8);
            if (command == CMD_REGISTER || command == CMD_KEEP_ALIVE) continue;
            uint8_t reply[kReplyBytes];
            BuildPacket(KIND_UDP, command, 0, kEchoResult, nullptr, 0, reply, sizeof reply);
            return WriteAll(c, reply, sizeof reply);
        }
    }
    void Serve() {
        SOCKET c[kPaths];
        int accepted = 0;
        for (; accepted < kPaths; ++accepted) {
            c[accepted] = accept(listener, nullptr, nullptr);
            if (c[accepted] == INVALID_SOCKET) break;
            NoDelay(c[accepted]);
        }
        if (accepted == kPaths) {
            bool ok = true;
            for (int i = 0; ok && i < rounds; ++i)
                for (int k = 0; ok && k < kPaths; ++k) ok = Answer(c[Turn(i, k)]);
        }
        for (int i = 0; i < accepted; ++i) closesocket(c[i]);
    }
    void Stop() {
        closesocket(listener);
        if (thread.joinable()) thread.join();
    }
};

SOCKET Connect(uint16_t port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    NoDelay(s);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(s, (sockaddr*)&a, sizeof a) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

uint8_t g_request[kRequestBytes];
uint8_t g_reply[kMaxRead];

bool LibraryTrip(SOCKET) { return Zorvet_ErrNo() == (int)kEchoResult; }

bool BlockingTrip(SOCKET s) {
    return WriteAll(s, g_request, sizeof g_request) && ReadExact(s, g_reply, kReplyBytes);
}

// The library's read: wait for readability of the one socket, 1 second at a
// time, then one recv offering the whole receive area.
bool SelectTrip(SOCKET s) {
    if (!WriteAll(s, g_request, sizeof g_request)) return false;
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval tv = {1, 0};
        int r = select(0, &readable, nullptr, nullptr, &tv);
        if (r == SOCKET_ERROR) return false;
        if (r > 0) break;
    }
    return recv(s, (char*)g_reply, (int)sizeof g_reply, 0) == (int)kReplyBytes;
}

struct Path {
    const char* name;
    bool (*trip)(SOCKET);
    SOCKET s;
    std::vector<double> trips;  // seconds per trip
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? atoi(argv[1]) : 2000;
    if (iterations < 1) iterations = 1;
    WSADATA wsa;
    WSAStartup(0x0202, &wsa);
    BuildPacket(KIND_TCP, CMD_ERRNO, 0, 0, nullptr, 0, g_request, sizeof g_request);

    EchoServer echo;
    if (!echo.Start(kWarmUpRounds + iterations)) {
        fprintf(stderr, "bench_roundtrip: cannot listen on 127.0.0.1\n");
        return 1;
    }
    // The library's connection as Zorvet_Init leaves it once the service has
    // accepted CMD_INIT; it connects first, as the echo expects.
    if (!dll_socket_init(echo.port)) {
        fprintf(stderr, "bench_roundtrip: the library did not connect\n");
        return 1;
    }
    g_core.connected = 1;
    Path paths[kPaths] = {
        {"library", LibraryTrip, g_core.tcpSocket, {}},
        {"blocking recv", BlockingTrip, INVALID_SOCKET, {}},
        {"select + recv", SelectTrip, INVALID_SOCKET, {}},
    };
    paths[1].s = Connect(echo.port);
    paths[2].s = Connect(echo.port);
    if (paths[1].s == INVALID_SOCKET || paths[2].s == INVALID_SOCKET) {
        fprintf(stderr, "bench_roundtrip: cannot connect to the echo\n");
        return 1;
    }
    for (int i = 0; i < kWarmUpRounds + iterations; ++i) {
        for (int k = 0; k < kPaths; ++k) {
            Path& p = paths[Turn(i, k)];
            double t0 = Now();
            if (!p.trip(p.s)) {
                fprintf(stderr, "bench_roundtrip: %s: round trip %d failed\n", p.name, i);
                return 1;
            }
            if (i >= kWarmUpRounds) p.trips.push_back(Now() - t0);
        }
    }
    CloseDaemonSockets();
    closesocket(paths[1].s);
    closesocket(paths[2].s);
    echo.Stop();

    double library = Median(paths[0].trips);
    double blocking = Median(paths[1].trips);
    double selected = Median(paths[2].trips);
    printf("roundtrip (%d requests of %u/%u bytes each way, medians): library %.1f us, "
           "raw blocking recv %.1f us, raw select + recv %.1f us\n",
           iterations, (unsigned)kRequestBytes, (unsigned)kReplyBytes, library * 1e6,
           blocking * 1e6, selected * 1e6);
    printf("ratio (library/raw blocking recv, time per request): %.2f\n", library / blocking);
    printf("ratio (library/raw select + recv, time per request): %.2f\n", library / selected);
    return 0;
}
