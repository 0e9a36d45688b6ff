// Actions "mkdir", "remove" and "open": folders and files.
#include "action_types.h"
#include "environment.h"
#include "update_engine.h"

#include <stdio.h>

// ---- mkdir --------------------------------------------------------------------

CMkdirAction::CMkdirAction() : CUpdateAction("mkdir") { InitAttributes(); }
CMkdirAction::CMkdirAction(const CMkdirAction& source) : CUpdateAction(source) { InitAttributes(); }
CMkdirAction::~CMkdirAction() {}

void CMkdirAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strPath.Empty();
    SetAttributeLists("description,path,dir", ",,");
}

BOOL CMkdirAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if ((key == "path" || key == "dir") && value[0])
        m_strPath = value;
    return CUpdateAction::SetAttribute(name, value);
}

BOOL CMkdirAction::Execute() {
    LogDescription();
    if (m_strPath.IsEmpty()) {
        WriteLog(CString("目录没有设定，无法创建目录"), TRUE);
        return TRUE;
    }
    if (PathExists(m_strPath))
        return TRUE;
    if (CreateDirectoryA(m_strPath, NULL))
        return TRUE;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS)
        return TRUE;
    if (error == ERROR_PATH_NOT_FOUND) {
        int slash = m_strPath.ReverseFind('\\');
        // The parent must fit a path buffer; a longer one is refused.
        if (slash > 0 && slash < MAX_PATH) {
            CString parent = m_strPath.Left(slash);
            if (MakeDirectoryPath(parent) == 1 && CreateDirectoryA(m_strPath, NULL))
                return TRUE;
        }
    }
    return Failed();
}

CUpdateAction* CMkdirAction::Clone() { return CloneAction(*this); }

// ---- remove -------------------------------------------------------------------

CRemoveAction::CRemoveAction() : CUpdateAction("remove") { InitAttributes(); }
CRemoveAction::CRemoveAction(const CRemoveAction& source) : CUpdateAction(source) { InitAttributes(); }
CRemoveAction::~CRemoveAction() {}

void CRemoveAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strPath.Empty();
    SetAttributeLists("description,path", ",");
}

BOOL CRemoveAction::SetAttribute(LPCSTR name, LPCSTR value) {
    if (ActionKey(name) == "path")
        m_strPath = value;
    return CUpdateAction::SetAttribute(name, value);
}

BOOL CRemoveAction::Execute() {
    LogDescription();
    if (!PathExists(m_strPath))
        return TRUE;
    if (!IsFolder(m_strPath)) {
        if (IsOwnExe(m_strPath))
            return TRUE;  // the running updater is never removed
        return remove(m_strPath) == 0 ? TRUE : Failed();
    }
    if (RemoveDirectoryA(m_strPath))
        return TRUE;
    if (GetLastError() != ERROR_DIR_NOT_EMPTY)
        return Failed();
    CString pattern;
    pattern.Format("%s\\*.*", (LPCSTR)m_strPath);
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA(pattern, &fd);
    if (find == INVALID_HANDLE_VALUE)
        return Failed();
    do {
        CString path;
        path.Format("%s\\%s", (LPCSTR)m_strPath, fd.cFileName);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (lstrcmpA(fd.cFileName, ".") == 0 || lstrcmpA(fd.cFileName, "..") == 0)
                continue;
            // A junction or other reparse point is removed itself, never entered.
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteFolderTree(path);
            RemoveDirectoryA(path);
        } else if (!IsOwnExe(path)) {  // the running updater stays, here too
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileA(path)) {
                FindClose(find);
                return Failed();
            }
        }
    } while (FindNextFileA(find, &fd));
    // Any other enumeration error ends the walk as well; what was deleted stays deleted.
    BOOL complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    RemoveDirectoryA(m_strPath);
    return complete ? TRUE : Failed();
}

CUpdateAction* CRemoveAction::Clone() { return CloneAction(*this); }

// ---- open ---------------------------------------------------------------------

COpenAction::COpenAction() : CUpdateAction("open"), m_bWait(TRUE), m_bVisible(TRUE) { InitAttributes(); }
COpenAction::COpenAction(const COpenAction& source)
    : CUpdateAction(source), m_bWait(TRUE), m_bVisible(TRUE) {
    InitAttributes();
}
COpenAction::~COpenAction() {}

void COpenAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strFile.Empty();
    m_bWait = TRUE;
    m_bVisible = TRUE;
    SetAttributeLists("description,file,async,sync,visible", ",,false,true,true");
}

BOOL COpenAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "file" || key == "cmd")
        m_strFile = value;
    else
        SetStartFlag(key, value, &m_bWait, &m_bVisible);
    return CUpdateAction::SetAttribute(name, value);
}

BOOL COpenAction::Execute() {
    LogDescription();
    if (!PathExists(m_strFile)) {
        WriteLog(CString("文件不存在：") + m_strFile, TRUE);
        return Failed();
    }
    return ExecCmd(m_strFile, "", m_bWait, m_bVisible) ? TRUE : Failed();
}

CUpdateAction* COpenAction::Clone() { return CloneAction(*this); }
