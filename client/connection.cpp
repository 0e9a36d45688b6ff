// Between the user interface and the core library: login and stop, the three
// callbacks (state, chosen account, messages), conflicting programs and the
// hand-over to the updater.
#include <malloc.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "app.h"
#include <shellapi.h>
#include "client_text.h"
#include "utils.h"

namespace {

constexpr uint32_t ST_CONFLICTING_PROGRAMS = 0x30170004;
constexpr uint32_t ST_PROGRAMS_TO_CLOSE = 0x50170005;
constexpr uint32_t ST_UPGRADE_DLL = 0x301B0003;
constexpr uint32_t ST_UPGRADE_GUI = 0x301B0004;
constexpr uint32_t ST_MUST_UPGRADE = 0x50000A09;
constexpr uint32_t ST_SERVICE_LOST = 0x501A0202;  // the keep-alive found the link closed

// The library has one connection to the service; the main and the dialog
// thread must not have requests on it at the same time. Recursive, so a
// callback that arrives inside a request of the same thread may ask again.
//
// The library reports an export's own failures on the calling thread, before
// the export returns. A box shown there would keep the lock until the user
// closes it, and the other thread would wait for it at its next request: on
// the main thread that stops the hidden window, the tray and the library's
// helper window (keep-alive, notifications). Such a message is logged at once;
// its box and what else it asks for wait until the thread lets the lock go.
constexpr int kMaxDeferred = 16;
struct RequestLock {
    CRITICAL_SECTION cs;
    volatile LONG owner = 0;  // id of the thread holding cs, 0 when free
    int depth = 0;            // the owner's nested requests
    uint32_t deferred[kMaxDeferred];  // codes reported inside the owner's requests
    int deferredCount = 0;
    RequestLock() { InitializeCriticalSection(&cs); }
} g_requestLock;

void ActOnCoreMessage(uint32_t code);

struct Request {
    Request() {
        EnterCriticalSection(&g_requestLock.cs);
        if (g_requestLock.depth++ == 0) InterlockedExchange(&g_requestLock.owner, (LONG)GetCurrentThreadId());
    }
    ~Request() {
        RequestLock& l = g_requestLock;
        if (--l.depth > 0) {
            LeaveCriticalSection(&l.cs);
            return;
        }
        uint32_t codes[kMaxDeferred];
        int n = l.deferredCount;
        memcpy(codes, l.deferred, n * sizeof codes[0]);
        l.deferredCount = 0;
        InterlockedExchange(&l.owner, 0);
        LeaveCriticalSection(&l.cs);
        for (int i = 0; i < n; i++) ActOnCoreMessage(codes[i]);
    }
};

// Only this thread writes its own id there, so the answer needs no lock.
int InRequestOnThisThread() { return (DWORD)g_requestLock.owner == GetCurrentThreadId(); }

// The array the library allocates holds as many records as its own count said;
// a later count may differ, so the block's size bounds what is read.
struct ProcList {
    ProcInfo* items = nullptr;
    int count = 0;
    ProcList() {
        Request r;
        items = Zorvet_Proc_GetInfo();
        if (!items) return;
        int n = Zorvet_Proc_GetCount();
        size_t allocated = _msize(items) / sizeof(ProcInfo);
        count = n <= 0 ? 0 : (size_t)n > allocated ? (int)allocated : n;
    }
    ~ProcList() { free(items); }
};

// Lists the programs into text (logged one by one, tag B or F); a line that
// does not fit the message is left out of it.
void ListPrograms(const ProcList& list, char tag, char* text, size_t size) {
    for (int i = 0; i < list.count; i++) {
        const ProcInfo& p = list.items[i];
        MsgBox(1, "CB-PCL: %c %.*s %d %.*s", tag, (int)sizeof p.Name - 1, p.Name, (int)p.Pid,
               (int)sizeof p.Path - 1, p.Path);
        char line[400];
        FormatText(line, sizeof line, "%.*s: %.*s\n", (int)sizeof p.Name - 1, p.Name, (int)sizeof p.Path - 1,
                   p.Path);
        if (strlen(text) + strlen(line) < size) strcat(text, line);
    }
}

void OnConflictingPrograms() {
    ProcList list;
    if (list.count <= 0) return;
    char text[1024];
    LoadText(IDS_CONFLICT_HEADER, text, countof(text));
    if (strlen(text) + 1 < sizeof text) strcat(text, "\n");
    ListPrograms(list, 'B', text, sizeof text);
    if (g_app.ConnState == 3) return;
    char ask[200];
    LoadText(IDS_CONFLICT_ASK, ask, countof(ask));
    AppendTextGbk(text, sizeof text, ask);
    if (ShowBox(nullptr, text, MB_YESNO | MB_ICONWARNING | MB_SYSTEMMODAL) == IDYES) {
        Request r;
        Zorvet_Proc_Kill();
    }
}

void OnProgramsToClose() {
    ProcList list;
    if (list.count <= 0) return;
    char text[1024];
    LoadText(IDS_CONFLICT_MANUAL, text, countof(text));
    ListPrograms(list, 'F', text, sizeof text);
    ShowBox(nullptr, text, MB_OK | MB_SYSTEMMODAL);
}

void OnConnected() {
    QueryData q;
    ZeroMemory(&q, sizeof q);
    CoreGetQueryData(&q);
    UpdateTrayIcon(3, 0);
    char templ[100], title[100], text[100], ip[17];
    LoadText(IDS_CONNECTED_TITLE, templ, countof(templ));
    FillTemplate(title, sizeof title, templ, "ovik_acc");
    QueryIpText(ip, sizeof ip, q);
    if (ip[0]) {
        LoadText(IDS_ASSIGNED_IP, templ, countof(templ));
        FillTemplate(text, sizeof text, templ, ip);
    } else {
        CopyText(text, " ");
    }
    ShowBalloon(g_app.MainWindow, title, text);
    ShowPage(PAGE_STATUS);
    if (g_app.DialogVisible && g_app.DialogWindow) PostMessageA(g_app.DialogWindow, WM_APP_AUTOHIDE, 0, 0);
    switch (DecideExpiryNotice(q, time(nullptr))) {
    case EXPIRY_END_DATE_SOON: {
        char date[12];
        QueryDateText(date, sizeof date, q);
        MsgBox(MSG_EXPIRES_SOON, "INFO: the end-date is %s", date);
        break;
    }
    case EXPIRY_LESS_THAN_HOUR:
        MsgBox(MSG_LESS_THAN_HOUR, "INFO: the end-time is %u.", q.Time);
        break;
    default:
        break;
    }
}

}  // namespace

int CoreInit(const InitConfig* config) {
    Request r;
    return Zorvet_Init(config, OnCoreMessage, OnCoreState);
}

void CoreClear() {
    Request r;
    Zorvet_Clear();
}

uint32_t CoreGetServiceVersion() {
    Request r;
    return Zorvet_GetCoreVersion();
}

int CoreGetQueryData(QueryData* q) {
    Request r;
    return Zorvet_Get_QueryData(q);
}

uint32_t CoreSetRegistryValue(uint32_t root, const char* subkey, const char* name, uint32_t op, uint32_t type,
                              const void* data, uint32_t length) {
    Request r;
    return Zorvet_Set_Registry_Value(root, subkey, name, op, type, data, length);
}

// Put before the account's name in every login.
const char kLoginPrefix[] = "qx.";

void StartLogin(const LoginInput& input) {
    LoginRecord rec;
    ZeroMemory(&rec, sizeof rec);
    rec.AutoAccount = input.NoStoredCredentials ? 1 : 0;
    char name[sizeof rec.UserName] = "";
    if (!input.NoStoredCredentials) {
        CopyText(name, input.UserName);
        CopyText(rec.Password, input.Password);
    }
    rec.ServiceMask = 1u << ((uint32_t)g_app.ServiceIndex & 31);
    FormatText(rec.UserName, sizeof rec.UserName, "%s%s", kLoginPrefix, name);
    Request r;
    Zorvet_Start(&rec, OnCredentials);
}

void StopSession() {
    Request r;
    Zorvet_Stop();
}

void OnCredentials(const char* name, const char* password) {
    if (!name) name = "";
    if (!password) password = "";
    // A login sends "qx." and the name in the record's name field, and the
    // password as held here: an account longer than that would be cut and
    // refused at every later login, so it is not taken and the next login asks
    // the service again.
    const size_t maxName = sizeof(LoginRecord::UserName) - 1 - (sizeof kLoginPrefix - 1);
    const size_t maxPassword = sizeof g_app.Password - 1;
    if (strlen(name) > maxName || strlen(password) > maxPassword) {
        MsgBox(0x10001,
               "REG: the account from the service is too long to send (%u, %u characters; at most %u, %u); "
               "not taken.",
               (unsigned)strlen(name), (unsigned)strlen(password), (unsigned)maxName, (unsigned)maxPassword);
        return;
    }
    // Kept and used for this run's logins; only "cert" is bounded to 20, and
    // SaveConfig stores the account whole or clears it.
    CopyText(g_app.UserName, name);
    CopyText(g_app.Password, password);
    if (!name[0]) return;
    if (g_app.DialogWindow) PostMessageA(g_app.DialogWindow, WM_APP_CREDENTIALS, 0, 0);
    SaveConfig(&g_app);
    g_app.NoStoredCredentials = 0;
}

void OnCoreState(int state) {
    InterlockedExchange(&g_app.ConnState, state);
    switch (state) {
    case 1:
        UpdateTrayIcon(1, 0);
        ShowPage(PAGE_STATUS);
        break;
    case 2:
        ShowPage(PAGE_STATUS);
        UpdateTrayIcon(2, 0);
        break;
    case 3:
        OnConnected();
        break;
    case 4:
        ShowPage(PAGE_STATUS);
        UpdateTrayIcon(4, 0);
        break;
    default:
        break;
    }
}

void OnCoreMessage(uint32_t code, const char* text) {
    LogCoreMessage(code, text);
    if (InRequestOnThisThread()) {
        RequestLock& l = g_requestLock;  // held by this thread
        if (l.deferredCount < kMaxDeferred)
            l.deferred[l.deferredCount++] = code;
        else
            MsgBox(1, "CB-MSG: more than %d messages inside one request; #%x not acted on.", kMaxDeferred, code);
        return;
    }
    ActOnCoreMessage(code);
}

namespace {

// The box and the actions of a message of the library or the service, on a
// thread that holds no request.
void ActOnCoreMessage(uint32_t code) {
    // The library has closed its link and no state notification will come: show
    // the connection as gone (idle) before the box that says why.
    if (code == ST_SERVICE_LOST) OnCoreState(1);
    ShowCoreMessageBox(code);
    switch (code) {
    case ST_CONFLICTING_PROGRAMS:
        OnConflictingPrograms();
        break;
    case ST_PROGRAMS_TO_CLOSE:
        OnProgramsToClose();
        break;
    case ST_UPGRADE_DLL:
    case ST_UPGRADE_GUI:
    case ST_MUST_UPGRADE:
        ShowBox(nullptr, "ZORVET ACC需要升级才能使用", MB_OK | MB_SYSTEMMODAL);
        StartUpdater();
        break;
    default:
        break;
    }
}

}  // namespace

int IsUpdaterRunning() { return FindWindowA(kUpdaterClass, kUpdaterTitle) != nullptr; }

void StartUpdater() {
    if (IsUpdaterRunning()) return;
    char version[16], args[128];
    FormatVersion(kClientVersion, version);
    FormatText(args, sizeof args, "-auto -v=%s -pid=%d -p=%s", version, kPartnerId, kRegName);
    ShellExecuteA(nullptr, "open", g_app.UpdaterPath, args, nullptr, SW_SHOWNORMAL);
    ExitApplication(1);
}
