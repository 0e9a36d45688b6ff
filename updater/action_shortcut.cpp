// Action "shortcut": creates, updates or deletes a shell link in a special folder.
#include "action_types.h"
#include "afxwin.h"
#include "shortcut.h"

#include <stdio.h>

CShortcutAction::CShortcutAction()
    : CUpdateAction("shortcut"), m_strCmd("create"), m_nFolderId(0), m_nIconIndex(1) {
    InitAttributes();
}

CShortcutAction::CShortcutAction(const CShortcutAction& source)
    : CUpdateAction(source), m_strCmd("create"), m_nFolderId(0), m_nIconIndex(1) {
    InitAttributes();
}

CShortcutAction::~CShortcutAction() {}

void CShortcutAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strCmd = "create";
    m_nFolderId = 0;
    m_strName.Empty();
    m_strTarget.Empty();
    m_strArg.Empty();
    m_strLnkDesc.Empty();
    m_strIconFile.Empty();
    m_nIconIndex = 1;
    m_strNewItems.Empty();
    SetAttributeLists("cmd,id,name,target,arg,lnkdesc,iconfile,iconindex,newitems", "create,0,,,,,,1,");
}

// "0x.." as hexadecimal, else decimal; a value that does not read leaves n alone.
static void ReadNumber(LPCSTR value, int* n) {
    CString text(value);
    text.TrimLeft();
    int v;
    if (text.GetLength() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        unsigned u;
        if (sscanf((LPCSTR)text + 2, "%x", &u) == 1)
            *n = (int)u;
    } else if (sscanf(text, "%d", &v) == 1) {
        *n = v;
    }
}

BOOL CShortcutAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "cmd") {
        m_strCmd = value;
        m_strCmd.MakeLower();
        m_strCmd.Trim();
        if (m_strCmd.IsEmpty())
            m_strCmd = "create";
    } else if (key == "id") {
        ReadNumber(value, &m_nFolderId);
    } else if (key == "name") {
        m_strName = value;
    } else if (key == "target") {
        m_strTarget = value;
    } else if (key == "arg") {
        m_strArg = value;
    } else if (key == "lnkdesc") {
        m_strLnkDesc = value;
    } else if (key == "iconfile") {
        m_strIconFile = value;
    } else if (key == "iconindex") {
        ReadNumber(value, &m_nIconIndex);
    } else if (key == "newitems") {
        m_strNewItems = value;
        m_strNewItems.Trim();
        m_strNewItems.MakeLower();
        m_strNewItems.Replace(" ,", ",");
        m_strNewItems += ",";
    }
    return CUpdateAction::SetAttribute(name, value);
}

BOOL CShortcutAction::Execute() {
    LogDescription();
    if (m_strName.IsEmpty())
        return TRUE;
    CShortcut* link = new CShortcut;
    BOOL result = TRUE;
    if (m_strCmd == "create") {
        result = link->Create(m_nFolderId, m_strName, m_strTarget, m_strArg, m_strLnkDesc, m_strIconFile,
                              m_nIconIndex);
    } else if (m_strCmd == "update") {
        if (link->Exists(m_nFolderId, m_strName)) {
            CWnd* main = AfxGetMainWnd();
            CString target, args, desc, iconFile;
            int iconIndex = 0;
            HRESULT hr = link->GetInfo(main ? main->m_hWnd : NULL, m_nFolderId, m_strName, target, args, desc,
                                       iconFile, iconIndex);
            if (FAILED(hr)) {
                result = FALSE;
            } else {
                if (m_strNewItems.Find("target,") >= 0)
                    target = m_strTarget;
                if (m_strNewItems.Find("arg,") >= 0)
                    args = m_strArg;
                if (m_strNewItems.Find("lnkdesc,") >= 0)
                    desc = m_strLnkDesc;
                if (m_strNewItems.Find("iconfile,") >= 0)
                    iconFile = m_strIconFile;
                if (m_strNewItems.Find("iconindex,") >= 0)
                    iconIndex = m_nIconIndex;
                result = link->Create(m_nFolderId, m_strName, target, args, desc, iconFile, iconIndex);
            }
        }
    } else if (m_strCmd == "delete") {
        result = link->Delete(m_nFolderId, m_strName);
    }
    delete link;
    return result ? TRUE : Failed();
}

CUpdateAction* CShortcutAction::Clone() { return CloneAction(*this); }
