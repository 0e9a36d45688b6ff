// Action "unzip": extracts a ZIP archive into a folder.
#include "action_types.h"
#include "environment.h"
#include "status_display.h"
#include "zip_names.h"
#include "zip_reader.h"

CUnzipAction::CUnzipAction() : CUpdateAction("unzip") { InitAttributes(); }

CUnzipAction::CUnzipAction(const CUnzipAction& source) : CUpdateAction(source) { InitAttributes(); }

CUnzipAction::~CUnzipAction() {}

void CUnzipAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strWhere.Empty();
    m_strFile.Empty();
    SetAttributeLists("description,file,where", ",,");
}

BOOL CUnzipAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "where")
        m_strWhere = value;
    else if (key == "file")
        m_strFile = value;
    return CUpdateAction::SetAttribute(name, value);
}

static void ShowFileProgress(int position, int range) {
    if (IUpdateDisplay* display = GetUpdateDisplay())
        display->SetFileProgress(position, range);
}

BOOL CUnzipAction::Execute() {
    LogDescription();
    if (!PathExists(m_strFile)) {
        WriteLog(CString("文件没有发现：") + m_strFile, TRUE);
        return Failed();
    }
    CZipReader zip(NULL);
    if (!zip.Open(m_strFile)) {
        WriteLog(CString("无法打开压缩文件：") + m_strFile, TRUE);
        return Failed();
    }
    int count = zip.GetEntryCount();
    if (count == 0) {
        WriteLog(CString("空的压缩文件：") + m_strFile, TRUE);
        zip.Close();
        return Failed();
    }
    if (!zip.GotoFirstEntry(NULL)) {
        WriteLog(CString("解压文件失败：") + m_strFile, TRUE);
        zip.Close();
        return Failed();
    }
    ShowFileProgress(0, count);
    BOOL ok = TRUE;
    for (int i = 1;; i++) {
        ZipEntryInfo info;
        BOOL described = zip.GetEntryInfo(info);
        CString target = m_strWhere + "\\" + info.name;
        target.Replace("\\\\", "\\");
        if (!described || CheckZipEntryName(info.name) != kZipNameOk) {
            // A name cut by the buffer, or one that would leave the target folder.
            WriteLog(CString("解压文件出错: ") + target, TRUE);
            ok = FALSE;
            break;
        }
        WriteLog(CString("正在解压文件: ") + target, TRUE);
        BOOL written;
        if (!info.isFolder && IsOwnExe(target)) {
            PrepareSelfReplace(&target);
            written = zip.ExtractEntryTo(target);
        } else {
            written = zip.ExtractEntry(m_strWhere, FALSE);
        }
        if (!written) {
            WriteLog(CString("解压文件出错: ") + target, TRUE);
            ok = FALSE;
            break;
        }
        ShowFileProgress(i, -1);
        if (!zip.GotoNextEntry(NULL))
            break;
    }
    zip.Close();
    WriteLog(CString("解压文件完毕"), TRUE);
    return ok ? TRUE : Failed();
}

CUpdateAction* CUnzipAction::Clone() { return CloneAction(*this); }
