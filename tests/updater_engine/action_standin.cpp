// A small stand-in for the action framework (base action, prototype map,
// CreateAction) and for the command-line globals, so that the engine's tests link
// without the application and the ten action types. Behaviour follows the
// framework's contract where the engine meets it: attribute pairs from the
// type's lists, attributes read from the element, ${this_file}, Clone.
#include <tinyxml.h>

#include "action.h"
#include "environment.h"

BOOL g_bDaemonMode = FALSE;
BOOL g_bAutoMode = FALSE;
BOOL g_bTestServer = FALSE;
int g_nNoticePorts = 1;
CString g_strRegKey;
CString g_strAppPathArg;
CString g_strPartnerId;
CString g_strVersionArg;

CMapStringToPtr ActionPrototypeMap(10);

CUpdateAction::CUpdateAction(LPCSTR type) : m_bSkipErr(FALSE), m_strType(type) {
    m_names.Add("skiperr");
    m_values.Add("0");
}

CUpdateAction::CUpdateAction(const CUpdateAction& source)
    : CObject(), m_bSkipErr(source.m_bSkipErr), m_strType(source.m_strType) {
    m_names.Add("skiperr");
    m_values.Add(m_bSkipErr ? "1" : "0");
    for (int i = 0; i < source.m_names.GetSize(); i++) CUpdateAction::SetAttribute(source.m_names[i], source.m_values[i]);
}

CUpdateAction::~CUpdateAction() {}
void CUpdateAction::InitAttributes() { SetSkipError(m_bSkipErr); }
void CUpdateAction::SetSkipError(BOOL skip) {
    m_bSkipErr = skip;
    SetAttribute("skiperr", skip ? "1" : "0");
}
BOOL CUpdateAction::RunCommand(LPCSTR, LPCSTR, BOOL) { return FALSE; }

CString CUpdateAction::GetAttribute(LPCSTR name) {
    CString key(name);
    if (key.CompareNoCase("skiperror") == 0) key = "skiperr";
    for (int i = 0; i < m_names.GetSize(); i++)
        if (m_names[i].CompareNoCase(key) == 0) return m_values[i];
    return CString();
}

BOOL CUpdateAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key(name), text(value);
    if (key.CompareNoCase("description") == 0) m_strDescription = text;
    if (key.CompareNoCase("skiperr") == 0 || key.CompareNoCase("skiperror") == 0) {
        key = "skiperr";
        m_bSkipErr = text.CompareNoCase("1") == 0 || text.CompareNoCase("true") == 0;
    }
    for (int i = 0; i < m_names.GetSize(); i++)
        if (m_names[i].CompareNoCase(key) == 0) {
            m_values[i] = text;
            return TRUE;
        }
    m_names.Add(key);
    m_values.Add(text);
    return TRUE;
}

void CUpdateAction::ApplyAttributes() {
    for (int i = 0; i < m_names.GetSize(); i++) SetAttribute(CString(m_names[i]), CString(m_values[i]));
}

BOOL CUpdateAction::Execute() { return TRUE; }
CUpdateAction* CUpdateAction::Clone() { return NULL; }

BOOL CUpdateAction::SetAttributeLists(LPCSTR names, LPCSTR defaults) {
    SplitString(&m_names, CString(names), CString(","), CString(" \t"));
    SplitString(&m_values, CString(defaults), CString(","), CString(" \t"));
    int n = m_names.GetSize() < m_values.GetSize() ? m_names.GetSize() : m_values.GetSize();
    m_names.SetSize(n);
    m_values.SetSize(n);
    for (int i = 0; i < n; i++) SetAttribute(CString(m_names[i]), CString(m_values[i]));
    if (GetAttribute("skiperr").IsEmpty()) SetAttribute("skiperr", m_bSkipErr ? "1" : "0");
    return TRUE;
}

BOOL CUpdateAction::LoadFromXml(TiXmlElement* element) {
    if (!element) return FALSE;
    int n = m_names.GetSize();
    for (int i = 0; i < n; i++) {
        CString name = m_names[i];
        const char* value = element->Attribute(name);
        if (value) SetAttribute(name, value);
    }
    return TRUE;
}

void CUpdateAction::ReplaceThisFile(LPCSTR path) {
    for (int i = 0; i < m_values.GetSize(); i++) {
        CString v = m_values[i];
        if (v.Replace("${this_file}", path) > 0) SetAttribute(CString(m_names[i]), v);
    }
}

void CUpdateAction::LogDescription() {
    if (!m_strDescription.IsEmpty()) WriteLog(m_strDescription, TRUE);
}

void FreeActionMap(CMapStringToPtr* map) {
    for (POSITION pos = map->GetStartPosition(); pos;) {
        CString key;
        void* value;
        map->GetNextAssoc(pos, key, value);
        delete static_cast<CUpdateAction*>(value);
    }
    map->RemoveAll();
}

void ClearActionPrototypes() { FreeActionMap(&ActionPrototypeMap); }

CUpdateAction* CreateAction(CString type) {
    type.Trim();
    type.MakeLower();
    void* p = NULL;
    if (!ActionPrototypeMap.Lookup(type, p) || !p) return NULL;
    return static_cast<CUpdateAction*>(p)->Clone();
}
