// The "cert" value of the install key: 126 bytes holding the installed core
// version, the client's options, the remembered account (scrambled), the
// redirect server name (nibble-swapped) and the service index. Pure byte
// layout, no registry access (client/settings.cpp does that).
#ifndef ZORVET_CERT_RECORD_H
#define ZORVET_CERT_RECORD_H

#include <stddef.h>
#include <stdint.h>

namespace cert {

constexpr int kSize = 126;
constexpr int kVersionOffset = 0;       // u32 little-endian
constexpr int kUserNameOffset = 4;      // 20 scrambled bytes
constexpr int kPasswordOffset = 24;     // 20 scrambled bytes
constexpr int kCredentialSize = 20;
constexpr int kOptionsOffset = 44;      // OptionBits
constexpr int kServerOffset = 91;       // 20 nibble-swapped bytes
constexpr int kServerSize = 20;
constexpr int kServiceIndexOffset = 111;
constexpr int kEnvTextOffset = 114;     // 10 nibble-swapped bytes, unused

enum : uint8_t {
    kOptRememberName = 0x80,
    kOptRememberPassword = 0x40,
    kOptAutorun = 0x20,
    kOptAutoConnect = 0x10,
    kOptImportantOnly = 0x08,
    kOptLogToFile = 0x04,
};

}  // namespace cert

struct CertOptions {
    int RememberName, RememberPassword, Autorun, AutoConnect, ImportantOnly, LogToFile;  // 0/1
};

uint8_t PackOptionBits(const CertOptions& o);
CertOptions UnpackOptionBits(uint8_t bits);

uint32_t GetCertVersion(const uint8_t* cert);
void PutCertVersion(uint8_t* cert, uint32_t version);

// The stored credential transform; out gets exactly length bytes (may hold
// zeros); length < 1 or > 20 writes nothing.
void ScrambleCredential(uint8_t* out, const char* in, int length);

// Fills a 20-byte credential field (zeros after the scrambled bytes). Returns 0
// and leaves the field zeroed when the text cannot be read back as it is: more
// than 20 characters, or a scrambled form with a zero byte (the reader stops
// there) or a byte the unscramble does not undo exactly.
int EncodeCredentialField(uint8_t field[cert::kCredentialSize], const char* text);
// Reads a field up to its first zero byte; out (at least 21 bytes) terminated.
void DecodeCredentialField(char* out, size_t outSize, const uint8_t field[cert::kCredentialSize]);

inline uint8_t SwapNibbles(uint8_t b) { return (uint8_t)((b << 4) | (b >> 4)); }
// All 20 bytes of the server text (NULs included), each nibble-swapped.
void EncodeServerField(uint8_t field[cert::kServerSize], const char* server, size_t serverSize);
// Up to the first zero byte or 20 bytes; out terminated.
void DecodeServerField(char* out, size_t outSize, const uint8_t field[cert::kServerSize]);

// What the client reads from a stored "cert" value.
struct CertRecord {
    uint32_t InstalledVersion;
    CertOptions Options;
    char UserName[cert::kCredentialSize + 1];        // unscrambled, up to the field's first zero byte
    char Password[cert::kCredentialSize + 1];        // likewise
    char RedirectServer[cert::kServerSize + 1];      // empty when none is stored
    uint8_t ServiceIndex;
};

// Reads a stored value of `size` bytes (any length, as the registry gives it).
// A value shorter than the full record is not the installation's: 0 and the
// record cleared. Of a longer one only the first cert::kSize bytes count.
int ReadCertRecord(const uint8_t* data, size_t size, CertRecord* out);

#endif
