#include "http_download.h"

#include <windows.h>
#include <wininet.h>

#define OPENSSL_SUPPRESS_DEPRECATED  // the one-shot MD5() is what we want
#include <openssl/md5.h>
#include <stdlib.h>
#include <string.h>

#include "http_fetch.h"
#include "utils.h"

// The program's logger (log.cpp); declared here so this file needs nothing else
// of the program.
void MsgBox(uint32_t code, const char* format, ...) __attribute__((format(printf, 2, 3)));

namespace {

// Bodies are small documents and pictures; a larger Content-Length is refused.
constexpr uint32_t kMaxContentLength = 64u * 1024 * 1024;

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

    // Headers and digest are taken once the status check passed, before the body.
    struct Taken {
        char** headers;
        char* digest;
        char* raw;
    } taken = {headers, digest, nullptr};
    HttpFetchSpec spec = {};
    spec.agent = "Zorvet_Agent";
    spec.maxBytes = kMaxContentLength;
    spec.emptyFails = 1;
    spec.context = &taken;
    spec.onHeaders = [](HINTERNET request, void* context) {
        Taken* t = static_cast<Taken*>(context);
        if (t->digest) TakeContentMd5(request, t->digest);
        if (t->headers) t->raw = CopyHeaders(request);
    };
    spec.onBadLength = [](const char* text, void*) {
        MsgBox(0x10001, "NET: bad Content-Length \"%.20s\" refused.", text);
    };
    char* body = HttpFetch(url, length, spec);
    if (!body) {
        free(taken.raw);
        return nullptr;
    }
    if (headers) *headers = taken.raw;
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
