// Small building blocks shared by the core library and the client program: byte
// buffers, allocation pools, bounded text helpers, character classes and the
// version, address, byte-size and credential texts. Portable: no windows.h.
#ifndef ZORVET_UTILS_H
#define ZORVET_UTILS_H

#include <stddef.h>
#include <stdint.h>

// ---- memory ---------------------------------------------------------------

// A chain of allocations freed together. Each block carries a link word to the
// block allocated before it, in front of the part handed out.
struct MemoryPool {
    void* head;  // newest block (its link word), or null
};

// Writes "Zorvet: Out of Memory\n" to stderr and exits with status 1.
[[noreturn]] void OutOfMemoryExit();
// Never returns null (out of memory is fatal). zero != 0 clears the block.
void* PoolAlloc(size_t size, int zero, MemoryPool* pool);
MemoryPool PoolInit();
void PoolFree(MemoryPool* pool);
void* EnsureAllocated(void* p);
char* PoolStrdup(const char* text, MemoryPool* pool);

// ---- ByteBuffer -------------------------------------------------------------

// Content is data[head .. head + length); 0 <= head, 0 <= length,
// head + length <= capacity. Numbers through it are in network byte order.
struct ByteBuffer {
    int32_t capacity;
    int32_t head;
    int32_t length;
    uint8_t* data;
};

void ByteBufferInit(ByteBuffer* b);
void ByteBufferAlloc(ByteBuffer* b, int n, MemoryPool* pool);
void ByteBufferAttach(ByteBuffer* b, void* block, int n);
int ByteBufferSetHead(ByteBuffer* b, int offset);
int ByteBufferHasRoom(const ByteBuffer* b, int n);
int ByteBufferRoom(const ByteBuffer* b);
uint8_t* ByteBufferPushFront(ByteBuffer* b, int n);
int ByteBufferPrepend(ByteBuffer* b, const void* bytes, int n);
int ByteBufferAppend(ByteBuffer* b, const void* bytes, int n);
int ByteBufferAppendBuffer(ByteBuffer* b, const ByteBuffer* other);
int ByteBufferPutU8(ByteBuffer* b, uint32_t v);
int ByteBufferPutU16(ByteBuffer* b, uint32_t v);
int ByteBufferPutU32(ByteBuffer* b, uint32_t v);
int ByteBufferGet(ByteBuffer* b, void* destination, int n);
int ByteBufferGetU8(ByteBuffer* b);
int ByteBufferGetU16(ByteBuffer* b);
int ByteBufferSkip(ByteBuffer* b, int n);
void ByteBufferClear(ByteBuffer* b);
int ByteBufferCopy(ByteBuffer* b, const ByteBuffer* source);
void ByteBufferFree(ByteBuffer* b);
ByteBuffer ByteBufferReserve(ByteBuffer* b, int n, int front);
int ByteBufferPrintf(ByteBuffer* b, const char* format, ...) __attribute__((format(printf, 2, 3)));
void ByteBufferTerminate(ByteBuffer* b);
int ByteBufferEquals(const ByteBuffer* b, const void* bytes, int n);
int ByteBufferStartsWith(const ByteBuffer* b, const void* bytes, int n);
int ByteBufferStartsWithText(const ByteBuffer* b, const char* text);
int ByteBufferSkipText(ByteBuffer* b, const char* text);
int ByteBufferReadUntil(ByteBuffer* b, int delimiter, char* destination, int size);

// ---- text -------------------------------------------------------------------

// strncpy of at most n bytes; destination[n - 1] forced to NUL when n > 0.
void CopyTextN(char* destination, const char* source, size_t n);
// Bounded printf; buffer[size - 1] forced to NUL; size 0 writes nothing, gives 0.
int FormatText(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Copies into a fixed array, size taken from the array itself; always terminated.
template <size_t N>
inline void CopyText(char (&destination)[N], const char* source) {
    CopyTextN(destination, source ? source : "", N);
}
template <typename T, size_t N>
constexpr size_t countof(T (&)[N]) { return N; }

// GBK lead byte (code page 936): 0x81..0xFE; its trail byte may be 0x5C (a backslash).
inline int IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
// GBK trail byte: 0x40..0x7E or 0x80..0xFE. A lead byte before any other byte makes
// no character, and converters differ on whether they swallow that byte with it:
// checks on names read it as a byte of its own.
inline int IsGbkTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE); }

const char* HexDump(const uint8_t* bytes, int count, int size, int group, const char* separator,
                    MemoryPool* pool);

// Character classes (CharInClasses flags).
enum : uint32_t {
    CC_ANY = 0x1, CC_NUL = 0x2, CC_ALNUM = 0x4, CC_ALPHA = 0x8, CC_ASCII = 0x10, CC_CNTRL = 0x20,
    CC_DIGIT = 0x40, CC_PRINT = 0x80, CC_PUNCT = 0x100, CC_SPACE = 0x200, CC_XDIGIT = 0x400,
    CC_BLANK = 0x800, CC_LF = 0x1000, CC_CR = 0x2000, CC_BACKSLASH = 0x4000,
    CC_UNDERSCORE = 0x8000, CC_HYPHEN = 0x10000, CC_FULLSTOP = 0x20000, CC_COMMA = 0x40000,
    CC_COLON = 0x80000, CC_SLASH = 0x100000, CC_QUOTE = 0x200000, CC_DQUOTE = 0x400000,
    CC_BACKQUOTE = 0x800000, CC_AT = 0x1000000, CC_EQUALS = 0x2000000,
};
int CharInClasses(int character, uint32_t flags);
int StringInClasses(const char* text, uint32_t flags);
int FilterText(char* text, uint32_t keep, uint32_t drop, int replacement);

// ---- formats ------------------------------------------------------------------

void FormatIPv4(uint32_t address, char* buffer);  // buffer of at least 16
void FormatVersion(uint32_t version, char* buffer);  // "%u.%u.%u.%04u", buffer of at least 16
int ComparePackedVersion(uint32_t current, uint32_t other);
// "%2.2f%s" with K/M/G/T; the library's copy also logs "string: %s" at debug level
// through the hook below (null in the client program). The text is cut to fit
// kByteSizeTextSize bytes, which the buffer must hold.
constexpr size_t kByteSizeTextSize = 32;
void FormatByteSize(char* buffer, uint64_t count, const char* suffix);
extern void (*g_byteSizeTrace)(const char* text);
uint32_t ParseIPv4(const char* text);
void UnscrambleCredential(char* output, const uint8_t* bytes, int n);

// Status codes the credential check reports.
constexpr uint32_t kAuthBadLength = 0x50130209;
constexpr uint32_t kAuthBadChar = 0x5013020A;
// 0 when name and password are valid; else reports through the hook and returns
// kAuthBadLength or kAuthBadChar.
uint32_t CheckCredentials(const char* name, const char* password);
extern void (*g_utilsReport)(uint32_t code, const char* text);

#endif
