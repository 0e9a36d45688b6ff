// The updater's application side: the command-line globals, the progress dialog
// (status line, two progress bars, version texts), the UpdateNotice datagrams of
// daemon mode and the stop and start of the accelerator service.
#ifndef ZORVET_UPDATER_APP_H
#define ZORVET_UPDATER_APP_H

#include "afxwin.h"
#include "status_display.h"

// ---- set at start-up from the command line (cmdline.cpp) ----------------------

extern BOOL g_bDaemonMode;     // daemon mode: service stop/start, notices, never visible
extern BOOL g_bAutoMode;       // no questions; Update pressed by itself
extern BOOL g_bTestServer;     // the test update server is used
extern int g_nNoticePorts;     // UpdateNotice ports 63872+1 .. 63872+count, 1..kMaxNoticePorts
extern CString g_strRegKey;    // "SOFTWARE\\ZORVET\\<PARTNER>", upper-cased
extern CString g_strAppPathArg;  // sp= cut before its last backslash, or empty
extern CString g_strPartnerId;   // pid=
extern CString g_strVersionArg;  // v=

const unsigned short kNoticeBasePort = 63872;
// Ports are 16-bit: the last one must stay at or below 65535.
const int kMaxNoticePorts = 65535 - kNoticeBasePort;
const int kMaxNoticeBytes = 1023;

class CUpdaterCommandLineInfo : public CCommandLineInfo {
public:
    CUpdaterCommandLineInfo();
    void ParseParam(LPCSTR param, BOOL bFlag, BOOL bLast) override;

    BOOL m_bAuto;
    BOOL m_bHelp;
    BOOL m_bPartnerGiven;
    BOOL m_bSu;
    BOOL m_bVersionGiven;
    BOOL m_bTest;
    CString m_strSp;
    CString m_strPartner;
    CString m_strPid;
    CString m_strVersion;
    int m_nPorts;
};

// Command-line part of the start-up: daemon mode by the executable's base name
// when the command line is empty, else by -su; the other globals as parsed;
// sp= (or, in daemon mode without it, the executable's path) cut before its
// last backslash; the registry key upper-cased. FALSE when help was asked for.
BOOL ApplyCommandLine(const CUpdaterCommandLineInfo* info, LPCSTR exeBaseName, LPCSTR exePath);

// ---- the progress dialog (template 102, class ZorvetUpdater) -------------------

// Registered as the engine's display while it exists.
class CUpdaterDlg : public CDialog, public IUpdateDisplay {
public:
    enum { IDD = 102 };
    explicit CUpdaterDlg(CWnd* parent = NULL);
    ~CUpdaterDlg() override;

    BOOL OnInitDialog() override;
    // Status line; in daemon mode also sent as an UpdateNotice.
    void SetStatusText(LPCSTR text) override;
    // A range above 0 sets 0..range; position 0 also shows the bar.
    void SetFileProgress(int position, int range) override;
    void SetTotalProgress(int position, int range) override;
    void SetLatestVersion(LPCSTR version) override;
    CString GetStatusText() const { return m_strStatus; }

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnWindowPosChanging(WINDOWPOS* pos);
    void OnButtonUpdate();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    DECLARE_MESSAGE_MAP()

    CProgressCtrl m_ctlTotalProgress;  // control 1003
    CProgressCtrl m_ctlFileProgress;   // control 1001
    CString m_strStatus;               // control 1000
    CString m_strCurrentVersion;       // control 1004
    CString m_strLatestVersion;        // control 1005
    HICON m_hIcon;                     // icon 128
};

// The running dialog, or NULL (before it exists, after it ended, in tests).
CUpdaterDlg* GetUpdaterDlg();

// Window titles by which other programs find (and close) the updater.
const char kUpdaterWindowClass[] = "ZorvetUpdater";
const char kClientModeTitle[] = "Zorvet Acc Updater";
const char kDaemonModeTitle[] = "Zorvet Daemon Updater";
const char kServiceName[] = "ZorvetDaemon";

// ---- UpdateNotice datagrams (notice.cpp) -----------------------------------------

BOOL OpenNoticeSocket(CUpdaterDlg* dialog);
// text NULL: the dialog's status line. Nothing while the socket is closed.
void SendUpdateNotice(CUpdaterDlg* dialog, LPCSTR text);
void CloseNoticeSocket();
// Length of the payload of a text: at most kMaxNoticeBytes, never ending inside
// a double-byte character.
int NoticePayloadLength(LPCSTR text);

// ---- service control (service_control.cpp); texts go to the update log ---------

BOOL service_stop(LPCSTR name);
BOOL service_start(LPCSTR name);
BOOL stop_dependent_services(SC_HANDLE manager, SC_HANDLE service);

#endif
