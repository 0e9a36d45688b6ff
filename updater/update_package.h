// One package of the update-information document: an optional file to fetch
// into the download folder, its MD5 digest, and three lists of actions.
#ifndef ZORVET_UPDATER_UPDATE_PACKAGE_H
#define ZORVET_UPDATER_UPDATE_PACKAGE_H

#include "afx.h"

class TiXmlElement;

const int kDownloadAttempts = 3;

class CUpdatePackage : public CObject {
public:
    CUpdatePackage();
    ~CUpdatePackage() override;

    int LoadFromXml(TiXmlElement* element);  // always 1
    int Run();                               // 1 success, 0 failure
    static void FreeActionList(CPtrList* list);

    CString GetName() const { return m_strName; }
    CString GetUrl() const { return m_strUrl; }
    CString GetMd5() const { return m_strMd5; }
    CString GetLocalFile() const { return m_strLocalFile; }
    int GetActionCount() const { return m_preActions.GetCount() + m_actions.GetCount() + m_postActions.GetCount(); }

protected:
    BOOL Download();
    BOOL RunList(CPtrList* list);

    CString m_strName;
    CString m_strVersion;
    CString m_strDescription;
    CString m_strUrl;
    CString m_strMd5;
    CString m_strLocalFile;
    CPtrList m_preActions;
    CPtrList m_actions;
    CPtrList m_postActions;
};

#endif
