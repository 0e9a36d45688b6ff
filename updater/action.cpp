// The shared part of the update script's actions: named attribute pairs with
// per-type defaults, reading an `action` element, ${this_file}, and the map of
// prototypes from which actions are created by type name.
#include "action.h"
#include "action_types.h"
#include "environment.h"
#include "update_engine.h"

#include <string.h>
#include <tinyxml.h>

#include "utils.h"

CMapStringToPtr ActionPrototypeMap(10);

namespace {

BOOL IsSkipErrName(LPCSTR name) {
    return lstrcmpiA(name, "skiperr") == 0 || lstrcmpiA(name, "skiperror") == 0;
}

// Environment references expanded. A value whose expansion does not fit (or
// fails) is kept as it was rather than cut.
CString ExpandValue(LPCSTR value) {
    char buffer[261];
    DWORD n = ::ExpandEnvironmentStringsA(value, buffer, countof(buffer));
    if (n == 0 || n > countof(buffer))
        return CString(value);
    return CString(buffer);
}

}  // namespace

CUpdateAction::CUpdateAction(LPCSTR type) : m_bSkipErr(FALSE), m_strType(type) {
    m_names.Add("skiperr");
    m_values.Add("0");
}

CUpdateAction::CUpdateAction(const CUpdateAction& source)
    : CObject(), m_bSkipErr(source.m_bSkipErr), m_strType(source.m_strType) {
    m_names.Add("skiperr");
    m_values.Add(m_bSkipErr ? "1" : "0");
    for (int i = 0; i < source.m_names.GetSize(); i++)
        CUpdateAction::SetAttribute(source.m_names[i], source.m_values[i]);
}

CUpdateAction::~CUpdateAction() {}

void CUpdateAction::InitAttributes() { SetSkipError(m_bSkipErr); }

void CUpdateAction::SetSkipError(BOOL skip) {
    m_bSkipErr = skip;
    SetAttribute("skiperr", skip ? "1" : "0");
}

BOOL CUpdateAction::RunCommand(LPCSTR cmd, LPCSTR args, BOOL wait) {
    BOOL ok = ExecCmd(cmd, args, wait, TRUE);
    m_strResult.Format(ok ? "Running %s %s ... [OK]." : "Running %s %s ... [FAILED].", cmd, args);
    return ok;
}

CString CUpdateAction::GetAttribute(LPCSTR name) {
    LPCSTR key = lstrcmpiA(name, "skiperror") == 0 ? "skiperr" : name;
    for (int i = 0; i < m_names.GetSize(); i++) {
        if (m_names[i].CompareNoCase(key) == 0)
            return m_values[i];
    }
    return CString();
}

BOOL CUpdateAction::SetAttribute(LPCSTR nameIn, LPCSTR valueIn) {
    // Copies first: the arguments may point into m_names / m_values themselves.
    CString name(nameIn);
    CString value(valueIn);
    CString expanded = ExpandValue(value);
    if (name.CompareNoCase("description") == 0) {
        m_strDescription = value;
    } else if (IsSkipErrName(name)) {
        name = "skiperr";
        m_bSkipErr = value.CompareNoCase("1") == 0 || value.CompareNoCase("true") == 0;
    }
    for (int i = 0; i < m_names.GetSize(); i++) {
        if (m_names[i].CompareNoCase(name) == 0) {
            m_values[i] = expanded;
            return TRUE;
        }
    }
    m_names.Add(name);
    m_values.Add(expanded);
    return TRUE;
}

void CUpdateAction::ApplyAttributes() {
    for (int i = 0; i < m_names.GetSize(); i++) {
        CString name = m_names[i];
        CString value = m_values[i];
        SetAttribute(name, value);
    }
}

BOOL CUpdateAction::SetAttributeLists(LPCSTR names, LPCSTR defaults) {
    SplitString(&m_names, CString(names), CString(","), CString(" \t"));
    SplitString(&m_values, CString(defaults), CString(","), CString(" \t"));
    int n = m_names.GetSize() < m_values.GetSize() ? m_names.GetSize() : m_values.GetSize();
    if (m_names.GetSize() > n)
        m_names.SetSize(n);
    if (m_values.GetSize() > n)
        m_values.SetSize(n);
    for (int i = 0; i < n; i++) {
        CString name = m_names[i];
        CString value = m_values[i];
        SetAttribute(name, value);
    }
    if (GetAttribute("skiperr").IsEmpty())
        SetAttribute("skiperr", m_bSkipErr ? "1" : "0");
    return TRUE;
}

BOOL CUpdateAction::LoadFromXml(TiXmlElement* element) {
    if (!element)
        return FALSE;
    int count = m_names.GetSize();
    for (int i = 0; i < count; i++) {
        CString name = m_names[i];
        const char* text = element->Attribute((LPCSTR)name);
        if (!text)
            continue;
        CString value(text);
        CString key = "|" + name + "|";
        if (strstr("|file|cmd|where|", key) != NULL)
            value.Replace("\\\\", "\\");
        SetAttribute(name, value);
    }
    return TRUE;
}

void CUpdateAction::ReplaceThisFile(LPCSTR pathIn) {
    CString path(pathIn);
    for (int i = 0; i < m_names.GetSize(); i++) {
        CString value = m_values[i];
        if (value.Replace("${this_file}", path) > 0) {
            CString name = m_names[i];
            SetAttribute(name, value);
        }
    }
}

BOOL CUpdateAction::Execute() { return TRUE; }

CUpdateAction* CUpdateAction::Clone() { return NULL; }

void CUpdateAction::LogDescription() {
    if (!m_strDescription.IsEmpty())
        WriteLog(m_strDescription, TRUE);
}

// ---- prototypes ---------------------------------------------------------------

void RegisterActionPrototypes() {
    ActionPrototypeMap.SetAt("copy", new CCopyAction);
    ActionPrototypeMap.SetAt("shortcut", new CShortcutAction);
    ActionPrototypeMap.SetAt("mkdir", new CMkdirAction);
    ActionPrototypeMap.SetAt("open", new COpenAction);
    ActionPrototypeMap.SetAt("registry", new CRegistryAction);
    ActionPrototypeMap.SetAt("remove", new CRemoveAction);
    ActionPrototypeMap.SetAt("run", new CRunAction);
    ActionPrototypeMap.SetAt("sendmessage", new CSendMessageAction);
    ActionPrototypeMap.SetAt("showmessage", new CShowMessageAction);
    ActionPrototypeMap.SetAt("unzip", new CUnzipAction);
}

void ClearActionPrototypes() { FreeActionMap(&ActionPrototypeMap); }

void FreeActionMap(CMapStringToPtr* map) {
    POSITION pos = map->GetStartPosition();
    while (pos) {
        CString key;
        void* value = NULL;
        map->GetNextAssoc(pos, key, value);
        delete static_cast<CUpdateAction*>(value);
    }
    map->RemoveAll();
}

CUpdateAction* CreateAction(CString type) {
    type.Trim();
    type.MakeLower();
    void* prototype = NULL;
    if (type.IsEmpty() || !ActionPrototypeMap.Lookup(type, prototype) || !prototype)
        return NULL;
    return static_cast<CUpdateAction*>(prototype)->Clone();
}

// ---- helpers of the types ------------------------------------------------------

CString ActionKey(LPCSTR name) {
    CString key(name);
    key.MakeLower();
    key.Trim();
    return key;
}

void SetStartFlag(const CString& key, LPCSTR value, BOOL* wait, BOOL* visible) {
    BOOL isTrue = lstrcmpiA(value, "true") == 0 || lstrcmpiA(value, "1") == 0;
    if (key == "async")
        *wait = !isTrue;
    else if (key == "sync")
        *wait = isTrue;
    else if (key == "visible")
        *visible = lstrcmpiA(value, "false") != 0 && lstrcmpiA(value, "0") != 0;
}
