// The fifteen exports of Zorvet_Core and the library's internal requests. Each
// request export checks the upgrade and connection guards, sends one request on
// the TCP connection and hands back the reply's result or payload.
#include "core.h"

#include <shlwapi.h>
#include <stdlib.h>
#include <string.h>

#include "version.h"

namespace {

constexpr uint32_t kTrace = 0x20000000;
constexpr uint32_t kNotConnected = 0x50000A0A;   // also: no callback, network error
constexpr uint32_t kUpgradePending = 0x50000A0B;
constexpr uint32_t kCoreVersionNetError = 0x50000A0D;
constexpr uint32_t kShellTooOld = 0x50150201;
constexpr uint32_t kServiceNotFound = 0x501A0A00;
constexpr uint32_t kServiceNotRunning = 0x501A0A01;
constexpr DWORD kServiceRunning = 4;  // SERVICE_RUNNING

constexpr size_t kProcInfoSize = sizeof(ProcInfo);
// RegistryValueRequest: five words, subkey[261], name[261], data, two zero bytes.
constexpr size_t kRegistryRequestFixed = 544;
constexpr size_t kRegistrySubkeyOffset = 20;
constexpr size_t kRegistryNameOffset = 281;
constexpr size_t kRegistryDataOffset = 542;
constexpr size_t kRegistryTextSize = 261;
// The whole request must travel as one packet of at most one read.
constexpr uint32_t kRegistryMaxData =
    (uint32_t)(wire::kMaxPayload - kRegistryRequestFixed);
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorOutOfMemory = 14;
// Reply failures of a registry request: never 0, which the caller takes as done.
constexpr uint32_t kErrorNotConnected = 2250;  // ERROR_NOT_CONNECTED
constexpr uint32_t kErrorTimeout = 1460;       // ERROR_TIMEOUT
// get_user_pass reads its reply into a work area of this size.
constexpr size_t kUserPassArea = 40;

bool Connected() { return g_core.connected == 1; }

bool UpgradePending() { return g_core.UpgradeState > 0; }

// The guards of the request exports: each reports why no request goes out.
bool BlockedByUpgrade() {
    if (!UpgradePending()) return false;
    ReportUpgradeState();
    return true;
}

bool NotConnected() {
    if (Connected()) return false;
    ReportMessage(kTrace, "INIT: Zorvet_Init not called or failed.");
    return true;
}

// One request and its reply; *replyResult gets the reply header's result, read
// under the request lock so that a request of another thread cannot replace it.
int Exchange(uint32_t command, uint32_t value, uint32_t result, const void* payload, uint32_t n,
             void* dest, size_t destSize, uint32_t* length, uint32_t* replyResult) {
    EnterCriticalSection(&g_core.requestLock);
    int ok = RequestReply(command, value, result, payload, n, dest, destSize, length);
    if (replyResult) *replyResult = g_core.LastReplyHeader.Result;
    LeaveCriticalSection(&g_core.requestLock);
    return ok;
}

int Exchange(uint32_t command, uint32_t* replyResult) {
    return Exchange(command, 0, 0, nullptr, 0, nullptr, 0, nullptr, replyResult);
}

// Logs how a request went, under the name of the function that sent it.
bool Traced(int ok, const char* name) {
    if (ok)
        ReportMessage(kTrace, "FUNC: %s out with success.", name);
    else
        ReportMessage(kTrace, "FUNC: %s net error", name);
    return ok != 0;
}

// A request whose reply is two words; both stay zero on a net error.
bool RequestWords(uint32_t command, const char* name, uint32_t (&words)[2]) {
    words[0] = words[1] = 0;
    return Traced(Exchange(command, 0, 0, nullptr, 0, words, sizeof words, nullptr, nullptr), name);
}

int InitOut(uint32_t result) {
    ReportMessage(kTrace, "FUNC: Zorvet_Init out with %u", result);
    return (int)result;
}

int StartOut(uint32_t result) {
    ReportMessage(kTrace, "FUNC: Zorvet_Start out with %u", result);
    return (int)result;
}

}  // namespace

// ---- internals ------------------------------------------------------------------

HINSTANCE get_main_instance() {
    ReportMessage(kTrace, "DLL : get_main_instance: %d", (int)(intptr_t)g_core.moduleInstance);
    return g_core.moduleInstance;
}

void SetStatusCallback(StateCallback cb) { g_core.stateCallback = cb; }

void SetCredentialsCallback(CredentialsCallback cb) { g_core.credentialsCallback = cb; }

// Minor version in the upper 16 bits, major in the lower; 0 when the library,
// its DllGetVersion or the call fails.
uint32_t GetShellVersion(const char* library) {
    HMODULE module = LoadLibraryA(library);
    if (module == nullptr) return 0;
    uint32_t packed = 0;
    DLLGETVERSIONPROC getVersion = (DLLGETVERSIONPROC)(void*)GetProcAddress(module, "DllGetVersion");
    if (getVersion != nullptr) {
        DLLVERSIONINFO info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        if (SUCCEEDED(getVersion(&info)))
            packed = ((info.dwMinorVersion & 0xFFFF) << 16) | (info.dwMajorVersion & 0xFFFF);
    }
    FreeLibrary(module);
    return packed;
}

int Zorvet_ReInit() {
    return Zorvet_Init(&g_core.savedConfig, g_core.messageCallback, g_core.stateCallback);
}

int get_user_pass(char* name, char* password) {
    if (name) name[0] = 0;
    if (password) password[0] = 0;
    if (NotConnected()) return 0;
    // The reply may fill the work area; one byte more for the terminating NUL.
    uint8_t area[kUserPassArea + 1];
    memset(area, 0, sizeof area);
    uint32_t length = 0;
    if (!Exchange(wire::CMD_GET_USER_PASS, 0, 0, nullptr, 0, area, kUserPassArea, &length,
                  nullptr)) {
        ReportMessage(kTrace, "FUNC: get_user_pass net error");
        return 0;
    }
    uint32_t nameLength = length >= 8 ? wire::GetU32(area) : 0;
    uint32_t passLength = length >= 8 ? wire::GetU32(area + 4) : 0;
    if (length < 8 || (uint64_t)nameLength + passLength + 8 != length) {
        ReportMessage(kTrace, "FUNC: get_user_pass data error.");
        return 0;
    }
    if (name) {
        memcpy(name, area + 8, nameLength);
        name[nameLength] = 0;
    }
    if (password) {
        memcpy(password, area + 8 + nameLength, passLength);
        password[passLength] = 0;
    }
    ReportMessage(kTrace, "FUNC: get_user_pass out with success.");
    return 1;
}

int get_remote_info(uint32_t* first, uint16_t* second) {
    if (first) *first = 0;
    if (second) *second = 0;
    if (NotConnected()) return 0;
    uint32_t words[2];
    if (!RequestWords(wire::CMD_GET_REMOTE_INFO, "get_remote_info", words)) return 0;
    if (first) *first = words[0];
    if (second) *second = (uint16_t)(words[1] & 0xFFFF);
    return 1;
}

int get_cert_info(char* text, size_t size) {
    if (text == nullptr || size == 0) return 0;
    text[0] = 0;
    if (NotConnected()) return 0;
    // A reply that would not leave room for the NUL is refused.
    uint32_t length = 0;
    int ok = Exchange(wire::CMD_GET_CERT_INFO, 0, 0, nullptr, 0, text, size - 1, &length, nullptr);
    if (!Traced(ok && length < size, "get_cert_info")) {
        text[0] = 0;
        return 0;
    }
    text[length] = 0;
    return 1;
}

int get_service_index() {
    if (NotConnected()) return (int)kNotConnected;
    uint32_t result = 0;
    if (!Exchange(wire::CMD_GET_SERVICE_INDEX, &result)) {
        ReportMessage(kTrace, "FUNC: get_service_index out");
        return 0;
    }
    return (int)result;
}

int Set_Trans_Data(uint32_t a, uint32_t b) {
    if (NotConnected()) return 0;
    int ok = Exchange(wire::CMD_SET_TRANS_DATA, a, b, nullptr, 0, nullptr, 0, nullptr, nullptr);
    return Traced(ok, "Set_Trans_Data") ? 1 : 0;
}

int Set_Trans_Band(uint32_t* first, uint32_t* second) {
    if (first) *first = 0;
    if (second) *second = 0;
    if (NotConnected()) return 0;
    uint32_t words[2];
    if (!RequestWords(wire::CMD_SET_TRANS_BAND, "Set_Trans_Band", words)) return 0;
    if (first) *first = words[0];
    if (second) *second = words[1];
    return 1;
}

int init_query(const void* data, uint32_t b) {
    if (NotConnected()) return 0;
    uint8_t payload[64];
    memset(payload, 0, sizeof payload);
    if (data) memcpy(payload, data, sizeof payload);
    int ok = Exchange(wire::CMD_INIT_QUERY, 0, b, payload, sizeof payload, nullptr, 0, nullptr,
                      nullptr);
    return Traced(ok, "init_query") ? 1 : 0;
}

// ---- exports ----------------------------------------------------------------------

extern "C" {

int Zorvet_Init(const InitConfig* config, MessageCallback onMessage, StateCallback onState) {
    if (onMessage == nullptr) {
        ReportMessage(kNotConnected, "INIT: none messenge callback set");
        return InitOut(kNotConnected);
    }
    ResetLastReportedError();
    SetMessageCallback(onMessage);
    if (onState == nullptr) {
        ReportMessage(kNotConnected, "INIT: none status callback set");
        return InitOut(kNotConnected);
    }
    g_core.stateCallback = onState;
    if (BlockedByUpgrade()) return InitOut(kUpgradePending);
    if (Connected()) return 0;
    if (config == nullptr) return InitOut(kNotConnected);
    if (config != &g_core.savedConfig) memcpy(&g_core.savedConfig, config, sizeof(InitConfig));
    const InitConfig& saved = g_core.savedConfig;

    ReportMessage(kTrace, "INFO: Instance Set %02x", (unsigned)(uintptr_t)g_core.moduleInstance);
    ReportMessage(kTrace, "FUNC: Zorvet_Init in");
    // Hostname may fill its 21 bytes without a NUL.
    ReportMessage(kTrace, "VAR: INIT Var Hostname (%.21s), Regname (%.23s), Version (%u), PartnerID (%u)",
                  saved.Hostname, saved.Regname, saved.Version, saved.PartnerID);

    uint32_t shell = GetShellVersion("shell32.dll");
    if ((shell & 0xFFFF) < 5) {
        ReportMessage(kShellTooOld,
                      "VERSION: The shell32.dll in the system is too lower(0x%1x). It must be upper to 5.0.",
                      shell);
        return InitOut(kShellTooOld);
    }

    DWORD state = QueryServiceState("ZorvetDaemon");
    if (state != kServiceRunning) {
        if (IsDaemonUpdaterRunning()) {
            ReportMessage(kUpgradePending, "INIT: Updater is running");
            return (int)kUpgradePending;
        }
        if (state != 0) {
            ReportMessage(kTrace, "Zorvet Daemon is not running");
            return (int)kServiceNotRunning;
        }
        ReportMessage(kTrace, "Zorvet Daemon not found");
        return (int)kServiceNotFound;
    }

    if (!dll_socket_init(wire::kDaemonPort)) return (int)kNotConnected;

    uint32_t result = 0;
    int ok = Exchange(wire::CMD_INIT, 0, 0, &saved, sizeof(InitConfig), nullptr, 0, nullptr,
                      &result);
    if (!Traced(ok, "Zorvet_Init")) {
        CloseDaemonSockets();
        return (int)kNotConnected;
    }
    if (result <= 4) {
        g_core.connected = 1;
    } else {
        CloseDaemonSockets();  // the service refused us
    }
    return (int)result;
}

int Zorvet_Start(const LoginRecord* login, CredentialsCallback onCredentials) {
    ReportMessage(kTrace, "FUNC: Zorvet_Start in");
    if (BlockedByUpgrade()) return StartOut(kUpgradePending);
    if (NotConnected()) return StartOut(kNotConnected);
    if (login == nullptr) return StartOut(kNotConnected);
    if (login->AutoAccount != 0) {
        if (onCredentials == nullptr) {
            ReportMessage(kNotConnected, "INIT: none account callback set");
            return StartOut(kNotConnected);
        }
        g_core.credentialsCallback = onCredentials;
    } else {
        g_core.credentialsCallback = nullptr;
    }
    uint32_t result = 0;
    int ok = Exchange(wire::CMD_START, 0, 0, login, sizeof(LoginRecord), nullptr, 0, nullptr,
                      &result);
    return Traced(ok, "Zorvet_Start") ? (int)result : 0;
}

void Zorvet_Stop(void) {
    ReportMessage(kTrace, "FUNC: Zorvet_Stop in");
    if (BlockedByUpgrade() || NotConnected()) return;
    Traced(Exchange(wire::CMD_STOP, nullptr), "Zorvet_Stop");
}

void Zorvet_Clear(void) {
    ReportMessage(kTrace, "FUNC: Zorvet_Clear in");
    if (BlockedByUpgrade() || NotConnected()) return;
    Zorvet_Stop();
    Traced(Exchange(wire::CMD_CLEAR, nullptr), "Zorvet_Clear");
    CloseDaemonSockets();
    g_core.connected = 0;
}

int Zorvet_ErrNo(void) {
    ReportMessage(kTrace, "FUNC: Zorvet_ErrNo in");
    if (BlockedByUpgrade()) return (int)kUpgradePending;
    if (NotConnected()) return (int)kNotConnected;
    uint32_t result = 0;
    return Traced(Exchange(wire::CMD_ERRNO, &result), "Zorvet_ErrNo") ? (int)result : 0;
}

uint32_t Zorvet_GetDllVersion(void) { return CORE_PACKED_VERSION; }

int Zorvet_GetDllVersionString(char* buffer) {
    if (buffer == nullptr) return 0;
    FormatVersion(CORE_PACKED_VERSION, buffer);
    return 1;
}

uint32_t Zorvet_GetCoreVersion(void) {
    ReportMessage(kTrace, "FUNC: Zorvet_GetCoreVersion in");
    if (BlockedByUpgrade()) return kUpgradePending;
    if (NotConnected()) return kNotConnected;
    uint32_t result = 0;
    EnterCriticalSection(&g_core.requestLock);
    memset(&g_core.LastReplyHeader, 0, sizeof g_core.LastReplyHeader);
    int ok = Exchange(wire::CMD_GET_CORE_VERSION, &result);
    LeaveCriticalSection(&g_core.requestLock);
    return Traced(ok, "Zorvet_GetCoreVersion") ? result : kCoreVersionNetError;
}

int Zorvet_GetCoreVersionString(char* buffer) {
    if (buffer == nullptr) return 0;
    uint32_t version = Zorvet_GetCoreVersion();
    if (version == kNotConnected || version == kUpgradePending || version == kCoreVersionNetError)
        return 0;
    FormatVersion(version, buffer);
    return 1;
}

int Zorvet_Get_RedInfo(uint32_t* first, uint32_t* second) {
    if (first) *first = 0;
    if (second) *second = 0;
    if (BlockedByUpgrade() || NotConnected()) return 0;
    uint32_t words[2];
    if (!RequestWords(wire::CMD_GET_RED_INFO, "Zorvet_Get_RedInfo", words)) return 0;
    if (first) *first = words[0];
    if (second) *second = words[1];
    return 1;
}

int Zorvet_Get_QueryData(QueryData* data) {
    if (BlockedByUpgrade() || NotConnected()) return 0;
    QueryData reply;
    memset(&reply, 0, sizeof reply);
    int ok = Exchange(wire::CMD_GET_QUERY_DATA, 0, 0, nullptr, 0, &reply, sizeof reply, nullptr,
                      nullptr);
    if (!Traced(ok, "Zorvet_Get_QueryData")) return 0;
    if (data) memcpy(data, &reply, sizeof reply);
    return 1;
}

int Zorvet_Proc_GetCount(void) {
    if (UpgradePending()) return 0;
    if (NotConnected()) return (int)kNotConnected;
    uint32_t result = 0;
    if (!Exchange(wire::CMD_PROC_GET_COUNT, &result)) {
        ReportMessage(kTrace, "FUNC: Zorvet_Proc_GetCount out");
        return 0;
    }
    ReportMessage(kTrace, "FUNC: Zorvet_Proc_GetCount out with success.");
    return (int)result;
}

ProcInfo* Zorvet_Proc_GetInfo(void) {
    if (UpgradePending()) return nullptr;
    if (NotConnected()) return nullptr;
    int count = Zorvet_Proc_GetCount();
    if (count <= 0) return nullptr;
    // Zeroed, so records the reply does not fill read as empty; calloc also
    // refuses a count whose byte size would not fit.
    ProcInfo* list = (ProcInfo*)calloc((size_t)count, kProcInfoSize);
    if (list == nullptr) {
        ReportMessage(kTrace, "FUNC: Zorvet_Proc_GetInfo net error");
        return nullptr;
    }
    // The count may have changed since: a reply longer than the block is refused.
    int ok = Exchange(wire::CMD_PROC_GET_INFO, 0, 0, nullptr, 0, list,
                      (size_t)count * kProcInfoSize, nullptr, nullptr);
    if (!Traced(ok, "Zorvet_Proc_GetInfo")) {
        free(list);
        return nullptr;
    }
    return list;
}

int Zorvet_Proc_Kill(void) {
    if (BlockedByUpgrade()) return (int)kUpgradePending;
    if (NotConnected()) return (int)kNotConnected;
    uint32_t result = 0;
    return Traced(Exchange(wire::CMD_PROC_KILL, &result), "Zorvet_Proc_Kill") ? (int)result : 0;
}

uint32_t Zorvet_Set_Registry_Value(uint32_t root, const char* subkey, const char* name,
                                   uint32_t operation, uint32_t type, const void* data,
                                   uint32_t length) {
    if (root == 0 || name == nullptr) return kErrorInvalidParameter;
    const bool set = operation == 0;
    if (set && (data == nullptr || length == 0)) return kErrorInvalidParameter;
    // The block is 544 + length bytes for a delete too; it must fit one packet.
    if (length > kRegistryMaxData) return kErrorInvalidParameter;

    size_t size = kRegistryRequestFixed + length;
    uint8_t* request = (uint8_t*)calloc(1, size);
    if (request == nullptr) return kErrorOutOfMemory;
    wire::PutU32(request + 0, root);
    wire::PutU32(request + 8, operation);
    if (set) {
        wire::PutU32(request + 12, type);
        wire::PutU32(request + 16, length);
        memcpy(request + kRegistryDataOffset, data, length);
    }
    CopyTextN((char*)request + kRegistrySubkeyOffset, subkey, kRegistryTextSize);
    CopyTextN((char*)request + kRegistryNameOffset, name, kRegistryTextSize);

    uint32_t result = 0;
    int ok = Exchange(wire::CMD_SET_REGISTRY_VALUE, 0, 0, request, (uint32_t)size, nullptr, 0,
                      nullptr, &result);
    free(request);
    if (!ok) return Connected() ? kErrorTimeout : kErrorNotConnected;
    return result;
}

}  // extern "C"
