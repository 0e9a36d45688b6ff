// Local protocol with the accelerator service: packet header, command codes,
// packet building and parsing, TCP stream reassembly. Portable (no windows.h):
// used by the core library, the stand-in service and the tests alike.
#ifndef ZORVET_WIRE_H
#define ZORVET_WIRE_H

#include <stddef.h>
#include <stdint.h>

namespace wire {

constexpr uint32_t kMagic = 0x0009BF07;
constexpr uint32_t kMarker = 1001;
constexpr uint16_t kDaemonPort = 63872;
constexpr size_t kHeaderSize = 24;
constexpr size_t kPrefixSize = 4;            // TCP requests: u32 length in front
constexpr size_t kMaxRead = 5120;            // one read / one packet at most
constexpr size_t kMaxPayload = kMaxRead - kHeaderSize;  // 5096
constexpr size_t kReceiveBufferSize = kMaxRead + 1;     // payload + NUL
constexpr uint32_t kRegisterResult = 0x1071024B;        // library PackedVersion

enum Kind { KIND_TCP = 1, KIND_UDP = 2 };

enum CommandCode : uint32_t {
    NTF_INFO = 1001,
    CMD_REGISTER_UDP = 1002,
    NTF_STATUS = 1003,
    NTF_MESSAGE = 1004,
    NTF_ACCOUNT = 1005,
    NTF_TEXT_NOTE = 1006,
    NTF_IMAGE_NOTE = 1007,
    NTF_LATEST_VERSION = 1009,
    NTF_INFO2 = 2001,
    CMD_REGISTER = 2002,
    CMD_INIT = 2005,
    CMD_START = 2006,
    CMD_STOP = 2007,
    CMD_CLEAR = 2008,
    CMD_ERRNO = 2009,
    CMD_GET_CORE_VERSION = 2010,
    CMD_GET_QUERY_DATA = 2011,
    CMD_GET_RED_INFO = 2012,
    CMD_PROC_GET_COUNT = 2013,
    CMD_PROC_GET_INFO = 2014,
    CMD_PROC_KILL = 2015,
    CMD_KEEP_ALIVE = 2017,
    CMD_SET_REGISTRY_VALUE = 2018,
    CMD_GET_USER_PASS = 2102,
    CMD_GET_REMOTE_INFO = 2103,
    CMD_GET_CERT_INFO = 2104,
    CMD_GET_SERVICE_INDEX = 2105,
    CMD_SET_TRANS_DATA = 2106,
    CMD_SET_TRANS_BAND = 2107,
    CMD_INIT_QUERY = 2108,
};

}  // namespace wire

// Six little-endian u32 words in front of every packet.
struct PacketHeader {
    uint32_t Magic;    // always wire::kMagic
    uint32_t Marker;   // 1001 in what the library sends; not checked on receipt
    uint32_t Command;  // wire::CommandCode
    uint32_t Length;   // payload bytes behind the header
    uint32_t Value;    // request / notification specific
    uint32_t Result;   // in a reply: the outcome of the request
};
static_assert(sizeof(PacketHeader) == 24, "PacketHeader is 24 bytes");

namespace wire {

// Little-endian access independent of the host's byte order.
uint32_t GetU32(const uint8_t* p);
void PutU32(uint8_t* p, uint32_t v);

// Bytes a packet of n payload bytes takes on the wire: 28 + n for TCP
// (length prefix), 24 + n for UDP; 0 for another kind.
size_t PacketWireSize(int kind, size_t n);

// Writes the packet (prefix for TCP, header, payload) into out. Returns the
// bytes written, 0 when the kind is unknown or out is too small.
size_t BuildPacket(int kind, uint32_t command, uint32_t value, uint32_t result,
                   const void* payload, size_t n, uint8_t* out, size_t outSize);

// Parses one packet from the start of bytes. The header out is zeroed first and
// keeps the copied words of a packet with a wrong magic or a bad length. A
// packet is valid when count >= 24, the magic matches and the payload length is
// at most count - 24 and at most kMaxPayload. With a payload buffer, the payload
// is copied there and NUL-terminated (payloadSize must exceed the length, else
// the packet is invalid). Returns 1 valid, 0 invalid.
int ParsePacket(const uint8_t* bytes, size_t count, PacketHeader* header,
                uint8_t* payload, size_t payloadSize, uint32_t* length);

// Reassembles packets from a TCP byte stream that the service may split or join.
// Feed what each recv returned; Next hands out whole packets, and bytes that do
// not begin a packet up to the next magic as one invalid piece.
struct StreamAssembler {
    uint8_t data[2 * kMaxRead];
    size_t used;
};
void AssemblerReset(StreamAssembler* a);
// Appends bytes; returns 0 (and appends nothing) when they do not fit.
int AssemblerFeed(StreamAssembler* a, const uint8_t* bytes, size_t n);
// Takes the next piece into out (at least kMaxRead bytes, or the piece is cut):
// > 0 its byte count; 0 when more bytes are needed first.
size_t AssemblerNext(StreamAssembler* a, uint8_t* out, size_t outSize);
// Whether buffered bytes wait for the rest of their packet.
inline bool AssemblerPending(const StreamAssembler* a) { return a->used != 0; }

}  // namespace wire

#endif
