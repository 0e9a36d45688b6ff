/*
 * Zorvet_Core public interface: the records that cross the library boundary (and
 * go to the service unchanged), the callback types and the fifteen exports.
 * Plain C, packed little-endian records, cdecl, undecorated names.
 */
#ifndef ZORVET_CORE_H
#define ZORVET_CORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ZORVET_CORE_BUILD)
#define ZORVET_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(ZORVET_CORE_STATIC)
#define ZORVET_API __declspec(dllimport)
#else
#define ZORVET_API
#endif

#pragma pack(push, 1)

/* Given to Zorvet_Init and sent as the payload of CMD_INIT. */
typedef struct InitConfig {
    char Hostname[21];   /* redirect-server name, NUL-padded (21 chars: no NUL) */
    char Regname[23];    /* edition name, "OVIK" */
    uint32_t Version;    /* client program PackedVersion */
    uint32_t PartnerID;  /* partner number, 119 */
} InitConfig;

/* Given to Zorvet_Start and sent as the payload of CMD_START. */
typedef struct LoginRecord {
    char UserName[41];
    char Password[131];
    uint32_t AutoAccount;  /* non-zero: the service picks the account (CredentialsCallback) */
    uint32_t ServiceMask;  /* 1 << (service index % 32) */
} LoginRecord;

/* Status record of CMD_GET_QUERY_DATA; the library does not look inside. */
typedef struct QueryData {
    uint32_t ID;           /* account number */
    uint32_t Status;       /* 0x08 no account display, 0x10 end date, 0x20 by time; bits 10-12 type */
    uint32_t Time;         /* remaining paid minutes */
    char Date[11];         /* end date "yyyy-mm-dd", NUL-padded */
    char IP[17];           /* assigned IPv4 address, dotted, NUL-padded */
    uint32_t Start;        /* connection start, seconds since 1970 */
    uint32_t ConnectTime;  /* seconds connected */
    uint32_t Recv;         /* bytes received by the service from this computer */
    uint32_t Out;          /* bytes the service sent to this computer */
    float RecvRate;        /* KB/s paired with Recv */
    float OutRate;         /* KB/s paired with Out */
} QueryData;

/* One conflicting program, as CMD_PROC_GET_INFO carries it. */
typedef struct ProcInfo {
    uint32_t Unused;
    uint32_t Pid;
    char Path[261];
    char Name[43];
} ProcInfo;

#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(InitConfig) == 52, "InitConfig is 52 bytes");
static_assert(sizeof(LoginRecord) == 180, "LoginRecord is 180 bytes");
static_assert(sizeof(QueryData) == 64, "QueryData is 64 bytes");
static_assert(sizeof(ProcInfo) == 312, "ProcInfo is 312 bytes");
#else
_Static_assert(sizeof(InitConfig) == 52, "InitConfig is 52 bytes");
_Static_assert(sizeof(LoginRecord) == 180, "LoginRecord is 180 bytes");
_Static_assert(sizeof(QueryData) == 64, "QueryData is 64 bytes");
_Static_assert(sizeof(ProcInfo) == 312, "ProcInfo is 312 bytes");
#endif

/* Connection states of StateCallback and of a successful Zorvet_Init. */
enum { ZORVET_STATE_IDLE = 1, ZORVET_STATE_CONNECTING = 2, ZORVET_STATE_CONNECTED = 3,
       ZORVET_STATE_DISCONNECTING = 4 };

typedef void (*MessageCallback)(uint32_t code, const char* text);
typedef void (*StateCallback)(int state);
typedef void (*CredentialsCallback)(const char* name, const char* password);

ZORVET_API int Zorvet_Init(const InitConfig* config, MessageCallback onMessage, StateCallback onState);
ZORVET_API int Zorvet_Start(const LoginRecord* login, CredentialsCallback onCredentials);
ZORVET_API void Zorvet_Stop(void);
ZORVET_API void Zorvet_Clear(void);
ZORVET_API int Zorvet_ErrNo(void);
ZORVET_API uint32_t Zorvet_GetDllVersion(void);
ZORVET_API int Zorvet_GetDllVersionString(char* buffer);
ZORVET_API uint32_t Zorvet_GetCoreVersion(void);
ZORVET_API int Zorvet_GetCoreVersionString(char* buffer);
ZORVET_API int Zorvet_Get_RedInfo(uint32_t* first, uint32_t* second);
ZORVET_API int Zorvet_Get_QueryData(QueryData* data);
ZORVET_API int Zorvet_Proc_GetCount(void);
ZORVET_API ProcInfo* Zorvet_Proc_GetInfo(void);
ZORVET_API int Zorvet_Proc_Kill(void);
ZORVET_API uint32_t Zorvet_Set_Registry_Value(uint32_t root, const char* subkey, const char* name,
                                              uint32_t operation, uint32_t type, const void* data,
                                              uint32_t length);

#ifdef __cplusplus
}
#endif

#endif
