// Stand-in ZorvetDaemon: the accelerator service's place in the Wine prefix,
// with a demo account and a scriptable control channel for tests.
#ifndef ZORVET_STANDIN_H
#define ZORVET_STANDIN_H

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>
#include <time.h>

#include <string>
#include <vector>

#include "wire.h"

namespace standin {

constexpr uint16_t kControlPort = 63899;
constexpr uint32_t kServiceVersion = 0x1072012D;  // 1.7.2.0301
constexpr uint32_t kBadLogin = 0x50130208;        // name or password not accepted
constexpr int kMaxClients = 8;
constexpr int kMaxControlClients = 4;
constexpr int kMaxRules = 32;
constexpr int kMaxProcs = 8;
constexpr size_t kMaxLogEntries = 512;

enum Fault { FAULT_NONE, FAULT_SILENCE, FAULT_SHORT, FAULT_MAGIC, FAULT_OTHER, FAULT_CLOSE,
             FAULT_RESET, FAULT_SPLIT };

// How to answer one command instead of (or on top of) the default reply.
struct Rule {
    bool used;
    uint32_t command;
    bool hasResult, hasValue, hasPayload;
    uint32_t result, value;
    std::vector<uint8_t> payload;
    uint32_t delayMs;
    Fault fault;
    uint32_t other;  // command of the packet that FAULT_OTHER sends first
    int times;       // requests left to serve; -1 for ever
};

struct Client {
    SOCKET s;  // INVALID_SOCKET when the slot is free
    uint32_t id;
    wire::StreamAssembler stream;
    uint8_t prefix[4];
    bool hasPrefix;
};

struct ControlClient {
    SOCKET s;
    std::string line;
};

enum PendingKind { PEND_SEND, PEND_STATE, PEND_NOTIFY };

// Something to do later on the service thread: a (rest of a) reply, a state step
// or a notification (bytes: header and payload).
struct Pending {
    DWORD due;  // GetTickCount
    PendingKind kind;
    uint32_t clientId;
    std::vector<uint8_t> bytes;
    Fault fault;
    uint32_t state;
};

struct LogEntry {
    char proto[4];  // "tcp" or "udp"
    std::vector<uint8_t> bytes;  // as received (a TCP request with its prefix)
};

struct Options {
    bool console;
    bool idle;         // report running but do not listen on 63872
    uint16_t controlPort;  // 0: no control channel
    char scenario[MAX_PATH];
    char logFile[MAX_PATH];
    uint32_t gapMs;    // between the state steps of connect and stop
};

struct Daemon {
    Options opt;
    volatile LONG stopRequested;
    SOCKET tcpListen, udp, controlListen;
    Client clients[kMaxClients];
    ControlClient controls[kMaxControlClients];
    uint32_t nextClientId;
    bool udpRegistered;
    sockaddr_in udpPeer;

    // demo behaviour
    uint32_t state;        // 1 idle, 2 connecting, 3 connected, 4 disconnecting
    uint32_t lastError;    // what 2009 answers
    time_t connectStart;
    uint32_t procCount;
    bool autoAccount;      // the running login came with AutoAccount

    Rule rules[kMaxRules];
    std::vector<Pending> pending;
    std::vector<LogEntry> log;
};

extern Daemon g_daemon;

// server.cpp
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool OpenSockets(Daemon* d);
void CloseSockets(Daemon* d);
// Runs until stopRequested; returns the process exit code.
int RunLoop(Daemon* d);
void Schedule(Daemon* d, DWORD delayMs, const Pending& p);
// Sends a reply (header + payload, no prefix) to a client, applying a fault.
void SendToClient(Daemon* d, uint32_t clientId, const std::vector<uint8_t>& bytes, Fault fault);
// One notification datagram to the registered UDP address; false when none.
bool Notify(Daemon* d, uint32_t command, uint32_t value, uint32_t result, const void* payload,
            size_t n);
bool NotifyPacket(Daemon* d, const std::vector<uint8_t>& packet);
std::vector<uint8_t> MakePacket(uint32_t command, uint32_t value, uint32_t result,
                                const void* payload, size_t n, uint32_t magic = wire::kMagic);

// behaviour.cpp
void ResetDemo(Daemon* d);
// Answers one valid request of a client (rules and defaults).
void HandleRequest(Daemon* d, uint32_t clientId, const PacketHeader& h, const uint8_t* payload);
void HandleDatagram(Daemon* d, const sockaddr_in& from, const PacketHeader& h, const uint8_t* payload);
void EnterState(Daemon* d, uint32_t state);

// control.cpp
// Runs one control command; the answer is one line without the line break.
std::string RunControlCommand(Daemon* d, const std::string& line);
bool RunScenario(Daemon* d, const char* path);

}  // namespace standin

#endif
