// A library with the shell's DllGetVersion entry, reporting FAKE_MAJOR.FAKE_MINOR
// (or failing when FAKE_FAIL is set), for the shell version check.
#include <windows.h>
#include <shlwapi.h>

extern "C" __declspec(dllexport) HRESULT CALLBACK DllGetVersion(DLLVERSIONINFO* info) {
#ifdef FAKE_FAIL
    (void)info;
    return E_FAIL;
#else
    if (info == nullptr || info->cbSize != 20) return E_INVALIDARG;
    info->dwMajorVersion = FAKE_MAJOR;
    info->dwMinorVersion = FAKE_MINOR;
    return S_OK;
#endif
}
