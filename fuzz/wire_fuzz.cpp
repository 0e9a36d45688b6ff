// Packet parsing and TCP stream reassembly over arbitrary bytes.
// Mode 0: the input is raw bytes from the service, parsed whole and fed to the
// assembler in chunks; nothing may be read or written out of bounds and every
// piece handed out is at most one read's worth. Mode 1: the input describes
// well-formed packets and the chunk sizes they arrive in; the assembler must
// hand back exactly those packets.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "wire.h"

using namespace wire;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

void CheckParse(const uint8_t* p, size_t n) {
    PacketHeader h;
    static uint8_t payload[kReceiveBufferSize];
    uint32_t len = 0xFFFFFFFF;
    int valid = ParsePacket(p, n, &h, payload, sizeof payload, &len);
    if (valid) {
        Check(n >= kHeaderSize && h.Magic == kMagic);
        Check(len == h.Length && len <= n - kHeaderSize && len <= kMaxPayload);
        Check(payload[len] == 0 && memcmp(payload, p + kHeaderSize, len) == 0);
        uint8_t again[kMaxRead + kPrefixSize];
        size_t m = BuildPacket(KIND_UDP, h.Command, h.Value, h.Result, payload, len, again, sizeof again);
        Check(m == kHeaderSize + len);
        Check(memcmp(again + 8, p + 8, m - 8) == 0);  // all but magic/marker, which it sets
    } else {
        Check(len == 0xFFFFFFFF || n >= kHeaderSize);
    }
}

void RawMode(const uint8_t* data, size_t size) {
    CheckParse(data, size);
    StreamAssembler a;
    AssemblerReset(&a);
    static uint8_t out[kMaxRead];
    size_t at = 0, in = 0, handed = 0;
    uint8_t step = size ? data[0] : 1;
    while (at < size) {
        size_t chunk = (size_t)(step % 97) * 61 + 1;
        if (chunk > size - at) chunk = size - at;
        if (!AssemblerFeed(&a, data + at, chunk)) {
            AssemblerReset(&a);
            Check(AssemblerFeed(&a, data + at, chunk));
        }
        in += chunk;
        at += chunk;
        step = (uint8_t)(step * 31 + 7);
        for (;;) {
            size_t got = AssemblerNext(&a, out, sizeof out);
            if (got == 0) break;
            Check(got <= kMaxRead);
            handed += got;
            CheckParse(out, got);
        }
        Check(a.used <= sizeof a.data);
    }
    Check(handed <= in);
}

void PacketMode(const uint8_t* data, size_t size) {
    std::vector<uint8_t> stream;
    std::vector<std::vector<uint8_t>> packets;
    size_t at = 0;
    while (at + 3 <= size && packets.size() < 16) {
        size_t len = ((size_t)data[at] << 8 | data[at + 1]) % (kMaxPayload + 1);
        uint32_t command = data[at + 2];
        at += 3;
        std::vector<uint8_t> p(kHeaderSize + len);
        std::vector<uint8_t> payload(len, (uint8_t)command);
        BuildPacket(KIND_UDP, command, 0, 0, payload.data(), len, p.data(), p.size());
        stream.insert(stream.end(), p.begin(), p.end());
        packets.push_back(p);
    }
    StreamAssembler a;
    AssemblerReset(&a);
    static uint8_t out[kMaxRead];
    size_t next = 0, fed = 0;
    while (fed < stream.size()) {
        size_t chunk = at < size ? (size_t)data[at++] * 23 + 1 : 4096;
        if (chunk > stream.size() - fed) chunk = stream.size() - fed;
        if (chunk > sizeof a.data - a.used) chunk = sizeof a.data - a.used;
        Check(AssemblerFeed(&a, stream.data() + fed, chunk));
        fed += chunk;
        for (;;) {
            size_t got = AssemblerNext(&a, out, sizeof out);
            if (got == 0) break;
            Check(next < packets.size());
            Check(got == packets[next].size() && memcmp(out, packets[next].data(), got) == 0);
            ++next;
        }
    }
    Check(next == packets.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) PacketMode(data + 1, size - 1);
    else RawMode(data + 1, size - 1);
    return 0;
}
