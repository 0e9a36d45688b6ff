// One HTTP GET into memory (WinINet): the pictures of image notes, and the
// client program's download helper.
#include "http_fetch.h"

#include <stdlib.h>
#include <string.h>

#include "content_length.h"
#include "core.h"
#include "utils.h"

namespace {

// Largest body accepted: note pictures are small, and the address comes from
// the service, so neither a header nor a body may ask for more.
constexpr uint32_t kFetchMaxBytes = 8u << 20;
constexpr DWORD kPiece = 10240;

struct InternetHandle {
    HINTERNET h = NULL;
    ~InternetHandle() {
        if (h) InternetCloseHandle(h);
    }
};

// Header value as text; 0 when the header is missing.
int QueryText(HINTERNET req, DWORD what, char* out, DWORD size) {
    DWORD len = size - 1;
    if (!HttpQueryInfoA(req, what, out, &len, NULL)) return 0;
    out[len < size ? len : size - 1] = 0;
    return 1;
}

}  // namespace

char* HttpFetch(const char* url, int* size, const HttpFetchSpec& spec) {
    int dummy;
    if (!size) size = &dummy;
    *size = 0;
    if (!url || strlen(url) >= 1024) return nullptr;

    char canonical[1024];
    DWORD n = countof(canonical);
    if (!InternetCanonicalizeUrlA(url, canonical, &n, ICU_BROWSER_MODE)) return nullptr;

    InternetHandle net, req;
    net.h = InternetOpenA(spec.agent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (!net.h) return nullptr;
    req.h = InternetOpenUrlA(net.h, canonical, NULL, 0,
                             INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK, 0);
    if (!req.h) return nullptr;

    char text[kPiece + 1];
    uint32_t status = 0;
    if (!QueryText(req.h, HTTP_QUERY_STATUS_CODE, text, countof(text)) ||
        !ParseContentLength(text, 999, &status) || status != 200)
        return nullptr;
    uint32_t expected = 0;
    if (!QueryText(req.h, HTTP_QUERY_CONTENT_LENGTH, text, countof(text))) return nullptr;
    if (!ParseContentLength(text, spec.maxBytes, &expected)) {
        if (spec.onBadLength) spec.onBadLength(text, spec.context);
        return nullptr;
    }
    if (expected == 0 && spec.emptyFails) return nullptr;
    if (spec.onHeaders) spec.onHeaders(req.h, spec.context);

    uint32_t capacity = expected;
    char* body = static_cast<char*>(malloc((size_t)capacity + 1));
    if (!body) return nullptr;
    body[0] = 0;
    uint32_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(req.h, text, kPiece, &got)) {
            free(body);
            return nullptr;
        }
        if (got == 0) break;
        if (got > spec.maxBytes - total) {  // body beyond the cap
            free(body);
            return nullptr;
        }
        if (total + got > capacity) {
            uint64_t want = (uint64_t)total + got + 10ull * got;
            capacity = want > spec.maxBytes ? spec.maxBytes : (uint32_t)want;
            char* grown = static_cast<char*>(realloc(body, (size_t)capacity + 1));
            if (!grown) {
                free(body);
                return nullptr;
            }
            body = grown;
        }
        memcpy(body + total, text, got);
        total += got;
        body[total] = 0;
    }
    // A body shorter than announced means the connection ended early.
    if (total < expected) {
        free(body);
        return nullptr;
    }
    char* trimmed = static_cast<char*>(realloc(body, (size_t)total + 1));
    if (trimmed) body = trimmed;
    body[total] = 0;
    *size = (int)total;
    return body;
}

char* FetchUrl(const char* url, int* size) {
    HttpFetchSpec spec = {"Zorvet_AutoUpdate_Agent", kFetchMaxBytes, 0, nullptr, nullptr, nullptr};
    return HttpFetch(url, size, spec);
}
