// Stop and start of the accelerator service for daemon-mode updates. All texts
// go to the update log only.
#include "environment.h"
#include "updater_app.h"

#include <stdlib.h>

namespace {

const DWORD kServiceTimeoutMs = 30000;

// Waits are a tenth of the service's hint, held within 1 .. 10 seconds, so that
// neither a zero nor a huge hint makes the loop spin or stall.
DWORD PollInterval(DWORD waitHint) {
    DWORD wait = waitHint / 10;
    if (wait < 1000)
        wait = 1000;
    if (wait > 10000)
        wait = 10000;
    return wait;
}

// Closes a service handle when it goes out of scope.
struct ScHandle {
    SC_HANDLE h;
    explicit ScHandle(SC_HANDLE handle) : h(handle) {}
    ~ScHandle() {
        if (h)
            CloseServiceHandle(h);
    }
    ScHandle(const ScHandle&) = delete;
    void operator=(const ScHandle&) = delete;
};

}  // namespace

BOOL stop_dependent_services(SC_HANDLE manager, SC_HANDLE service) {
    DWORD start = GetTickCount();
    DWORD needed = 0, count = 0;
    if (EnumDependentServicesA(service, SERVICE_ACTIVE, NULL, 0, &needed, &count))
        return TRUE;
    if (GetLastError() != ERROR_MORE_DATA)
        return FALSE;
    ENUM_SERVICE_STATUSA* list =
        (ENUM_SERVICE_STATUSA*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed);
    if (!list)
        return FALSE;
    BOOL result = FALSE;
    if (EnumDependentServicesA(service, SERVICE_ACTIVE, list, needed, &needed, &count)) {
        for (DWORD i = 0; i < count; i++) {
            ScHandle dependent(OpenServiceA(manager, list[i].lpServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS));
            if (!dependent.h)
                continue;
            SERVICE_STATUS status;
            if (!ControlService(dependent.h, SERVICE_CONTROL_STOP, &status))
                continue;
            result = TRUE;
            while (status.dwCurrentState != SERVICE_STOPPED) {
                Sleep(PollInterval(status.dwWaitHint));
                if (!QueryServiceStatus(dependent.h, &status) || GetTickCount() - start > kServiceTimeoutMs) {
                    result = FALSE;
                    break;
                }
            }
        }
    }
    HeapFree(GetProcessHeap(), 0, list);
    return result;
}

BOOL service_stop(LPCSTR name) {
    DWORD start = GetTickCount();
    ScHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS));
    if (!manager.h) {
        WriteLogF(FALSE, "PCL: OpenSCManager failed (%ld)", (long)GetLastError());
        return FALSE;
    }
    ScHandle service(
        OpenServiceA(manager.h, name, SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS));
    if (!service.h) {
        WriteLogF(FALSE, "PCL: OpenService failed (%ld)\n", (long)GetLastError());
        return FALSE;
    }
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service.h, &status)) {
        WriteLogF(FALSE, "PCL: QueryServiceStatus failed (%ld)\n", (long)GetLastError());
        return FALSE;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        WriteLogF(FALSE, "PCL: Service is already stopped.\n");
        return TRUE;
    }
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        WriteLogF(FALSE, "PCL: Service stop pending...\n");
        Sleep(PollInterval(status.dwWaitHint));
        if (!QueryServiceStatus(service.h, &status)) {
            WriteLogF(FALSE, "PCL: QueryServiceStatus failed (%ld)\n", (long)GetLastError());
            return FALSE;
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            WriteLogF(FALSE, "PCL: Service stopped successfully.\n");
            return TRUE;
        }
        if (GetTickCount() - start > kServiceTimeoutMs) {
            WriteLogF(FALSE, "PCL: Service stop timed out.\n");
            return FALSE;
        }
    }
    stop_dependent_services(manager.h, service.h);
    if (!ControlService(service.h, SERVICE_CONTROL_STOP, &status)) {
        WriteLogF(FALSE, "PCL: ControlService failed (%ld)\n", (long)GetLastError());
        return FALSE;
    }
    while (status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(PollInterval(status.dwWaitHint));
        if (!QueryServiceStatus(service.h, &status)) {
            WriteLogF(FALSE, "PCL: QueryServiceStatus failed (%ld)\n", (long)GetLastError());
            return FALSE;
        }
        if (status.dwCurrentState == SERVICE_STOPPED)
            break;
        if (GetTickCount() - start > kServiceTimeoutMs) {
            WriteLogF(FALSE, "PCL: Service stop timed out.\n");
            return FALSE;
        }
    }
    WriteLogF(FALSE, "PCL: Service stopped successfully\n");
    return TRUE;
}

// Returns TRUE only once the service reports that it runs: the caller reports
// the update as done only then.
BOOL service_start(LPCSTR name) {
    WriteLogF(FALSE, "service_start");
    ScHandle manager(OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS));
    if (!manager.h) {
        WriteLogF(FALSE, "OpenSCManager failed: (%ld)", (long)GetLastError());
        return FALSE;
    }
    ScHandle service(OpenServiceA(manager.h, name, SERVICE_ALL_ACCESS));
    if (!service.h) {
        WriteLogF(FALSE, "OpenService failed: (%ld)", (long)GetLastError());
        return FALSE;
    }
    SERVICE_STATUS status;
    if (QueryServiceStatus(service.h, &status)) {
        if (status.dwCurrentState != SERVICE_STOPPED && status.dwCurrentState != SERVICE_STOP_PENDING) {
            WriteLogF(FALSE, "Service %s is already running", name);
            return TRUE;
        }
        DWORD lastAdvance = GetTickCount();
        DWORD checkPoint = status.dwCheckPoint;
        while (status.dwCurrentState == SERVICE_STOP_PENDING) {
            Sleep(PollInterval(status.dwWaitHint));
            if (!QueryServiceStatus(service.h, &status)) {
                WriteLogF(FALSE, "QueryServiceStatus failed (%d)", (int)GetLastError());
                return FALSE;
            }
            if (status.dwCheckPoint > checkPoint) {
                checkPoint = status.dwCheckPoint;
                lastAdvance = GetTickCount();
            } else if (GetTickCount() - lastAdvance > status.dwWaitHint) {
                WriteLogF(FALSE, "Timeout waiting for service to stop");
                return FALSE;
            }
        }
    }
    if (!StartServiceA(service.h, 0, NULL)) {
        WriteLogF(FALSE, "StartService failed: (%ld)", (long)GetLastError());
        return FALSE;
    }
    WriteLogF(FALSE, "Service %s started", name);
    DWORD start = GetTickCount();
    for (;;) {
        if (!QueryServiceStatus(service.h, &status)) {
            WriteLogF(FALSE, "QueryServiceStatus failed (%d)", (int)GetLastError());
            return FALSE;
        }
        if (status.dwCurrentState == SERVICE_RUNNING)
            return TRUE;
        if (status.dwCurrentState != SERVICE_START_PENDING || GetTickCount() - start > kServiceTimeoutMs) {
            WriteLogF(FALSE, "Service %s did not reach the running state (%lu)", name,
                      (unsigned long)status.dwCurrentState);
            return FALSE;
        }
        Sleep(200);
    }
}
