// The ten action types of the update script. Each keeps typed members beside
// the base's attribute pairs: a typed member holds a value as it was set, the
// pair its environment-expanded text.
#ifndef ZORVET_UPDATER_ACTION_TYPES_H
#define ZORVET_UPDATER_ACTION_TYPES_H

#include "action.h"

// Declares the overrides every type has; the constructor runs InitAttributes.
#define ZORVET_ACTION_TYPE(Class)                        \
public:                                                  \
    Class();                                             \
    Class(const Class& source);                          \
    ~Class() override;                                   \
    void InitAttributes() override;                      \
    BOOL SetAttribute(LPCSTR name, LPCSTR value) override; \
    BOOL Execute() override;                             \
    CUpdateAction* Clone() override;

class CRunAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CRunAction)
    CString m_strArgs;
    CString m_strCmd;
    BOOL m_bWait;
    BOOL m_bVisible;
};

class CUnzipAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CUnzipAction)
    CString m_strWhere;
    CString m_strFile;
};

class CCopyAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CCopyAction)
    CString m_strFrom;
    CString m_strTo;
    BOOL m_bMove;
    BOOL m_bOverwrite;
};

class CShortcutAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CShortcutAction)
    CString m_strCmd;
    int m_nFolderId;
    CString m_strName;
    CString m_strTarget;
    CString m_strArg;
    CString m_strLnkDesc;
    CString m_strIconFile;
    int m_nIconIndex;
    CString m_strNewItems;
};

class CMkdirAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CMkdirAction)
    CString m_strPath;
};

class CRemoveAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CRemoveAction)
    CString m_strPath;
};

class COpenAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(COpenAction)
    CString m_strFile;
    BOOL m_bWait;
    BOOL m_bVisible;
};

class CRegistryAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CRegistryAction)
    CString m_strKey;
    CString m_strValueName;
    CString m_strValue;
    CString m_strValueType;
    int m_nStartPos;
};

class CSendMessageAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CSendMessageAction)
    CString m_strClassName;
    CString m_strTitle;
    UINT m_nMessage;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

class CShowMessageAction : public CUpdateAction {
    ZORVET_ACTION_TYPE(CShowMessageAction)
    CString m_strMessage;
    CString m_strTitle;
};

// Every type's Clone: a copy of the prototype, its typed members then set from
// the copied pairs.
template <class Action>
CUpdateAction* CloneAction(const Action& source) {
    Action* copy = new Action(source);
    copy->ApplyAttributes();
    return copy;
}

// Shared by the types: the attribute name as the typed setters compare it
// (lower-cased, trimmed).
CString ActionKey(LPCSTR name);
// The start flags of run and open: async ("true"/"1", any case, means no wait)
// and sync write the same wait flag, the later call wins; visible is cleared
// only by "false"/"0". Any other key changes nothing.
void SetStartFlag(const CString& key, LPCSTR value, BOOL* wait, BOOL* visible);

// In daemon mode nobody is there to answer: boxes are not shown and waits are bounded.
const DWORD kUnattendedWaitMs = 10 * 60 * 1000;
const DWORD kSendMessageTimeoutMs = 5000;

#endif
