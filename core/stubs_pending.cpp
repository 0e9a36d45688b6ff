// Placeholders so that the library links while its parts are written; each part
// removes its entries from here as it lands. (Temporary file.)
#include "core.h"
#include "notes.h"
#include "pending.h"

#ifndef HAVE_ROUTING
CoreState g_core = {INVALID_SOCKET, INVALID_SOCKET};
void ReportMessage(uint32_t, const char*, ...) {}
void SetMessageCallback(MessageCallback cb) { g_core.messageCallback = cb; }
void SetDebugCallback(MessageCallback cb) { g_core.debugCallback = cb; }
void ResetLastReportedError() { g_core.lastReportedError = 0; }
uint32_t GetLastReportedError() { return g_core.lastReportedError; }
void NotifyMessageCallback(uint32_t, const char*) {}
#endif
#ifndef HAVE_PROTOCOL
int dll_socket_init(uint16_t) { return 0; }
void CloseDaemonSockets() {}
int RequestReply(uint32_t, uint32_t, uint32_t, const void*, uint32_t, void*, size_t, uint32_t*) { return 0; }
int SendPacket(int, SOCKET, const sockaddr_in*, uint32_t, uint32_t, uint32_t, const void*, uint32_t) { return 0; }
int WaitReply(SOCKET, uint32_t, PacketHeader*, void*, size_t, uint32_t*) { return 0; }
void PumpMessages() {}
#endif
#ifndef HAVE_NOTIFICATIONS
int DispatchNotification(const uint8_t*, int) { return 0; }
#endif
#ifndef HAVE_UPGRADE
void OnUpgradeSocket() {}
void OnReinitTimer() {}
void start_upgrade(const LatestVersionInfo*) {}
void ReportUpgradeState() {}
DWORD QueryServiceState(const char*) { return 0; }
int IsDaemonUpdaterRunning() { return 0; }
#endif
#ifndef HAVE_HTTP_FETCH
char* FetchUrl(const char*, int* size) { if (size) *size = 0; return nullptr; }
#endif
#ifndef HAVE_NOTES
void nw_ShowTextNote(uint32_t, const char*, const char*, const char*, int, HINSTANCE, const char*,
                     int, const RECT*, const RECT*, const RECT*) {}
void nw_ShowImageNote2(uint32_t, const char*, const char*, int, HINSTANCE, const char*, int, int,
                       int, int, int) {}
#endif
#ifndef HAVE_EXPORTS
extern "C" {
int Zorvet_Init(const InitConfig*, MessageCallback, StateCallback) { return 0x50000A0A; }
int Zorvet_Start(const LoginRecord*, CredentialsCallback) { return 0x50000A0A; }
void Zorvet_Stop(void) {}
void Zorvet_Clear(void) {}
int Zorvet_ErrNo(void) { return 0x50000A0A; }
uint32_t Zorvet_GetDllVersion(void) { return 0x1071024B; }
int Zorvet_GetDllVersionString(char*) { return 0; }
uint32_t Zorvet_GetCoreVersion(void) { return 0x50000A0A; }
int Zorvet_GetCoreVersionString(char*) { return 0; }
int Zorvet_Get_RedInfo(uint32_t*, uint32_t*) { return 0; }
int Zorvet_Get_QueryData(QueryData*) { return 0; }
int Zorvet_Proc_GetCount(void) { return 0; }
ProcInfo* Zorvet_Proc_GetInfo(void) { return nullptr; }
int Zorvet_Proc_Kill(void) { return 0; }
uint32_t Zorvet_Set_Registry_Value(uint32_t, const char*, const char*, uint32_t, uint32_t,
                                   const void*, uint32_t) { return 87; }
}
#endif
