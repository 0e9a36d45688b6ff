#include "cert_record.h"

#include <string.h>

#include "utils.h"

uint8_t PackOptionBits(const CertOptions& o) {
    uint8_t b = 0;
    if (o.RememberName) b |= cert::kOptRememberName;
    if (o.RememberPassword) b |= cert::kOptRememberPassword;
    if (o.Autorun) b |= cert::kOptAutorun;
    if (o.AutoConnect) b |= cert::kOptAutoConnect;
    if (o.ImportantOnly) b |= cert::kOptImportantOnly;
    if (o.LogToFile) b |= cert::kOptLogToFile;
    return b;
}

CertOptions UnpackOptionBits(uint8_t b) {
    CertOptions o;
    o.RememberName = (b & cert::kOptRememberName) ? 1 : 0;
    o.RememberPassword = (b & cert::kOptRememberPassword) ? 1 : 0;
    o.Autorun = (b & cert::kOptAutorun) ? 1 : 0;
    o.AutoConnect = (b & cert::kOptAutoConnect) ? 1 : 0;
    o.ImportantOnly = (b & cert::kOptImportantOnly) ? 1 : 0;
    o.LogToFile = (b & cert::kOptLogToFile) ? 1 : 0;
    return o;
}

uint32_t GetCertVersion(const uint8_t* c) {
    return (uint32_t)c[0] | ((uint32_t)c[1] << 8) | ((uint32_t)c[2] << 16) | ((uint32_t)c[3] << 24);
}

void PutCertVersion(uint8_t* c, uint32_t v) {
    c[0] = (uint8_t)v;
    c[1] = (uint8_t)(v >> 8);
    c[2] = (uint8_t)(v >> 16);
    c[3] = (uint8_t)(v >> 24);
}

void ScrambleCredential(uint8_t* out, const char* in, int length) {
    if (length < 1 || length > cert::kCredentialSize) return;
    uint8_t t[2 * cert::kCredentialSize];
    for (int i = 0; i < length; i++) {
        int b = (int)(signed char)in[i] + 3 * i;
        t[i] = (uint8_t)((b >> 1) & 15);
        t[length + i] = (uint8_t)(((b >> 5) & 15) | ((b & 1) << 3));
    }
    for (int j = 0; j < length; j++) out[j] = (uint8_t)(j * j + t[2 * j] * 16 + t[2 * j + 1]);
}

int EncodeCredentialField(uint8_t field[cert::kCredentialSize], const char* text) {
    memset(field, 0, cert::kCredentialSize);
    size_t n = strlen(text);
    if (n > (size_t)cert::kCredentialSize) return 0;
    if (n == 0) return 1;
    uint8_t scrambled[cert::kCredentialSize];
    ScrambleCredential(scrambled, text, (int)n);
    char back[cert::kCredentialSize + 1] = {0};
    if (memchr(scrambled, 0, n) == nullptr) UnscrambleCredential(back, scrambled, (int)n);
    if (memcmp(back, text, n) != 0) return 0;
    memcpy(field, scrambled, n);
    return 1;
}

void DecodeCredentialField(char* out, size_t outSize, const uint8_t field[cert::kCredentialSize]) {
    if (outSize == 0) return;
    memset(out, 0, outSize);
    size_t n = 0;
    while (n < (size_t)cert::kCredentialSize && field[n] != 0) n++;
    if (n > outSize - 1) n = outSize - 1;
    char work[cert::kCredentialSize + 1] = {0};
    UnscrambleCredential(work, field, (int)n);
    memcpy(out, work, n);
}

void EncodeServerField(uint8_t field[cert::kServerSize], const char* server, size_t serverSize) {
    int ended = 0;
    for (int i = 0; i < cert::kServerSize; i++) {
        if ((size_t)i >= serverSize || server[i] == 0) ended = 1;
        field[i] = ended ? 0 : SwapNibbles((uint8_t)server[i]);
    }
}

void DecodeServerField(char* out, size_t outSize, const uint8_t field[cert::kServerSize]) {
    if (outSize == 0) return;
    size_t n = 0;
    while (n < (size_t)cert::kServerSize && n + 1 < outSize && field[n] != 0) {
        out[n] = (char)SwapNibbles(field[n]);
        n++;
    }
    out[n] = 0;
}

int ReadCertRecord(const uint8_t* data, size_t size, CertRecord* out) {
    memset(out, 0, sizeof *out);
    if (!data || size < (size_t)cert::kSize) return 0;
    out->InstalledVersion = GetCertVersion(data + cert::kVersionOffset);
    out->Options = UnpackOptionBits(data[cert::kOptionsOffset]);
    DecodeCredentialField(out->UserName, sizeof out->UserName, data + cert::kUserNameOffset);
    DecodeCredentialField(out->Password, sizeof out->Password, data + cert::kPasswordOffset);
    DecodeServerField(out->RedirectServer, sizeof out->RedirectServer, data + cert::kServerOffset);
    out->ServiceIndex = data[cert::kServiceIndexOffset];
    return 1;
}
