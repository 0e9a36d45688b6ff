#include "registry.h"

#include <stdlib.h>
#include <string.h>

#include "utils.h"

namespace {

// Closes an open key on every path.
struct KeyHolder {
    HKEY key = NULL;
    ~KeyHolder() {
        if (key) RegCloseKey(key);
    }
};

CString AppName() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, countof(path));
    if (n == 0 || n >= countof(path)) return CString("updater");
    CString name(path);
    int slash = name.ReverseFind('\\');
    if (slash >= 0) name = name.Mid(slash + 1);
    int dot = name.ReverseFind('.');
    if (dot > 0) name = name.Left(dot);
    return name;
}

}  // namespace

CRegistry::CRegistry() : m_hRootKey(HKEY_LOCAL_MACHINE) {
    SetSubKey("Software\\" + AppName());
}

int CRegistry::SetRootKey(HKEY root) {
    m_hRootKey = root;
    return 1;
}

int CRegistry::SetSubKey(LPCSTR path) {
    if (!path) return 0;
    while (*path == '\\') ++path;
    m_szSubKey = path;
    OutputDebugStringA("m_szSubKey set to ");
    OutputDebugStringA(m_szSubKey);
    OutputDebugStringA("\n");
    return 1;
}

int CRegistry::SetValueName(LPCSTR name) {
    if (!name) return 0;
    m_szValueName = name;
    OutputDebugStringA("m_szValueName set to ");
    OutputDebugStringA(m_szValueName);
    OutputDebugStringA("\n");
    return 1;
}

BOOL CRegistry::KeyExists(LPCSTR path, HKEY root) {
    KeyHolder k;
    return RegOpenKeyExA(root ? root : m_hRootKey, path ? path : "", 0, KEY_ALL_ACCESS, &k.key) ==
           ERROR_SUCCESS;
}

LONG CRegistry::WriteValue(const void* data, DWORD size, DWORD type) {
    KeyHolder k;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExA(m_hRootKey, m_szSubKey, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_WRITE, NULL,
                              &k.key, &disposition);
    if (rc != ERROR_SUCCESS) return rc;
    return RegSetValueExA(k.key, m_szValueName, 0, type, static_cast<const BYTE*>(data), size);
}

LONG CRegistry::WriteDword(DWORD value) { return WriteValue(&value, sizeof(value), REG_DWORD); }

LONG CRegistry::WriteString(LPCSTR text) {
    if (!text) text = "";
    return WriteValue(text, (DWORD)strlen(text) + 1, REG_SZ);
}

LONG CRegistry::WriteBinary(const void* data, DWORD size) { return WriteValue(data, size, REG_BINARY); }

LONG CRegistry::ReadString(CString& out) {
    BYTE* data = NULL;
    DWORD size = 0;
    LONG rc = ReadBinary(&data, &size);  // NUL-terminated after the bytes read
    if (rc == ERROR_SUCCESS) out = reinterpret_cast<const char*>(data);
    free(data);
    return rc;
}

LONG CRegistry::ReadBinary(BYTE** data, DWORD* size) {
    if (!data || !size) return ERROR_INVALID_PARAMETER;
    KeyHolder k;
    LONG rc = RegOpenKeyExA(m_hRootKey, m_szSubKey, 0, KEY_READ, &k.key);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD need = 0;
    rc = RegQueryValueExA(k.key, m_szValueName, NULL, NULL, NULL, &need);
    if (rc != ERROR_SUCCESS) return rc;
    BYTE* buffer = static_cast<BYTE*>(malloc((size_t)need + 1));
    if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
    *data = buffer;
    DWORD got = need;
    rc = RegQueryValueExA(k.key, m_szValueName, NULL, NULL, buffer, &got);
    // The value may have grown between the two calls; never report more than we hold.
    *size = got <= need ? got : need;
    buffer[*size] = 0;
    return rc;
}

int CRegistry::EnumSubKeys(CStringArray& out, LPCSTR path) {
    out.RemoveAll();
    CString key = (path && *path) ? CString(path) : m_szSubKey;
    KeyHolder k;
    if (RegOpenKeyExA(m_hRootKey, key, 0, KEY_ENUMERATE_SUB_KEYS, &k.key) != ERROR_SUCCESS) return 0;
    for (DWORD i = 0;; ++i) {
        char name[260];
        DWORD len = countof(name);
        if (RegEnumKeyExA(k.key, i, name, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        out.Add(name);
    }
    return out.GetSize();
}

int CRegistry::DeleteKey(LPCSTR path) {
    if (!path) return 0;
    if (!KeyExists(path, 0)) return 1;
    CStringArray children;
    // An empty path would enumerate m_szSubKey instead of the root's children.
    if (*path) EnumSubKeys(children, path);
    for (int i = 0; i < children.GetSize(); ++i) {
        CString child;
        child.Format("%s\\%s", path, (LPCSTR)children[i]);
        DeleteKey(child);
    }
    return RegDeleteKeyA(m_hRootKey, path) == ERROR_SUCCESS ? 1 : 0;
}

BOOL CRegistry::DeleteValue(LPCSTR name) {
    KeyHolder k;
    if (RegOpenKeyExA(m_hRootKey, m_szSubKey, 0, KEY_SET_VALUE, &k.key) != ERROR_SUCCESS) return FALSE;
    return RegDeleteValueA(k.key, name ? name : "") == ERROR_SUCCESS;
}
