// CRegistry: one place in the registry (root, sub-key path, value name). Every
// operation opens the key, works and closes it again; no handle is kept.
// Results are Win32 error codes (0 = success) unless noted.
#ifndef ZORVET_UPDATER_REGISTRY_H
#define ZORVET_UPDATER_REGISTRY_H

#include "afx.h"

class CRegistry {
public:
    // HKEY_LOCAL_MACHINE, "Software\\<base name of the running executable>", default value.
    CRegistry();
    virtual ~CRegistry() {}

    int SetRootKey(HKEY root);
    int SetSubKey(LPCSTR path);      // 0 for NULL; leading backslashes removed
    int SetValueName(LPCSTR name);   // 0 for NULL; empty means the default value
    HKEY GetRootKey() const { return m_hRootKey; }
    CString GetSubKey() const { return m_szSubKey; }
    CString GetValueName() const { return m_szValueName; }

    BOOL KeyExists(LPCSTR path, HKEY root = 0);
    LONG WriteValue(const void* data, DWORD size, DWORD type);
    LONG WriteDword(DWORD value);
    LONG WriteString(LPCSTR text);
    LONG WriteBinary(const void* data, DWORD size);
    LONG ReadString(CString& out);
    // *data receives a malloc'ed buffer of size + 1 bytes (the caller frees it),
    // also when the read itself fails after the allocation.
    LONG ReadBinary(BYTE** data, DWORD* size);
    int EnumSubKeys(CStringArray& out, LPCSTR path);
    int DeleteKey(LPCSTR path);      // 1 gone or never there, 0 when the deletion failed
    BOOL DeleteValue(LPCSTR name);

protected:
    HKEY m_hRootKey;
    CString m_szSubKey;
    CString m_szValueName;
};

#endif
