// Action "run": starts a program.
#include "action_types.h"
#include "environment.h"
#include "update_engine.h"

CRunAction::CRunAction() : CUpdateAction("run"), m_bWait(TRUE), m_bVisible(TRUE) { InitAttributes(); }

CRunAction::CRunAction(const CRunAction& source)
    : CUpdateAction(source), m_bWait(TRUE), m_bVisible(TRUE) {
    InitAttributes();
}

CRunAction::~CRunAction() {}

void CRunAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strArgs.Empty();
    m_strCmd.Empty();
    m_bWait = TRUE;
    m_bVisible = TRUE;
    SetAttributeLists("description,cmd,args,async,sync,visible", ",,,false,true,true");
}

BOOL CRunAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "args")
        m_strArgs = value;
    else if (key == "cmd" || key == "file")
        m_strCmd = value;
    else
        SetStartFlag(key, value, &m_bWait, &m_bVisible);
    return CUpdateAction::SetAttribute(name, value);
}

BOOL CRunAction::Execute() {
    LogDescription();
    return ExecCmd(m_strCmd, m_strArgs, m_bWait, m_bVisible) ? TRUE : Failed();
}

CUpdateAction* CRunAction::Clone() { return CloneAction(*this); }
