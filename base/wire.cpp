#include "wire.h"

#include <string.h>

namespace wire {

uint32_t GetU32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

size_t PacketWireSize(int kind, size_t n) {
    if (kind == KIND_TCP) return kPrefixSize + kHeaderSize + n;
    if (kind == KIND_UDP) return kHeaderSize + n;
    return 0;
}

size_t BuildPacket(int kind, uint32_t command, uint32_t value, uint32_t result,
                   const void* payload, size_t n, uint8_t* out, size_t outSize) {
    size_t total = PacketWireSize(kind, n);
    if (total == 0 || total > outSize || n > 0xFFFFFFFFu - kHeaderSize) return 0;
    if (n > 0 && payload == nullptr) return 0;
    uint8_t* p = out;
    if (kind == KIND_TCP) {
        PutU32(p, (uint32_t)(kHeaderSize + n));
        p += kPrefixSize;
    }
    PutU32(p + 0, kMagic);
    PutU32(p + 4, kMarker);
    PutU32(p + 8, command);
    PutU32(p + 12, (uint32_t)n);
    PutU32(p + 16, value);
    PutU32(p + 20, result);
    if (n > 0) memcpy(p + kHeaderSize, payload, n);
    return total;
}

static void ReadHeader(const uint8_t* b, PacketHeader* h) {
    h->Magic = GetU32(b);
    h->Marker = GetU32(b + 4);
    h->Command = GetU32(b + 8);
    h->Length = GetU32(b + 12);
    h->Value = GetU32(b + 16);
    h->Result = GetU32(b + 20);
}

int ParsePacket(const uint8_t* bytes, size_t count, PacketHeader* header,
                uint8_t* payload, size_t payloadSize, uint32_t* length) {
    memset(header, 0, sizeof *header);
    if (bytes == nullptr || count < kHeaderSize) return 0;
    ReadHeader(bytes, header);
    if (header->Magic != kMagic) return 0;
    // Never trust the length word beyond what arrived.
    if (header->Length > count - kHeaderSize || header->Length > kMaxPayload) return 0;
    if (length) *length = header->Length;
    if (payload == nullptr) return 1;
    if (payloadSize <= header->Length) return 0;
    memcpy(payload, bytes + kHeaderSize, header->Length);
    payload[header->Length] = 0;
    return 1;
}

void AssemblerReset(StreamAssembler* a) { a->used = 0; }

int AssemblerFeed(StreamAssembler* a, const uint8_t* bytes, size_t n) {
    if (n > sizeof a->data - a->used) return 0;
    memcpy(a->data + a->used, bytes, n);
    a->used += n;
    return 1;
}

static bool MagicAt(const uint8_t* p) { return GetU32(p) == kMagic; }

// Offset of the next magic behind offset 0 (a resynchronisation point), or used.
static size_t NextMagic(const StreamAssembler* a) {
    for (size_t i = 1; i + 4 <= a->used; ++i)
        if (MagicAt(a->data + i)) return i;
    return a->used;
}

static size_t Take(StreamAssembler* a, size_t n, uint8_t* out, size_t outSize) {
    size_t copy = n < outSize ? n : outSize;
    memcpy(out, a->data, copy);
    memmove(a->data, a->data + n, a->used - n);
    a->used -= n;
    return copy;
}

size_t AssemblerNext(StreamAssembler* a, uint8_t* out, size_t outSize) {
    if (a->used == 0 || outSize == 0) return 0;
    if (a->used < 4) return 0;  // not even a magic yet
    if (!MagicAt(a->data)) return Take(a, NextMagic(a), out, outSize);
    // A magic inside what would be this header means the piece in front was cut
    // short (a genuine header holds the magic only at offset 0).
    size_t next = NextMagic(a);
    if (next < kHeaderSize && next < a->used) return Take(a, next, out, outSize);
    if (a->used < kHeaderSize) return 0;
    uint32_t len = GetU32(a->data + 12);
    if (len > kMaxPayload) return Take(a, next, out, outSize);  // garbage header
    size_t total = kHeaderSize + len;
    if (a->used < total) {
        // Incomplete: wait, unless the buffer is full (then it can never complete).
        if (a->used == sizeof a->data) return Take(a, next, out, outSize);
        return 0;
    }
    return Take(a, total, out, outSize);
}

}  // namespace wire
