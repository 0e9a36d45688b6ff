// A stand-in for the accelerator service inside a test: TCP and UDP on
// 127.0.0.1:63872, driven from the test (or a thread of its own).
#ifndef ZORVET_TESTS_FAKE_PEER_H
#define ZORVET_TESTS_FAKE_PEER_H

#include <winsock2.h>

#include <stdint.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A packet as the service sends it (header and payload, no prefix).
Bytes ServicePacket(uint32_t command, const std::string& payload, uint32_t value = 0,
                    uint32_t result = 0);
Bytes Join(const std::vector<Bytes>& pieces);

struct FakePeer {
    SOCKET listener = INVALID_SOCKET;
    SOCKET udp = INVALID_SOCKET;
    SOCKET conn = INVALID_SOCKET;  // the library's connection, once accepted

    bool Start(uint16_t port);     // binds both on 127.0.0.1
    bool Accept(int ms);
    void CloseConn(bool reset);    // reset: SO_LINGER 0, the library sees RST
    // Reads until want bytes arrived or ms passed; returns what arrived.
    Bytes Read(size_t want, int ms);
    // Everything that arrives within ms.
    Bytes ReadAll(int ms) { return Read((size_t)-1, ms); }
    // What one recv returns once bytes arrive within ms (empty on none).
    Bytes ReadSome(int ms);
    bool Send(const Bytes& b);
    Bytes RecvDatagram(int ms, sockaddr_in* from);
};

// Bytes readable on s within ms (0 on none).
bool Readable(SOCKET s, int ms);

#endif
