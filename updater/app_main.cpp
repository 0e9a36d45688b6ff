// updater.exe: start-up (command line, environment, single instance), the
// progress dialog, and the self-replacement batch after it has closed.
#include "environment.h"
#include "updater_app.h"

#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>

#include "utils.h"

class CUpdaterApp : public CWinApp {
public:
    BOOL InitInstance() override;
};

CUpdaterApp theApp;

namespace {

// The window class of dialog 102: the standard dialog class under our name.
void RegisterUpdaterClass() {
    WNDCLASSA wc;
    if (!GetClassInfoA(NULL, "#32770", &wc))
        return;
    wc.hInstance = AfxGetInstanceHandle();
    wc.lpszClassName = kUpdaterWindowClass;
    RegisterClassA(&wc);
}

// Closes an updater of the same mode; FALSE when the start-up must end.
BOOL CloseRunningUpdater(LPCSTR title) {
    for (int attempt = 0; attempt < 5; attempt++) {
        HWND other = FindWindowA(kUpdaterWindowClass, title);
        if (!other)
            return TRUE;
        if (!g_bAutoMode) {
            CString question;
            question.Format("%s is running.\nPlease close it then click OK", title);
            if (AfxMessageBox(question, MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL) {
                SetForegroundWindow(other);
                return FALSE;
            }
        }
        PostMessageA(other, WM_CLOSE, 0, 0);
        Sleep(200);
    }
    if (FindWindowA(kUpdaterWindowClass, title)) {
        CString text;
        text.Format("%s can't be closed. Please try to use task manager to kill the process.", title);
        AfxMessageBox(text, MB_OKCANCEL | MB_ICONSTOP);
        return FALSE;
    }
    return TRUE;
}

void StartSelfReplaceBatch() {
    if (g_strBatchText.IsEmpty())
        return;
    FILE* f = fopen(g_strBatchFile, "w+");
    if (!f)
        return;
    fprintf(f, "%s\n", (LPCSTR)g_strBatchText);
    fclose(f);
    ShellExecuteA(NULL, "open", g_strBatchFile, NULL, NULL, SW_HIDE);
}

}  // namespace

BOOL CUpdaterApp::InitInstance() {
    AfxEnableControlContainer();
    Enable3dControls();
    RegisterUpdaterClass();

    char exePath[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, exePath, countof(exePath));
    if (n == 0 || n >= countof(exePath))
        exePath[0] = 0;

    BOOL daemonByName = lstrcmpiA(m_pszExeName, "zorvetdu") == 0;
    CUpdaterCommandLineInfo info;
    BOOL hasCommandLine = __argc > 1;
    if (hasCommandLine)
        ParseCommandLine(info);
    if (!ApplyCommandLine(hasCommandLine ? &info : NULL, m_pszExeName, exePath)) {
        if (!daemonByName)
            AfxMessageBox("Usage: updater [-auto] [-help] [-p=partnername]", MB_ICONINFORMATION);
        return FALSE;
    }

    if (!InitEnvironment()) {
        AfxMessageBox(g_bDaemonMode ? "Please install Zorvet Daemon first." : "Please install Zorvet Acc first.",
                      MB_ICONSTOP);
        return FALSE;
    }

    if (!CloseRunningUpdater(g_bDaemonMode ? kDaemonModeTitle : kClientModeTitle))
        return FALSE;

    {
        CUpdaterDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = NULL;
    }
    StartSelfReplaceBatch();
    return FALSE;
}

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int show) {
    return AfxWinMain(instance, previous, cmdLine, show);
}
