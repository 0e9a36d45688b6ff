// The update run. Outcomes of RunUpdate (last status line; download folder
// cleaned; result):
//   no internet connection            "没有网络连接"; no; FALSE
//   first GET fails                   "Check update failed.", "没有更新信息"; yes; FALSE
//   first reply empty                 "No update", "没有更新信息"; yes; TRUE
//   second GET fails                  "无法获取更新信息。"; no; FALSE
//   empty document                    "没有任何更新信息。"; no; TRUE
//   no updateinfo / parse error       the parser's text, "更新信息不对，请与Harlenby公司联系"; yes; FALSE
//   not newer / no package            "你使用的已经是最新版本" or none; yes; TRUE
//   a package fails                   "更新失败！请重试一次。"; yes; FALSE
//   all packages succeed              "更新完毕"; yes; TRUE
// A check that could not reach the server is a failure: callers report
// "updated" on TRUE, and nothing was updated.
#include "update_engine.h"

#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include "cert_record.h"
#include "environment.h"
#include "registry.h"
#include "status_display.h"
#include "update_package.h"
#include "update_text.h"
#include "utils.h"

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZORVET ACC";

namespace {

void Status(LPCSTR text) { WriteLog(CString(text), TRUE); }

void TotalProgress(int position, int range) {
    if (IUpdateDisplay* d = GetUpdateDisplay()) d->SetTotalProgress(position, range);
}

void LogTime(LPCSTR format) { WriteLog(CTime::GetCurrentTime().Format(format), FALSE); }

}  // namespace

// ---- engine ----------------------------------------------------------------------

CUpdateEngine::CUpdateEngine() : m_doc(""), m_packages(10), m_bCheckFailed(FALSE) {}

CUpdateEngine::~CUpdateEngine() {
    while (!m_packages.IsEmpty()) delete static_cast<CUpdatePackage*>(m_packages.RemoveTail());
}

BOOL CUpdateEngine::CheckUpdate(CString url, CString* reply) {
    m_bCheckFailed = FALSE;
    if (!IsInternetConnected()) {
        Status("No internet connection");
        m_bCheckFailed = TRUE;
        return FALSE;
    }
    Status("Check update");
    if (!DownloadUrl(&url, reply, FALSE, FALSE)) {
        Status("Check update failed.");
        m_bCheckFailed = TRUE;
        return FALSE;
    }
    if (reply->IsEmpty()) {
        Status("No update");
        return FALSE;
    }
    Status("New version is found.");
    return TRUE;
}

BOOL CUpdateEngine::ParseUpdateInfo(CString text) {
    // The folders are escaped as they go in, so a path with & or < cannot break
    // (or add to) the document.
    CString expanded = ExpandPathVariablesXml(text);
    m_doc.Parse(expanded);
    if (m_doc.Error()) {
        CString line;
        line.Format("Error in (Row: %d, Col %d) %s: %s\n", m_doc.ErrorRow(), m_doc.ErrorCol(), m_doc.Value(),
                    m_doc.ErrorDesc());
        WriteLog(line, TRUE);
        return FALSE;
    }
    TiXmlElement* info = m_doc.FirstChildElement("updateinfo");
    if (!info) {
        Status("无法获取更新信息或更新信息出错");
        return FALSE;
    }
    const char* version = info->Attribute("version");
    m_strLatestVersion = version ? version : "";
    if (IUpdateDisplay* d = GetUpdateDisplay()) d->SetLatestVersion(m_strLatestVersion);
    if (CompareVersion(m_strLatestVersion) > 0) {
        for (TiXmlElement* p = info->FirstChildElement("package"); p; p = p->NextSiblingElement("package")) {
            CUpdatePackage* package = new CUpdatePackage;
            package->LoadFromXml(p);
            m_packages.AddTail(package);
        }
    } else {
        Status("你使用的已经是最新版本");
    }
    return TRUE;
}

BOOL CUpdateEngine::RunUpdate(CString url, CString* infoText) {
    TotalProgress(0, 0);
    LogTime("开始时间: %Y-%m-%d %H:%M:%S");
    if (!IsInternetConnected()) {
        Status("没有网络连接");
        return FALSE;
    }
    BOOL result = TRUE;
    Status("检查更新信息");
    CString reply;
    if (!CheckUpdate(url, &reply)) {
        Status("没有更新信息");
        result = m_bCheckFailed ? FALSE : TRUE;
    } else {
        BOOL fetched = DownloadUrl(&reply, infoText, FALSE, TRUE);
        TotalProgress(1, 10);
        if (!fetched) {
            Status("无法获取更新信息。");
            TotalProgress(10, 0);
            return FALSE;
        }
        if (infoText->IsEmpty()) {
            Status("没有任何更新信息。");
            TotalProgress(10, 0);
            return TRUE;
        }
        Status("分析更新信息");
        BOOL parsed = ParseUpdateInfo(*infoText);
        TotalProgress(2, 0);
        if (!parsed) {
            Status("更新信息不对，请与Harlenby公司联系");
            TotalProgress(10, 0);
            result = FALSE;
        } else {
            int n = m_packages.GetCount();
            TotalProgress(2, n + 2);
            if (n > 0) {
                Status("开始更新");
                int k = 0;
                BOOL ok = TRUE;
                for (POSITION pos = m_packages.GetHeadPosition(); pos;) {
                    CUpdatePackage* package = static_cast<CUpdatePackage*>(m_packages.GetNext(pos));
                    if (!package->Run()) {
                        ok = FALSE;
                        break;
                    }
                    ++k;
                    TotalProgress(k + 1, 0);
                }
                if (!ok) {
                    Status("更新失败！请重试一次。");
                    result = FALSE;
                } else {
                    SaveInstalledVersion(m_strLatestVersion);
                    TotalProgress(n + 2, 0);
                    Status("更新完毕");
                    result = TRUE;
                }
            }
        }
    }
    if (IsFolder(g_strDownloadFolder)) DeleteFolderTree(g_strDownloadFolder);
    LogTime("结束时间: %Y-%m-%d %H:%M:%S\r\n");
    return result;
}

// ---- versions --------------------------------------------------------------------------

namespace {

// The "cert" value of the install key: its first four bytes hold the version.
CRegistry CertValue() {
    CRegistry reg;
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    reg.SetSubKey(g_strRegKey);
    reg.SetValueName("cert");
    return reg;
}

}  // namespace

CString GetInstalledVersion() {
    CRegistry reg = CertValue();
    BYTE* data = NULL;
    DWORD size = 0;
    CString text;
    if (reg.ReadBinary(&data, &size) == ERROR_SUCCESS && size >= 4) {
        char buffer[32];
        FormatUpdaterVersion(GetCertVersion(data), buffer, countof(buffer));
        text = buffer;
    }
    free(data);
    return text;
}

void SaveInstalledVersion(CString version) {
    CRegistry reg = CertValue();
    BYTE* data = NULL;
    DWORD size = 0;
    // A value shorter than the version field is left alone.
    if (reg.ReadBinary(&data, &size) == ERROR_SUCCESS && size >= 4) {
        PutCertVersion(data, PackVersionText(version));
        reg.WriteBinary(data, size);
    }
    free(data);
    CRegistry uninstall;
    uninstall.SetRootKey(HKEY_LOCAL_MACHINE);
    uninstall.SetSubKey(kUninstallKey);
    uninstall.SetValueName("DisplayVersion");
    uninstall.WriteString(version);
}

int CompareVersion(CString version) { return CompareVersionTexts(g_strCurrentVersion, version); }

// ---- folders and programs ------------------------------------------------------------------

int DeleteFolderTree(LPCSTR folder) {
    if (!folder || !*folder) return 0;
    if (RemoveDirectoryA(folder)) return 1;
    if (GetLastError() != ERROR_DIR_NOT_EMPTY) return 0;
    char pattern[MAX_PATH];
    if (FormatText(pattern, countof(pattern), "%s\\*.*", folder) >= (int)countof(pattern)) {
        WriteLogF(FALSE, "DELETE: path too long: %s", folder);
        return 0;
    }
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return 0;
    for (;;) {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) {
            char path[MAX_PATH];
            if (FormatText(path, countof(path), "%s\\%s", folder, found.cFileName) >= (int)countof(path)) {
                // Cut, the path would name another file: stop here instead.
                WriteLogF(FALSE, "DELETE: path too long: %s\\%s", folder, found.cFileName);
                FindClose(find);
                return 0;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // A junction or other reparse point is removed itself, never entered:
                // its target lies outside the tree being deleted.
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) DeleteFolderTree(path);
                RemoveDirectoryA(path);
            } else {
                if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
                if (!DeleteFileA(path)) {
                    FindClose(find);
                    return 0;
                }
            }
        }
        if (!FindNextFileA(find, &found)) {
            DWORD error = GetLastError();
            FindClose(find);
            if (error != ERROR_NO_MORE_FILES) return 0;
            RemoveDirectoryA(folder);
            return 1;
        }
    }
}

LPCSTR ShellExecuteErrorText(UINT_PTR result) {
    switch (result) {
    case 0: return " The operating system is out of memory or resources. ";
    case ERROR_FILE_NOT_FOUND: return " The specified file was not found. ";
    case ERROR_PATH_NOT_FOUND: return " The specified path was not found. ";
    case SE_ERR_ACCESSDENIED: return " The operating system denied access to the specified file. ";
    case SE_ERR_OOM: return " There was not enough memory to complete the operation. ";
    case ERROR_BAD_FORMAT: return " The .exe file is invalid (non-Win32 .exe or error in .exe image). ";
    case SE_ERR_SHARE: return " A sharing violation occurred. ";
    case SE_ERR_ASSOCINCOMPLETE: return " The file name association is incomplete or invalid. ";
    case SE_ERR_DDETIMEOUT: return " The DDE transaction could not be completed because the request timed out. ";
    case SE_ERR_DDEFAIL: return " The DDE transaction failed. ";
    case SE_ERR_DDEBUSY:
        return " The DDE transaction could not be completed because other DDE transactions were being processed. ";
    case SE_ERR_NOASSOC:
        return " There is no application associated with the given file name extension. This error will also be "
               "returned if you attempt to print a file that is not printable. ";
    case SE_ERR_DLLNOTFOUND: return " The specified DLL was not found. ";
    default: return NULL;
    }
}

const DWORD kUnattendedExecWaitMs = 10 * 60 * 1000;

BOOL ExecCmd(LPCSTR command, LPCSTR arguments, BOOL wait, BOOL visible) {
    int show = visible ? SW_SHOW : SW_HIDE;
    if (wait) {
        if (!PathExists(command)) {
            Status(" The specified file was not found. ");
            return FALSE;
        }
        SHELLEXECUTEINFOA info;
        memset(&info, 0, sizeof(info));
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpVerb = "open";
        info.lpFile = command;
        info.lpParameters = arguments;
        info.nShow = show;
        if (ShellExecuteExA(&info)) {
            if (info.hProcess) {
                // Nobody is there in daemon mode to end a program that never exits.
                DWORD waited = WaitForSingleObject(info.hProcess, g_bDaemonMode ? kUnattendedExecWaitMs : INFINITE);
                CloseHandle(info.hProcess);
                if (waited == WAIT_TIMEOUT) {
                    WriteLogF(TRUE, "ExecCmd timed out: Command=%s", command);
                    return FALSE;
                }
            }
            return TRUE;
        }
        char message[1024];
        message[0] = 0;
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, GetLastError(),
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), message, countof(message), NULL);
        WriteLogF(TRUE, "ExecCmd failed: Command=%s\nMessage=%s", command, message);
        return FALSE;
    }
    UINT_PTR result = (UINT_PTR)ShellExecuteA(NULL, "open", command, arguments, "", show);
    if (result > 32) return TRUE;
    if (LPCSTR text = ShellExecuteErrorText(result)) Status(text);
    return FALSE;
}
