// CWinApp, the command line and the application-wide helpers of our MFC-style layer.
#include "afxwin.h"

#include <stdlib.h>
#include <string.h>

namespace {
CWinApp* g_app = NULL;
}

CCommandLineInfo::CCommandLineInfo()
    : m_bShowSplash(TRUE), m_bRunEmbedded(FALSE), m_bRunAutomated(FALSE), m_nShellCommand(FileNew) {}

void CCommandLineInfo::ParseParam(LPCSTR param, BOOL bFlag, BOOL bLast) {
    if (bFlag) {
        if (lstrcmpiA(param, "Embedding") == 0)
            m_bRunEmbedded = TRUE;
        else if (lstrcmpiA(param, "Automation") == 0)
            m_bRunAutomated = TRUE;
        m_bShowSplash = FALSE;
    } else if (m_strFileName.IsEmpty()) {
        m_strFileName = param;
        m_nShellCommand = FileOpen;
    }
}

CWinApp::CWinApp(LPCSTR appName)
    : m_hInstance(NULL), m_lpCmdLine(NULL), m_nCmdShow(SW_SHOWNORMAL), m_pszAppName(NULL),
      m_pszExeName(NULL), m_pMainWnd(NULL) {
    m_szExeName[0] = 0;
    m_szAppName[0] = 0;
    if (appName)
        lstrcpynA(m_szAppName, appName, MAX_PATH);
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = NULL;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
    for (int i = 1; i < __argc; i++) {
        LPCSTR param = __argv[i];
        BOOL flag = FALSE;
        if (param[0] == '-' || param[0] == '/') {
            flag = TRUE;
            param++;
        }
        info.ParseParam(param, flag, i + 1 == __argc);
    }
}

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageA(&msg, NULL, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return ExitInstance();
}

CWinApp* AFXAPI AfxGetApp() { return g_app; }

CWnd* AFXAPI AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : NULL; }

HINSTANCE AFXAPI AfxGetInstanceHandle() {
    return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleA(NULL);
}

HINSTANCE AFXAPI AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

int AFXAPI AfxMessageBox(LPCSTR text, UINT type, UINT helpId) {
    CWnd* main = AfxGetMainWnd();
    LPCSTR caption = g_app && g_app->m_pszAppName ? g_app->m_pszAppName : "";
    return ::MessageBoxA(main ? main->m_hWnd : NULL, text, caption, type);
}

void AFXAPI AfxEnableControlContainer() {}

int AFXAPI AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int show) {
    CWinApp* app = g_app;
    if (!app)
        return 1;
    app->m_hInstance = instance;
    app->m_lpCmdLine = cmdLine;
    app->m_nCmdShow = show;
    // Base name of the executable, as the framework records it.
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        path[0] = 0;
    char name[_MAX_FNAME];
    _splitpath(path, NULL, NULL, name, NULL);
    lstrcpynA(app->m_szExeName, name, MAX_PATH);
    app->m_pszExeName = app->m_szExeName;
    if (!app->m_szAppName[0])
        lstrcpynA(app->m_szAppName, name, MAX_PATH);
    app->m_pszAppName = app->m_szAppName;
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
