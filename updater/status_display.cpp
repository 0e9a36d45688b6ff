#include "status_display.h"

#include <stdio.h>

namespace {
IUpdateDisplay* g_display = NULL;
}

void SetUpdateDisplay(IUpdateDisplay* display) { g_display = display; }
IUpdateDisplay* GetUpdateDisplay() { return g_display; }

void CConsoleDisplay::SetStatusText(LPCSTR text) {
    printf("STATUS %s\n", text ? text : "");
    fflush(stdout);
}

void CConsoleDisplay::SetFileProgress(int position, int range) {
    // Once per received block: only the start of a transfer is printed.
    ++m_nFileCalls;
    if (position == 0 || range > 0) {
        printf("FILE %d %d\n", position, range);
        fflush(stdout);
    }
}

void CConsoleDisplay::SetTotalProgress(int position, int range) {
    printf("TOTAL %d %d\n", position, range);
    fflush(stdout);
}

void CConsoleDisplay::SetLatestVersion(LPCSTR version) {
    printf("LATEST %s\n", version ? version : "");
    fflush(stdout);
}
