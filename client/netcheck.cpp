// Network check: with auto-connect on, reports when the network comes up.
// The probing thread comes later; until then the check only records its
// caller and never reports a change.
#include "app.h"
#include "utils.h"

namespace {

NetcheckCallbackFn NetcheckCallback = nullptr;
char NetcheckHost[21];
int NetcheckRunning = 0;

}  // namespace

void StartNetcheck(NetcheckCallbackFn callback, const char* host) {
    if (NetcheckRunning) {
        MsgBox(0x10003, "THREAD: Netcheck already run (%u)", 0u);
        return;
    }
    NetcheckRunning = 1;
    NetcheckCallback = callback;
    CopyText(NetcheckHost, host);
    MsgBox(0x10003, "THREAD: Netcheck run (%u)", 0u);
}

void StopNetcheck() {
    if (!NetcheckRunning) {
        MsgBox(0x10003, "THREAD: Netcheck closed before");
        return;
    }
    MsgBox(1, "THREAD: Netcheck closed (%u)", 0u);
    NetcheckRunning = 0;
    NetcheckCallback = nullptr;
    NetcheckHost[0] = 0;
}
