#include "update_text.h"

#include <stdio.h>
#include <string.h>

int ParseVersionText(const char* text, unsigned numbers[4]) {
    numbers[0] = numbers[1] = numbers[2] = numbers[3] = 0;
    if (!text) return 0;
    int n = sscanf(text, "%u.%u.%u.%u", &numbers[0], &numbers[1], &numbers[2], &numbers[3]);
    return n < 0 ? 0 : n;
}

uint32_t PackVersionText(const char* text) {
    unsigned v[4];
    ParseVersionText(text, v);
    return (uint32_t)(v[0] << 28) | ((v[1] & 0xFFu) << 20) | ((v[2] & 0xFu) << 16) | (v[3] & 0xFFFFu);
}

void FormatUpdaterVersion(uint32_t v, char* buffer, size_t size) {
    if (!buffer || size == 0) return;
    snprintf(buffer, size, "%u.%u.%u.%u", (unsigned)(v >> 28), (unsigned)((v >> 20) & 0xFF),
             (unsigned)((v >> 16) & 0xF), (unsigned)(v & 0xFFFF));
}

int CompareVersionTexts(const char* current, const char* offered) {
    unsigned a[4], b[4];
    ParseVersionText(current, a);
    ParseVersionText(offered, b);
    for (int i = 0; i < 4; ++i)
        if (a[i] != b[i]) return b[i] > a[i] ? 1 : -1;
    return 0;
}

namespace {
int FindAfterFirst(const char* body, size_t length, const char* needle) {
    size_t n = strlen(needle);
    for (size_t i = 1; i + n <= length; ++i)
        if (memcmp(body + i, needle, n) == 0) return 1;
    return 0;
}
}  // namespace

int IsDeviceName(const char* name, size_t length) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
    size_t stem = 0;
    while (stem < length && name[stem] && name[stem] != '.') ++stem;
    while (stem > 0 && name[stem - 1] == ' ') --stem;  // "nul .txt" is still NUL
    char upper[8];
    if (stem == 0 || stem >= sizeof(upper)) return 0;
    for (size_t i = 0; i < stem; ++i)
        upper[i] = (name[i] >= 'a' && name[i] <= 'z') ? (char)(name[i] - 32) : name[i];
    upper[stem] = 0;
    for (const char* d : kDevices)
        if (strcmp(upper, d) == 0) return 1;
    if (stem == 4 && (memcmp(upper, "COM", 3) == 0 || memcmp(upper, "LPT", 3) == 0) && upper[3] >= '0' &&
        upper[3] <= '9')
        return 1;
    return 0;
}

int IsNotFoundPage(const char* body, size_t length) {
    if (!body) return 0;
    return FindAfterFirst(body, length, "<title>HTTP 404") || FindAfterFirst(body, length, "<title>404");
}

int SafeUrlFileName(const char* url, char* out, size_t size) {
    if (!out || size == 0) return 0;
    out[0] = 0;
    if (!url) return 0;
    size_t len = strlen(url);
    // The URL's own part: after the last '/'. Scanned with GBK awareness, so that
    // a trail byte is never taken for a separator (and a lead byte before a byte
    // that is no trail byte never hides that byte).
    size_t start = 0;
    size_t lastQuery = (size_t)-1;
    for (size_t i = 0; i < len;) {
        unsigned char c = (unsigned char)url[i];
        if (IsGbkLeadByte(c) && IsGbkTrailByte((unsigned char)url[i + 1])) {
            i += 2;
            continue;
        }
        if (c == '/') {
            start = i + 1;
            lastQuery = (size_t)-1;
        } else if (c == '?') {
            lastQuery = i;
        }
        ++i;
    }
    size_t end = len;
    if (lastQuery != (size_t)-1 && lastQuery > start) end = lastQuery;
    // A name that names a path of its own keeps only its last part.
    size_t nameStart = start;
    for (size_t i = start; i < end;) {
        unsigned char c = (unsigned char)url[i];
        if (IsGbkLeadByte(c) && i + 1 < end && IsGbkTrailByte((unsigned char)url[i + 1])) {
            i += 2;
            continue;
        }
        if (c == '\\' || c == ':') nameStart = i + 1;
        ++i;
    }
    size_t n = end - nameStart;
    if (n == 0 || n >= size) return 0;
    const char* name = url + nameStart;
    int meaningful = 0;
    for (size_t i = 0; i < n;) {
        unsigned char c = (unsigned char)name[i];
        if (IsGbkLeadByte(c) && i + 1 < n && IsGbkTrailByte((unsigned char)name[i + 1])) {
            meaningful = 1;
            i += 2;
            continue;
        }
        if (c < 0x20 || c == 0x7F || strchr("<>\"|*?", c)) return 0;
        if (c != '.' && c != ' ') meaningful = 1;
        ++i;
    }
    if (!meaningful) return 0;  // ".", "..", "...", " "
    memcpy(out, name, n);
    out[n] = 0;
    if (IsDeviceName(out, n)) {
        out[0] = 0;
        return 0;
    }
    return 1;
}
