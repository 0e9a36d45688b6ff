// One request round trip through the library's export (Zorvet_ErrNo: send, then
// the reply read with select + recv) as a ratio to two raw Winsock ping-pongs of
// the same bytes in the same run: one that reads with a blocking recv, and one
// that reads as the library must, select on the one socket and then one recv.
// All three talk to the same kind of in-process echo service, each over a
// connection of its own, in alternating blocks so that load hits them alike;
// each path's time is the median of its blocks, so that a burst of load from
// elsewhere on the machine does not decide the ratio.
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
constexpr int kBlock = 50;

bool WriteAll(SOCKET s, const uint8_t* p, size_t n) {
    while (n > 0) {
        int sent = send(s, (const char*)p, (int)n, 0);
        if (sent <= 0) return false;
        p += sent;
        n -= (size_t)sent;
    }
    return true;
}

void NoDelay(SOCKET s) {
    BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&on, sizeof on);
}

// Listens on 127.0.0.1 (any free port) and serves one connection: reads each
// prefixed request (prefix and header with one read) and answers it with a reply
// of its command; the registration and the keep-alive get none.
struct EchoServer {
    SOCKET listener = INVALID_SOCKET;
    uint16_t port = 0;
    std::thread thread;

    bool Start() {
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener, (sockaddr*)&a, sizeof a) != 0 || listen(listener, 1) != 0) return false;
        int al = sizeof a;
        getsockname(listener, (sockaddr*)&a, &al);
        port = ntohs(a.sin_port);
        thread = std::thread([this] { Serve(); });
        return true;
    }
    void Serve() {
        SOCKET c = accept(listener, nullptr, nullptr);
        if (c == INVALID_SOCKET) return;
        NoDelay(c);
        uint8_t buf[kMaxRead + kPrefixSize];
        uint8_t reply[kReplyBytes];
        for (;;) {
            if (!ReadExact(c, buf, kRequestBytes)) break;
            uint32_t n = GetU32(buf);
            if (n < kHeaderSize || n > kMaxRead) break;
            if (!ReadExact(c, buf + kRequestBytes, n - kHeaderSize)) break;
            uint32_t command = GetU32(buf + kPrefixSize + 8);
            if (command == CMD_REGISTER || command == CMD_KEEP_ALIVE) continue;
            BuildPacket(KIND_UDP, command, 0, kEchoResult, nullptr, 0, reply, sizeof reply);
            if (!WriteAll(c, reply, sizeof reply)) break;
        }
        closesocket(c);
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
    std::vector<double> blocks;  // seconds per block
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Seconds for n trips; < 0 on failure.
double Block(Path& p, int n) {
    double t0 = Now();
    for (int i = 0; i < n; ++i)
        if (!p.trip(p.s)) return -1;
    return Now() - t0;
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? atoi(argv[1]) : 2000;
    if (iterations < kBlock) iterations = kBlock;
    iterations = iterations / kBlock * kBlock;
    WSADATA wsa;
    WSAStartup(0x0202, &wsa);
    BuildPacket(KIND_TCP, CMD_ERRNO, 0, 0, nullptr, 0, g_request, sizeof g_request);

    EchoServer servers[3];
    for (EchoServer& e : servers)
        if (!e.Start()) {
            fprintf(stderr, "bench_roundtrip: cannot listen on 127.0.0.1\n");
            return 1;
        }
    // The library's connection as Zorvet_Init leaves it once the service has
    // accepted CMD_INIT.
    if (!dll_socket_init(servers[0].port)) {
        fprintf(stderr, "bench_roundtrip: the library did not connect\n");
        return 1;
    }
    g_core.connected = 1;
    Path paths[] = {
        {"library", LibraryTrip, g_core.tcpSocket, {}},
        {"blocking recv", BlockingTrip, Connect(servers[1].port), {}},
        {"select + recv", SelectTrip, Connect(servers[2].port), {}},
    };
    for (Path& p : paths) {
        if (p.s == INVALID_SOCKET || Block(p, kBlock) < 0) {
            fprintf(stderr, "bench_roundtrip: %s: no round trip\n", p.name);
            return 1;
        }
    }
    for (int done = 0; done < iterations; done += kBlock) {
        for (Path& p : paths) {
            double t = Block(p, kBlock);
            if (t < 0) {
                fprintf(stderr, "bench_roundtrip: %s: a round trip failed after %d\n", p.name, done);
                return 1;
            }
            p.blocks.push_back(t);
        }
    }
    CloseDaemonSockets();
    closesocket(paths[1].s);
    closesocket(paths[2].s);
    for (EchoServer& e : servers) e.Stop();

    double library = Median(paths[0].blocks) / kBlock;
    double blocking = Median(paths[1].blocks) / kBlock;
    double selected = Median(paths[2].blocks) / kBlock;
    printf("roundtrip (%d requests of %u/%u bytes, median of blocks of %d): library %.1f us, "
           "raw blocking recv %.1f us, raw select + recv %.1f us\n",
           iterations, (unsigned)kRequestBytes, (unsigned)kReplyBytes, kBlock, library * 1e6,
           blocking * 1e6, selected * 1e6);
    printf("ratio (library/raw blocking recv): %.2f\n", library / blocking);
    printf("ratio (library/raw select + recv): %.2f\n", library / selected);
    return 0;
}
