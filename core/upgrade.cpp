// Core upgrade watch: the upgrade state that the exports refuse work under, the
// reaction to the service's version announcement, the worker that follows a
// core upgrade in place (UpdateNotice listener, service state) and the service
// and updater queries that Zorvet_Init uses too.
//
// Threads: start_upgrade, OnUpgradeSocket and OnReinitTimer run on the helper
// window's thread; UpgradeThread on its own. UpgradeState, UpdaterSignal and the
// listener socket are shared between them and only touched through Interlocked
// calls. The worker sleeps on an event that OnUpgradeSocket sets, so it uses no
// CPU while it waits.
#include "core.h"

#include <string.h>

#include "client_text.h"
#include "test_seams.h"

namespace {

constexpr uint32_t kTrace = 0x20000000;
constexpr uint32_t kUpgradeTrace = 0x201B0000;
constexpr uint32_t kUpgradeNotice = 0x301B0001;
constexpr uint32_t kUpgradeDll = 0x301B0003;
constexpr uint32_t kUpgradeGui = 0x301B0004;
constexpr uint32_t kUpgradeTimeout = 0x501B0205;
constexpr uint32_t kUpgradeFailed = 0x501B0206;
constexpr DWORD kServiceRunning = 4;  // SERVICE_RUNNING
const char kDaemonService[] = "ZorvetDaemon";

constexpr int kNoticeBasePort = 63872;
constexpr DWORD kFirstWaitMs = 15000;    // for the updater's first datagram
constexpr DWORD kSecondWaitMs = 180000;  // for the service to run again
constexpr DWORD kPollMs = 100;           // service state polls in the second wait
// Progress lines are at most 1023 bytes from the updater; the routing's message
// buffer holds as much. A longer datagram is cut here, on a character boundary.
constexpr size_t kNoticeTextSize = 1024;

DWORD s_firstWaitMs = kFirstWaitMs;
DWORD s_secondWaitMs = kSecondWaitMs;
UpgradeWorkerHook s_workerHook;

// What one worker follows. Written by the helper thread before the worker
// starts; afterwards only the two flags change (a later announcement while the
// worker runs may add a client or library upgrade).
struct UpgradeWatch {
    volatile LONG active;  // 1 while a worker runs: one listener at a time
    int clientIndex;
    volatile LONG guiUpgrade;
    volatile LONG dllUpgrade;
};
UpgradeWatch s_watch;
HANDLE s_signalEvent;  // auto-reset; set when UpdaterSignal changes

LONG ReadShared(volatile LONG* v) { return InterlockedCompareExchange(v, 0, 0); }

void SetUpdaterSignal(LONG signal) {
    InterlockedExchange(&g_core.UpdaterSignal, signal);
    if (s_signalEvent) SetEvent(s_signalEvent);
}

void CloseListener() {
    SOCKET s = (SOCKET)InterlockedExchange((volatile LONG*)&g_core.upgradeSocket,
                                           (LONG)INVALID_SOCKET);
    if (s != INVALID_SOCKET) closesocket(s);
}

// The UpdateNotice listener on 127.0.0.1, port 63872 + index. Without one the
// watch still runs; only the service state can end it then.
void OpenListener(int index) {
    if (index < 1) index = 1;
    // The port must stay a port: an index past 65535 - 63872 would wrap onto
    // some unrelated low port, so no listener is opened for it.
    if (index > 65535 - kNoticeBasePort) {
        ReportMessage(kUpgradeTrace, "client index %d gives no port: no UpdateNotice listener",
                      index);
        return;
    }
    uint16_t port = (uint16_t)(kNoticeBasePort + index);
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        ReportMessage(kUpgradeTrace, "upgrade listener: socket failed (%d)", WSAGetLastError());
        return;
    }
    if (WSAAsyncSelect(s, g_core.helperWnd, WM_UPGRADE_SOCKET, FD_READ) != 0) {
        ReportMessage(kUpgradeTrace, "upgrade listener: WSAAsyncSelect failed (%d)",
                      WSAGetLastError());
        closesocket(s);
        return;
    }
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = htons(port);
    if (bind(s, (const sockaddr*)&local, sizeof local) != 0) {
        ReportMessage(kUpgradeTrace, "upgrade listener: bind to port %u failed (%d)",
                      (unsigned)port, WSAGetLastError());
        closesocket(s);
        return;
    }
    InterlockedExchange((volatile LONG*)&g_core.upgradeSocket, (LONG)s);
}

// The service state during the second wait: the service manager is opened once
// for the whole wait; the service itself is opened for each query, so that the
// watch never holds it open while the updater replaces it.
struct ServiceWatch {
    SC_HANDLE manager = nullptr;
    bool reported = false;  // a failure is logged once per wait, not per poll

    ~ServiceWatch() {
        if (manager) CloseServiceHandle(manager);
    }
    void Fail(const char* what) {
        if (reported) return;
        reported = true;
        DWORD error = GetLastError();
        ReportMessage(kTrace, "%s failed: (%ld) %s", what, (long)error, SystemErrorText(error));
    }
    DWORD State() {
        if (manager == nullptr) {
            manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
            if (manager == nullptr) {
                Fail("OpenSCManager");
                return 0;
            }
        }
        SC_HANDLE service = OpenServiceA(manager, kDaemonService, SERVICE_QUERY_STATUS);
        if (service == nullptr) {
            Fail("OpenService");
            return 0;
        }
        SERVICE_STATUS status;
        memset(&status, 0, sizeof status);
        DWORD state = QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
        CloseServiceHandle(service);
        return state;
    }
};

DWORD Elapsed(DWORD start) { return GetTickCount() - start; }

// Sleeps until UpdaterSignal changes or ms have passed.
void WaitForSignal(DWORD ms) {
    PumpMessages();  // this thread owns no window; kept for anything posted to it
    if (s_signalEvent) WaitForSingleObject(s_signalEvent, ms);
    else Sleep(ms);
}

// 1 when the service runs again or the updater reported success, 0 on failure
// or time-out (both reported).
int WatchUpgrade() {
    DWORD start = GetTickCount();
    while (ReadShared(&g_core.UpdaterSignal) == SIGNAL_NONE) {
        DWORD elapsed = Elapsed(start);
        if (elapsed >= s_firstWaitMs) break;
        WaitForSignal(s_firstWaitMs - elapsed);
    }

    ServiceWatch service;
    start = GetTickCount();
    for (;;) {
        if (service.State() == kServiceRunning) return 1;
        LONG signal = ReadShared(&g_core.UpdaterSignal);
        if (signal == SIGNAL_FAILED) {
            ReportMessage(kUpgradeFailed, "Failed to upgrade Zorvet Core version");
            return 0;
        }
        if (signal == SIGNAL_UPDATED) return 1;
        DWORD elapsed = Elapsed(start);
        if (elapsed > s_secondWaitMs) {
            ReportMessage(kUpgradeTimeout, "Timeout on upgrading Zorvet Core version");
            return 0;
        }
        DWORD left = s_secondWaitMs - elapsed + 1;
        WaitForSignal(left < kPollMs ? left : kPollMs);
    }
}

DWORD WINAPI UpgradeThread(void*);

void StartUpgradeWatch(const LatestVersionInfo* info) {
    if (g_core.helperWnd) SetTimer(g_core.helperWnd, REINIT_TIMER, kReinitMs, nullptr);
    if (InterlockedCompareExchange(&s_watch.active, 1, 0) != 0) {
        // A worker follows this upgrade already and owns the listener; it takes
        // over what the new announcement asks of the client and the library.
        if (info->GuiUpgrade) InterlockedExchange(&s_watch.guiUpgrade, 1);
        if (info->DllUpgrade) InterlockedExchange(&s_watch.dllUpgrade, 1);
        ReportMessage(kUpgradeTrace, "upgrade watch already running (index %d)",
                      g_core.clientIndex);
        return;
    }
    s_watch.clientIndex = g_core.clientIndex;
    InterlockedExchange(&s_watch.guiUpgrade, info->GuiUpgrade ? 1 : 0);
    InterlockedExchange(&s_watch.dllUpgrade, info->DllUpgrade ? 1 : 0);
    if (s_signalEvent == nullptr) s_signalEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, UpgradeThread, nullptr, 0, nullptr);
    if (thread == nullptr) {
        ReportMessage(kUpgradeTrace, "upgrade worker not started (%lu)", GetLastError());
        InterlockedExchange(&s_watch.active, 0);
        return;
    }
    CloseHandle(thread);  // not kept: the worker ends by itself
}

// The worker: follows one core upgrade to its end, with the index and flags
// that StartUpgradeWatch copied into s_watch.
DWORD WINAPI UpgradeThread(void*) {
    if (s_workerHook) s_workerHook();
    WSADATA wsa;
    bool winsock = WSAStartup(0x0202, &wsa) == 0;

    InterlockedExchange(&g_core.UpdaterSignal, SIGNAL_NONE);
    if (s_signalEvent) ResetEvent(s_signalEvent);
    int index = s_watch.clientIndex;
    ReportMessage(kUpgradeTrace, "create udp socket (port=%lld)",
                  (long long)kNoticeBasePort + (index < 1 ? 1 : index));
    OpenListener(index);
    // UpgradeState is 1 already (start_upgrade); setting it again here could
    // undo a client or library upgrade announced meanwhile.
    CloseDaemonSockets();

    int ok = WatchUpgrade();
    ReportMessage(kUpgradeTrace, "service back: %d", ok ? 0 : (int)UPGRADE_CORE);
    CloseListener();
    if (winsock) WSACleanup();
    // The listener is free for the next watch before the state can leave 1: from
    // then on a reconnect may bring the next announcement at once.
    LONG gui = ReadShared(&s_watch.guiUpgrade), dll = ReadShared(&s_watch.dllUpgrade);
    InterlockedExchange(&s_watch.active, 0);
    if (!ok) {
        ReportMessage(kUpgradeTrace, "failed");  // the state stays 1: the exports keep refusing
        return 0;
    }
    // The end state is set in one step: a REINIT_TIMER tick must not see 0 on
    // the way to 2 or 3 and reconnect. A newer announcement that already moved
    // the state to 2 or 3 keeps it.
    LONG endState = gui ? UPGRADE_GUI : dll ? UPGRADE_DLL : UPGRADE_NONE;
    InterlockedCompareExchange(&g_core.UpgradeState, endState, UPGRADE_CORE);
    if (endState == UPGRADE_GUI)
        ReportMessage(kUpgradeGui, "Please upgrade Zorvet GUI version");
    else if (endState == UPGRADE_DLL)
        ReportMessage(kUpgradeDll, "Please upgrade Zorvet DLL version");
    else
        ReportMessage(kUpgradeTrace, "updated");
    return 0;
}

}  // namespace

void SetUpgradeWaitsForTest(DWORD firstMs, DWORD secondMs) {
    s_firstWaitMs = firstMs ? firstMs : kFirstWaitMs;
    s_secondWaitMs = secondMs ? secondMs : kSecondWaitMs;
}

void SetUpgradeWorkerHookForTest(UpgradeWorkerHook hook) { s_workerHook = hook; }

void ReportUpgradeState() {
    switch (ReadShared(&g_core.UpgradeState)) {
    case UPGRADE_CORE:
        ReportMessage(kUpgradeNotice, "UPDT: updating Zorvet Core ...");
        break;
    case UPGRADE_DLL:
        ReportMessage(kUpgradeNotice, "UPDT: Please update Zorvet DLL");
        break;
    case UPGRADE_GUI:
        ReportMessage(kUpgradeNotice, "UPDT: Please update Zorvet GUI");
        break;
    default:
        break;
    }
}

void start_upgrade(const LatestVersionInfo* info) {
    if (info == nullptr) return;
    if (info->CoreUpgrade) {
        InterlockedExchange(&g_core.UpgradeState, UPGRADE_CORE);
        if (g_core.stateCallback) g_core.stateCallback(ZORVET_STATE_IDLE);
        ReportMessage(kUpgradeTrace, "start_upgrade");
        StartUpgradeWatch(info);
    } else if (info->GuiUpgrade) {
        InterlockedExchange(&g_core.UpgradeState, UPGRADE_GUI);
        ReportMessage(kUpgradeGui, "upgrade Zorvet GUI version");
    } else if (info->DllUpgrade) {
        InterlockedExchange(&g_core.UpgradeState, UPGRADE_DLL);
        ReportMessage(kUpgradeDll, "upgrade Zorvet DLL version");
    }
}

// The service's current state (4 = running); 0 when it cannot be opened or
// queried (not installed, no access).
DWORD QueryServiceState(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (manager == nullptr) {
        DWORD error = GetLastError();
        ReportMessage(kTrace, "OpenSCManager failed: (%ld) %s", (long)error, SystemErrorText(error));
        return 0;
    }
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
    if (service == nullptr) {
        DWORD error = GetLastError();
        ReportMessage(kTrace, "OpenService failed: (%ld) %s", (long)error, SystemErrorText(error));
        CloseServiceHandle(manager);
        return 0;
    }
    SERVICE_STATUS status;
    memset(&status, 0, sizeof status);
    DWORD state = QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return state;
}

int IsDaemonUpdaterRunning() {
    return FindWindowA("ZorvetUpdater", "Zorvet Daemon Updater") != nullptr ? 1 : 0;
}

// WM_UPGRADE_SOCKET with FD_READ: one UpdateNotice from the updater.
void OnUpgradeSocket() {
    SOCKET s = g_core.upgradeSocket;
    if (s == INVALID_SOCKET) return;
    char text[wire::kReceiveBufferSize];
    memset(text, 0, sizeof text);
    int n = recvfrom(s, text, (int)wire::kMaxRead, 0, nullptr, nullptr);
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) {
        // Longer than any notice: the buffer holds its first part.
        ReportMessage(kUpgradeTrace, "UpdateNotice longer than %u bytes cut",
                      (unsigned)wire::kMaxRead);
        n = (int)wire::kMaxRead;
    }
    if (n <= 0) return;
    text[n] = 0;
    // The whole datagram is the word (no NUL of its own inside).
    size_t length = strlen(text);
    bool whole = length == (size_t)n;
    if (whole && _stricmp(text, "udpinit") == 0) {
        SetUpdaterSignal(SIGNAL_UDPINIT);
    } else if (whole && _stricmp(text, "failed") == 0) {
        SetUpdaterSignal(SIGNAL_FAILED);
    } else if (whole && _stricmp(text, "updated") == 0) {
        SetUpdaterSignal(SIGNAL_UPDATED);
    } else if (length < kNoticeTextSize) {
        ReportMessage(kUpgradeNotice, "%s", text);  // a progress line, never a format
    } else {
        char line[kNoticeTextSize];
        CopyTextGbk(line, countof(line), text);  // never half a GBK character
        ReportMessage(kUpgradeNotice, "%s", line);
    }
}

// REINIT_TIMER tick: once the upgrade is over and the service runs, connect
// again (one attempt: the timer stops first).
void OnReinitTimer() {
    if (ReadShared(&g_core.UpgradeState) != UPGRADE_NONE) return;
    if (QueryServiceState(kDaemonService) != kServiceRunning) return;
    if (g_core.helperWnd) KillTimer(g_core.helperWnd, REINIT_TIMER);
    ReportMessage(kUpgradeTrace, "Zorvet_ReInit");
    Zorvet_ReInit();
}
