// Shell links (".lnk") directly inside one of the shell's special folders,
// named by the folder's CSIDL and the link name without its extension.
#ifndef ZORVET_UPDATER_SHORTCUT_H
#define ZORVET_UPDATER_SHORTCUT_H

#include "afx.h"

class CShortcut {
public:
    CShortcut() {}
    virtual ~CShortcut() {}

    BOOL Create(int csidl, CString name, CString target, CString args, CString desc, CString iconFile,
                int iconIndex);
    BOOL Delete(int csidl, CString name);
    BOOL Exists(int csidl, CString name);
    // HRESULT of the last shell call; the outputs not reached keep their values.
    HRESULT GetInfo(HWND owner, int csidl, CString name, CString& target, CString& args, CString& desc,
                    CString& iconFile, int& iconIndex);
    BOOL GetSpecialFolder(int csidl, CString& out);
    int ExpandLongPath(CString path, CString& out);

private:
    BOOL LinkPath(int csidl, const CString& name, CString& out);
};

#endif
