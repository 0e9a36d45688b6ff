// MD5 message digest (RFC 1321) for the updater's package checks: incremental
// context, digest text and whole-file digest. Portable: no windows.h.
#ifndef ZORVET_MD5_H
#define ZORVET_MD5_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

struct Md5Context {
    uint32_t state[4];  // running digest, RFC 1321 order (A, B, C, D)
    uint32_t count[2];  // message length in bits mod 2^64, low word first
    uint8_t block[64];  // part of the current block received so far
};

void Md5Init(Md5Context* ctx);
void Md5Update(Md5Context* ctx, const void* data, size_t length);
// Pads, appends the bit count and writes the 16-byte digest.
void Md5Final(uint8_t digest[16], Md5Context* ctx);
// The 64-step compression of one 64-byte block into ctx->state.
void Md5Transform(Md5Context* ctx, const uint8_t block[64]);
// Md5Final, then 32 lower-case hex digits and a NUL into `text` (at least 33
// bytes); a null `text` gets a new malloc'ed buffer for the caller to free (null
// when out of memory).
char* Md5DigestToHex(Md5Context* ctx, char* text);
// Digest text of the rest of the stream, read in chunks of 102400 bytes; null
// when the stream is already at its end, and null when a read fails (a digest of
// part of a file must never pass a check). One static result buffer, overwritten
// by every call.
const char* Md5OfStream(FILE* stream);
// Md5OfStream of the file opened for binary reading; null when it cannot be opened.
const char* Md5OfFile(const char* path);

#endif
