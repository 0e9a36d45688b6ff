// Settings in the registry: the install key's default value (install
// directory) and "cert" (CertRecord, base/cert_record.h). Every "cert" write is
// a read-modify-write of its 126 bytes.
#include <stdlib.h>
#include <string.h>

#include "app.h"
#include "cert_record.h"
#include "utils.h"

// The service operator's redirect server (its host name fits the 20 characters).
const char kDefaultRedirectServer[] = "red.ovik.example";

namespace {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
// The longest name start-up appends to the install directory ("_updater.exe",
// "ovik_acc.log", "ovik_acc.exe").
const size_t kLongestInstallFile = 12;

struct ConfigKey {
    HKEY key = nullptr;
    ConfigKey() { OpenConfigKey(&key); }
    ~ConfigKey() { if (key) CloseRegKey(key); }
};

}  // namespace

int OpenConfigKey(HKEY* key) {
    *key = nullptr;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, kConfigKey, 0, KEY_READ | KEY_SET_VALUE, key) == ERROR_SUCCESS;
}

int CloseRegKey(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }

int DeleteRegValue(HKEY key, const char* name) { return RegDeleteValueA(key, name) == ERROR_SUCCESS; }

DWORD ReadRegString(HKEY key, const char* name, char* buffer, DWORD size) {
    DWORD type = 0, n = size;
    if (RegQueryValueExA(key, name, nullptr, &type, (BYTE*)buffer, &n) != ERROR_SUCCESS || type != REG_SZ)
        return 0;
    // A stored text need not end in NUL; keep it inside the buffer either way.
    if (n >= size) {
        if (n == 0 || buffer[n - 1] != 0) return 0;
    } else {
        buffer[n] = 0;
    }
    return n;
}

int WriteRegString(HKEY key, const char* name, const char* text, DWORD length) {
    return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE*)text, length) == ERROR_SUCCESS;
}

DWORD ReadRegBinary(HKEY key, const char* name, BYTE** out) {
    *out = nullptr;
    DWORD type = 0, n = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &n) != ERROR_SUCCESS || type != REG_BINARY || n == 0)
        return 0;
    BYTE* data = (BYTE*)malloc(n);
    if (!data) return 0;
    DWORD got = n;
    if (RegQueryValueExA(key, name, nullptr, &type, data, &got) != ERROR_SUCCESS || type != REG_BINARY || got > n) {
        free(data);
        return 0;
    }
    *out = data;
    return got;
}

int WriteRegBinary(HKEY key, const char* name, const void* data, DWORD size) {
    return RegSetValueExA(key, name, 0, REG_BINARY, (const BYTE*)data, size) == ERROR_SUCCESS;
}

int ReadRegDword(HKEY key, const char* name, DWORD* out) {
    DWORD type = 0, n = sizeof *out;
    return RegQueryValueExA(key, name, nullptr, &type, (BYTE*)out, &n) == ERROR_SUCCESS && type == REG_DWORD;
}

int WriteRegDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof value) == ERROR_SUCCESS;
}

// Reads length bytes at offset; fails (nothing copied) when the stored value is
// shorter than the full record: a short "cert" is not the installation's.
int ReadCertBytes(HKEY key, void* destination, int offset, int length) {
    if (!key || offset < 0 || length < 0 || offset + length > cert::kSize) return 0;
    BYTE* data = nullptr;
    DWORD n = ReadRegBinary(key, "cert", &data);
    int ok = data && n >= (DWORD)cert::kSize;
    if (ok) memcpy(destination, data + offset, length);
    free(data);
    return ok;
}

int WriteCertBytes(HKEY key, const void* source, int offset, int length) {
    if (offset < 0 || length < 0 || offset + length > cert::kSize) return 0;
    BYTE record[cert::kSize];
    if (!ReadCertBytes(key, record, 0, cert::kSize)) return 0;
    memcpy(record + offset, source, length);
    return WriteRegBinary(key, "cert", record, cert::kSize);
}

static int ReadCredential(int offset, char* out, size_t size) {
    ConfigKey k;
    uint8_t field[cert::kCredentialSize];
    if (!ReadCertBytes(k.key, field, offset, sizeof field)) return 0;
    DecodeCredentialField(out, size, field);
    return 1;
}

int ReadStoredUserName(char* out, size_t size) { return ReadCredential(cert::kUserNameOffset, out, size); }
int ReadStoredPassword(char* out, size_t size) { return ReadCredential(cert::kPasswordOffset, out, size); }

// A remembered credential in its field; 0 (logged, field zeroed) when the
// format cannot hold it: it ends a credential at its first zero byte and holds
// 20 characters, so storing it would silently store a different text.
static int EncodeRemembered(uint8_t field[cert::kCredentialSize], const char* text, const char* what) {
    if (EncodeCredentialField(field, text)) return 1;
    MsgBox(0x10001, "REG: the %s can't be stored: its scrambled form holds a zero byte or it is longer than %d characters.",
           what, cert::kCredentialSize);
    return 0;
}

// The stored name and password always belong to one account, so both fields
// are written at once. An account that cannot be stored whole clears both: the
// user never types an account, the service assigns it, and with none stored the
// next start asks the service again rather than sending an older account or a
// name with another account's password. A credential whose remember flag is
// off keeps its stored bytes, unless the other one cannot be stored.
static int SaveStoredAccount(const AppState* s) {
    static_assert(cert::kPasswordOffset == cert::kUserNameOffset + cert::kCredentialSize,
                  "the name and password fields are adjacent");
    ConfigKey k;
    uint8_t fields[2 * cert::kCredentialSize];
    if (!ReadCertBytes(k.key, fields, cert::kUserNameOffset, sizeof fields)) return 0;
    int whole = (!s->RememberName || EncodeRemembered(fields, s->UserName, "user name")) &&
                (!s->RememberPassword || EncodeRemembered(fields + cert::kCredentialSize, s->Password, "password"));
    if (!whole) memset(fields, 0, sizeof fields);
    return WriteCertBytes(k.key, fields, cert::kUserNameOffset, sizeof fields) && whole;
}

int ReadRedirectServer(char* out, size_t size) {
    ConfigKey k;
    uint8_t field[cert::kServerSize];
    if (size) out[0] = 0;
    if (!ReadCertBytes(k.key, field, cert::kServerOffset, sizeof field)) return 0;
    DecodeServerField(out, size, field);
    return 1;
}

int SaveRedirectServer(const char* text, size_t size) {
    ConfigKey k;
    uint8_t field[cert::kServerSize];
    EncodeServerField(field, text, size);
    return WriteCertBytes(k.key, field, cert::kServerOffset, sizeof field);
}

int LoadConfig(AppState* s) {
    HKEY key = nullptr;
    int ok = OpenConfigKey(&key);
    if (ok) {
        DWORD n = ReadRegString(key, nullptr, s->InstallDir, sizeof s->InstallDir);
        size_t len = strnlen(s->InstallDir, sizeof s->InstallDir);
        ok = n > 0 && len > 0;
        if (ok && s->InstallDir[len - 1] != '\\') s->InstallDir[len++] = '\\';
        // The directory and every file name start-up builds from it must fit.
        ok = ok && len + kLongestInstallFile < sizeof s->InstallDir;
        if (ok) s->InstallDir[len] = 0;
    }
    CertRecord record;
    if (ok) {
        BYTE* data = nullptr;
        DWORD n = ReadRegBinary(key, "cert", &data);
        ok = ReadCertRecord(data, n, &record);
        free(data);
    }
    if (ok) {
        s->RememberName = record.Options.RememberName;
        s->RememberPassword = record.Options.RememberPassword;
        s->Autorun = record.Options.Autorun;
        s->AutoConnect = record.Options.AutoConnect;
        s->ImportantOnly = record.Options.ImportantOnly;
        s->LogToFile = record.Options.LogToFile;
        s->ServiceIndex = record.ServiceIndex;
        s->UserName[0] = s->Password[0] = 0;
        if (s->RememberName) CopyText(s->UserName, record.UserName);
        if (s->RememberPassword) CopyText(s->Password, record.Password);
        s->NoStoredCredentials = (!s->UserName[0] || !s->Password[0]) ? 1 : 0;
        CopyText(s->RedirectServer, record.RedirectServer);
        if (!s->RedirectServer[0]) CopyText(s->RedirectServer, kDefaultRedirectServer);
    }
    if (key) CloseRegKey(key);
    if (ok) return 1;
    char text[512];
    if (!LoadStringA(s->Instance, IDS_REBOOT_REQUIRED, text, countof(text))) text[0] = 0;
    ShowBox(nullptr, text, MB_SETFOREGROUND | MB_ICONERROR);
    return 0;
}

int SaveConfig(AppState* s) {
    ConfigKey k;
    if (!k.key) {
        MsgBox(0x10001, "REG: Couldn't open the %s key.", kConfigKey);
        return 0;
    }
    CertOptions o = {s->RememberName, s->RememberPassword, s->Autorun, s->AutoConnect, s->ImportantOnly, s->LogToFile};
    uint8_t bits = PackOptionBits(o);
    if (!WriteCertBytes(k.key, &bits, cert::kOptionsOffset, 1)) MsgBox(0x10001, "REG: Set config binary failed.");
    uint8_t index = (uint8_t)s->ServiceIndex;
    if (!WriteCertBytes(k.key, &index, cert::kServiceIndexOffset, 1)) MsgBox(0x10001, "REG: Set service index failed.");
    if (!SaveRedirectServer(s->RedirectServer, sizeof s->RedirectServer))
        MsgBox(0x10001, "REG: set redirect server name failed.");
    if ((s->RememberName || s->RememberPassword) && !SaveStoredAccount(s)) {
        if (s->RememberName) MsgBox(0x10001, "REG: Set username failed.");
        if (s->RememberPassword) MsgBox(0x10001, "REG: Set password failed.");
    }
    return 1;
}

int SaveCoreVersion(uint32_t version) {
    ConfigKey k;
    if (!k.key) {
        MsgBox(0x10001, "REG: Couldn't open the %s key.", kConfigKey);
        return 0;
    }
    if (version == 0) return 1;
    uint8_t bytes[4];
    PutCertVersion(bytes, version);
    if (!WriteCertBytes(k.key, bytes, cert::kVersionOffset, 4)) {
        MsgBox(0x10001, "REG: Set version binary failed.");
        return 0;
    }
    return 1;
}

int SetAutorun(int on, const char* installDir) {
    if (on) {
        char path[MAX_PATH + 16];
        FormatText(path, sizeof path, "%s%s", installDir, "ovik_acc.exe");
        if (CoreSetRegistryValue(0x80000002, kRunKey, kRegName, 0, REG_SZ, path, (uint32_t)strlen(path)) == 0) {
            MsgBox(0x10004, "REG: set autosave with %s", path);
            return 1;
        }
        MsgBox(0x10001, "REG: set autorun failed.");
        return 0;
    }
    if (CoreSetRegistryValue(0x80000002, kRunKey, kRegName, 1, 0, nullptr, 0) == 0) return 1;
    MsgBox(0x10001, "REG: delete autorun failed.");
    return 0;
}

int ReadAdCache(char* id, char* url, BYTE** data, DWORD* size, char* digest) {
    ConfigKey k;
    if (!k.key) return 0;
    ReadRegString(k.key, "a_id", id, 10);
    ReadRegString(k.key, "a_md5", digest, 25);
    ReadRegString(k.key, "a_url", url, 1024);
    *size = ReadRegBinary(k.key, "a_data", data);
    return *data != nullptr;
}

int WriteAdCache(const char* id, const char* url, const void* data, DWORD size, const char* digest) {
    ConfigKey k;
    if (!k.key) return 0;
    DeleteRegValue(k.key, "a_id");
    DeleteRegValue(k.key, "a_md5");
    DeleteRegValue(k.key, "a_url");
    DeleteRegValue(k.key, "a_data");
    WriteRegString(k.key, "a_id", id, (DWORD)strlen(id));
    WriteRegString(k.key, "a_md5", digest, (DWORD)strlen(digest));
    WriteRegString(k.key, "a_url", url, (DWORD)strlen(url));
    return WriteRegBinary(k.key, "a_data", data, size);
}
