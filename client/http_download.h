// HTTP GET into memory with the response headers and the server's Content-MD5,
// header value pickers and an MD5 hex helper: the tools of a downloaded-content
// cache.
#ifndef OVIK_HTTP_DOWNLOAD_H
#define OVIK_HTTP_DOWNLOAD_H

#include <stddef.h>

// A Content-MD5 value (24 base64 characters) and its NUL.
constexpr size_t kContentMd5Size = 25;

// Body (malloc'ed, NUL-terminated, caller frees) or null with *length 0.
// headers: when given, receives a malloc'ed copy of the raw response headers
// (caller frees), null on failure. digest: when given, the caller's expected
// Content-MD5 (kContentMd5Size bytes): replaced by the server's value when it
// differs, zeroed when the response carries none (or one too long for it).
char* HttpGet(const char* url, int* length, char** headers, char* digest);

// The value of header `name` (exact case) into out (bounded by outSize), or
// null when the header is absent.
char* GetHeaderValue(const char* headers, const char* name, char* out, size_t outSize);
// The file name of "Content-disposition: ...; filename=NAME" reduced to a bare
// file name (no quotes, folders, drive or "..") into out, or null.
char* GetContentFilename(const char* headers, char* out, size_t outSize);
// Appends the 32 lower-case hex digits of data's MD5 to text; null (text
// unchanged) when text has no room for them.
char* Md5Hex(const void* data, size_t length, char* text, size_t textSize);

#endif
