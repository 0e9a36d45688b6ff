// One HTTP GET into memory over WinINet, shared by the library's FetchUrl (note
// pictures) and the client program's HttpGet (which compiles this file in too).
#ifndef ZORVET_HTTP_FETCH_H
#define ZORVET_HTTP_FETCH_H

#include <windows.h>
#include <wininet.h>

#include <stdint.h>

struct HttpFetchSpec {
    const char* agent;       // user agent
    uint32_t maxBytes;       // largest Content-Length and body accepted
    int emptyFails;          // a Content-Length of 0 gives no body
    // Called once the status (200) and Content-Length checks passed, before the
    // body is read; null for none.
    void (*onHeaders)(HINTERNET request, void* context);
    // Called with a Content-Length text that is refused (not strict decimal, or
    // over maxBytes); null for none.
    void (*onBadLength)(const char* text, void* context);
    void* context;
};

// Canonicalised URL, status 200 and a Content-Length required, the body read in
// pieces of 10240 bytes into a block that grows to what arrives (a body longer
// than announced is read to its end, up to maxBytes; a shorter one is a failed
// transfer). The body (malloc'ed, NUL-terminated) and its size, or null and 0.
char* HttpFetch(const char* url, int* size, const HttpFetchSpec& spec);

#endif
