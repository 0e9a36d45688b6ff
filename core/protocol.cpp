// Local protocol with the accelerator service on 127.0.0.1: the TCP connection
// (registration, requests and replies, keep-alive), the UDP socket for the
// service's notifications and the hidden helper window that receives the
// socket events and timers.
#include <string.h>
#include <stdlib.h>

#include "core.h"
#include "test_seams.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
CoreState g_core = {INVALID_SOCKET, INVALID_SOCKET};  // the rest starts zeroed
#pragma GCC diagnostic pop

namespace {

struct InitCoreState {
    InitCoreState() {
        InitializeCriticalSection(&g_core.requestLock);
        g_core.upgradeSocket = INVALID_SOCKET;
        wire::AssemblerReset(&g_core.tcpStream);
    }
} s_initCoreState;

const char kHelperClass[] = "Zorvet DLL Helper Window";
const char kRegisterPrefix[] = "APP KEY:";

UINT s_keepAliveMs = kKeepAliveMs;

// TCP replies and UDP notifications have buffers of their own: a notification
// handled on the window thread must not overwrite a reply being parsed on
// another thread. Reply buffers are used only under the request lock.
uint8_t s_replyRead[wire::kMaxRead];
uint8_t s_replyPiece[wire::kMaxRead];
uint8_t s_replyPayload[wire::kReceiveBufferSize];
uint8_t s_notifyBuffer[wire::kReceiveBufferSize];

// Takes a socket out of the state block exactly once, so that two threads
// closing the connection never close the same handle twice.
SOCKET TakeSocket(SOCKET* slot) {
    return (SOCKET)InterlockedExchange((volatile LONG*)slot, (LONG)INVALID_SOCKET);
}

void CloseSocketSlot(SOCKET* slot) {
    SOCKET s = TakeSocket(slot);
    if (s != INVALID_SOCKET) closesocket(s);
}

int SendAll(SOCKET s, const uint8_t* bytes, size_t n) {
    while (n > 0) {
        int chunk = n > 0x40000000 ? 0x40000000 : (int)n;
        int sent = send(s, (const char*)bytes, chunk, 0);
        if (sent <= 0) return 0;  // a partial send is not success: the rest is retried
        bytes += sent;
        n -= (size_t)sent;
    }
    return 1;
}

bool IsLostConnection(int error) {
    return error == WSAENETRESET || error == WSAECONNABORTED || error == WSAECONNRESET ||
           error == WSAESHUTDOWN;
}

// Next reply piece from the TCP stream: a whole packet (or an invalid piece the
// assembler cut off), reading when the stream holds none. > 0 its size; 0 or -1
// as ReceiveData when the read times out, the peer closes or the socket fails.
int NextReplyPiece(SOCKET s) {
    for (;;) {
        size_t n = wire::AssemblerNext(&g_core.tcpStream, s_replyPiece, sizeof s_replyPiece);
        if (n > 0) return (int)n;
        int size = (int)sizeof s_replyRead;
        int got = ReceiveData(s, (char*)s_replyRead, &size, kReplyTimeoutSeconds);
        if (got <= 0) return got;
        if (!wire::AssemblerFeed(&g_core.tcpStream, s_replyRead, (size_t)got)) {
            // Cannot happen with whole packets of at most kMaxRead bytes; start over
            // from this read rather than lose it.
            wire::AssemblerReset(&g_core.tcpStream);
            wire::AssemblerFeed(&g_core.tcpStream, s_replyRead, (size_t)got);
        }
    }
}

}  // namespace

void SetKeepAliveIntervalForTest(UINT ms) { s_keepAliveMs = ms ? ms : kKeepAliveMs; }

// ---- packets ------------------------------------------------------------------

int SendPacket(int kind, SOCKET s, const sockaddr_in* to, uint32_t command, uint32_t value,
               uint32_t result, const void* payload, uint32_t n) {
    if (kind != wire::KIND_TCP && kind != wire::KIND_UDP) return 0;
    if (s == INVALID_SOCKET) return 0;
    if (kind == wire::KIND_UDP && to == nullptr) return 0;
    size_t total = wire::PacketWireSize(kind, n);
    uint8_t* block = (uint8_t*)malloc(total);
    if (block == nullptr) return 0;
    int ok = 0;
    if (wire::BuildPacket(kind, command, value, result, payload, n, block, total) == total) {
        if (kind == wire::KIND_TCP) {
            ok = SendAll(s, block, total);
        } else {
            int sent = sendto(s, (const char*)block, (int)total, 0, (const sockaddr*)to, sizeof *to);
            ok = sent == (int)total;
        }
    }
    int error = WSAGetLastError();
    free(block);
    WSASetLastError(error);  // the keep-alive looks at why a send failed
    return ok;
}

int ReceiveData(SOCKET s, char* buffer, int* size, int seconds) {
    int capacity = *size;
    memset(buffer, 0, (size_t)capacity);
    *size = 0;
    DWORD start = GetTickCount();
    DWORD limit = (DWORD)seconds * 1000;
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= limit) return 0;
        DWORD wait = limit - elapsed < 1000 ? limit - elapsed : 1000;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval tv = {(long)(wait / 1000), (long)(wait % 1000) * 1000};
        int r = select(0, &readable, nullptr, nullptr, &tv);
        // A failing select (socket closed under us) would fail again at once:
        // end the wait instead of spinning until the time-out.
        if (r == SOCKET_ERROR) return -1;
        if (r == 0) continue;
        int got = recv(s, buffer, capacity, 0);
        if (got == 0) return 0;
        if (got < 0) return -1;
        *size = got;
        return got;
    }
}

int WaitReply(SOCKET s, uint32_t expected, PacketHeader* header, void* dest, size_t destSize,
              uint32_t* length) {
    if (length) *length = 0;
    for (;;) {
        int count = NextReplyPiece(s);
        if (count <= 0) return 0;
        memset(s_replyPayload, 0, sizeof s_replyPayload);
        uint32_t payloadLength = 0;
        int valid = wire::ParsePacket(s_replyPiece, (size_t)count, header, s_replyPayload,
                                      sizeof s_replyPayload, &payloadLength);
        if (valid && payloadLength > 0)
            ReportMessage(0x20000000, "[TCP] RECV: (%d) %s", (int)payloadLength,
                          (const char*)s_replyPayload);
        if (!valid) {
            if (header->Command == expected) return 0;
            continue;
        }
        if (header->Command != expected) continue;

        if (length) *length = payloadLength;
        switch (expected) {
        case wire::CMD_GET_QUERY_DATA:
            if (payloadLength != sizeof(QueryData)) return 0;
            if (dest) {
                if (destSize < sizeof(QueryData)) return 0;
                memcpy(dest, s_replyPayload, sizeof(QueryData));
            }
            return 1;
        case wire::CMD_GET_RED_INFO:
        case wire::CMD_GET_REMOTE_INFO:
        case wire::CMD_SET_TRANS_BAND:
            if (payloadLength != 8) return 0;
            if (dest) {
                if (destSize < 8) return 0;
                uint32_t words[2] = {wire::GetU32(s_replyPayload), wire::GetU32(s_replyPayload + 4)};
                memcpy(dest, words, sizeof words);
            }
            return 1;
        case wire::CMD_PROC_GET_INFO:
            if (dest) {
                if (payloadLength > destSize) return 0;  // never past the caller's block
                memcpy(dest, s_replyPayload, payloadLength);
            }
            return 1;
        case wire::CMD_GET_USER_PASS:
        case wire::CMD_GET_CERT_INFO:
            if (dest == nullptr || payloadLength > destSize) return 0;
            memcpy(dest, s_replyPayload, payloadLength);
            return 1;
        case wire::NTF_INFO2:
            ReportMessage(0x20000000, "Info: [%u] %s", header->Result, (const char*)s_replyPayload);
            return 1;
        default:
            return 1;
        }
    }
}

int RequestReply(uint32_t command, uint32_t value, uint32_t result, const void* payload,
                 uint32_t n, void* dest, size_t destSize, uint32_t* length) {
    if (length) *length = 0;
    EnterCriticalSection(&g_core.requestLock);
    // Bytes left from an earlier exchange (a reply that came after its time-out,
    // a cut packet) belong to no request from here on.
    wire::AssemblerReset(&g_core.tcpStream);
    SOCKET s = g_core.tcpSocket;
    int ok = SendPacket(wire::KIND_TCP, s, nullptr, command, value, result, payload, n) &&
             WaitReply(s, command, &g_core.LastReplyHeader, dest, destSize, length);
    LeaveCriticalSection(&g_core.requestLock);
    return ok;
}

// ---- connection -------------------------------------------------------------

void CloseDaemonSockets() {
    if (g_core.helperWnd) KillTimer(g_core.helperWnd, KEEPALIVE_TIMER);
    InterlockedExchange(&g_core.connected, 0);
    CloseSocketSlot(&g_core.tcpSocket);
    CloseSocketSlot(&g_core.udpSocket);
}

int dll_socket_init(uint16_t port) {
    char text[64];
    FormatText(text, countof(text), "%sclient-%ld", kRegisterPrefix, (long)GetCurrentProcessId());
    ReportMessage(0x20000000, "dll_socket_init");

    WSADATA wsa;
    if (WSAStartup(0x0202, &wsa) != 0) return 0;
    if (wsa.wVersion != 0x0202) {
        WSACleanup();
        return 0;
    }
    if (g_core.helperWnd == nullptr || !IsWindow(g_core.helperWnd)) CreateHelperWindow();
    // Sockets left open by an earlier attempt would leak: start from closed.
    if (g_core.tcpSocket != INVALID_SOCKET || g_core.udpSocket != INVALID_SOCKET)
        CloseDaemonSockets();

    sockaddr_in service = {};
    service.sin_family = AF_INET;
    service.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    service.sin_port = htons(port);

    SOCKET udp = socket(AF_INET, SOCK_DGRAM, 0);
    if (udp == INVALID_SOCKET) {
        ReportMessage(0x500B0201, "Could not create socket.");
        return 0;
    }
    // Bound to loopback: notifications are taken from this machine only (an
    // unbound socket would be bound to every interface by its first sendto).
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(udp, (const sockaddr*)&local, sizeof local);
    g_core.udpSocket = udp;
    WSAAsyncSelect(udp, g_core.helperWnd, WM_DAEMON_SOCKET, FD_READ);
    SendPacket(wire::KIND_UDP, udp, &service, wire::CMD_REGISTER_UDP, 0, wire::kRegisterResult,
               text, (uint32_t)strlen(text));

    SOCKET tcp = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (tcp == INVALID_SOCKET) {
        CloseSocketSlot(&g_core.udpSocket);
        ReportMessage(0x500B0201, "Could not create socket.");
        return 0;
    }
    g_core.tcpSocket = tcp;
    BOOL noDelay = TRUE;
    if (setsockopt(tcp, IPPROTO_TCP, TCP_NODELAY, (const char*)&noDelay, sizeof noDelay) != 0) {
        CloseDaemonSockets();
        ReportMessage(0x500B0201, "Could not set socket option: TCP_NODELAY.");
        return 0;
    }
    if (connect(tcp, (const sockaddr*)&service, sizeof service) != 0) {
        CloseDaemonSockets();
        ReportMessage(0x500B0208, "Could not connect.");
        return 0;
    }
    EnterCriticalSection(&g_core.requestLock);
    wire::AssemblerReset(&g_core.tcpStream);
    SendPacket(wire::KIND_TCP, tcp, nullptr, wire::CMD_REGISTER, 0, wire::kRegisterResult, text,
               (uint32_t)strlen(text));
    LeaveCriticalSection(&g_core.requestLock);
    if (g_core.helperWnd) SetTimer(g_core.helperWnd, KEEPALIVE_TIMER, s_keepAliveMs, nullptr);
    return 1;
}

void KeepAlive() {
    if (!g_core.connected) return;
    // A request in flight keeps the connection busy anyway; its bytes must not
    // be interleaved with ours, and the window thread must not block on it.
    if (!TryEnterCriticalSection(&g_core.requestLock)) return;
    int ok = SendPacket(wire::KIND_TCP, g_core.tcpSocket, nullptr, wire::CMD_KEEP_ALIVE, 0, 0,
                        nullptr, 0);
    int error = WSAGetLastError();
    LeaveCriticalSection(&g_core.requestLock);
    if (!ok && IsLostConnection(error)) {
        ReportMessage(0x501A0202, "Zorvet Daemon is aborted/stoped");
        CloseDaemonSockets();
    }
}

// ---- helper window --------------------------------------------------------------

int CreateHelperWindow() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HelperWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kHelperClass;
    RegisterClassExA(&wc);  // may already exist
    g_core.helperWnd = CreateWindowExA(0, kHelperClass, kHelperClass, 0, 0, 0, 0, 0, nullptr,
                                       nullptr, instance, nullptr);
    return g_core.helperWnd != nullptr;
}

LRESULT CALLBACK HelperWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_CLOSE || msg == WM_DESTROY) return 0;
    return OnHelperMessage(hwnd, msg, wParam, lParam);
}

LRESULT OnHelperMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_TIMER:
        if (wParam == KEEPALIVE_TIMER) KeepAlive();
        else if (wParam == REINIT_TIMER) OnReinitTimer();
        return 0;
    case WM_DAEMON_SOCKET:
        if (WSAGETSELECTEVENT(lParam) == FD_READ) {
            memset(s_notifyBuffer, 0, sizeof s_notifyBuffer);
            sockaddr_in from;
            int fromLength = sizeof from;
            int n = recvfrom(g_core.udpSocket, (char*)s_notifyBuffer, (int)wire::kMaxRead, 0,
                             (sockaddr*)&from, &fromLength);
            if (n > 0) DispatchNotification(s_notifyBuffer, n);
        }
        return 0;
    case WM_UPGRADE_SOCKET:
        if (WSAGETSELECTEVENT(lParam) == FD_READ) OnUpgradeSocket();
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

void PumpMessages() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) {
        BOOL r = GetMessageA(&m, nullptr, 0, 0);
        if (r == 0) {
            PostQuitMessage((int)m.wParam);
            return;
        }
        if (r == -1) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}
