// Network check: with auto-connect on, a worker thread probes the redirect
// server by UDP and reports each change between offline and online to the
// callback it was started with (the dialog's OnNetcheckStatus).
#include <winsock2.h>
#include <mswsock.h>
#include <string.h>

#include "app.h"
#include "netcheck_schedule.h"
#include "utils.h"

int ProbeRedirectServer(const char* host);
SOCKET OpenProbeSocket();
void CloseProbeSocket(SOCKET s);

namespace {

constexpr UINT WM_NETCHECK_QUIT = WM_USER + 202;
constexpr char kProbe[] = "netcheck";  // sent with its NUL: 9 bytes
constexpr u_short NetcheckPorts[] = {80, 3724, 53, 8000, 4000};
constexpr int kProbeAttempts = 5;
constexpr DWORD kReplyWindowMs = 1000;
constexpr DWORD kRetrySleepMs = 2000;
constexpr DWORD kQueueWaitMs = 5000;

// Everything one check's thread works with. The thread owns it; StopNetcheck
// only takes the callback away (under Lock, so no call is under way once it
// returns) and asks the thread to end. The last of the two references frees it.
struct NetcheckContext {
    char Host[21];                 // NetcheckHost
    NetcheckCallbackFn Callback;   // NetcheckCallback; under Lock
    CRITICAL_SECTION Lock;
    HANDLE QueueReady;             // set once the thread has a message queue
    volatile LONG Quit;            // set by StopNetcheck
    volatile LONG Refs;
    NetcheckSchedule Schedule;     // NetcheckStatus and the timer period; thread only
    UINT_PTR TimerId;              // NetcheckTimerId; thread only
};

// Start and stop run on the dialog thread only; the check's thread never
// reads these.
HANDLE NetcheckThreadHandle = nullptr;
DWORD NetcheckThreadId = 0;
NetcheckContext* NetcheckCurrent = nullptr;

// The context of the check whose thread this is, for its timer procedure.
thread_local NetcheckContext* t_netcheck = nullptr;

void ReleaseContext(NetcheckContext* c) {
    if (InterlockedDecrement(&c->Refs) != 0) return;
    DeleteCriticalSection(&c->Lock);
    CloseHandle(c->QueueReady);
    delete c;
}

NetcheckIntervals IntervalsOfThisBuild() {
    NetcheckIntervals iv = kNetcheckIntervals;
#ifdef ZORVET_NETCHECK_TEST_SETTINGS
    // Test builds only: the product never reads this variable.
    char text[64];
    DWORD n = GetEnvironmentVariableA("ZORVET_NETCHECK_TEST_MS", text, countof(text));
    if (n > 0 && n < countof(text) && !ParseNetcheckIntervals(text, &iv))
        MsgBox(1, "NETCHECK: ignoring test intervals \"%s\".", text);
#endif
    return iv;
}

// Hands a changed status to the callback, unless the check has been stopped.
void ReportStatus(NetcheckContext* c, int status) {
    EnterCriticalSection(&c->Lock);
    if (!c->Quit) {
        MsgBox(0x10003, status == 1 ? "NET: Network change to online." : "NET: Network change to offline.");
        if (c->Callback) c->Callback(status);
    }
    LeaveCriticalSection(&c->Lock);
}

void CALLBACK NetcheckTimerProc(HWND, UINT, UINT_PTR id, DWORD);

// Replaces the check's timer by one of the schedule's current period.
void SetCheckTimer(NetcheckContext* c) {
    if (c->TimerId) KillTimer(nullptr, c->TimerId);
    c->TimerId = SetTimer(nullptr, 0, c->Schedule.periodMs, NetcheckTimerProc);
    if (!c->TimerId) MsgBox(1, "NETCHECK: Couldn't set the netcheck timer (code=%lu).", GetLastError());
}

void CALLBACK NetcheckTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    NetcheckContext* c = t_netcheck;
    if (!c || id != c->TimerId || c->Quit) return;
    int r = ProbeRedirectServer(c->Host);
    if (NetcheckProbeDone(&c->Schedule, r)) {
        SetCheckTimer(c);
        ReportStatus(c, c->Schedule.status);
    }
}

DWORD WINAPI NetcheckThread(LPVOID param) {
    NetcheckContext* c = static_cast<NetcheckContext*>(param);
    t_netcheck = c;
    MSG msg;
    // Posts to a thread fail until it has a queue: make it, then say so.
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    SetEvent(c->QueueReady);
    SetCheckTimer(c);
    while (c->TimerId && !c->Quit) {
        if (GetMessageA(&msg, nullptr, 0, 0) <= 0 || msg.message == WM_NETCHECK_QUIT) break;
        if (msg.message == WM_TIMER && !msg.hwnd && msg.wParam == c->TimerId && NetcheckTimerTick(&c->Schedule)) {
            SetCheckTimer(c);
            // The tick in hand still probes: it reaches the timer procedure
            // under the id of the timer that replaced its own.
            msg.wParam = c->TimerId;
        }
        DispatchMessageA(&msg);
    }
    if (c->TimerId) KillTimer(nullptr, c->TimerId);
    t_netcheck = nullptr;
    ReleaseContext(c);
    return 0;
}

// Up to countof addresses of host into out; 0 when it has no IPv4 address.
template <size_t N>
int ResolveHost(const char* host, in_addr (&out)[N]) {
    hostent* he = gethostbyname(host);
    if (!he || he->h_addrtype != AF_INET || he->h_length != static_cast<int>(sizeof(in_addr)) || !he->h_addr_list)
        return 0;
    int n = 0;
    while (n < static_cast<int>(N) && he->h_addr_list[n]) {
        memcpy(&out[n], he->h_addr_list[n], sizeof(in_addr));
        ++n;
    }
    return n;
}

// The probe to every port of every address; the number of datagrams sent.
int SendProbes(SOCKET s, const in_addr* addresses, int count) {
    int sent = 0;
    for (int a = 0; a < count; ++a) {
        for (u_short port : NetcheckPorts) {
            sockaddr_in to = {};
            to.sin_family = AF_INET;
            to.sin_addr = addresses[a];
            to.sin_port = htons(port);
            const sockaddr* dest = reinterpret_cast<const sockaddr*>(&to);
            int r = sendto(s, kProbe, sizeof kProbe, 0, dest, sizeof to);
            // A port-unreachable report of an earlier datagram may surface here.
            if (r == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET)
                r = sendto(s, kProbe, sizeof kProbe, 0, dest, sizeof to);
            if (r == static_cast<int>(sizeof kProbe)) ++sent;
            else MsgBox(0x10004, "SOCKET: redirect sendto port %u failed (errorno=%d)", static_cast<unsigned>(port),
                       WSAGetLastError());
        }
    }
    return sent;
}

// Waits up to the reply window for one datagram: 1 for a reply of the
// server's size, -1 for anything else that was read, 0 when none came.
// Port-unreachable reports of the ports that do not answer are not replies:
// they are read past while the window lasts (at most resets of them).
int AwaitReply(SOCKET s, int resets) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kReplyWindowMs) return 0;
        DWORD left = kReplyWindowMs - elapsed;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {static_cast<long>(left / 1000), static_cast<long>(left % 1000) * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == 0) return 0;
        if (ready == SOCKET_ERROR) {
            MsgBox(0x10004, "SOCKET: redirect select failed (errorno=%d)", WSAGetLastError());
            return -1;
        }
        char buffer[1000];
        sockaddr_in from;
        int fromLength = sizeof from;
        int got = recvfrom(s, buffer, countof(buffer), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET && resets-- > 0) continue;
        return IsNetcheckReply(got) ? 1 : -1;
    }
}

}  // namespace

SOCKET OpenProbeSocket() {
    WSADATA data;
    int started = 0;
    for (int i = 0; i < 3 && !started; ++i) {
        int error = WSAStartup(MAKEWORD(2, 2), &data);
        if (error == 0) {
            started = 1;
        } else {
            MsgBox(0x40001, "SOCKET: redirect WSAStartup failed (code=%d), sleep %d seconds to retry.", error,
                   static_cast<int>(kRetrySleepMs / 1000));
            Sleep(kRetrySleepMs);
        }
    }
    if (!started) {
        MsgBox(0x10000, "SOCKET: redirect WSAStartup failed!");
        return INVALID_SOCKET;
    }
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
        MsgBox(0x10000, "SOCKET: redirect socket() failed (errorno=%d)", WSAGetLastError());
        WSACleanup();
        return INVALID_SOCKET;
    }
    // Without this a port-unreachable report of an unanswered port makes the
    // next receive fail instead of waiting for the port that answers.
    BOOL reset = FALSE;
    DWORD bytes = 0;
    if (WSAIoctl(s, SIO_UDP_CONNRESET, &reset, sizeof reset, nullptr, 0, &bytes, nullptr, nullptr) == SOCKET_ERROR)
        MsgBox(0x10004, "SOCKET: redirect SIO_UDP_CONNRESET failed (errorno=%d)", WSAGetLastError());
    return s;
}

void CloseProbeSocket(SOCKET s) {
    closesocket(s);
    WSACleanup();
}

int ProbeRedirectServer(const char* host) {
    SOCKET s = OpenProbeSocket();
    if (s == INVALID_SOCKET) return 0;
    in_addr addresses[16];
    int count = 0;
    for (int i = 0; i < 3 && count == 0; ++i) {
        count = ResolveHost(host, addresses);
        if (count == 0) {
            MsgBox(0x50001, "DIRS: Couldn't resolve the redirect server name, sleep %d seconds to retry.",
                   static_cast<int>(kRetrySleepMs / 1000));
            Sleep(kRetrySleepMs);
        }
    }
    int online = 0;
    for (int attempt = 0; count > 0 && attempt < kProbeAttempts && !online; ++attempt) {
        int sent = SendProbes(s, addresses, count);
        int r = AwaitReply(s, 4 * sent);
        if (r > 0)
            online = 1;
        else if (r < 0)
            Sleep(1000);
    }
    CloseProbeSocket(s);
    return online;
}

void StartNetcheck(NetcheckCallbackFn callback, const char* host) {
    if (NetcheckThreadId != 0) {
        MsgBox(0x10003, "THREAD: Netcheck already run (%u)", static_cast<unsigned>(NetcheckThreadId));
        return;
    }
    size_t length = host ? strnlen(host, 64) : 0;
    if (!host || length > 20) {
        MsgBox(0x10003, "NETCHECK: redirect server name of %u characters refused (at most 20).",
               static_cast<unsigned>(length));
        return;
    }
    NetcheckContext* c = new NetcheckContext();
    CopyText(c->Host, host);
    c->Callback = callback;
    InitializeCriticalSection(&c->Lock);
    c->QueueReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    c->Refs = 2;  // this side until StopNetcheck, and the thread
    StartNetcheckSchedule(&c->Schedule, IntervalsOfThisBuild());
    DWORD id = 0;
    HANDLE thread = c->QueueReady ? CreateThread(nullptr, 0, NetcheckThread, c, 0, &id) : nullptr;
    if (!thread) {
        DeleteCriticalSection(&c->Lock);
        if (c->QueueReady) CloseHandle(c->QueueReady);
        delete c;
        MsgBox(MSG_FATAL_MODULE, "NETCHECK: Couldn't create the netcheck module.");
        return;
    }
    NetcheckThreadHandle = thread;
    NetcheckThreadId = id;
    NetcheckCurrent = c;
    MsgBox(0x10003, "THREAD: Netcheck run (%u)", static_cast<unsigned>(id));
}

void StopNetcheck() {
    if (NetcheckThreadId == 0) {
        MsgBox(0x10003, "THREAD: Netcheck closed before");
        return;
    }
    NetcheckContext* c = NetcheckCurrent;
    MsgBox(1, "THREAD: Netcheck closed (%u)", static_cast<unsigned>(NetcheckThreadId));
    // Once this section is left the thread calls no callback of this check.
    EnterCriticalSection(&c->Lock);
    c->Callback = nullptr;
    InterlockedExchange(&c->Quit, 1);
    LeaveCriticalSection(&c->Lock);
    // A probe in hand may keep the thread a few seconds more; it is not waited
    // for. Only the queue is: a thread that has none yet would miss the post.
    HANDLE waits[2] = {c->QueueReady, NetcheckThreadHandle};
    DWORD w = WaitForMultipleObjects(2, waits, FALSE, kQueueWaitMs);
    if (w == WAIT_OBJECT_0 && !PostThreadMessageA(NetcheckThreadId, WM_NETCHECK_QUIT, 0, 0) &&
        WaitForSingleObject(NetcheckThreadHandle, 0) != WAIT_OBJECT_0)
        MsgBox(1, "THREAD: Netcheck quit message not posted (code=%lu)", GetLastError());
    else if (w == WAIT_TIMEOUT)
        MsgBox(1, "THREAD: Netcheck has no message queue yet; it ends as it starts.");
    CloseHandle(NetcheckThreadHandle);
    ReleaseContext(c);
    NetcheckThreadHandle = nullptr;
    NetcheckThreadId = 0;
    NetcheckCurrent = nullptr;
}
