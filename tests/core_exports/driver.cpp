// Test driver of Zorvet_Core: reads one command a line from stdin, calls the
// library and prints what came back, so a Python test can steer it against a
// scripted service. Built twice: core_exports_driver loads Zorvet_Core.dll with
// LoadLibraryA/GetProcAddress (no import library); core_internal_driver links
// the static library and also reaches the internal requests.
//
// Strings and bytes on the command line are hex ("-" for a null pointer).
// Output lines:
//   M <code> <text hex>       MessageCallback
//   S <state>                 StateCallback
//   C <name hex> <pass hex>   CredentialsCallback
//   R <command> ...           the command's result; always the last line of it
#include <winsock2.h>
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "zorvet_core.h"
#ifdef DRIVER_LINKED
#include "core.h"
#endif

namespace {

using InitFn = int (*)(const InitConfig*, MessageCallback, StateCallback);
using StartFn = int (*)(const LoginRecord*, CredentialsCallback);
using VoidFn = void (*)(void);
using IntFn = int (*)(void);
using U32Fn = uint32_t (*)(void);
using BufFn = int (*)(char*);
using RedFn = int (*)(uint32_t*, uint32_t*);
using QueryFn = int (*)(QueryData*);
using ProcFn = ProcInfo* (*)(void);
using RegFn = uint32_t (*)(uint32_t, const char*, const char*, uint32_t, uint32_t, const void*,
                           uint32_t);

struct Exports {
    InitFn Init;
    StartFn Start;
    VoidFn Stop, Clear;
    IntFn ErrNo;
    U32Fn GetDllVersion;
    BufFn GetDllVersionString;
    U32Fn GetCoreVersion;
    BufFn GetCoreVersionString;
    RedFn Get_RedInfo;
    QueryFn Get_QueryData;
    IntFn Proc_GetCount;
    ProcFn Proc_GetInfo;
    IntFn Proc_Kill;
    RegFn Set_Registry_Value;
} E;

int g_lastState = 0;

std::string Hex(const void* p, size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    const uint8_t* b = (const uint8_t*)p;
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[b[i] >> 4];
        s += kDigits[b[i] & 15];
    }
    return s.empty() ? "-" : s;
}

std::string HexText(const char* t) { return t ? Hex(t, strlen(t)) : "-"; }

// "-" gives no bytes and null; "" (written as "~") an empty text.
bool Unhex(const std::string& s, std::vector<uint8_t>* out) {
    out->clear();
    if (s == "-") return false;
    if (s == "~") return true;
    for (size_t i = 0; i + 1 < s.size(); i += 2) out->push_back((uint8_t)strtoul(s.substr(i, 2).c_str(), nullptr, 16));
    return true;
}

void Line(const std::string& s) {
    fputs(s.c_str(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

void Result(const std::string& command, const std::string& rest) { Line("R " + command + " " + rest); }

std::string U(uint32_t v) {
    char b[16];
    snprintf(b, sizeof b, "%u", v);
    return b;
}

std::string X(uint32_t v) {
    char b[16];
    snprintf(b, sizeof b, "%08x", v);
    return b;
}

void Pump(DWORD ms, int untilState);

// With nest set, the first message callback pumps messages before it prints, as a
// message box inside a callback would: a notification that arrives meanwhile is
// handled nested, and the outer text must still be intact afterwards.
DWORD g_nestPumpMs = 0;

void OnMessage(uint32_t code, const char* text) {
    static int depth = 0;
    if (g_nestPumpMs && depth == 0) {
        ++depth;
        Pump(g_nestPumpMs, 0);
        --depth;
    }
    Line("M " + X(code) + " " + HexText(text));
}

void OnState(int state) {
    g_lastState = state;
    Line("S " + std::to_string(state));
}

#ifdef DRIVER_LINKED
void OnDebug(uint32_t code, const char* text) { Line("D " + X(code) + " " + HexText(text)); }
#endif

void OnCredentials(const char* name, const char* password) {
    Line("C " + HexText(name) + " " + HexText(password));
}

void Pump(DWORD ms, int untilState) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (untilState && g_lastState == untilState) return;
        if (GetTickCount() - start >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

LRESULT CALLBACK PlainWndProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// The updater's window in its service-upgrade mode, as Zorvet_Init looks for it.
void CreateUpdaterWindow() {
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = PlainWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ZorvetUpdater";
    RegisterClassA(&wc);
    CreateWindowA("ZorvetUpdater", "Zorvet Daemon Updater", 0, 0, 0, 0, 0, nullptr, nullptr,
                  wc.hInstance, nullptr);
}

bool LoadExports() {
#ifdef DRIVER_LINKED
    E = {Zorvet_Init, Zorvet_Start, Zorvet_Stop, Zorvet_Clear, Zorvet_ErrNo, Zorvet_GetDllVersion,
         Zorvet_GetDllVersionString, Zorvet_GetCoreVersion, Zorvet_GetCoreVersionString,
         Zorvet_Get_RedInfo, Zorvet_Get_QueryData, Zorvet_Proc_GetCount, Zorvet_Proc_GetInfo,
         Zorvet_Proc_Kill, Zorvet_Set_Registry_Value};
    return true;
#else
    HMODULE m = LoadLibraryA("Zorvet_Core.dll");
    if (!m) return false;
    bool ok = true;
    auto get = [&](const char* name) {
        FARPROC p = GetProcAddress(m, name);
        if (!p) {
            Line(std::string("missing export ") + name);
            ok = false;
        }
        return (void*)p;
    };
    E.Init = (InitFn)get("Zorvet_Init");
    E.Start = (StartFn)get("Zorvet_Start");
    E.Stop = (VoidFn)get("Zorvet_Stop");
    E.Clear = (VoidFn)get("Zorvet_Clear");
    E.ErrNo = (IntFn)get("Zorvet_ErrNo");
    E.GetDllVersion = (U32Fn)get("Zorvet_GetDllVersion");
    E.GetDllVersionString = (BufFn)get("Zorvet_GetDllVersionString");
    E.GetCoreVersion = (U32Fn)get("Zorvet_GetCoreVersion");
    E.GetCoreVersionString = (BufFn)get("Zorvet_GetCoreVersionString");
    E.Get_RedInfo = (RedFn)get("Zorvet_Get_RedInfo");
    E.Get_QueryData = (QueryFn)get("Zorvet_Get_QueryData");
    E.Proc_GetCount = (IntFn)get("Zorvet_Proc_GetCount");
    E.Proc_GetInfo = (ProcFn)get("Zorvet_Proc_GetInfo");
    E.Proc_Kill = (IntFn)get("Zorvet_Proc_Kill");
    E.Set_Registry_Value = (RegFn)get("Zorvet_Set_Registry_Value");
    return ok;
#endif
}

std::vector<std::string> Split(const char* line) {
    std::vector<std::string> w;
    std::string cur;
    for (const char* p = line; *p; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
            if (!cur.empty()) w.push_back(cur);
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty()) w.push_back(cur);
    return w;
}

uint32_t Num(const std::vector<std::string>& w, size_t i, uint32_t def = 0) {
    return i < w.size() ? (uint32_t)strtoul(w[i].c_str(), nullptr, 0) : def;
}

std::string Arg(const std::vector<std::string>& w, size_t i) { return i < w.size() ? w[i] : "-"; }

// Text argument: null for "-".
struct TextArg {
    std::vector<uint8_t> bytes;
    bool present;
    explicit TextArg(const std::string& s) {
        present = Unhex(s, &bytes);
        bytes.push_back(0);
    }
    const char* get() const { return present ? (const char*)bytes.data() : nullptr; }
};

void Run(const std::vector<std::string>& w) {
    const std::string& c = w[0];
    if (c == "init") {
        // init [hostname-hex] [flags: nomsg nostate]
        InitConfig cfg;
        memset(&cfg, 0, sizeof cfg);
        std::vector<uint8_t> host;
        if (Unhex(Arg(w, 1), &host)) memcpy(cfg.Hostname, host.data(), host.size() < 21 ? host.size() : 21);
        else memcpy(cfg.Hostname, "127.0.0.1", 9);
        memcpy(cfg.Regname, "OVIK", 4);
        cfg.Version = 0x1073008B;
        cfg.PartnerID = 119;
        std::string flags = Arg(w, 2);
        MessageCallback m = flags.find("nomsg") != std::string::npos ? nullptr : OnMessage;
        StateCallback s = flags.find("nostate") != std::string::npos ? nullptr : OnState;
        Result(c, X((uint32_t)E.Init(&cfg, m, s)));
    } else if (c == "start") {
        // start user-hex pass-hex auto mask [nocb]
        LoginRecord login;
        memset(&login, 0, sizeof login);
        std::vector<uint8_t> b;
        if (Unhex(Arg(w, 1), &b)) memcpy(login.UserName, b.data(), b.size() < 41 ? b.size() : 41);
        if (Unhex(Arg(w, 2), &b)) memcpy(login.Password, b.data(), b.size() < 131 ? b.size() : 131);
        login.AutoAccount = Num(w, 3);
        login.ServiceMask = Num(w, 4, 1);
        CredentialsCallback cb = Arg(w, 5) == "nocb" ? nullptr : OnCredentials;
        Result(c, X((uint32_t)E.Start(&login, cb)));
    } else if (c == "stop") {
        E.Stop();
        Result(c, "done");
    } else if (c == "clear") {
        E.Clear();
        Result(c, "done");
    } else if (c == "errno") {
        Result(c, X((uint32_t)E.ErrNo()));
    } else if (c == "dllver") {
        Result(c, X(E.GetDllVersion()));
    } else if (c == "dllverstr") {
        char buf[32] = "untouched";
        int r = E.GetDllVersionString(buf);
        Result(c, std::to_string(r) + " " + HexText(buf));
    } else if (c == "corever") {
        Result(c, X(E.GetCoreVersion()));
    } else if (c == "coreverstr") {
        char buf[32] = "untouched";
        int r = E.GetCoreVersionString(buf);
        Result(c, std::to_string(r) + " " + HexText(buf));
    } else if (c == "redinfo") {
        uint32_t a = 0xAAAAAAAA, b = 0xBBBBBBBB;
        int r = E.Get_RedInfo(&a, &b);
        Result(c, std::to_string(r) + " " + X(a) + " " + X(b));
    } else if (c == "query") {
        QueryData q;
        memset(&q, 0xEE, sizeof q);
        int r = E.Get_QueryData(&q);
        Result(c, std::to_string(r) + " " + Hex(&q, sizeof q));
    } else if (c == "proccount") {
        Result(c, X((uint32_t)E.Proc_GetCount()));
    } else if (c == "procinfo") {
        // procinfo N: prints the first N records of the returned block, then frees it
        // with this program's free (the runtime both share).
        ProcInfo* list = E.Proc_GetInfo();
        if (!list) {
            Result(c, "null");
        } else {
            uint32_t n = Num(w, 1);
            std::string h = n ? Hex(list, n * sizeof(ProcInfo)) : "-";
            free(list);
            Result(c, "list " + h);
        }
    } else if (c == "prockill") {
        Result(c, X((uint32_t)E.Proc_Kill()));
    } else if (c == "setreg") {
        // setreg root subkey-hex name-hex op type data-hex length
        TextArg subkey(Arg(w, 2)), name(Arg(w, 3));
        std::vector<uint8_t> data;
        bool hasData = Unhex(Arg(w, 6), &data);
        uint32_t r = E.Set_Registry_Value(Num(w, 1), subkey.get(), name.get(), Num(w, 4), Num(w, 5),
                                          hasData ? data.data() : nullptr, Num(w, 7));
        Result(c, U(r));
    } else if (c == "pump") {
        Pump(Num(w, 1, 100), 0);
        Result(c, "done");
    } else if (c == "waitstate") {
        // waitstate N ms: pumps until StateCallback(N) or the time is up
        g_lastState = 0;
        Pump(Num(w, 2, 5000), (int)Num(w, 1));
        Result(c, std::to_string(g_lastState == (int)Num(w, 1) ? 1 : 0));
    } else if (c == "nest") {
        g_nestPumpMs = Num(w, 1);
        Result(c, "done");
    } else if (c == "updaterwin") {
        CreateUpdaterWindow();
        Result(c, "done");
#ifdef DRIVER_LINKED
    } else if (c == "debug") {
        SetDebugCallback(OnDebug);
        Result(c, "done");
    } else if (c == "userpass") {
        char name[48], pass[48];
        memset(name, 'x', sizeof name);
        memset(pass, 'x', sizeof pass);
        name[47] = pass[47] = 0;
        int r = get_user_pass(name, pass);
        Result(c, std::to_string(r) + " " + HexText(name) + " " + HexText(pass));
    } else if (c == "remoteinfo") {
        uint32_t a = 0xAAAAAAAA;
        uint16_t b = 0xBBBB;
        int r = get_remote_info(&a, &b);
        Result(c, std::to_string(r) + " " + X(a) + " " + X(b));
    } else if (c == "certinfo") {
        // certinfo size: the buffer has size bytes followed by a guard of 0xCC bytes
        size_t size = Num(w, 1, 64);
        std::vector<char> buf(size + 16, (char)0xCC);
        int r = get_cert_info(buf.data(), size);
        bool guard = true;
        for (size_t i = size; i < buf.size(); ++i) guard = guard && buf[i] == (char)0xCC;
        Result(c, std::to_string(r) + " " + HexText(buf.data()) + " guard=" + (guard ? "1" : "0"));
    } else if (c == "serviceindex") {
        Result(c, X((uint32_t)get_service_index()));
    } else if (c == "transdata") {
        Result(c, std::to_string(Set_Trans_Data(Num(w, 1), Num(w, 2))));
    } else if (c == "transband") {
        uint32_t a = 0xAAAAAAAA, b = 0xBBBBBBBB;
        int r = Set_Trans_Band(&a, &b);
        Result(c, std::to_string(r) + " " + X(a) + " " + X(b));
    } else if (c == "initquery") {
        std::vector<uint8_t> data;
        Unhex(Arg(w, 1), &data);
        data.resize(64);
        Result(c, std::to_string(init_query(data.data(), Num(w, 2))));
    } else if (c == "link") {
        Result(c, std::string("connected=") + std::to_string(g_core.connected) + " tcp=" +
                      (g_core.tcpSocket == INVALID_SOCKET ? "closed" : "open") + " udp=" +
                      (g_core.udpSocket == INVALID_SOCKET ? "closed" : "open"));
#endif
    } else {
        Result(c, "unknown");
    }
}

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (!LoadExports()) {
        Line("R load failed");
        return 2;
    }
    Line("R ready");
    char line[16384];
    while (fgets(line, sizeof line, stdin)) {
        std::vector<std::string> w = Split(line);
        if (w.empty()) continue;
        if (w[0] == "quit") break;
        Run(w);
    }
    return 0;
}
