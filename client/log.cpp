// The program's log and its message boxes: MsgBox for its own lines,
// CoreMessageSink for what the core library and the service report.
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <time.h>

#include "app.h"
#include "utils.h"

int DebugLog = 0;
volatile LONG LastCoreBoxCode = 0;
volatile LONG BoxShowing = 0;

namespace {

FILE* LogFile = nullptr;   // none until SetLogTarget: lines are dropped
HWND* BoxOwner = nullptr;

// Lines from the main, dialog and network check threads must not interleave,
// and the stream must not be swapped while one is written.
struct LogLock {
    CRITICAL_SECTION cs;
    LogLock() { InitializeCriticalSection(&cs); }
} g_logLock;

struct Locked {
    Locked() { EnterCriticalSection(&g_logLock.cs); }
    ~Locked() { LeaveCriticalSection(&g_logLock.cs); }
};

// One line of the log, cut to the buffer and always terminated.
typedef char LineText[1024];
void FormatLine(LineText& text, const char* format, va_list ap) {
    vsnprintf(text, sizeof text, format, ap);
    text[sizeof text - 1] = 0;
}

// Logged text is a copy: whatever the caller passed is printed, never interpreted.
void LogFormatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LogFormatted(const char* format, ...) {
    LineText text;
    va_list ap;
    va_start(ap, format);
    FormatLine(text, format, ap);
    va_end(ap);
    LogLine(text);
}

HWND CurrentBoxOwner() {
    HWND owner = BoxOwner ? *BoxOwner : nullptr;
    // An owner of another thread would have to answer the box's cross-thread
    // messages while that thread may be waiting for this one.
    if (owner && GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()) owner = nullptr;
    return owner;
}

}  // namespace

void LogLine(const char* text) {
    Locked lock;
    if (!LogFile) return;
    time_t now = time(nullptr);
    struct tm* t = localtime(&now);
    char stamp[32] = "";
    if (t) strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", t);
    fprintf(LogFile, "%s %s\n", stamp, text);
    fflush(LogFile);
}

int ShowBox(HWND owner, const char* text, UINT flags) {
    InterlockedIncrement(&BoxShowing);
    int r = MessageBoxA(owner, text, kBoxTitle, flags);
    if (InterlockedDecrement(&BoxShowing) < 0) InterlockedExchange(&BoxShowing, 0);
    return r;
}

int BringBoxToFront() {
    HWND box = FindWindowA(nullptr, kBoxTitle);
    if (!box) return 0;
    SetForegroundWindow(box);
    return 1;
}

void MsgBox(uint32_t code, const char* format, ...) {
    if (!DebugLog && (code & LOG_LEVEL_MASK) > 3) return;
    LineText text;
    va_list ap;
    va_start(ap, format);
    FormatLine(text, format, ap);
    va_end(ap);
    if (DebugLog)
        LogFormatted("(#%x) %s", code, text);
    else
        LogLine(text);
    if (code & LOG_BOX) {
        const char* boxText = AppMessageText(code);
        if (DebugLog) LogFormatted("[MsgBox](#%x) %s", code, boxText);
        ShowBox(CurrentBoxOwner(), boxText, MB_TOPMOST | MB_SETFOREGROUND | MB_ICONERROR);
    }
    if (code & LOG_FATAL) {
        MsgBox(1, "Stop software with errors(code=%u).", code);
        ExitProcess(1);
    }
}

void LogCoreMessage(uint32_t code, const char* text) {
    if (!text) text = "";
    if (DebugLog)
        LogFormatted("[DLL](#%x) %s", code, text);
    else
        LogFormatted("%s", text);
}

void ShowCoreMessageBox(uint32_t code) {
    if (!(code & 0x200)) return;
    const char* boxText = CoreMessageText(code);
    if (DebugLog) LogFormatted("[DLL-MsgBox](#%x) %s", code, boxText);
    InterlockedExchange(&LastCoreBoxCode, (LONG)code);
    ShowBox(CurrentBoxOwner(), boxText, MB_TOPMOST | MB_SETFOREGROUND | MB_ICONERROR);
}

void CoreMessageSink(uint32_t code, const char* text) {
    LogCoreMessage(code, text);
    ShowCoreMessageBox(code);
}

void SetLogTarget(HWND* owner, int toFile, const char* path) {
    if (toFile) {
        OpenLogFile(path);
    } else {
        Locked lock;
        LogFile = stdout;
    }
    BoxShowing = 0;
    BoxOwner = owner;
}

void OpenLogByOption() {
    char path[MAX_PATH + 16];
    FormatText(path, sizeof path, "%s%s.%s", g_app.InstallDir, "ovik_acc", "log");
    SetLogTarget(&g_app.MainWindow, g_app.LogToFile, g_app.LogToFile ? path : nullptr);
}

void OpenLogFile(const char* path) {
    // Default security: the file gets its folder's inherited ACL.
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        MsgBox(0x20001, "Warning: cannot open the log file: %s", path);
        return;
    }
    if (!SetStdHandle(STD_OUTPUT_HANDLE, h) || !SetStdHandle(STD_ERROR_HANDLE, h))
        MsgBox(0x20001, "Error: cannot redirect stdout/stderr to the log file: %s", path);
    int fd = _open_osfhandle((intptr_t)h, _O_TEXT);
    if (fd < 0) {
        MsgBox(0x20001, "Error: log redirect failed due to _open_osfhandle failure");
        CloseHandle(h);
        return;
    }
    FILE* f = _fdopen(fd, "w");
    Locked lock;
    if (!f) {
        _close(fd);
        LogFile = stdout;
        LogLine("Error: log redirect failed due to _fdopen");
        return;
    }
    if (LogFile && LogFile != stdout) fclose(LogFile);
    LogFile = f;
}

void CloseLog() {
    Locked lock;
    if (LogFile && LogFile != stdout) fclose(LogFile);
    LogFile = stdout;
}

void CloseLogFile() { CloseLog(); }
