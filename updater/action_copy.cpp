// Action "copy": copies or moves one file.
#include "action_types.h"
#include "environment.h"

CCopyAction::CCopyAction() : CUpdateAction("copy"), m_bMove(TRUE), m_bOverwrite(TRUE) { InitAttributes(); }

CCopyAction::CCopyAction(const CCopyAction& source)
    : CUpdateAction(source), m_bMove(TRUE), m_bOverwrite(TRUE) {
    InitAttributes();
}

CCopyAction::~CCopyAction() {}

void CCopyAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strFrom.Empty();
    m_strTo.Empty();
    m_bMove = TRUE;
    m_bOverwrite = TRUE;
    SetAttributeLists("description,from,to,move,overwrite", ",,,true,true");
}

BOOL CCopyAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "from")
        m_strFrom = value;
    else if (key == "to")
        m_strTo = value;
    else if (key == "move")
        m_bMove = lstrcmpiA(value, "false") != 0;
    else if (key == "overwrite")
        m_bOverwrite = lstrcmpiA(value, "false") != 0;
    return CUpdateAction::SetAttribute(name, value);
}

BOOL CCopyAction::Execute() {
    LogDescription();
    if (!PathExists(m_strFrom)) {
        WriteLog(CString("文件没有发现：") + m_strFrom, TRUE);
        return Failed();
    }
    if (IsFolder(m_strTo))
        m_strTo = m_strTo + "\\" + SplitPath(m_strFrom, NULL);
    if (IsOwnExe(m_strTo))
        PrepareSelfReplace(&m_strTo);
    BOOL ok;
    if (m_bMove)
        ok = MoveFileExA(m_strFrom, m_strTo, MOVEFILE_COPY_ALLOWED);
    else
        ok = CopyFileA(m_strFrom, m_strTo, !m_bOverwrite);
    return ok ? TRUE : Failed();
}

CUpdateAction* CCopyAction::Clone() { return CloneAction(*this); }
