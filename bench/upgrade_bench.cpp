// CPU time of the core upgrade worker over its longest wait (the service does
// not come back, no datagram arrives: both waits run to their time-out), as a
// ratio to a poll loop without a pause (service state and PumpMessages back to
// back) running for the same wall time in the same process. GetThreadTimes of
// each thread.
//   bench_upgrade [second-wait-ms]      (default 5000; the first wait is 1000)
// bench/upgrade_bench.py runs it in a test bed with ZorvetDaemon stopped.
#include <stdio.h>
#include <stdlib.h>

#include "bench_util.h"
#include "core.h"
#include "test_seams.h"

namespace {

HANDLE s_worker;

void TakeWorkerHandle() {
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &s_worker, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
}

// Kernel plus user time of a thread, in milliseconds.
double CpuMs(HANDLE thread) {
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(thread, &created, &ended, &kernel, &user)) return -1;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

// Pumps this thread's messages (the helper window) until the thread ends; its
// CPU time, sampled while it runs (Wine reads the times of a live thread only).
double PumpUntil(HANDLE thread) {
    double cpu = 0;
    for (;;) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        double now = CpuMs(thread);
        if (now > cpu) cpu = now;
        if (MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) {
            now = CpuMs(thread);
            return now > cpu ? now : cpu;
        }
    }
}

volatile DWORD s_loopMs;
volatile LONG s_loopPolls;

// What the waits would cost without a pause between polls.
DWORD WINAPI UnpacedLoop(void*) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < s_loopMs) {
        PumpMessages();
        if (QueryServiceState("ZorvetDaemon") == 4) break;
        if (InterlockedCompareExchange(&g_core.UpdaterSignal, 0, 0) >= SIGNAL_FAILED) break;
        InterlockedIncrement(&s_loopPolls);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    DWORD secondMs = argc > 1 ? (DWORD)atoi(argv[1]) : 5000;
    if (secondMs == 0) secondMs = 5000;
    const DWORD firstMs = 1000;
    WSADATA wsa;
    WSAStartup(0x0202, &wsa);
    if (!CreateHelperWindow()) {
        printf("no helper window\n");
        return 1;
    }
    SetUpgradeWaitsForTest(firstMs, secondMs);
    SetUpgradeWorkerHookForTest(TakeWorkerHandle);

    LatestVersionInfo info = {};
    info.CoreUpgrade = 1;
    g_core.clientIndex = 40;
    double t0 = Now();
    start_upgrade(&info);
    for (int i = 0; i < 500 && s_worker == nullptr; ++i) Sleep(1);
    if (s_worker == nullptr) {
        printf("upgrade worker did not start\n");
        return 1;
    }
    double worker = PumpUntil(s_worker);
    double wall = Now() - t0;
    CloseHandle(s_worker);

    s_loopMs = (DWORD)(wall * 1000);
    HANDLE loop = CreateThread(nullptr, 0, UnpacedLoop, nullptr, 0, nullptr);
    double baseline = PumpUntil(loop);
    CloseHandle(loop);

    printf("upgrade worker, waits %lu + %lu ms: wall %.2f s, cpu %.1f ms (%.2f%% of a core)\n",
           (unsigned long)firstMs, (unsigned long)secondMs, wall, worker,
           wall > 0 ? worker / (wall * 10.0) : 0.0);
    printf("unpaced poll loop, same wall time: cpu %.1f ms, %ld service queries\n", baseline,
           (long)s_loopPolls);
    printf("ratio (upgrade worker/unpaced poll loop, cpu in the same wall time): %.4f\n", baseline > 0 ? worker / baseline : 0.0);
    return 0;
}
