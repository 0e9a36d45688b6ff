// Our small MFC-style window layer for the updater: CWinApp with the command line,
// CWnd, CDialog (modal, resource template, message map, data exchange) and
// CProgressCtrl. Only what the updater uses.
#ifndef ZORVET_MFC_AFXWIN_H
#define ZORVET_MFC_AFXWIN_H

#include "afx.h"
#include <commctrl.h>

class CWnd;
class CWinApp;

// ---- message maps -------------------------------------------------------------

typedef void (CWnd::*AFX_PMSG)();

enum AfxSig {
    AfxSig_end = 0,
    AfxSig_vv,     // void (void): OnPaint, BN_CLICKED handlers
    AfxSig_vwl,    // void (UINT, LPARAM): OnSysCommand
    AfxSig_hv,     // HCURSOR (void): OnQueryDragIcon
    AfxSig_vpos,   // void (WINDOWPOS*): OnWindowPosChanging
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;  // WM_COMMAND notification code
    UINT nID;    // WM_COMMAND control id
    int nSig;
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                  \
protected:                                                     \
    static const AFX_MSGMAP* GetThisMessageMap();              \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                               \
        typedef theClass ThisClass;                                                 \
        typedef baseClass TheBaseClass;                                             \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                   \
        {0, 0, 0, AfxSig_end, (AFX_PMSG)0}};                                \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, \
                                              &_messageEntries[0]};         \
        return &messageMap;                                                 \
    }

// Handler pointers of the other signatures travel in the entry's AFX_PMSG slot;
// DispatchMap reads them back through the same union.
union AfxMessageFunction {
    AFX_PMSG pfn;
    void (CWnd::*pfn_vwl)(UINT, LPARAM);
    HCURSOR (CWnd::*pfn_hv)();
    void (CWnd::*pfn_vpos)(WINDOWPOS*);
};
inline AFX_PMSG AfxPmsg(AFX_PMSG f) { return f; }
inline AFX_PMSG AfxPmsg(void (CWnd::*f)(UINT, LPARAM)) { AfxMessageFunction u; u.pfn_vwl = f; return u.pfn; }
inline AFX_PMSG AfxPmsg(HCURSOR (CWnd::*f)()) { AfxMessageFunction u; u.pfn_hv = f; return u.pfn; }
inline AFX_PMSG AfxPmsg(void (CWnd::*f)(WINDOWPOS*)) { AfxMessageFunction u; u.pfn_vpos = f; return u.pfn; }
#define AFX_MSG_CAST(type, fn) AfxPmsg(static_cast<type>(fn))
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, AfxSig_vwl, AFX_MSG_CAST(void (CWnd::*)(UINT, LPARAM), &ThisClass::OnSysCommand)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, AfxSig_vv, AFX_MSG_CAST(void (CWnd::*)(), &ThisClass::OnPaint)},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, AfxSig_hv, AFX_MSG_CAST(HCURSOR (CWnd::*)(), &ThisClass::OnQueryDragIcon)},
#define ON_WM_WINDOWPOSCHANGING()                  \
    {WM_WINDOWPOSCHANGING, 0, 0, AfxSig_vpos,      \
     AFX_MSG_CAST(void (CWnd::*)(WINDOWPOS*), &ThisClass::OnWindowPosChanging)},
#define ON_BN_CLICKED(id, fn) {WM_COMMAND, BN_CLICKED, (UINT)(id), AfxSig_vv, AFX_MSG_CAST(void (CWnd::*)(), &ThisClass::fn)},

// ---- data exchange ------------------------------------------------------------

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;  // TRUE: controls -> members
    CWnd* m_pDlgWnd;
};

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control);
void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value);

// ---- CWnd ---------------------------------------------------------------------

class CMenu {
public:
    HMENU m_hMenu = NULL;
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR item = NULL) {
        return ::AppendMenuA(m_hMenu, flags, id, item);
    }
};

class CWnd : public CObject {
public:
    CWnd();
    ~CWnd() override;

    HWND m_hWnd;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // A wrapper owned by this window for the child with the id; NULL when none.
    CWnd* GetDlgItem(int id);
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    void SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
    void GetWindowText(CString& text) const;
    HICON SetIcon(HICON icon, BOOL big);
    CMenu* GetSystemMenu(BOOL revert);
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageA(m_hWnd, msg, wParam, lParam);
    }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageA(m_hWnd, msg, wParam, lParam);
    }
    // The application's name is the caption when none is given.
    int MessageBox(LPCSTR text, LPCSTR caption = NULL, UINT type = MB_OK);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Handlers whose base versions leave the message to the default handling.
    void OnSysCommand(UINT nID, LPARAM lParam) { Default(); }
    void OnPaint() { Default(); }
    HCURSOR OnQueryDragIcon() { Default(); return NULL; }
    void OnWindowPosChanging(WINDOWPOS* pos) { Default(); }

protected:
    virtual void DoDataExchange(CDataExchange* pDX) {}
    // Marks the message being handled for the default window handling.
    void Default() { m_bDefault = TRUE; }
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Runs the map's handler; FALSE when none handled it (or it asked for Default).
    BOOL DispatchMap(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR* result);

    BOOL m_bDefault;

private:
    CWnd(const CWnd&) = delete;
    void operator=(const CWnd&) = delete;
    struct Child {
        Child* next;
        CWnd* wnd;
        int id;
    };
    Child* m_children;
    CMenu m_sysMenu;
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) { SendMessage(PBM_SETRANGE32, lower, upper); }
    int SetPos(int pos) { return (int)SendMessage(PBM_SETPOS, pos, 0); }
};

// ---- CDialog ------------------------------------------------------------------

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = NULL);
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int result);

protected:
    virtual void OnOK();
    virtual void OnCancel();
    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

// ---- CWinApp ------------------------------------------------------------------

class CCommandLineInfo : public CObject {
public:
    CCommandLineInfo();
    // One argument of the command line: bFlag when it began with '-' or '/'
    // (then without that character), bLast for the last one.
    virtual void ParseParam(LPCSTR param, BOOL bFlag, BOOL bLast);

    BOOL m_bShowSplash;
    BOOL m_bRunEmbedded;
    BOOL m_bRunAutomated;
    enum { FileNew, FileOpen, FileNothing } m_nShellCommand;
    CString m_strFileName;
};

class CWinApp : public CObject {
public:
    explicit CWinApp(LPCSTR appName = NULL);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return FALSE; }
    virtual int Run();
    virtual int ExitInstance() { return 0; }
    void ParseCommandLine(CCommandLineInfo& info);
    void Enable3dControls() {}
    HICON LoadIcon(UINT id) const { return ::LoadIconA(m_hInstance, MAKEINTRESOURCEA(id)); }

    HINSTANCE m_hInstance;
    LPSTR m_lpCmdLine;
    int m_nCmdShow;
    LPCSTR m_pszAppName;  // the executable's base name unless the program gives one
    LPCSTR m_pszExeName;  // base name of the executable, without folder and extension
    CWnd* m_pMainWnd;

private:
    char m_szExeName[MAX_PATH];
    char m_szAppName[MAX_PATH];
    friend int AFXAPI AfxWinMain(HINSTANCE, HINSTANCE, LPSTR, int);
};

CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
int AFXAPI AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT helpId = 0);
void AFXAPI AfxEnableControlContainer();
// The program's WinMain calls this: sets the application up, runs InitInstance
// and, when that returns TRUE, the message loop.
int AFXAPI AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPSTR cmdLine, int show);

#endif
