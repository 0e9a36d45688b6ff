// One request round trip through the library (SendPacket + WaitReply) against
// whatever serves 127.0.0.1:63872, or an in-process echo service when nothing
// does, as a ratio to a raw Winsock TCP ping-pong of the same sizes.
//   bench_roundtrip [iterations]
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <thread>

#include "bench_util.h"
#include "core.h"

using namespace wire;

namespace {

constexpr size_t kRequestBytes = kPrefixSize + kHeaderSize;  // a request without payload
constexpr size_t kReplyBytes = kHeaderSize;

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

// Listens on 127.0.0.1 (port 0: any free one) and serves one connection.
// framed: reads prefixed requests and answers each with a reply of its command
// (the registration gets none); raw: answers each 28 bytes with 24.
struct EchoServer {
    SOCKET listener = INVALID_SOCKET;
    uint16_t port = 0;
    std::thread thread;

    bool Start(uint16_t wanted, bool framed) {
        listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(wanted);
        if (bind(listener, (sockaddr*)&a, sizeof a) != 0 || listen(listener, 1) != 0) return false;
        int al = sizeof a;
        getsockname(listener, (sockaddr*)&a, &al);
        port = ntohs(a.sin_port);
        thread = std::thread([this, framed] { Serve(framed); });
        return true;
    }
    void Serve(bool framed) {
        SOCKET c = accept(listener, nullptr, nullptr);
        if (c == INVALID_SOCKET) return;
        NoDelay(c);
        static uint8_t buf[kMaxRead + kPrefixSize];
        uint8_t reply[kReplyBytes] = {};
        for (;;) {
            if (!framed) {
                if (!ReadExact(c, buf, kRequestBytes) || !WriteAll(c, reply, sizeof reply)) break;
                continue;
            }
            if (!ReadExact(c, buf, kPrefixSize)) break;
            uint32_t n = GetU32(buf);
            if (n < kHeaderSize || n > kMaxRead || !ReadExact(c, buf + kPrefixSize, n)) break;
            uint32_t command = GetU32(buf + kPrefixSize + 8);
            if (command == CMD_REGISTER || command == CMD_KEEP_ALIVE) continue;
            BuildPacket(KIND_UDP, command, 0, 0, nullptr, 0, reply, sizeof reply);
            if (!WriteAll(c, reply, sizeof reply)) break;
        }
        closesocket(c);
    }
    void Stop() {
        closesocket(listener);
        if (thread.joinable()) thread.join();
    }
};

bool LibraryRoundTrip() {
    return SendPacket(KIND_TCP, g_core.tcpSocket, nullptr, CMD_ERRNO, 0, 0, nullptr, 0) &&
           WaitReply(g_core.tcpSocket, CMD_ERRNO, &g_core.LastReplyHeader, nullptr, 0, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    int iterations = argc > 1 ? atoi(argv[1]) : 2000;
    if (iterations < 1) iterations = 1;
    WSADATA wsa;
    WSAStartup(0x0202, &wsa);

    const char* server = "service on 63872";
    EchoServer echo;
    bool ok = dll_socket_init(kDaemonPort) && LibraryRoundTrip();
    if (!ok) {
        CloseDaemonSockets();
        server = "in-process echo";
        if (!echo.Start(0, true) || !dll_socket_init(echo.port) || !LibraryRoundTrip()) {
            fprintf(stderr, "bench_roundtrip: no service to talk to\n");
            return 1;
        }
    }
    for (int i = 0; i < 100; ++i) LibraryRoundTrip();
    double t0 = Now();
    for (int i = 0; i < iterations; ++i) {
        if (!LibraryRoundTrip()) {
            fprintf(stderr, "bench_roundtrip: request %d failed\n", i);
            return 1;
        }
    }
    double library = (Now() - t0) / iterations;
    CloseDaemonSockets();
    if (echo.thread.joinable()) echo.Stop();

    // Baseline: the same bytes each way over a plain socket pair.
    EchoServer raw;
    if (!raw.Start(0, false)) return 1;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    NoDelay(s);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(raw.port);
    if (connect(s, (sockaddr*)&a, sizeof a) != 0) return 1;
    uint8_t request[kRequestBytes] = {}, reply[kReplyBytes];
    auto rawTrip = [&] { return WriteAll(s, request, sizeof request) && ReadExact(s, reply, sizeof reply); };
    for (int i = 0; i < 100; ++i) rawTrip();
    t0 = Now();
    for (int i = 0; i < iterations; ++i)
        if (!rawTrip()) return 1;
    double baseline = (Now() - t0) / iterations;
    closesocket(s);
    raw.Stop();

    printf("roundtrip (%s, %d requests of %u/%u bytes): library %.1f us, raw socket %.1f us, ratio %.2f\n",
           server, iterations, (unsigned)kRequestBytes, (unsigned)kReplyBytes, library * 1e6,
           baseline * 1e6, library / baseline);
    return 0;
}
