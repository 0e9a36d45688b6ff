#include "update_package.h"

#include <tinyxml.h>

#include "action.h"
#include "environment.h"
#include "md5.h"

namespace {

CString ElementText(TiXmlElement* parent, const char* name) {
    TiXmlElement* e = parent->FirstChildElement(name);
    TiXmlNode* first = e ? e->FirstChild() : NULL;
    TiXmlText* text = first ? first->ToText() : NULL;
    return CString(text ? text->Value() : "");
}

void LoadActionList(TiXmlElement* package, const char* listName, CPtrList* list) {
    TiXmlElement* holder = package->FirstChildElement(listName);
    if (!holder) return;
    // The first element named action, then every following element whatever its name.
    for (TiXmlElement* e = holder->FirstChildElement("action"); e; e = e->NextSiblingElement()) {
        const char* type = e->Attribute("type");
        CUpdateAction* action = CreateAction(CString(type ? type : ""));
        if (!action) continue;
        action->LoadFromXml(e);
        list->AddTail(action);
    }
}

}  // namespace

CUpdatePackage::CUpdatePackage() : m_preActions(10), m_actions(10), m_postActions(10) {}

CUpdatePackage::~CUpdatePackage() {
    FreeActionList(&m_preActions);
    FreeActionList(&m_actions);
    FreeActionList(&m_postActions);
}

void CUpdatePackage::FreeActionList(CPtrList* list) {
    while (!list->IsEmpty()) delete static_cast<CUpdateAction*>(list->RemoveTail());
}

int CUpdatePackage::LoadFromXml(TiXmlElement* element) {
    const char* name = element->Attribute("name");
    m_strName = name ? name : "";
    m_strVersion = ElementText(element, "version");
    m_strDescription = ElementText(element, "description");
    if (element->FirstChildElement("url")) m_strUrl = ElementText(element, "url");
    if (!m_strUrl.IsEmpty() && element->FirstChildElement("md5")) m_strMd5 = ElementText(element, "md5");
    LoadActionList(element, "pre-actions", &m_preActions);
    LoadActionList(element, "actions", &m_actions);
    LoadActionList(element, "post-actions", &m_postActions);
    return 1;
}

BOOL CUpdatePackage::Download() {
    // The local name comes from the URL as the document gives it, once: the
    // canonical form that the first attempt stores must not rename the file.
    CString name = UrlFileName(m_strUrl);
    if (name.IsEmpty()) {
        WriteLogF(FALSE, "PACKAGE: no safe file name in the URL: %s", (LPCSTR)m_strUrl.Left(kMaxUrlLength));
    } else {
        m_strLocalFile.Format("%s\\%s", (LPCSTR)g_strDownloadFolder, (LPCSTR)name);
        m_strLocalFile.Replace("\\\\", "\\");
        if (m_strLocalFile.GetLength() >= MAX_PATH) {
            WriteLogF(FALSE, "PACKAGE: local path too long (%d characters)", m_strLocalFile.GetLength());
            name.Empty();
        }
    }
    for (int attempt = 1; attempt <= kDownloadAttempts; ++attempt) {
        WriteLog("下载文件: " + m_strUrl, TRUE);
        BOOL ok;
        if (name.IsEmpty()) {
            // Nothing safe to write to: the same text as a target that cannot be created.
            WriteLog(CString("无法保存下载的文件"), TRUE);
            ok = FALSE;
        } else {
            ok = DownloadUrl(&m_strUrl, &m_strLocalFile, TRUE, TRUE);
        }
        if (ok && !m_strMd5.IsEmpty()) {
            WriteLog(CString("检验下载文件"), TRUE);
            const char* digest = Md5OfFile(m_strLocalFile);
            if (!digest || m_strMd5.CompareNoCase(digest) != 0) {
                WriteLog(CString("文件校验错误，重新下载"), TRUE);
                ok = FALSE;
            } else {
                WriteLog(CString("文件校验正确"), TRUE);
            }
        }
        if (ok) return TRUE;
    }
    WriteLog(CString("文件无法下载，请与Harlenby公司联系"), TRUE);
    return FALSE;
}

BOOL CUpdatePackage::RunList(CPtrList* list) {
    for (POSITION pos = list->GetHeadPosition(); pos;) {
        CUpdateAction* action = static_cast<CUpdateAction*>(list->GetNext(pos));
        action->ReplaceThisFile(m_strLocalFile);
        if (!action->Execute()) return FALSE;
    }
    return TRUE;
}

int CUpdatePackage::Run() {
    if (!m_strDescription.IsEmpty()) WriteLog(m_strDescription, TRUE);
    m_strLocalFile.Empty();
    if (!m_strUrl.IsEmpty() && !Download()) return 0;
    if (!RunList(&m_preActions) || !RunList(&m_actions) || !RunList(&m_postActions)) return 0;
    return 1;
}
