// Test driver of the core upgrade watch: links the library, reads one command a
// line from stdin and prints what came back, in the line format of
// tests/core_exports/driver.py. Callbacks may come from the upgrade worker's
// thread as well as from the helper window's (this program's main thread), so
// every line is written whole under a lock.
//   M <code> <text hex>   MessageCallback        D <code> <text hex>   debug trace
//   S <state>             StateCallback          R <command> ...       result
#include <winsock2.h>
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "core.h"
#include "test_seams.h"

namespace {

CRITICAL_SECTION g_lineLock;
std::vector<std::string> g_traces;  // every debug text so far (under g_lineLock)

std::string Hex(const char* t) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (const unsigned char* p = (const unsigned char*)t; t && *p; ++p) {
        s += kDigits[*p >> 4];
        s += kDigits[*p & 15];
    }
    return s.empty() ? "-" : s;
}

std::string Unhex(const std::string& s) {
    std::string out;
    if (s == "-") return out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) out += (char)strtoul(s.substr(i, 2).c_str(), nullptr, 16);
    return out;
}

std::string X(uint32_t v) {
    char b[16];
    snprintf(b, sizeof b, "%08x", v);
    return b;
}

void Line(const std::string& s) {
    EnterCriticalSection(&g_lineLock);
    std::string whole = s + "\n";
    fwrite(whole.data(), 1, whole.size(), stdout);
    fflush(stdout);
    LeaveCriticalSection(&g_lineLock);
}

void OnMessage(uint32_t code, const char* text) { Line("M " + X(code) + " " + Hex(text)); }
void OnState(int state) { Line("S " + std::to_string(state)); }
// The trace is recorded and its line written under one hold of the lock, so a
// waittrace that sees it answers only after the line is out.
void OnDebug(uint32_t code, const char* text) {
    EnterCriticalSection(&g_lineLock);
    g_traces.push_back(text ? text : "");
    Line("D " + X(code) + " " + Hex(text));
    LeaveCriticalSection(&g_lineLock);
}

// The worker's start is held back this long (hold command), so that a second
// announcement queued behind the first still finds the link open.
volatile DWORD g_holdMs;
void HoldWorker() { Sleep(g_holdMs); }

bool SeenTrace(const std::string& text) {
    EnterCriticalSection(&g_lineLock);
    bool seen = false;
    for (const std::string& t : g_traces) seen = seen || t == text;
    LeaveCriticalSection(&g_lineLock);
    return seen;
}

// Pumps the helper window's messages (socket events, REINIT_TIMER) for ms, or
// until the trace is seen when one is given.
bool Pump(DWORD ms, const std::string* trace) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (trace && SeenTrace(*trace)) return true;
        if (GetTickCount() - start >= ms) return trace == nullptr;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
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

void Result(const std::string& command, const std::string& rest) { Line("R " + command + " " + rest); }

void Run(const std::vector<std::string>& w) {
    const std::string& c = w[0];
    if (c == "debug") {
        SetDebugCallback(OnDebug);
        Result(c, "done");
    } else if (c == "waits") {
        // waits FIRST-MS SECOND-MS: the upgrade watch's two waits
        SetUpgradeWaitsForTest(Num(w, 1), Num(w, 2));
        Result(c, "done");
    } else if (c == "hold") {
        g_holdMs = Num(w, 1);
        SetUpgradeWorkerHookForTest(g_holdMs ? HoldWorker : nullptr);
        Result(c, "done");
    } else if (c == "init") {
        InitConfig cfg;
        memset(&cfg, 0, sizeof cfg);
        memcpy(cfg.Hostname, "127.0.0.1", 9);
        memcpy(cfg.Regname, "OVIK", 4);
        cfg.Version = 0x1073008B;
        cfg.PartnerID = 119;
        Result(c, X((uint32_t)Zorvet_Init(&cfg, OnMessage, OnState)));
    } else if (c == "errno") {
        Result(c, X((uint32_t)Zorvet_ErrNo()));
    } else if (c == "pump") {
        Pump(Num(w, 1, 100), nullptr);
        Result(c, "done");
    } else if (c == "waittrace") {
        // waittrace TEXT-HEX MS: 1 once that debug text was seen (now or earlier)
        std::string text = Unhex(w.size() > 1 ? w[1] : "-");
        Result(c, Pump(Num(w, 2, 5000), &text) ? "1" : "0");
    } else if (c == "forget") {
        EnterCriticalSection(&g_lineLock);
        g_traces.clear();
        LeaveCriticalSection(&g_lineLock);
        Result(c, "done");
    } else if (c == "link") {
        Result(c, std::string("connected=") + std::to_string(g_core.connected) + " upgrade=" +
                      std::to_string(g_core.UpgradeState) + " signal=" +
                      std::to_string(g_core.UpdaterSignal) + " listener=" +
                      (g_core.upgradeSocket == INVALID_SOCKET ? "closed" : "open"));
    } else {
        Result(c, "unknown");
    }
}

}  // namespace

int main() {
    InitializeCriticalSection(&g_lineLock);
    setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    Line("R ready");
    char line[4096];
    while (fgets(line, sizeof line, stdin)) {
        std::vector<std::string> w = Split(line);
        if (w.empty()) continue;
        if (w[0] == "quit") break;
        Run(w);
    }
    return 0;
}
