// One whole update run: ask the update server, fetch and parse the
// update-information document, run the newer packages, record the new version.
// Also the version bookkeeping ("cert", "DisplayVersion") and two utilities of
// the action types: DeleteFolderTree and ExecCmd.
#ifndef ZORVET_UPDATER_UPDATE_ENGINE_H
#define ZORVET_UPDATER_UPDATE_ENGINE_H

#include "afx.h"

#include <tinyxml.h>

class CUpdateEngine {
public:
    CUpdateEngine();
    virtual ~CUpdateEngine();

    // First GET; TRUE only when a non-empty reply (the document's URL) arrived.
    BOOL CheckUpdate(CString url, CString* reply);
    // TRUE when an updateinfo element was found; packages only when it is newer.
    BOOL ParseUpdateInfo(CString text);
    // The whole run; see the outcomes in update_engine.cpp.
    BOOL RunUpdate(CString url, CString* infoText);

    int GetPackageCount() const { return m_packages.GetCount(); }
    CString GetLatestVersion() const { return m_strLatestVersion; }
    // Set by CheckUpdate: the check itself failed (no connection, transfer failed),
    // as opposed to the server saying there is no update.
    BOOL CheckFailed() const { return m_bCheckFailed; }

protected:
    TiXmlDocument m_doc;
    CPtrList m_packages;  // CUpdatePackage*, owned, in document order
    CString m_strLatestVersion;
    BOOL m_bCheckFailed;
};

CString GetInstalledVersion();
void SaveInstalledVersion(CString version);
// 1 when `version` is newer than g_strCurrentVersion, -1 older, 0 equal.
int CompareVersion(CString version);
int DeleteFolderTree(LPCSTR folder);
BOOL ExecCmd(LPCSTR command, LPCSTR arguments, BOOL wait, BOOL visible);
// The text that ExecCmd logs for a ShellExecute result, or NULL.
LPCSTR ShellExecuteErrorText(UINT_PTR result);

extern const char kUninstallKey[];

#endif
