// Message routing: every message of the library goes through ReportMessage,
// which routes it by its StatusCode to the client's MessageCallback, the debug
// sink and, for codes with bit 0x400, a popup note. Also the canned prompt
// texts and the texts of Winsock and Win32 error numbers.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "core.h"
#include "notes.h"
#include "test_seams.h"

namespace {

constexpr uint32_t kDebugLimit = 0x30000000;  // below: debug traces
constexpr uint32_t kErrorFloor = 0x50000000;  // from here: errors (deduplicated)
constexpr uint32_t kPromptBit = 0x400;
constexpr size_t kMessageSize = 1024;  // 1023 characters + NUL

PromptNoteSink s_promptNoteSink;

// The utilities report through hooks (they are also built into the client
// program, which has no routing).
void TraceByteSize(const char* text) { ReportMessage(0x20000000, "string: %s", text); }
void ReportUtils(uint32_t code, const char* text) { ReportMessage(code, "%s", text); }
struct HookUtils {
    HookUtils() {
        g_byteSizeTrace = TraceByteSize;
        g_utilsReport = ReportUtils;
    }
} s_hookUtils;

struct SocketErrorEntry {
    int number;
    const char* text;
};
const SocketErrorEntry kSocketErrorTexts[] = {
    {31, "General failure (ERROR_GEN_FAILURE)"},
    {996, "I/O Operation in progress (WSA_IO_INCOMPLETE)"},
    {997, "I/O Operation in progress (ERROR_IO_PENDING)"},
    {10004, "Interrupted system call (WSAEINTR)"},
    {10009, "Bad file number (WSAEBADF)"},
    {10013, "Permission denied (WSAEACCES)"},
    {10014, "Bad address (WSAEFAULT)"},
    {10022, "Invalid argument (WSAEINVAL)"},
    {10024, "Too many open files (WSAEMFILE)"},
    {10035, "Operation would block (WSAEWOULDBLOCK)"},
    {10036, "Operation now in progress (WSAEINPROGRESS)"},
    {10037, "Operation already in progress (WSAEALREADY)"},
    {10039, "Destination address required (WSAEDESTADDRREQ)"},
    {10040, "Message too long (WSAEMSGSIZE)"},
    {10041, "Protocol wrong type for socket (WSAEPROTOTYPE)"},
    {10042, "Bad protocol option (WSAENOPROTOOPT)"},
    {10043, "Protocol not supported (WSAEPROTONOSUPPORT)"},
    {10044, "Socket type not supported (WSAESOCKTNOSUPPORT)"},
    {10045, "Operation not supported on socket (WSAEOPNOTSUPP)"},
    {10046, "Protocol family not supported (WSAEPFNOSUPPORT)"},
    {10047, "Address family not supported by protocol family (WSAEAFNOSUPPORT)"},
    {10048, "Address already in use (WSAEADDRINUSE)"},
    {10050, "Network is down (WSAENETDOWN)"},
    {10051, "Network is unreachable (WSAENETUNREACH)"},
    {10052, "Net dropped connection or reset (WSAENETRESET)"},
    {10053, "Software caused connection abort (WSAECONNABORTED)"},
    {10054, "Connection reset by peer (WSAECONNRESET)"},
    {10055, "No buffer space available (WSAENOBUFS)"},
    {10056, "Socket is already connected (WSAEISCONN)"},
    {10057, "Socket is not connected (WSAENOTCONN)"},
    {10060, "Connection timed out (WSAETIMEDOUT)"},
    {10061, "Connection refused (WSAECONNREFUSED)"},
    {10062, "Too many levels of symbolic links (WSAELOOP)"},
    {10063, "File name too long (WSAENAMETOOLONG)"},
    {10064, "Host is down (WSAEHOSTDOWN)"},
    {10065, "No Route to Host (WSAEHOSTUNREACH)"},
    {10066, "Directory not empty (WSAENOTEMPTY)"},
    {10067, "Too many processes (WSAEPROCLIM)"},
    {10068, "Too many users (WSAEUSERS)"},
    {10069, "Disc Quota Exceeded (WSAEDQUOT)"},
    {10070, "Stale NFS file handle (WSAESTALE)"},
    {10071, "Too many levels of remote in path (WSAEREMOTE)"},
    {10091, "Network SubSystem is unavailable (WSASYSNOTREADY)"},
    {10092, "WINSOCK DLL Version out of range (WSAVERNOTSUPPORTED)"},
    {10093, "Successful WSASTARTUP not yet performed (WSANOTINITIALISED)"},
    {11001, "Host not found (WSAHOST_NOT_FOUND)"},
};
static_assert(countof(kSocketErrorTexts) == 46, "46 socket error texts");

}  // namespace

void SetPromptNoteSinkForTest(PromptNoteSink sink) { s_promptNoteSink = sink; }

void SetMessageCallback(MessageCallback cb) { g_core.messageCallback = cb; }
void SetDebugCallback(MessageCallback cb) { g_core.debugCallback = cb; }
void ResetLastReportedError() { g_core.lastReportedError = 0; }
uint32_t GetLastReportedError() { return g_core.lastReportedError; }

void NotifyMessageCallback(uint32_t code, const char* text) {
    MessageCallback cb = g_core.messageCallback;
    if (cb) cb(code, text);
}

const char* PromptText(uint32_t code) {
    switch (code) {
    case 0x40000408:
        return "本软件最新版本已经发布，\n您是否现在就更新？";
    case 0x40150404:
        return "您正在直接使用PPPOE拨号上网，\n这种方式可能影响加速效果，\n建议您在电脑前设置一个路由，以保障效果。";
    }
    // Shared by every caller, like the routing's other texts: the next unknown
    // code overwrites it.
    static char s_unknown[64];
    FormatText(s_unknown, countof(s_unknown), "未知错误 (#%x)", code);
    return s_unknown;
}

void ShowPromptNote(const char* title, const char* text, const char* url, int seconds) {
    if (s_promptNoteSink) {
        s_promptNoteSink(title, text, url, seconds);
        return;
    }
    nw_ShowTextNote(0, title, text, url, seconds, g_core.moduleInstance, "BINARY", 1002, nullptr,
                    nullptr, nullptr);
}

void ReportMessage(uint32_t code, const char* format, ...) {
    MessageCallback debug = g_core.debugCallback;
    if (code < kDebugLimit && debug == nullptr) return;

    MemoryPool pool = PoolInit();
    char* text = (char*)PoolAlloc(kMessageSize, 0, &pool);
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, kMessageSize, format, ap);
    va_end(ap);
    text[kMessageSize - 1] = 0;

    if (debug) debug(code, text);
    if (code >= kDebugLimit) {
        if (code < kErrorFloor) {
            NotifyMessageCallback(code, text);
        } else if (code != g_core.lastReportedError) {
            g_core.lastReportedError = code;
            NotifyMessageCallback(code, text);
        }
        if (code & kPromptBit) {
            const char* prompt = PromptText(code);
            if (debug) debug(code, prompt);
            ShowPromptNote("软件提示信息", prompt, "", 15);
        }
    }
    PoolFree(&pool);
}

const char* SocketErrorText(int error, MemoryPool* pool) {
    for (const SocketErrorEntry& e : kSocketErrorTexts)
        if (e.number == error) return e.text;
    ByteBuffer b;
    ByteBufferAlloc(&b, 256, pool);
    char* text = (char*)b.data;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             (DWORD)error, 0, text, (DWORD)b.capacity, nullptr);
    if (n == 0) return "[Unknown Win32 Error]";
    text[b.capacity - 1] = 0;
    for (char* p = text; *p; ++p)
        if (*p == '\r' || *p == '\n') *p = ' ';
    return text;
}

const char* SystemErrorText(DWORD error) {
    static char s_text[512];
    if (error == 0) error = GetLastError();
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0x400, s_text, (DWORD)countof(s_text), nullptr);
    if (n == 0) s_text[0] = 0;
    s_text[countof(s_text) - 1] = 0;
    return s_text;
}
