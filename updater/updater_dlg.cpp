// The updater's progress dialog: status line, file and overall progress bars,
// version texts, and the Update button that drives one update run.
#include "action.h"
#include "environment.h"
#include "update_engine.h"
#include "updater_app.h"
#include "utils.h"

namespace {

const UINT kIdmAbout = 0x10;
const int kIdStatus = 1000;
const int kIdFileProgress = 1001;
const int kIdUpdate = 1002;
const int kIdTotalProgress = 1003;
const int kIdCurrentVersion = 1004;
const int kIdLatestVersion = 1005;
const int kIdAboutString = 101;
const UINT kIdAboutDialog = 100;
const UINT kIdIcon = 128;

CUpdaterDlg* g_dialog = NULL;

void SetProgress(CProgressCtrl& bar, int position, int range) {
    if (!bar.m_hWnd)
        return;
    if (range > 0)
        bar.SendMessage(PBM_SETRANGE32, 0, range);
    if (position == 0)
        bar.ShowWindow(SW_SHOW);
    bar.SendMessage(PBM_SETPOS, position, 0);
}

}  // namespace

CUpdaterDlg* GetUpdaterDlg() { return g_dialog; }

CUpdaterDlg::CUpdaterDlg(CWnd* parent) : CDialog(IDD, parent) {
    m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(kIdIcon) : NULL;
    RegisterActionPrototypes();
    m_strCurrentVersion.Format("当前版本号：%s", (LPCSTR)g_strCurrentVersion);
    g_dialog = this;
    SetUpdateDisplay(this);
}

CUpdaterDlg::~CUpdaterDlg() {
    if (GetUpdateDisplay() == this)
        SetUpdateDisplay(NULL);
    if (g_dialog == this)
        g_dialog = NULL;
    ClearActionPrototypes();
}

void CUpdaterDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kIdTotalProgress, m_ctlTotalProgress);
    DDX_Control(pDX, kIdFileProgress, m_ctlFileProgress);
    DDX_Text(pDX, kIdStatus, m_strStatus);
    DDX_Text(pDX, kIdCurrentVersion, m_strCurrentVersion);
    DDX_Text(pDX, kIdLatestVersion, m_strLatestVersion);
}

BEGIN_MESSAGE_MAP(CUpdaterDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_WINDOWPOSCHANGING()
ON_BN_CLICKED(kIdUpdate, OnButtonUpdate)
END_MESSAGE_MAP()

BOOL CUpdaterDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    char about[256];
    if (LoadStringA(AfxGetResourceHandle(), kIdAboutString, about, countof(about)) > 0) {
        if (CMenu* menu = GetSystemMenu(FALSE)) {
            menu->AppendMenu(MF_SEPARATOR);
            menu->AppendMenu(MF_STRING, kIdmAbout, about);
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    SetWindowText(g_bDaemonMode ? kDaemonModeTitle : kClientModeTitle);
    m_ctlFileProgress.SetRange32(0, 1000);
    m_ctlFileProgress.SetPos(0);
    m_ctlTotalProgress.SetRange32(0, 10);
    m_ctlTotalProgress.SetPos(0);
    if (g_bAutoMode || g_bDaemonMode)
        PostMessage(WM_COMMAND, MAKEWPARAM(kIdUpdate, BN_CLICKED), 0);
    return TRUE;
}

void CUpdaterDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == kIdmAbout) {
        CDialog about(kIdAboutDialog, this);
        about.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CUpdaterDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, (WPARAM)dc, 0);
    RECT rc;
    GetClientRect(&rc);
    int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &ps);
}

HCURSOR CUpdaterDlg::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }

void CUpdaterDlg::OnWindowPosChanging(WINDOWPOS* pos) {
    if (g_bDaemonMode)
        pos->flags &= ~SWP_SHOWWINDOW;
    CDialog::OnWindowPosChanging(pos);
}

void CUpdaterDlg::SetStatusText(LPCSTR text) {
    m_strStatus = text;
    UpdateData(FALSE);
    if (g_bDaemonMode)
        SendUpdateNotice(this, m_strStatus);
}

void CUpdaterDlg::SetFileProgress(int position, int range) { SetProgress(m_ctlFileProgress, position, range); }

void CUpdaterDlg::SetTotalProgress(int position, int range) { SetProgress(m_ctlTotalProgress, position, range); }

void CUpdaterDlg::SetLatestVersion(LPCSTR version) {
    m_strLatestVersion.Format("最新版本号：%s", version);
    UpdateData(FALSE);
}

void CUpdaterDlg::OnButtonUpdate() {
    SetTotalProgress(0, 10);
    SetFileProgress(0, 1000);
    CWnd* update = GetDlgItem(kIdUpdate);
    CWnd* close = GetDlgItem(IDCANCEL);
    if (!update)
        return;
    BOOL stopped = FALSE;
    if (g_bDaemonMode) {
        stopped = service_stop(kServiceName);
        OpenNoticeSocket(this);
    }
    BOOL result = FALSE;
    if (!g_bDaemonMode || stopped) {
        update->EnableWindow(FALSE);
        if (close)
            close->EnableWindow(FALSE);
        CUpdateEngine* engine = new CUpdateEngine;
        CString info;
        result = engine->RunUpdate(g_strUpdateUrl, &info);
        update->EnableWindow(TRUE);
        if (close)
            close->EnableWindow(TRUE);
        if (g_bDaemonMode && !service_start(kServiceName)) {
            CString text;
            text.Format("无法启动Zorvet服务: %s\n", kServiceName);
            SetStatusText(text);
            // The service is not running again: the update is not done.
            result = FALSE;
        }
        delete engine;
    } else {
        CString text;
        text.Format("无法停止Zorvet服务: %s\n", kServiceName);
        SetStatusText(text);
        result = FALSE;
    }
    if (g_bDaemonMode || (g_bAutoMode && result)) {
        SendUpdateNotice(this, result ? "updated" : "failed");
        CloseNoticeSocket();
        EndDialog(IDCANCEL);
    }
}
