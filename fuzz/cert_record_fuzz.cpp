// The "cert" value as the registry hands it over: any bytes, any length. A value
// is taken only when it holds the whole record; what is taken must agree with a
// reading of the layout done here (little-endian version, option bits, service
// index, nibble-swapped server name, one character per stored credential byte)
// and must come back unchanged when the client writes its fields over the stored
// value and reads it again. A stored credential that reads as plain 7-bit text
// is written back as the very bytes it was read from.
#include <stdint.h>
#include <string.h>

#include <string>

#include "cert_record.h"
#include "oracle.h"

namespace {

using oracle::Check;

bool Terminated(const char* text, size_t size) { return memchr(text, 0, size) != nullptr; }

size_t StoredLength(const uint8_t* field, size_t size) {
    size_t n = 0;
    while (n < size && field[n] != 0) n++;
    return n;
}

bool SameRecord(const CertRecord& a, const CertRecord& b) {
    return a.InstalledVersion == b.InstalledVersion && memcmp(&a.Options, &b.Options, sizeof a.Options) == 0 &&
           strcmp(a.UserName, b.UserName) == 0 && strcmp(a.Password, b.Password) == 0 &&
           strcmp(a.RedirectServer, b.RedirectServer) == 0 && a.ServiceIndex == b.ServiceIndex;
}

void CheckCredential(const char* text, const uint8_t* stored) {
    Check(Terminated(text, cert::kCredentialSize + 1));
    size_t n = StoredLength(stored, cert::kCredentialSize);
    Check(strlen(text) <= n);
    bool plain = strlen(text) == n;
    for (size_t i = 0; i < strlen(text); i++) plain = plain && (unsigned char)text[i] < 0x80;
    if (plain) {
        uint8_t field[cert::kCredentialSize];
        Check(EncodeCredentialField(field, text) == 1);
        Check(memcmp(field, stored, n) == 0);
    }
}

// The client's saves: each field written over the stored bytes; a credential the
// format cannot hold is left as stored.
void WriteFields(const CertRecord& r, uint8_t record[cert::kSize]) {
    PutCertVersion(record + cert::kVersionOffset, r.InstalledVersion);
    record[cert::kOptionsOffset] = PackOptionBits(r.Options);
    record[cert::kServiceIndexOffset] = r.ServiceIndex;
    EncodeServerField(record + cert::kServerOffset, r.RedirectServer, sizeof r.RedirectServer);
    uint8_t field[cert::kCredentialSize];
    if (EncodeCredentialField(field, r.UserName)) memcpy(record + cert::kUserNameOffset, field, sizeof field);
    if (EncodeCredentialField(field, r.Password)) memcpy(record + cert::kPasswordOffset, field, sizeof field);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CertRecord r;
    memset(&r, 0x5A, sizeof r);
    int ok = ReadCertRecord(data, size, &r);
    Check(ok == (size >= 126 ? 1 : 0));
    if (!ok) {
        static const CertRecord kCleared = {};
        Check(memcmp(&r, &kCleared, sizeof r) == 0);
        return 0;
    }

    Check(r.InstalledVersion == ((uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 |
                                 (uint32_t)data[3] << 24));
    const uint8_t bits = data[44];
    const int flags[6] = {r.Options.RememberName, r.Options.RememberPassword, r.Options.Autorun,
                          r.Options.AutoConnect,  r.Options.ImportantOnly,    r.Options.LogToFile};
    for (int i = 0; i < 6; i++) Check(flags[i] == ((bits >> (7 - i)) & 1));
    Check(r.ServiceIndex == data[111]);
    std::string server;
    for (size_t i = 91; i < 111 && data[i] != 0; i++) server += (char)((data[i] << 4) | (data[i] >> 4));
    Check(Terminated(r.RedirectServer, sizeof r.RedirectServer) && server == r.RedirectServer);
    CheckCredential(r.UserName, data + 4);
    CheckCredential(r.Password, data + 24);

    uint8_t record[cert::kSize];
    memcpy(record, data, sizeof record);
    WriteFields(r, record);
    CertRecord back;
    Check(ReadCertRecord(record, sizeof record, &back) == 1);
    Check(SameRecord(r, back));
    return 0;
}
