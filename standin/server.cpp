// Sockets and the one service thread: TCP requests (with their length prefix)
// and UDP registrations on 127.0.0.1:63872, the control channel, and the
// queue of delayed sends and state steps. Everything runs on one thread.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "standin.h"
#include "utils.h"

namespace standin {

Daemon g_daemon;

void Log(const char* format, ...) {
    char line[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    SYSTEMTIME t;
    GetLocalTime(&t);
    char stamp[32];
    FormatText(stamp, countof(stamp), "%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond,
               t.wMilliseconds);
    if (g_daemon.opt.console) {
        printf("%s %s\n", stamp, line);
        fflush(stdout);
    }
    if (g_daemon.opt.logFile[0]) {
        FILE* f = fopen(g_daemon.opt.logFile, "a");
        if (f) {
            fprintf(f, "%s %s\n", stamp, line);
            fclose(f);
        }
    }
}

static sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

static SOCKET Listen(uint16_t port) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in a = Loopback(port);
    if (bind(s, (sockaddr*)&a, sizeof a) != 0 || listen(s, 8) != 0) {
        Log("cannot listen on 127.0.0.1:%u (%d)", port, WSAGetLastError());
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

bool OpenSockets(Daemon* d) {
    d->tcpListen = d->udp = d->controlListen = INVALID_SOCKET;
    for (Client& c : d->clients) c.s = INVALID_SOCKET;
    for (ControlClient& c : d->controls) c.s = INVALID_SOCKET;
    if (d->opt.controlPort) {
        d->controlListen = Listen(d->opt.controlPort);
        if (d->controlListen == INVALID_SOCKET) return false;
    }
    if (d->opt.idle) {
        Log("idle: not listening on %u", wire::kDaemonPort);
        return true;
    }
    d->tcpListen = Listen(wire::kDaemonPort);
    d->udp = socket(AF_INET, SOCK_DGRAM, 0);
    if (d->tcpListen == INVALID_SOCKET || d->udp == INVALID_SOCKET) return false;
    sockaddr_in a = Loopback(wire::kDaemonPort);
    if (bind(d->udp, (sockaddr*)&a, sizeof a) != 0) {
        Log("cannot bind UDP 127.0.0.1:%u (%d)", wire::kDaemonPort, WSAGetLastError());
        return false;
    }
    Log("listening on 127.0.0.1:%u tcp and udp", wire::kDaemonPort);
    return true;
}

static void CloseSocket(SOCKET* s) {
    if (*s != INVALID_SOCKET) closesocket(*s);
    *s = INVALID_SOCKET;
}

void CloseSockets(Daemon* d) {
    for (Client& c : d->clients) CloseSocket(&c.s);
    for (ControlClient& c : d->controls) CloseSocket(&c.s);
    CloseSocket(&d->tcpListen);
    CloseSocket(&d->udp);
    CloseSocket(&d->controlListen);
}

std::vector<uint8_t> MakePacket(uint32_t command, uint32_t value, uint32_t result,
                                const void* payload, size_t n, uint32_t magic) {
    if (n > wire::kMaxPayload) n = wire::kMaxPayload;
    std::vector<uint8_t> out(wire::PacketWireSize(wire::KIND_UDP, n));
    size_t size = wire::BuildPacket(wire::KIND_UDP, command, value, result, payload, n, out.data(),
                                    out.size());
    out.resize(size);
    if (size >= 4) wire::PutU32(out.data(), magic);
    return out;
}

static void AddLog(Daemon* d, const char* proto, const uint8_t* bytes, size_t n) {
    if (d->log.size() >= kMaxLogEntries) d->log.erase(d->log.begin());
    LogEntry e;
    CopyText(e.proto, proto);
    e.bytes.assign(bytes, bytes + n);
    d->log.push_back(e);
}

static Client* FindClient(Daemon* d, uint32_t id) {
    for (Client& c : d->clients)
        if (c.s != INVALID_SOCKET && c.id == id) return &c;
    return nullptr;
}

static void DropClient(Client* c, bool reset) {
    if (reset) {
        linger l = {1, 0};  // closesocket then sends RST instead of FIN
        setsockopt(c->s, SOL_SOCKET, SO_LINGER, (const char*)&l, sizeof l);
    }
    Log("client %u %s", c->id, reset ? "reset" : "closed");
    CloseSocket(&c->s);
}

void Schedule(Daemon* d, DWORD delayMs, const Pending& p) {
    d->pending.push_back(p);
    d->pending.back().due = GetTickCount() + delayMs;
}

static void SendAll(Client* c, const uint8_t* bytes, size_t n) {
    if (n == 0) return;
    if (send(c->s, (const char*)bytes, (int)n, 0) != (int)n)
        Log("client %u: send failed (%d)", c->id, WSAGetLastError());
}

void SendToClient(Daemon* d, uint32_t clientId, const std::vector<uint8_t>& bytes, Fault fault) {
    Client* c = FindClient(d, clientId);
    if (!c) return;
    switch (fault) {
    case FAULT_SILENCE:
        return;
    case FAULT_CLOSE:
    case FAULT_RESET:
        DropClient(c, fault == FAULT_RESET);
        return;
    case FAULT_SHORT:
        SendAll(c, bytes.data(), bytes.size() < 10 ? bytes.size() : 10);
        return;
    case FAULT_SPLIT: {
        size_t half = bytes.size() / 2;
        SendAll(c, bytes.data(), half);
        Pending rest = {};
        rest.kind = PEND_SEND;
        rest.clientId = clientId;
        rest.bytes.assign(bytes.begin() + half, bytes.end());
        rest.fault = FAULT_NONE;
        Schedule(d, 100, rest);
        return;
    }
    default:
        SendAll(c, bytes.data(), bytes.size());
    }
}

bool NotifyPacket(Daemon* d, const std::vector<uint8_t>& p) {
    uint32_t command = p.size() >= wire::kHeaderSize ? wire::GetU32(p.data() + 8) : 0;
    if (!d->udpRegistered || d->udp == INVALID_SOCKET) {
        Log("notification %u dropped: no UDP registration", command);
        return false;
    }
    int sent = sendto(d->udp, (const char*)p.data(), (int)p.size(), 0, (sockaddr*)&d->udpPeer,
                      sizeof d->udpPeer);
    Log("notify %u (%u bytes) -> %d", command, (unsigned)p.size(), sent);
    return sent == (int)p.size();
}

bool Notify(Daemon* d, uint32_t command, uint32_t value, uint32_t result, const void* payload,
            size_t n) {
    return NotifyPacket(d, MakePacket(command, value, result, payload, n));
}

// Pieces the assembler hands out: a 4-byte piece is a request's length prefix,
// a valid packet is the request behind it, anything else is logged and ignored.
static void OnClientBytes(Daemon* d, Client* c, const uint8_t* bytes, size_t n) {
    if (!wire::AssemblerFeed(&c->stream, bytes, n)) {
        Log("client %u: stream overflow, dropped", c->id);
        wire::AssemblerReset(&c->stream);
        return;
    }
    static uint8_t piece[wire::kMaxRead + 4];
    static uint8_t payload[wire::kReceiveBufferSize];
    uint32_t id = c->id;
    size_t got;
    while ((c = FindClient(d, id)) != nullptr &&
           (got = wire::AssemblerNext(&c->stream, piece + 4, wire::kMaxRead)) > 0) {
        PacketHeader h;
        uint32_t length = 0;
        int valid = wire::ParsePacket(piece + 4, got, &h, payload, sizeof payload, &length);
        if (!valid && got == 4) {
            memcpy(c->prefix, piece + 4, 4);
            c->hasPrefix = true;
            continue;
        }
        const uint8_t* logged = piece + 4;
        size_t loggedSize = got;
        if (c->hasPrefix) {
            memcpy(piece, c->prefix, 4);
            logged = piece;
            loggedSize += 4;
        }
        AddLog(d, "tcp", logged, loggedSize);
        bool prefixOk = c->hasPrefix && wire::GetU32(piece) == got;
        c->hasPrefix = false;
        if (!valid) {
            Log("client %u: invalid piece of %u bytes ignored", id, (unsigned)got);
            continue;
        }
        if (!prefixOk) Log("client %u: request %u without a matching length prefix", id, h.Command);
        HandleRequest(d, id, h, payload);
    }
}

static void OnAccept(Daemon* d) {
    SOCKET s = accept(d->tcpListen, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    for (Client& c : d->clients) {
        if (c.s != INVALID_SOCKET) continue;
        BOOL one = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&one, sizeof one);
        c.s = s;
        c.id = ++d->nextClientId;
        c.hasPrefix = false;
        wire::AssemblerReset(&c.stream);
        Log("client %u connected", c.id);
        return;
    }
    Log("too many clients, refused");
    closesocket(s);
}

static void OnDatagram(Daemon* d) {
    static uint8_t bytes[wire::kMaxRead + 1];
    static uint8_t payload[wire::kReceiveBufferSize];
    sockaddr_in from;
    int fromLen = sizeof from;
    int n = recvfrom(d->udp, (char*)bytes, (int)wire::kMaxRead, 0, (sockaddr*)&from, &fromLen);
    if (n <= 0) return;
    AddLog(d, "udp", bytes, (size_t)n);
    PacketHeader h;
    uint32_t length = 0;
    if (!wire::ParsePacket(bytes, (size_t)n, &h, payload, sizeof payload, &length)) {
        Log("invalid datagram of %d bytes ignored", n);
        return;
    }
    HandleDatagram(d, from, h, payload);
}

static void OnControlAccept(Daemon* d) {
    SOCKET s = accept(d->controlListen, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    for (ControlClient& c : d->controls) {
        if (c.s != INVALID_SOCKET) continue;
        c.s = s;
        c.line.clear();
        return;
    }
    closesocket(s);
}

static void OnControlBytes(Daemon* d, ControlClient* c) {
    char buf[4096];
    int n = recv(c->s, buf, sizeof buf, 0);
    if (n <= 0) {
        CloseSocket(&c->s);
        return;
    }
    c->line.append(buf, (size_t)n);
    size_t eol;
    while (c->s != INVALID_SOCKET && (eol = c->line.find('\n')) != std::string::npos) {
        std::string cmd = c->line.substr(0, eol);
        c->line.erase(0, eol + 1);
        std::string answer = RunControlCommand(d, cmd) + "\n";
        send(c->s, answer.data(), (int)answer.size(), 0);
    }
    if (c->line.size() > 64 * 1024) CloseSocket(&c->s);  // no line that long is a command
}

static void RunDue(Daemon* d) {
    DWORD now = GetTickCount();
    for (size_t i = 0; i < d->pending.size();) {
        if ((LONG)(now - d->pending[i].due) < 0) {
            ++i;
            continue;
        }
        Pending p = d->pending[i];
        d->pending.erase(d->pending.begin() + i);
        if (p.kind == PEND_SEND) SendToClient(d, p.clientId, p.bytes, p.fault);
        else if (p.kind == PEND_NOTIFY) NotifyPacket(d, p.bytes);
        else EnterState(d, p.state);
        i = 0;  // the step may have queued more
        now = GetTickCount();
    }
}

int RunLoop(Daemon* d) {
    while (!d->stopRequested) {
        fd_set rd;
        FD_ZERO(&rd);
        if (d->tcpListen != INVALID_SOCKET) FD_SET(d->tcpListen, &rd);
        if (d->udp != INVALID_SOCKET) FD_SET(d->udp, &rd);
        if (d->controlListen != INVALID_SOCKET) FD_SET(d->controlListen, &rd);
        for (Client& c : d->clients)
            if (c.s != INVALID_SOCKET) FD_SET(c.s, &rd);
        for (ControlClient& c : d->controls)
            if (c.s != INVALID_SOCKET) FD_SET(c.s, &rd);
        // Short waits: the stop request and the pending queue are polled.
        timeval tv = {0, 20 * 1000};
        int ready = select(0, &rd, nullptr, nullptr, &tv);
        if (ready == SOCKET_ERROR) {
            // An empty set is an error on Windows; nothing to wait for but time.
            Sleep(20);
        } else if (ready > 0) {
            if (d->udp != INVALID_SOCKET && FD_ISSET(d->udp, &rd)) OnDatagram(d);
            for (Client& c : d->clients) {
                if (c.s == INVALID_SOCKET || !FD_ISSET(c.s, &rd)) continue;
                uint8_t buf[wire::kMaxRead];
                int n = recv(c.s, (char*)buf, sizeof buf, 0);
                if (n <= 0) {
                    Log("client %u gone (%d)", c.id, n < 0 ? WSAGetLastError() : 0);
                    CloseSocket(&c.s);
                    continue;
                }
                OnClientBytes(d, &c, buf, (size_t)n);
            }
            for (ControlClient& c : d->controls)
                if (c.s != INVALID_SOCKET && FD_ISSET(c.s, &rd)) OnControlBytes(d, &c);
            // Accept last: a new socket may reuse the number of one closed above.
            if (d->tcpListen != INVALID_SOCKET && FD_ISSET(d->tcpListen, &rd)) OnAccept(d);
            if (d->controlListen != INVALID_SOCKET && FD_ISSET(d->controlListen, &rd))
                OnControlAccept(d);
        }
        RunDue(d);
    }
    Log("stopping");
    CloseSockets(d);
    return 0;
}

}  // namespace standin
