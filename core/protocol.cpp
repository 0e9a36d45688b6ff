// Local protocol with the accelerator service.
#include "core.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
CoreState g_core = {INVALID_SOCKET, INVALID_SOCKET};  // the rest starts zeroed
#pragma GCC diagnostic pop

namespace {
struct InitCoreState {
    InitCoreState() {
        InitializeCriticalSection(&g_core.requestLock);
        g_core.upgradeSocket = INVALID_SOCKET;
        wire::AssemblerReset(&g_core.tcpStream);
    }
} s_initCoreState;
}  // namespace
