// ZorvetDaemon.exe: the stand-in accelerator service.
//
//   ZorvetDaemon.exe [-console] [-idle] [-control PORT] [-scenario FILE] [-log FILE] [-gap MS]
//
// Without -console it is a Windows service ("ZorvetDaemon") started by the
// service manager; options come from its command line (binPath) and from the
// start arguments. -idle reports SERVICE_RUNNING but leaves 63872 alone, so a
// scripted peer of the tests can own the port. The control channel is described
// in control.cpp.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "standin.h"
#include "utils.h"

using namespace standin;

static const char kServiceName[] = "ZorvetDaemon";
static SERVICE_STATUS_HANDLE g_statusHandle;
static SERVICE_STATUS g_status;

static void ReportStatus(DWORD state, DWORD exitCode) {
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    g_status.dwWin32ExitCode = exitCode;
    g_status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
    g_status.dwCheckPoint = g_status.dwWaitHint ? g_status.dwCheckPoint + 1 : 0;
    if (g_statusHandle) SetServiceStatus(g_statusHandle, &g_status);
}

// Options from an argument list; unknown arguments are logged and skipped.
static void ParseOptions(Options* o, int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        const char* a = argv[i];
        bool more = i + 1 < argc;
        if (_stricmp(a, "-console") == 0) o->console = true;
        else if (_stricmp(a, "-idle") == 0) o->idle = true;
        else if (_stricmp(a, "-control") == 0 && more) o->controlPort = (uint16_t)atoi(argv[++i]);
        else if (_stricmp(a, "-scenario") == 0 && more) CopyText(o->scenario, argv[++i]);
        else if (_stricmp(a, "-log") == 0 && more) CopyText(o->logFile, argv[++i]);
        else if (_stricmp(a, "-gap") == 0 && more) o->gapMs = (uint32_t)atoi(argv[++i]);
        else Log("argument \"%s\" ignored", a);
    }
}

// Sets up, runs until stopped, tears down. Reports to the service manager on the way.
static int Serve() {
    Daemon* d = &g_daemon;
    ResetDemo(d);
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        Log("WSAStartup failed");
        return 1;
    }
    if (d->opt.scenario[0]) RunScenario(d, d->opt.scenario);
    if (!OpenSockets(d)) {
        CloseSockets(d);
        WSACleanup();
        return 2;
    }
    ReportStatus(SERVICE_RUNNING, NO_ERROR);
    Log("running (pid %lu)%s", GetCurrentProcessId(), d->opt.idle ? ", idle" : "");
    int rc = RunLoop(d);
    WSACleanup();
    return rc;
}

static DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        ReportStatus(SERVICE_STOP_PENDING, NO_ERROR);
        InterlockedExchange(&g_daemon.stopRequested, 1);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

static void WINAPI ServiceMain(DWORD argc, char** argv) {
    g_statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, ControlHandler, nullptr);
    if (!g_statusHandle) return;
    // argv[0] is the service name; the rest are the start arguments.
    if (argc > 1) ParseOptions(&g_daemon.opt, (int)argc - 1, argv + 1);
    ReportStatus(SERVICE_START_PENDING, NO_ERROR);
    int rc = Serve();  // 1 Winsock, 2 a port is taken
    g_status.dwServiceSpecificExitCode = (DWORD)rc;
    ReportStatus(SERVICE_STOPPED, rc == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR);
}

static BOOL WINAPI ConsoleHandler(DWORD) {
    InterlockedExchange(&g_daemon.stopRequested, 1);
    return TRUE;
}

int main(int argc, char** argv) {
    Options* o = &g_daemon.opt;
    o->controlPort = kControlPort;
    o->gapMs = 400;
    ParseOptions(o, argc - 1, argv + 1);
    if (o->console) {
        SetConsoleCtrlHandler(ConsoleHandler, TRUE);
        return Serve();
    }
    SERVICE_TABLE_ENTRYA table[] = {{(char*)kServiceName, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        fprintf(stderr, "ZorvetDaemon: not started as a service (%lu); use -console to run it here\n",
                GetLastError());
        return 1;
    }
    return 0;
}
