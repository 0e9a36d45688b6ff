// Zorvet_Core internals: the library's process-wide state and the functions the
// library's files call one another by. Windows only (the portable pieces live in
// base/).
#ifndef ZORVET_CORE_INTERNAL_H
#define ZORVET_CORE_INTERNAL_H

#include <winsock2.h>
#include <windows.h>

#include <stdint.h>

#include "utils.h"
#include "wire.h"
#include "zorvet_core.h"

// Helper window messages and timers.
enum {
    WM_DAEMON_SOCKET = 1125,   // WSAAsyncSelect of the daemon UDP socket
    WM_UPGRADE_SOCKET = 1126,  // WSAAsyncSelect of the upgrade listener
    KEEPALIVE_TIMER = 2345,    // every 30000 ms
    REINIT_TIMER = 2346,       // every 1000 ms while a core upgrade runs
};
constexpr UINT kKeepAliveMs = 30000;
constexpr UINT kReinitMs = 1000;
constexpr int kReplyTimeoutSeconds = 2;

#pragma pack(push, 1)
// Last version announcement of the service (notification 1009), 36 bytes.
struct LatestVersionInfo {
    uint32_t Unused[3];
    uint32_t CoreVersion;     // latest service PackedVersion
    uint32_t DllVersion;      // latest core library PackedVersion
    uint32_t GuiVersion;      // latest client program PackedVersion
    uint32_t CoreUpgrade;     // non-zero: the service is being upgraded now
    uint32_t DllUpgrade;      // non-zero: the core library must be upgraded
    uint32_t GuiUpgrade;      // non-zero: the client program must be upgraded
};
#pragma pack(pop)
static_assert(sizeof(LatestVersionInfo) == 36, "LatestVersionInfo is 36 bytes");

// UpgradeState values.
enum { UPGRADE_NONE = 0, UPGRADE_CORE = 1, UPGRADE_DLL = 2, UPGRADE_GUI = 3 };
// UpdaterSignal values.
enum { SIGNAL_NONE = 0, SIGNAL_UDPINIT = 1, SIGNAL_FAILED = 2, SIGNAL_UPDATED = 3 };

// The library's globals. Plain fields shared between threads as the protocol
// prescribes; requests on the TCP connection are serialised by requestLock.
struct CoreState {
    // link to the service
    SOCKET udpSocket;               // INVALID_SOCKET (-1) when closed
    SOCKET tcpSocket;               // INVALID_SOCKET (-1) when closed
    HWND helperWnd;
    volatile LONG connected;        // 1 after a successful Zorvet_Init
    PacketHeader LastReplyHeader;   // header of the last packet WaitReply parsed
    CRITICAL_SECTION requestLock;   // one request (send + wait) at a time
    wire::StreamAssembler tcpStream;  // reply bytes not yet handed out

    // message routing
    MessageCallback messageCallback;
    MessageCallback debugCallback;
    volatile uint32_t lastReportedError;

    // exports
    HINSTANCE moduleInstance;
    InitConfig savedConfig;
    StateCallback stateCallback;
    CredentialsCallback credentialsCallback;

    // notifications and upgrade watch
    volatile LONG UpgradeState;
    volatile LONG UpdaterSignal;
    SOCKET upgradeSocket;           // listener for UpdateNotice, -1 when closed
    int clientIndex;
    LatestVersionInfo latestVersion;
};
extern CoreState g_core;

// ---- message routing (routing.cpp)
void ReportMessage(uint32_t code, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void SetMessageCallback(MessageCallback cb);
void SetDebugCallback(MessageCallback cb);
void ResetLastReportedError();
uint32_t GetLastReportedError();
void NotifyMessageCallback(uint32_t code, const char* text);
const char* PromptText(uint32_t code);
const char* SocketErrorText(int error, MemoryPool* pool);
const char* SystemErrorText(DWORD error);
void ShowPromptNote(const char* title, const char* text, const char* url, int seconds);

// ---- local protocol (protocol.cpp)
int dll_socket_init(uint16_t port);
void CloseDaemonSockets();
// kind wire::KIND_TCP (socket connected) or wire::KIND_UDP (sendto address).
int SendPacket(int kind, SOCKET s, const sockaddr_in* to, uint32_t command, uint32_t value,
               uint32_t result, const void* payload, uint32_t n);
int ReceiveData(SOCKET s, char* buffer, int* size, int seconds);
// dest/destSize: where a reply payload goes (2011, 2012/2103/2107: 64 or 8
// bytes; 2014, 2102, 2104: at most destSize bytes, a longer reply fails).
int WaitReply(SOCKET s, uint32_t expected, PacketHeader* header, void* dest, size_t destSize,
              uint32_t* length);
// Sends one request on the TCP connection and waits for its reply, under the
// request lock; the reply's header is in g_core.LastReplyHeader. 1 / 0.
int RequestReply(uint32_t command, uint32_t value, uint32_t result, const void* payload,
                 uint32_t n, void* dest, size_t destSize, uint32_t* length);
void KeepAlive();
int CreateHelperWindow();
LRESULT CALLBACK HelperWndProc(HWND, UINT, WPARAM, LPARAM);
LRESULT OnHelperMessage(HWND, UINT, WPARAM, LPARAM);
void PumpMessages();

// ---- exports' internals (exports.cpp)
HINSTANCE get_main_instance();
uint32_t GetShellVersion(const char* library);
int Zorvet_ReInit();
void SetStatusCallback(StateCallback cb);
void SetCredentialsCallback(CredentialsCallback cb);
// Internal requests (not exported). 1 success, 0 failure unless noted.
// get_user_pass: name and password each need 33 bytes (the reply is at most 40).
int get_user_pass(char* name, char* password);
int get_remote_info(uint32_t* first, uint16_t* second);
int get_cert_info(char* text, size_t size);  // refuses a reply of size bytes or more
int get_service_index();                     // the index; 0x50000A0A when not connected
int Set_Trans_Data(uint32_t a, uint32_t b);
int Set_Trans_Band(uint32_t* first, uint32_t* second);
int init_query(const void* data, uint32_t b);  // data: 64 bytes

// ---- service notifications (notifications.cpp)
int DispatchNotification(const uint8_t* bytes, int count);
// The note entries the notifications call (nw_ShowTextNote, nw_ShowImageNote2);
// tests put recorders here.
extern void (*g_textNoteEntry)(uint32_t, const char*, const char*, const char*, int, HINSTANCE,
                               const char*, int, const RECT*, const RECT*, const RECT*);
extern void (*g_imageNoteEntry)(uint32_t, const char*, const char*, int, HINSTANCE, const char*,
                                int, int, int, int, int);

// ---- core upgrade watch (upgrade.cpp)
void start_upgrade(const LatestVersionInfo* info);
void ReportUpgradeState();
DWORD QueryServiceState(const char* name);
int IsDaemonUpdaterRunning();
void OnUpgradeSocket();   // WM_UPGRADE_SOCKET with FD_READ
void OnReinitTimer();     // REINIT_TIMER tick

// ---- HTTP fetch into memory (http_fetch.cpp): the bytes (malloc'ed, caller
// frees) and their count, or null.
char* FetchUrl(const char* url, int* size);

#endif
