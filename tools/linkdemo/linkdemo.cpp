// linkdemo.exe: a small caller of Zorvet_Core, linked through its public header
// and import library, that walks the link once and prints what it does:
// initialisation, versions, a login with the demo account, the state callbacks,
// status reads, a keep-alive, stop and clear. Every result is printed as it
// comes, failures included, and every wait is bounded.
//
//   linkdemo.exe [user password]
//
// The keep-alive goes out on the library's own 30-second timer; the demo sees
// it in the stand-in service's packet log (control channel 127.0.0.1:63899).
#include <winsock2.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "utils.h"
#include "version.h"
#include "zorvet_core.h"

static volatile int g_state = 0;
static bool g_gotAccount = false;

static const char* StateName(int s) {
    switch (s) {
    case ZORVET_STATE_IDLE: return "idle";
    case ZORVET_STATE_CONNECTING: return "connecting";
    case ZORVET_STATE_CONNECTED: return "connected";
    case ZORVET_STATE_DISCONNECTING: return "disconnecting";
    default: return "?";
    }
}

static void OnMessage(uint32_t code, const char* text) {
    printf("  [message]  0x%08X %s\n", code, text ? text : "");
}

static void OnState(int state) {
    g_state = state;
    printf("  [state]    %d (%s)\n", state, StateName(state));
}

static void OnCredentials(const char* name, const char* password) {
    g_gotAccount = true;
    printf("  [account]  %s / %s\n", name ? name : "", password ? password : "");
}

// Runs the message loop of this thread (the library's helper window lives
// here) until done() holds or the time is up. Returns done().
template <typename Done>
static bool PumpUntil(DWORD ms, Done done) {
    DWORD start = GetTickCount();
    while (!done()) {
        DWORD spent = GetTickCount() - start;
        if (spent >= ms) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent < 100 ? ms - spent : 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

// How many keep-alives (2017) the stand-in has received, from its packet log;
// -1 when its control channel does not answer.
static int KeepAlivesSeen() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return -1;
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(63899);
    int count = -1;
    DWORD timeout = 2000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout, sizeof timeout);
    if (connect(s, (sockaddr*)&a, sizeof a) == 0 && send(s, "log\n", 4, 0) == 4) {
        static char answer[1 << 20];
        size_t used = 0;
        int n;
        while (used + 1 < sizeof answer && (n = recv(s, answer + used, (int)(sizeof answer - used - 1), 0)) > 0) {
            used += (size_t)n;
            if (answer[used - 1] == '\n') break;
        }
        answer[used] = 0;
        // Entries "tcp:<hex>": prefix (4 bytes), then magic, marker, command.
        // 2017 little-endian is e1 07 00 00 at byte 12, hex offset 24.
        count = 0;
        for (const char* p = strstr(answer, " tcp:"); p; p = strstr(p + 1, " tcp:"))
            if (strlen(p + 5) >= 32 && strncmp(p + 5 + 24, "e1070000", 8) == 0) ++count;
    }
    closesocket(s);
    return count;
}

static void PrintQueryData(int i) {
    QueryData q;
    memset(&q, 0, sizeof q);
    int ok = Zorvet_Get_QueryData(&q);
    if (!ok) {
        printf("Zorvet_Get_QueryData #%d -> 0 (failed)\n", i);
        return;
    }
    char ip[countof(q.IP) + 1], date[countof(q.Date) + 1];
    memcpy(ip, q.IP, sizeof q.IP);
    ip[countof(ip) - 1] = 0;
    memcpy(date, q.Date, sizeof q.Date);
    date[countof(date) - 1] = 0;
    printf("Zorvet_Get_QueryData #%d -> 1: account %u, address %s, connected %u s, "
           "received %u B, sent %u B, %u min left (until %s)\n",
           i, q.ID, ip[0] ? ip : "-", q.ConnectTime, q.Recv, q.Out, q.Time, date);
}

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    const char* user = argc > 2 ? argv[1] : "qx.demo_user";
    const char* password = argc > 2 ? argv[2] : "demo_pass";
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);

    char text[64] = "";
    printf("Zorvet_GetDllVersion -> 0x%08X\n", Zorvet_GetDllVersion());
    int ok = Zorvet_GetDllVersionString(text);
    printf("Zorvet_GetDllVersionString -> %d \"%s\"\n", ok, text);

    InitConfig config;
    memset(&config, 0, sizeof config);
    CopyText(config.Hostname, "127.0.0.1");
    CopyText(config.Regname, OVIK_REGNAME);
    config.Version = OVIK_PACKED_VERSION;
    config.PartnerID = OVIK_PARTNER_ID;
    int init = Zorvet_Init(&config, OnMessage, OnState);
    bool connected = init >= 0 && init <= 4;
    if (connected) printf("Zorvet_Init -> %d: connected, the service is %s\n", init, StateName(init));
    else printf("Zorvet_Init -> 0x%08X: failed\n", (unsigned)init);
    if (connected) g_state = init;

    text[0] = 0;
    ok = Zorvet_GetCoreVersionString(text);
    printf("Zorvet_GetCoreVersionString -> %d \"%s\"\n", ok, text);

    LoginRecord login;
    memset(&login, 0, sizeof login);
    CopyText(login.UserName, user);
    CopyText(login.Password, password);
    login.ServiceMask = 1;
    int start = Zorvet_Start(&login, OnCredentials);
    printf("Zorvet_Start (%s) -> %d (0x%08X)\n", user, start, (unsigned)start);
    if (connected && start == 0) {
        if (!PumpUntil(10000, [] { return g_state == ZORVET_STATE_CONNECTED; }))
            printf("no state 3 within 10 s (state %d)\n", g_state);
    }

    // Status reads while the library's keep-alive timer (30 s) comes round.
    int before = KeepAlivesSeen();
    int reads = 0;
    PrintQueryData(++reads);
    if (connected && before >= 0) {
        printf("waiting for the library's keep-alive (every 30 s) ...\n");
        int seen = before;
        DWORD t0 = GetTickCount();
        while (GetTickCount() - t0 < 40000 && seen <= before) {
            PumpUntil(5000, [] { return false; });
            PrintQueryData(++reads);
            seen = KeepAlivesSeen();
        }
        if (seen > before) printf("keep-alive 2017 sent after %lu s (the service has seen %d)\n",
                                  (GetTickCount() - t0) / 1000, seen);
        else printf("no keep-alive seen within 40 s\n");
    } else if (connected) {
        printf("the service's control channel does not answer; no keep-alive check\n");
    }
    PrintQueryData(++reads);

    printf("Zorvet_Stop\n");
    Zorvet_Stop();
    if (connected && !PumpUntil(10000, [] { return g_state == ZORVET_STATE_IDLE; }))
        printf("no state 1 within 10 s (state %d)\n", g_state);
    printf("Zorvet_Clear\n");
    Zorvet_Clear();
    PumpUntil(300, [] { return false; });
    printf("Zorvet_ErrNo after Zorvet_Clear -> 0x%08X (not connected any more)\n",
           (unsigned)Zorvet_ErrNo());
    WSACleanup();
    return connected ? 0 : 1;
}
