// Actions "sendmessage" and "showmessage": another program's window, and the user.
#include "action_types.h"
#include "afxwin.h"
#include "environment.h"
#include "updater_app.h"

#include <stdlib.h>

// ---- sendmessage ----------------------------------------------------------------

CSendMessageAction::CSendMessageAction()
    : CUpdateAction("sendmessage"), m_nMessage(0), m_wParam(0), m_lParam(0) {
    InitAttributes();
}

CSendMessageAction::CSendMessageAction(const CSendMessageAction& source)
    : CUpdateAction(source), m_nMessage(0), m_wParam(0), m_lParam(0) {
    InitAttributes();
}

CSendMessageAction::~CSendMessageAction() {}

void CSendMessageAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strClassName.Empty();
    m_strTitle.Empty();
    m_nMessage = 0;
    m_wParam = 0;
    m_lParam = 0;
    SetAttributeLists("description,classname,title,message,wparam,lparam", ",,,,0,0");
}

BOOL CSendMessageAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "classname") {
        m_strClassName = value;
    } else if (key == "title") {
        m_strTitle = value;
    } else if (key == "message") {
        if (lstrcmpiA(value, "WM_CLOSE") == 0)
            m_nMessage = WM_CLOSE;
        else if (lstrcmpiA(value, "WM_QUIT") == 0)
            m_nMessage = WM_QUIT;
        else if (lstrcmpiA(value, "WM_COMMAND") == 0)
            m_nMessage = WM_COMMAND;
        else if (lstrcmpiA(value, "WM_DESTROY") == 0)
            m_nMessage = WM_DESTROY;
        else
            m_nMessage = (UINT)atol(value);
    } else if (key == "wparam") {
        m_wParam = (WPARAM)atol(value);
    } else if (key == "lparam") {
        m_lParam = (LPARAM)atol(value);
    }
    return CUpdateAction::SetAttribute(name, value);
}

BOOL CSendMessageAction::Execute() {
    LogDescription();
    CWnd* main = AfxGetMainWnd();
    HWND own = main ? main->m_hWnd : NULL;
    int passes = 0;
    for (;;) {
        HWND window = FindWindowA(m_strClassName, m_strTitle);
        if (!window)
            break;
        if (window == own) {
            PostMessageA(window, m_nMessage, m_wParam, m_lParam);
            break;
        }
        // A hung window must not hold the update up for ever.
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, m_nMessage, m_wParam, m_lParam, SMTO_ABORTIFHUNG, kSendMessageTimeoutMs,
                            &result);
        if (++passes % 2 == 0) {
            // Nobody answers in daemon mode: give up rather than ask.
            if (g_bDaemonMode)
                break;
            CString text;
            text.Format("无法关闭应用程序：%s", (LPCSTR)m_strDescription);
            CWinApp* app = AfxGetApp();
            int answer = ::MessageBoxA(own, text, app ? app->m_pszAppName : "",
                                       MB_ABORTRETRYIGNORE | MB_ICONQUESTION);
            if (answer != IDRETRY)
                break;
            passes = 0;
        }
        if (!IsWindow(window) || m_nMessage != WM_CLOSE)
            break;
    }
    return TRUE;
}

CUpdateAction* CSendMessageAction::Clone() { return CloneAction(*this); }

// ---- showmessage ----------------------------------------------------------------

CShowMessageAction::CShowMessageAction() : CUpdateAction("showmessage") { InitAttributes(); }

CShowMessageAction::CShowMessageAction(const CShowMessageAction& source) : CUpdateAction(source) {
    InitAttributes();
}

CShowMessageAction::~CShowMessageAction() {}

void CShowMessageAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strMessage.Empty();
    m_strTitle.Empty();
    SetAttributeLists("description,title,message", ",,");
}

BOOL CShowMessageAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "message")
        m_strMessage = value;
    else if (key == "title")
        m_strTitle = value;
    return CUpdateAction::SetAttribute(name, value);
}

BOOL CShowMessageAction::Execute() {
    LogDescription();
    // In daemon mode nobody is there to press OK: the text goes to the log only.
    if (!m_strMessage.IsEmpty()) {
        if (g_bDaemonMode) {
            WriteLog(m_strMessage, FALSE);
        } else {
            CWnd* main = AfxGetMainWnd();
            ::MessageBoxA(main ? main->m_hWnd : NULL, m_strMessage, m_strTitle, MB_ICONINFORMATION);
        }
    }
    return TRUE;
}

CUpdateAction* CShowMessageAction::Clone() { return CloneAction(*this); }
