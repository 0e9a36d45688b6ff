#include "fake_peer.h"

#include <ws2tcpip.h>

#include "wire.h"

Bytes ServicePacket(uint32_t command, const std::string& payload, uint32_t value, uint32_t result) {
    Bytes out(wire::PacketWireSize(wire::KIND_UDP, payload.size()));
    size_t n = wire::BuildPacket(wire::KIND_UDP, command, value, result, payload.data(), payload.size(),
                                 out.data(), out.size());
    out.resize(n);
    return out;
}

Bytes Join(const std::vector<Bytes>& pieces) {
    Bytes out;
    for (const Bytes& p : pieces) out.insert(out.end(), p.begin(), p.end());
    return out;
}

bool Readable(SOCKET s, int ms) {
    fd_set r;
    FD_ZERO(&r);
    FD_SET(s, &r);
    timeval tv = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &r, nullptr, nullptr, &tv) > 0;
}

bool FakePeer::Start(uint16_t port) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    udp = socket(AF_INET, SOCK_DGRAM, 0);
    return bind(listener, (sockaddr*)&a, sizeof a) == 0 && listen(listener, 4) == 0 &&
           bind(udp, (sockaddr*)&a, sizeof a) == 0;
}

bool FakePeer::Accept(int ms) {
    if (!Readable(listener, ms)) return false;
    conn = accept(listener, nullptr, nullptr);
    BOOL on = TRUE;
    setsockopt(conn, IPPROTO_TCP, TCP_NODELAY, (const char*)&on, sizeof on);
    return conn != INVALID_SOCKET;
}

void FakePeer::CloseConn(bool reset) {
    if (conn == INVALID_SOCKET) return;
    if (reset) {
        linger l = {1, 0};
        setsockopt(conn, SOL_SOCKET, SO_LINGER, (const char*)&l, sizeof l);
    }
    closesocket(conn);
    conn = INVALID_SOCKET;
}

Bytes FakePeer::Read(size_t want, int ms) {
    Bytes out;
    DWORD start = GetTickCount();
    char buf[65536];
    while (out.size() < want) {
        int left = ms - (int)(GetTickCount() - start);
        if (left <= 0 || !Readable(conn, left)) break;
        size_t room = want - out.size();
        int n = recv(conn, buf, room < sizeof buf ? (int)room : (int)sizeof buf, 0);
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

Bytes FakePeer::ReadSome(int ms) {
    if (!Readable(conn, ms)) return {};
    char buf[65536];
    int n = recv(conn, buf, sizeof buf, 0);
    return n > 0 ? Bytes(buf, buf + n) : Bytes();
}

bool FakePeer::Send(const Bytes& b) {
    size_t done = 0;
    while (done < b.size()) {
        int n = send(conn, (const char*)b.data() + done, (int)(b.size() - done), 0);
        if (n <= 0) return false;
        done += (size_t)n;
    }
    return true;
}

Bytes FakePeer::RecvDatagram(int ms, sockaddr_in* from) {
    if (!Readable(udp, ms)) return {};
    char buf[8192];
    sockaddr_in f = {};
    int fl = sizeof f;
    int n = recvfrom(udp, buf, sizeof buf, 0, (sockaddr*)&f, &fl);
    if (n <= 0) return {};
    if (from) *from = f;
    return Bytes(buf, buf + n);
}
