#include "utils.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void (*g_byteSizeTrace)(const char* text) = nullptr;
void (*g_utilsReport)(uint32_t code, const char* text) = nullptr;

// ---- memory ---------------------------------------------------------------

void OutOfMemoryExit() {
    static const char kText[] = "Zorvet: Out of Memory\n";
    fwrite(kText, 1, sizeof kText - 1, stderr);
    fflush(stderr);
    exit(1);
}

void* EnsureAllocated(void* p) {
    if (p == nullptr) OutOfMemoryExit();
    return p;
}

void* PoolAlloc(size_t size, int zero, MemoryPool* pool) {
    if (pool == nullptr) {
        void* p = EnsureAllocated(malloc(size ? size : 1));
        if (zero) memset(p, 0, size);
        return p;
    }
    if (size > (size_t)-1 - sizeof(void*)) OutOfMemoryExit();
    uint8_t* block = (uint8_t*)EnsureAllocated(malloc(sizeof(void*) + size));
    memcpy(block, &pool->head, sizeof(void*));  // link to the previous block
    pool->head = block;
    uint8_t* p = block + sizeof(void*);
    if (zero) memset(p, 0, size);
    return p;
}

MemoryPool PoolInit() { return MemoryPool{nullptr}; }

void PoolFree(MemoryPool* pool) {
    if (pool == nullptr) return;
    void* block = pool->head;
    while (block) {
        void* previous;
        memcpy(&previous, block, sizeof(void*));
        free(block);
        block = previous;
    }
    pool->head = nullptr;
}

char* PoolStrdup(const char* text, MemoryPool* pool) {
    if (text == nullptr) return nullptr;
    size_t n = strlen(text) + 1;
    char* p = (char*)PoolAlloc(n, 0, pool);
    memcpy(p, text, n);
    return p;
}

// ---- ByteBuffer -------------------------------------------------------------

static uint8_t* Tail(const ByteBuffer* b) { return b->data + b->head + b->length; }

void ByteBufferInit(ByteBuffer* b) { *b = ByteBuffer{0, 0, 0, nullptr}; }

void ByteBufferAlloc(ByteBuffer* b, int n, MemoryPool* pool) {
    if (n < 0) n = 0;
    b->data = (uint8_t*)PoolAlloc((size_t)n, 0, pool);
    if (n > 0) b->data[0] = 0;
    b->capacity = n;
    b->head = 0;
    b->length = 0;
}

void ByteBufferAttach(ByteBuffer* b, void* block, int n) {
    if (n < 0) n = 0;
    b->data = (uint8_t*)block;
    b->capacity = n;
    b->head = 0;
    b->length = n;
}

int ByteBufferSetHead(ByteBuffer* b, int offset) {
    if (b->data == nullptr || offset < 0 || offset > b->capacity) return 0;
    b->head = offset;
    b->length = 0;
    return 1;
}

int ByteBufferHasRoom(const ByteBuffer* b, int n) {
    return n >= 0 && b->data != nullptr && n <= b->capacity - b->head - b->length;
}

int ByteBufferRoom(const ByteBuffer* b) {
    int room = b->capacity - b->head - b->length;
    return room > 0 ? room : 0;
}

uint8_t* ByteBufferPushFront(ByteBuffer* b, int n) {
    if (b->data == nullptr || n < 0 || b->head < n) return nullptr;
    b->head -= n;
    b->length += n;
    return b->data + b->head;
}

int ByteBufferPrepend(ByteBuffer* b, const void* bytes, int n) {
    uint8_t* p = ByteBufferPushFront(b, n);
    if (p == nullptr) return 0;
    if (n > 0) memcpy(p, bytes, (size_t)n);
    return 1;
}

int ByteBufferAppend(ByteBuffer* b, const void* bytes, int n) {
    if (!ByteBufferHasRoom(b, n)) return 0;
    if (n > 0) memcpy(Tail(b), bytes, (size_t)n);
    b->length += n;
    return 1;
}

int ByteBufferAppendBuffer(ByteBuffer* b, const ByteBuffer* other) {
    if (other->length > 0 && other->data == nullptr) return 0;
    return ByteBufferAppend(b, other->data ? other->data + other->head : nullptr, other->length);
}

int ByteBufferPutU8(ByteBuffer* b, uint32_t v) {
    uint8_t x = (uint8_t)v;
    return ByteBufferAppend(b, &x, 1);
}

int ByteBufferPutU16(ByteBuffer* b, uint32_t v) {
    uint8_t x[2] = {(uint8_t)(v >> 8), (uint8_t)v};
    return ByteBufferAppend(b, x, 2);
}

int ByteBufferPutU32(ByteBuffer* b, uint32_t v) {
    uint8_t x[4] = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
    return ByteBufferAppend(b, x, 4);
}

int ByteBufferGet(ByteBuffer* b, void* destination, int n) {
    if (b->data == nullptr || n < 0 || b->length < n) return 0;
    if (n > 0) memcpy(destination, b->data + b->head, (size_t)n);
    b->head += n;
    b->length -= n;
    return 1;
}

int ByteBufferGetU8(ByteBuffer* b) {
    uint8_t x;
    return ByteBufferGet(b, &x, 1) ? x : -1;
}

int ByteBufferGetU16(ByteBuffer* b) {
    uint8_t x[2];
    return ByteBufferGet(b, x, 2) ? (x[0] << 8 | x[1]) : -1;
}

int ByteBufferSkip(ByteBuffer* b, int n) {
    if (b->data == nullptr || n < 0 || b->length < n) return 0;
    b->head += n;
    b->length -= n;
    return 1;
}

void ByteBufferClear(ByteBuffer* b) {
    if (b->data == nullptr) return;
    if (b->capacity > 0) memset(b->data, 0, (size_t)b->capacity);
    b->head = 0;
    b->length = 0;
}

int ByteBufferCopy(ByteBuffer* b, const ByteBuffer* source) {
    if (b->data == nullptr || source->head < 0 || source->length < 0) return 0;
    if (source->head > b->capacity || source->length > b->capacity - source->head) return 0;
    if (source->length > 0) {
        if (source->data == nullptr) return 0;
        memmove(b->data + source->head, source->data + source->head, (size_t)source->length);
    }
    b->head = source->head;
    b->length = source->length;
    return 1;
}

void ByteBufferFree(ByteBuffer* b) {
    free(b->data);
    ByteBufferInit(b);
}

ByteBuffer ByteBufferReserve(ByteBuffer* b, int n, int front) {
    ByteBuffer r = {0, 0, 0, nullptr};
    uint8_t* p;
    if (front) {
        p = ByteBufferPushFront(b, n);
    } else {
        if (!ByteBufferHasRoom(b, n)) return r;
        p = Tail(b);
        b->length += n;
    }
    if (p == nullptr) return r;
    r.capacity = n;
    r.data = p;
    return r;
}

int ByteBufferPrintf(ByteBuffer* b, const char* format, ...) {
    int room = ByteBufferRoom(b);
    if (b->data == nullptr || room <= 0) return 0;
    char* p = (char*)Tail(b);
    va_list ap;
    va_start(ap, format);
    vsnprintf(p, (size_t)room, format, ap);
    va_end(ap);
    p[room - 1] = 0;  // the block's last byte (some runtimes leave a cut text open)
    b->length += (int)strlen(p);
    return 1;
}

void ByteBufferTerminate(ByteBuffer* b) {
    if (b->data == nullptr) return;
    if (b->length > 0 && b->data[b->head + b->length - 1] == 0) return;
    if (ByteBufferPutU8(b, 0)) return;
    if (b->length > 0) b->data[b->head + b->length - 1] = 0;
}

int ByteBufferEquals(const ByteBuffer* b, const void* bytes, int n) {
    if (n < 0 || b->length != n) return 0;
    return n == 0 || memcmp(b->data + b->head, bytes, (size_t)n) == 0;
}

int ByteBufferStartsWith(const ByteBuffer* b, const void* bytes, int n) {
    if (n < 0 || b->length < n) return 0;
    return n == 0 || memcmp(b->data + b->head, bytes, (size_t)n) == 0;
}

int ByteBufferStartsWithText(const ByteBuffer* b, const char* text) {
    return text != nullptr && ByteBufferStartsWith(b, text, (int)strlen(text));
}

int ByteBufferSkipText(ByteBuffer* b, const char* text) {
    if (!ByteBufferStartsWithText(b, text)) return 0;
    return ByteBufferSkip(b, (int)strlen(text));
}

int ByteBufferReadUntil(ByteBuffer* b, int delimiter, char* destination, int size) {
    if (size < 1 || destination == nullptr) return 0;
    int stored = 0;
    bool ranOut = true;  // stopped because the content ended
    while (b->length > 0) {
        if (stored >= size - 1) {  // destination full: the rest stays
            ranOut = false;
            break;
        }
        uint8_t c = b->data[b->head];
        b->head++;
        b->length--;
        if (c == (uint8_t)delimiter || c == 0) {
            ranOut = false;
            break;
        }
        destination[stored++] = (char)c;
    }
    destination[stored] = 0;
    return (ranOut && stored == 0) ? 0 : 1;
}

// ---- text -------------------------------------------------------------------

void CopyTextN(char* destination, const char* source, size_t n) {
    if (destination == nullptr || n == 0) return;
    strncpy(destination, source ? source : "", n);
    destination[n - 1] = 0;
}

int FormatText(char* buffer, size_t size, const char* format, ...) {
    if (buffer == nullptr || size == 0) return 0;
    va_list ap;
    va_start(ap, format);
    int r = vsnprintf(buffer, size, format, ap);
    va_end(ap);
    buffer[size - 1] = 0;
    return r;
}

const char* HexDump(const uint8_t* bytes, int count, int size, int group, const char* separator,
                    MemoryPool* pool) {
    if (group < 1 || count < 0 || (size == 0 && separator == nullptr)) return nullptr;
    int sepLen = separator ? (int)strlen(separator) : 0;
    if (size <= 0) size = count / group * sepLen + 2 * count + 2;
    ByteBuffer b;
    ByteBufferAlloc(&b, size, pool);
    for (int i = 0; i < count; ++i) {
        if (sepLen > 0 && i > 0 && i % group == 0) ByteBufferPrintf(&b, "%s", separator);
        ByteBufferPrintf(&b, "%02x", bytes[i]);
    }
    return (const char*)b.data;
}

// The classes of the default (POSIX) locale; bytes of 0x80 and above are in none.
int CharInClasses(int character, uint32_t flags) {
    unsigned c = (unsigned char)character;
    bool ascii = c < 0x80;
    struct Rule {
        uint32_t flag;
        bool match;
    } rules[] = {
        {CC_ANY, true},
        {CC_NUL, c == 0},
        {CC_ALNUM, ascii && isalnum((int)c)},
        {CC_ALPHA, ascii && isalpha((int)c)},
        {CC_ASCII, ascii},
        {CC_CNTRL, ascii && iscntrl((int)c)},
        {CC_DIGIT, ascii && isdigit((int)c)},
        {CC_PRINT, ascii && isprint((int)c)},
        {CC_PUNCT, ascii && ispunct((int)c)},
        {CC_SPACE, ascii && isspace((int)c)},
        {CC_XDIGIT, ascii && isxdigit((int)c)},
        {CC_BLANK, c == ' ' || c == '\t'},
        {CC_LF, c == '\n'},
        {CC_CR, c == '\r'},
        {CC_BACKSLASH, c == '\\'},
        {CC_UNDERSCORE, c == '_'},
        {CC_HYPHEN, c == '-'},
        {CC_FULLSTOP, c == '.'},
        {CC_COMMA, c == ','},
        {CC_COLON, c == ':'},
        {CC_SLASH, c == '/'},
        {CC_QUOTE, c == '\''},
        {CC_DQUOTE, c == '"'},
        {CC_BACKQUOTE, c == '`'},
        {CC_AT, c == '@'},
        {CC_EQUALS, c == '='},
    };
    for (const Rule& r : rules)
        if ((flags & r.flag) && r.match) return 1;
    return 0;
}

int StringInClasses(const char* text, uint32_t flags) {
    if (text == nullptr) return 0;
    for (const char* p = text; *p; ++p)
        if (!CharInClasses(*p, flags)) return 0;
    return 1;
}

int FilterText(char* text, uint32_t keep, uint32_t drop, int replacement) {
    if (text == nullptr) return 0;
    int unchanged = 1;
    char* out = text;
    for (const char* p = text; *p; ++p) {
        if (CharInClasses(*p, keep) && !CharInClasses(*p, drop)) {
            *out++ = *p;
            continue;
        }
        unchanged = 0;
        if (replacement != 0) *out++ = (char)replacement;
    }
    *out = 0;
    return unchanged;
}

// ---- formats ------------------------------------------------------------------

void FormatIPv4(uint32_t address, char* buffer) {
    FormatText(buffer, 16, "%u.%u.%u.%u", address & 0xFF, (address >> 8) & 0xFF,
               (address >> 16) & 0xFF, address >> 24);
}

void FormatVersion(uint32_t version, char* buffer) {
    FormatText(buffer, 16, "%u.%u.%u.%04u", version >> 28, (version >> 20) & 0xFF,
               (version >> 16) & 0xF, version & 0xFFFF);
}

int ComparePackedVersion(uint32_t current, uint32_t other) {
    if (other >= current) return 0;
    return (other >> 16) < (current >> 16) ? -1 : 1;
}

void FormatByteSize(char* buffer, uint64_t count, const char* suffix) {
    static const char* const kUnits[] = {"", "K", "M", "G", "T"};
    double value = (double)count;
    int unit = 0;
    double scale = 1.0;
    for (int u = 1; u < (int)countof(kUnits); ++u) {
        scale *= 1024.0;
        if ((double)count / scale > 1.0) {
            unit = u;
            value = (double)count / scale;
        }
    }
    FormatText(buffer, kByteSizeTextSize, "%2.2f%s%s", value, kUnits[unit], suffix ? suffix : "");
    if (g_byteSizeTrace) g_byteSizeTrace(buffer);
}

uint32_t ParseIPv4(const char* text) {
    if (text == nullptr) return 0;
    unsigned a, b, c, d;
    if (sscanf(text, "%u.%u.%u.%u", &a, &b, &c, &d) == 4) {
        if (a > 255 || b > 255 || c > 255 || d > 255) return 0;
        return a << 24 | b << 16 | c << 8 | d;
    }
    unsigned bits;
    if (strlen(text) < 3 && sscanf(text, "%u", &bits) == 1 && bits >= 1 && bits <= 32)
        return 0xFFFFFFFFu << (32 - bits);
    return 0;
}

void UnscrambleCredential(char* output, const uint8_t* bytes, int n) {
    if (n < 1) return;
    uint8_t* nibble = (uint8_t*)PoolAlloc((size_t)n * 2, 0, nullptr);
    for (int i = 0; i < n; ++i) {
        uint8_t b = (uint8_t)(bytes[i] - (unsigned)(i * i));
        nibble[2 * i] = b >> 4;
        nibble[2 * i + 1] = b & 0xF;
    }
    for (int i = 0; i < n; ++i) {
        unsigned hi = nibble[n + i];
        output[i] = (char)(uint8_t)(((nibble[i] << 1) | (hi >> 3) | (hi << 5)) - 3 * i);
    }
    free(nibble);
}

uint32_t CheckCredentials(const char* name, const char* password) {
    char text[128];
    size_t nameLen = name ? strlen(name) : 0;
    size_t passLen = password ? strlen(password) : 0;
    if (nameLen < 6 || nameLen > 40 || passLen < 6 || passLen > 127) {
        FormatText(text, countof(text), "AUTH: the name or the password is empty, or not in %u - %u",
                   6u, 40u);
        if (g_utilsReport) g_utilsReport(kAuthBadLength, text);
        return kAuthBadLength;
    }
    const uint32_t allowed = CC_ALNUM | CC_UNDERSCORE | CC_HYPHEN | CC_FULLSTOP | CC_AT;
    if (!StringInClasses(name, allowed) || !StringInClasses(password, allowed)) {
        CopyText(text, "AUTH: the name or the password is contained un-legal char.");
        if (g_utilsReport) g_utilsReport(kAuthBadChar, text);
        return kAuthBadChar;
    }
    return 0;
}
