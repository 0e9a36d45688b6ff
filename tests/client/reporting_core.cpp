// Zorvet_Core.dll for the end-to-end tests of ovik_acc: the real library,
// renamed zorvet_core_real.dll beside it, with one difference: a login that
// the service refuses is also reported through the MessageCallback, on the
// calling thread and before Zorvet_Start returns, as the library reports an
// export's own failures. The program must cope with a message (and its box)
// that arrives inside one of its requests.
#include <windows.h>

#define ZORVET_CORE_STATIC  // exported by the .def file
#include "zorvet_core.h"

namespace {

MessageCallback g_report = nullptr;

FARPROC Real(const char* name) {
    static HMODULE real = LoadLibraryA("zorvet_core_real.dll");
    return real ? GetProcAddress(real, name) : nullptr;
}

}  // namespace

extern "C" {

int Zorvet_Init(const InitConfig* config, MessageCallback onMessage, StateCallback onState) {
    g_report = onMessage;
    auto init = (int (*)(const InitConfig*, MessageCallback, StateCallback))Real("Zorvet_Init");
    return init ? init(config, onMessage, onState) : 0x50000A0A;
}

int Zorvet_Start(const LoginRecord* login, CredentialsCallback onCredentials) {
    auto start = (int (*)(const LoginRecord*, CredentialsCallback))Real("Zorvet_Start");
    int result = start ? start(login, onCredentials) : 0x50000A0A;
    if (result != 0 && g_report) g_report((uint32_t)result, "AUTH: the service refused the login.");
    return result;
}

}  // extern "C"
