// Core upgrade watch: the upgrade state that the exports refuse work under, the
// reaction to the service's version announcement, and the service and updater
// queries that Zorvet_Init uses too.
#include "core.h"

#include <string.h>

namespace {

constexpr uint32_t kTrace = 0x20000000;
constexpr uint32_t kUpgradeTrace = 0x201B0000;
constexpr uint32_t kUpgradeNotice = 0x301B0001;
constexpr uint32_t kUpgradeDll = 0x301B0003;
constexpr uint32_t kUpgradeGui = 0x301B0004;
constexpr DWORD kServiceRunning = 4;  // SERVICE_RUNNING
const char kDaemonService[] = "ZorvetDaemon";

// Starts what watches a core upgrade in place: REINIT_TIMER on the helper
// window and the upgrade worker with its UpdateNotice listener. They come
// with the upgrade worker; until then the state stays 1 once set.
void StartUpgradeWatch(const LatestVersionInfo* info) { (void)info; }

}  // namespace

void ReportUpgradeState() {
    switch (g_core.UpgradeState) {
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
        g_core.UpgradeState = UPGRADE_CORE;
        if (g_core.stateCallback) g_core.stateCallback(ZORVET_STATE_IDLE);
        ReportMessage(kUpgradeTrace, "start_upgrade");
        StartUpgradeWatch(info);
    } else if (info->GuiUpgrade) {
        g_core.UpgradeState = UPGRADE_GUI;
        ReportMessage(kUpgradeGui, "upgrade Zorvet GUI version");
    } else if (info->DllUpgrade) {
        g_core.UpgradeState = UPGRADE_DLL;
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
    if (g_core.upgradeSocket == INVALID_SOCKET) return;
    char text[wire::kReceiveBufferSize];
    memset(text, 0, sizeof text);
    int n = recvfrom(g_core.upgradeSocket, text, (int)wire::kMaxRead, 0, nullptr, nullptr);
    if (n <= 0) return;
    text[n] = 0;
    if (_stricmp(text, "udpinit") == 0)
        g_core.UpdaterSignal = SIGNAL_UDPINIT;
    else if (_stricmp(text, "failed") == 0)
        g_core.UpdaterSignal = SIGNAL_FAILED;
    else if (_stricmp(text, "updated") == 0)
        g_core.UpdaterSignal = SIGNAL_UPDATED;
    else
        ReportMessage(kUpgradeNotice, "%s", text);  // a progress line, never a format
}

// REINIT_TIMER tick: once the upgrade is over and the service runs, connect
// again (one attempt: the timer stops first).
void OnReinitTimer() {
    if (g_core.UpgradeState != UPGRADE_NONE) return;
    if (QueryServiceState(kDaemonService) != kServiceRunning) return;
    if (g_core.helperWnd) KillTimer(g_core.helperWnd, REINIT_TIMER);
    ReportMessage(kUpgradeTrace, "Zorvet_ReInit");
    Zorvet_ReInit();
}
