// Entry point of Zorvet_Core.dll: remembers the library's own module, which the
// notes load their skins from.
#include "core.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (g_core.moduleInstance == nullptr) g_core.moduleInstance = instance;
        break;
    case DLL_PROCESS_DETACH:
        g_core.moduleInstance = nullptr;
        break;
    default:
        break;
    }
    return TRUE;
}
