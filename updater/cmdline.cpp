// The updater's command line and the globals it sets.
#include "updater_app.h"

#include <stdlib.h>
#include <string.h>

BOOL g_bDaemonMode = FALSE;
BOOL g_bAutoMode = FALSE;
BOOL g_bTestServer = FALSE;
int g_nNoticePorts = 1;
CString g_strRegKey;
CString g_strAppPathArg;
CString g_strPartnerId;
CString g_strVersionArg;

CUpdaterCommandLineInfo::CUpdaterCommandLineInfo()
    : m_bAuto(FALSE), m_bHelp(FALSE), m_bPartnerGiven(FALSE), m_bSu(FALSE), m_bVersionGiven(FALSE),
      m_bTest(FALSE), m_nPorts(1) {}

static CString Trimmed(LPCSTR text) {
    CString s(text);
    s.Trim();
    return s;
}

// Switches are compared with case.
void CUpdaterCommandLineInfo::ParseParam(LPCSTR param, BOOL bFlag, BOOL bLast) {
    if (bFlag) {
        if (strcmp(param, "su") == 0) {
            m_bSu = TRUE;
            return;
        }
        if (strcmp(param, "auto") == 0) {
            m_bAuto = TRUE;
            return;
        }
        if (strcmp(param, "help") == 0) {
            m_bHelp = TRUE;
            return;
        }
        if (strcmp(param, "test") == 0) {
            m_bTest = TRUE;
            return;
        }
        if (strncmp(param, "cc=", 3) == 0) {
            // Bounded so that the last port 63872 + count stays a 16-bit port.
            long n = strtol(param + 3, NULL, 10);
            m_nPorts = n <= 0 ? 1 : (n > kMaxNoticePorts ? kMaxNoticePorts : (int)n);
            return;
        }
        if (strncmp(param, "sp=", 3) == 0) {
            m_strSp = Trimmed(param + 3);
            return;
        }
        if (strncmp(param, "p=", 2) == 0) {
            m_strPartner = Trimmed(param + 2);
            m_bPartnerGiven = TRUE;
            return;
        }
        if (strncmp(param, "pid=", 4) == 0) {
            m_strPid = Trimmed(param + 4);
            return;
        }
        if (strncmp(param, "v=", 2) == 0) {
            m_strVersion = Trimmed(param + 2);
            m_bVersionGiven = TRUE;
            return;
        }
    }
    CCommandLineInfo::ParseParam(param, bFlag, bLast);
}

BOOL ApplyCommandLine(const CUpdaterCommandLineInfo* info, LPCSTR exeBaseName, LPCSTR exePath) {
    g_bDaemonMode = FALSE;
    g_bAutoMode = FALSE;
    g_bTestServer = FALSE;
    g_bDaemonMode = lstrcmpiA(exeBaseName ? exeBaseName : "", "zorvetdu") == 0;
    g_strRegKey.Format("SOFTWARE\\ZORVET\\%s", "Zorvet Acc");
    if (info) {
        if (info->m_bHelp)
            return FALSE;
        if (info->m_bPartnerGiven)
            g_strRegKey.Format("SOFTWARE\\ZORVET\\%s", (LPCSTR)info->m_strPartner);
        g_bAutoMode = info->m_bAuto;
        g_bDaemonMode = info->m_bSu;
        g_strAppPathArg = info->m_strSp;
        g_strVersionArg = info->m_strVersion;
        g_strPartnerId = info->m_strPid;
        g_bTestServer = info->m_bTest;
        g_nNoticePorts = info->m_nPorts;
    } else {
        g_strAppPathArg.Empty();
        g_strVersionArg.Empty();
        g_strPartnerId.Empty();
        g_nNoticePorts = 1;
    }
    if (g_bDaemonMode && g_strAppPathArg.IsEmpty())
        g_strAppPathArg = exePath ? exePath : "";
    int slash = g_strAppPathArg.ReverseFind('\\');
    if (slash <= 0)
        g_strAppPathArg.Empty();
    else
        g_strAppPathArg = g_strAppPathArg.Left(slash);
    g_strRegKey.MakeUpper();
    return TRUE;
}
