// Action "registry": writes a value, patches part of a binary value, deletes a
// value or deletes a key tree.
#include "action_types.h"
#include "environment.h"
#include "registry.h"

#include <stdlib.h>
#include <string.h>

// Far beyond any real value; keeps startpos + n from overflowing or asking for
// absurd allocations.
static const int kMaxBinaryPatchEnd = 1 << 20;

CRegistryAction::CRegistryAction()
    : CUpdateAction("registry"), m_strKey("HKEY_LOCAL_MACHINE"), m_strValueType("STRING"), m_nStartPos(-1) {
    InitAttributes();
}

CRegistryAction::CRegistryAction(const CRegistryAction& source)
    : CUpdateAction(source), m_strKey("HKEY_LOCAL_MACHINE"), m_strValueType("STRING"), m_nStartPos(-1) {
    InitAttributes();
}

CRegistryAction::~CRegistryAction() {}

void CRegistryAction::InitAttributes() {
    CUpdateAction::InitAttributes();
    m_strKey = "HKEY_LOCAL_MACHINE";
    m_strValueName.Empty();
    m_strValue.Empty();
    m_strValueType = "STRING";
    m_nStartPos = -1;
    SetAttributeLists("description,key,valuetype,valuename,value,startpos",
                      ",HKEY_LOCAL_MACHINE,STRING,,,-1");
}

BOOL CRegistryAction::SetAttribute(LPCSTR name, LPCSTR value) {
    CString key = ActionKey(name);
    if (key == "key")
        m_strKey = value;
    else if (key == "valuename")
        m_strValueName = value;
    else if (key == "value")
        m_strValue = value;
    else if (key == "valuetype")
        m_strValueType = value;
    else if (key == "startpos")
        m_nStartPos = atoi(value);
    return CUpdateAction::SetAttribute(name, value);
}

static HKEY RootKeyByName(const CString& name) {
    if (name.CompareNoCase("HKEY_CLASSES_ROOT") == 0 || name.CompareNoCase("HKCR") == 0)
        return HKEY_CLASSES_ROOT;
    if (name.CompareNoCase("HKEY_CURRENT_USER") == 0 || name.CompareNoCase("HKCU") == 0)
        return HKEY_CURRENT_USER;
    if (name.CompareNoCase("HKEY_CURRENT_CONFIG") == 0 || name.CompareNoCase("HKCC") == 0)
        return HKEY_CURRENT_CONFIG;
    if (name.CompareNoCase("HKEY_USERS") == 0 || name.CompareNoCase("HKU") == 0)
        return HKEY_USERS;
    return HKEY_LOCAL_MACHINE;
}

BOOL CRegistryAction::Execute() {
    LogDescription();
    CRegistry reg;
    enum { kWrite, kDeleteKey, kDeleteValue } mode = kWrite;
    if (m_strKey.GetLength() > 0 && m_strKey[0] == '-') {
        mode = kDeleteKey;
        m_strKey = m_strKey.Mid(1);
    } else if (m_strValueName.GetLength() > 0 && m_strValueName[0] == '-') {
        mode = kDeleteValue;
        m_strValueName = m_strValueName.Mid(1);
    }
    CString rootName = "HKEY_LOCAL_MACHINE";
    CString subKey = m_strKey;
    int slash = m_strKey.Find('\\');
    if (slash > 0) {
        rootName = m_strKey.Left(slash);
        subKey = m_strKey.Mid(slash + 1);
    }
    reg.SetRootKey(RootKeyByName(rootName));
    reg.SetSubKey(subKey);
    reg.SetValueName(m_strValueName);

    if (mode == kDeleteKey) {
        // An empty path names the root key itself: never delete a whole hive.
        CString path = subKey;
        path.TrimLeft('\\');
        if (path.IsEmpty()) {
            WriteLog(CString("Registry: refusing to delete a root key: ") + m_strKey, FALSE);
            return Failed();
        }
        reg.DeleteKey(path);
        return TRUE;
    }
    if (mode == kDeleteValue) {
        reg.DeleteValue(m_strValueName);
        return TRUE;
    }

    LONG code;
    if (m_strValueType.CompareNoCase("BINARY") == 0) {
        BYTE* bytes = NULL;
        int n = ParseHexBytes(m_strValue, &bytes);
        if (n < 1) {
            free(bytes);
            return TRUE;
        }
        BYTE* old = NULL;
        DWORD oldSize = 0;
        BYTE* patched = NULL;
        const BYTE* data = bytes;
        DWORD size = (DWORD)n;
        if (m_nStartPos >= 0) {
            if (m_nStartPos > kMaxBinaryPatchEnd - n) {
                free(bytes);
                WriteLog(CString("Registry: binary start position out of range"), FALSE);
                return Failed();
            }
            if (reg.ReadBinary(&old, &oldSize) == ERROR_SUCCESS) {
                DWORD end = (DWORD)m_nStartPos + (DWORD)n;
                DWORD total = oldSize >= end ? oldSize : end;
                patched = (BYTE*)calloc(total, 1);  // a gap past the old end stays zero
                if (!patched) {
                    free(old);
                    free(bytes);
                    return Failed();
                }
                memcpy(patched, old, oldSize);
                memcpy(patched + m_nStartPos, bytes, n);
                data = patched;
                size = total;
            }
        }
        code = reg.WriteBinary(data, size);
        free(patched);
        free(old);
        free(bytes);
    } else if (m_strValueType.CompareNoCase("DWORD") == 0) {
        code = reg.WriteDword((DWORD)atol(m_strValue));
    } else {
        code = reg.WriteString(m_strValue);
    }
    return code == ERROR_SUCCESS ? TRUE : Failed();
}

CUpdateAction* CRegistryAction::Clone() { return CloneAction(*this); }
