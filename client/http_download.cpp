#include "http_download.h"

#include <windows.h>
#include <wininet.h>

#define OPENSSL_SUPPRESS_DEPRECATED  // the one-shot MD5() is what we want
#include <openssl/md5.h>
#include <stdlib.h>
#include <string.h>

#include "content_length.h"
#include "utils.h"

// The program's logger (log.cpp); declared here so this file needs nothing else
// of the program.
void MsgBox(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));

namespace {

constexpr DWORD kOpenFlags = 0x80000C00;  // reload, resynchronise, hyperlink
constexpr DWORD kPiece = 10240;
// Bodies are small documents and pictures; a larger Content-Length is refused.
constexpr uint32_t kMaxContentLength = 64u * 1024 * 1024;

struct InetHandle {
    HINTERNET h = nullptr;
    ~InetHandle() {
        if (h) InternetCloseHandle(h);
    }
};

char* CopyHeaders(HINTERNET request) {
    DWORD size = 0;
    HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &size, nullptr);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return nullptr;
    char* text = (char*)malloc(size + 1);
    if (!text) return nullptr;
    if (!HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, text, &size, nullptr)) {
        free(text);
        return nullptr;
    }
    text[size] = 0;
    return text;
}

void TakeContentMd5(HINTERNET request, char* digest) {
    char value[64] = {0};
    DWORD size = sizeof value - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_MD5, value, &size, nullptr)) {
        memset(digest, 0, kContentMd5Size);
        return;
    }
    value[countof(value) - 1] = 0;
    if (strlen(value) >= kContentMd5Size) {
        MsgBox(0x10001, "NET: Content-MD5 too long (%u characters), ignored.", (unsigned)strlen(value));
        memset(digest, 0, kContentMd5Size);
        return;
    }
    if (memcmp(digest, value, kContentMd5Size) != 0) {
        memset(digest, 0, kContentMd5Size);
        memcpy(digest, value, strlen(value));
    }
}

}  // namespace

char* HttpGet(const char* url, int* length, char** headers, char* digest) {
    if (length) *length = 0;
    if (headers) *headers = nullptr;
    if (!url || !length) return nullptr;

    char canonical[1024];
    DWORD canonicalSize = sizeof canonical;
    if (strlen(url) >= sizeof canonical ||
        !InternetCanonicalizeUrlA(url, canonical, &canonicalSize, 0x2000000))
        return nullptr;

    InetHandle session, request;
    session.h = InternetOpenA("Zorvet_Agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session.h) return nullptr;
    request.h = InternetOpenUrlA(session.h, canonical, nullptr, 0, kOpenFlags, 0);
    if (!request.h) return nullptr;

    char text[32] = {0};
    DWORD size = sizeof text - 1;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE, text, &size, nullptr) ||
        strcmp(text, "200") != 0)
        return nullptr;
    memset(text, 0, sizeof text);
    size = sizeof text - 1;
    uint32_t expected = 0;
    if (!HttpQueryInfoA(request.h, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return nullptr;
    if (!ParseContentLength(text, kMaxContentLength, &expected)) {
        MsgBox(0x10001, "NET: bad Content-Length \"%.20s\" from %.200s", text, canonical);
        return nullptr;
    }
    if (expected == 0) return nullptr;

    if (digest) TakeContentMd5(request.h, digest);
    char* raw = headers ? CopyHeaders(request.h) : nullptr;

    size_t capacity = expected;
    size_t total = 0;
    char* body = (char*)malloc(capacity + 1);
    for (;;) {
        if (!body) break;
        char piece[kPiece];
        DWORD got = 0;
        if (!InternetReadFile(request.h, piece, kPiece, &got)) {
            free(body);
            body = nullptr;
            break;
        }
        if (got == 0) {
            if (total < expected) {  // connection ended early: a cut body is no body
                free(body);
                body = nullptr;
                break;
            }
            char* trimmed = (char*)realloc(body, total + 1);
            if (trimmed) body = trimmed;
            body[total] = 0;
            break;
        }
        if (total + got > capacity) {
            if (total + got > kMaxContentLength) {  // a server that never stops
                free(body);
                body = nullptr;
                break;
            }
            size_t grown = total + got + 10 * (size_t)got;
            char* bigger = (char*)realloc(body, grown + 1);
            if (!bigger) {
                free(body);
                body = nullptr;
                break;
            }
            body = bigger;
            capacity = grown;
        }
        memcpy(body + total, piece, got);
        total += got;
        body[total] = 0;
    }
    if (!body) {
        free(raw);
        if (digest) memset(digest, 0, kContentMd5Size);
        return nullptr;
    }
    if (headers) *headers = raw;
    *length = (int)total;
    return body;
}

char* GetHeaderValue(const char* headers, const char* name, char* out, size_t outSize) {
    if (!out || outSize == 0) return nullptr;
    out[0] = 0;
    if (!headers || !name) return nullptr;
    char needle[128];
    if (FormatText(needle, sizeof needle, "\n%s: ", name) >= (int)sizeof needle) return nullptr;
    const char* start = strstr(headers, needle);
    if (!start) return nullptr;
    start += strlen(needle);
    const char* end = strstr(start, "\r\n");
    size_t n = end ? (size_t)(end - start) : strlen(start);
    if (n >= outSize) return nullptr;  // refuse rather than cut a value short
    memcpy(out, start, n);
    out[n] = 0;
    return out;
}

char* GetContentFilename(const char* headers, char* out, size_t outSize) {
    char value[1024];
    if (!GetHeaderValue(headers, "Content-disposition", value, sizeof value)) return nullptr;
    const char* name = strstr(value, "; filename=");
    if (!name) return nullptr;
    name += strlen("; filename=");
    // The name comes from the network: keep only a bare file name.
    char bare[MAX_PATH];
    CopyText(bare, name);
    size_t n = strlen(bare);
    if (n >= 2 && bare[0] == '"' && bare[n - 1] == '"') {
        memmove(bare, bare + 1, n - 2);
        bare[n - 2] = 0;
    }
    const char* base = bare;
    for (const char* p = bare; *p; p = CharNextExA(936, p, 0))
        if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
    if (!*base || strcmp(base, ".") == 0 || strcmp(base, "..") == 0 ||
        strlen(base) >= outSize) {
        out[0] = 0;
        return nullptr;
    }
    memmove(out, base, strlen(base) + 1);
    return out;
}

char* Md5Hex(const void* data, size_t length, char* text, size_t textSize) {
    if (!text) return nullptr;
    size_t used = strnlen(text, textSize);
    if (used + 32 >= textSize) return nullptr;
    unsigned char md[MD5_DIGEST_LENGTH];
    MD5((const unsigned char*)(data ? data : ""), data ? length : 0, md);
    for (int i = 0; i < MD5_DIGEST_LENGTH; ++i)
        FormatText(text + used + 2 * i, 3, "%02x", md[i]);
    return text;
}
