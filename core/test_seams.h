// Test-only settings of the core library's link to the service. Nothing in the
// product calls these; the defaults stay the product's own.
#ifndef ZORVET_CORE_TEST_SEAMS_H
#define ZORVET_CORE_TEST_SEAMS_H

#include <windows.h>

// Keep-alive period for the next dll_socket_init (0 restores kKeepAliveMs).
void SetKeepAliveIntervalForTest(UINT ms);

// Replaces the popup call of ShowPromptNote (null restores nw_ShowTextNote).
typedef void (*PromptNoteSink)(const char* title, const char* text, const char* url, int seconds);
void SetPromptNoteSinkForTest(PromptNoteSink sink);

// Waits of the core upgrade watch for the next worker: for the updater's first
// datagram and for the service to run again (0 restores 15000 / 180000 ms).
void SetUpgradeWaitsForTest(DWORD firstMs, DWORD secondMs);
// Called on the upgrade worker's thread as it starts (null: nothing).
typedef void (*UpgradeWorkerHook)(void);
void SetUpgradeWorkerHookForTest(UpgradeWorkerHook hook);

#endif
