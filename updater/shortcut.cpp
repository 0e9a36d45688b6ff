// Shell links through the shell's link object (IShellLinkA, IPersistFile).
#include "shortcut.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "utils.h"

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T>
struct ComRef {
    T* p = NULL;
    ~ComRef() {
        if (p)
            p->Release();
    }
};

BOOL ToWide(const CString& text, WCHAR (&out)[MAX_PATH]) {
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, out, countof(out));
    return n > 0;
}

}  // namespace

BOOL CShortcut::GetSpecialFolder(int csidl, CString& out) {
    LPITEMIDLIST list = NULL;
    if (FAILED(SHGetSpecialFolderLocation(NULL, csidl, &list)) || !list)
        return FALSE;
    char path[MAX_PATH];
    BOOL ok = SHGetPathFromIDListA(list, path);
    IMalloc* malloc = NULL;
    if (SUCCEEDED(SHGetMalloc(&malloc)) && malloc) {
        malloc->Free(list);
        malloc->Release();
    }
    if (!ok)
        return FALSE;
    out = path;
    out += "\\";
    return TRUE;
}

BOOL CShortcut::LinkPath(int csidl, const CString& name, CString& out) {
    CString folder;
    if (!GetSpecialFolder(csidl, folder))
        return FALSE;
    out = folder + name + ".lnk";
    // Paths beyond MAX_PATH are outside what the shell calls below accept.
    return out.GetLength() < MAX_PATH;
}

BOOL CShortcut::Create(int csidl, CString name, CString target, CString args, CString desc,
                       CString iconFile, int iconIndex) {
    name.Trim();
    target.Trim();
    args.Trim();
    desc.Trim();
    iconFile.Trim();
    CString path;
    if (!LinkPath(csidl, name, path))
        return FALSE;
    if (target.IsEmpty()) {
        char own[MAX_PATH];
        DWORD n = GetModuleFileNameA(NULL, own, countof(own));
        if (n == 0 || n >= countof(own))
            return FALSE;
        target = own;
    }
    CoInitialize(NULL);
    ComRef<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void**)&link.p)))
        return FALSE;
    link.p->SetPath(target);
    link.p->SetDescription(desc);
    if (!args.IsEmpty())
        link.p->SetArguments(args);
    ComRef<IPersistFile> file;
    if (FAILED(link.p->QueryInterface(IID_IPersistFile, (void**)&file.p)))
        return FALSE;
    WCHAR wide[MAX_PATH];
    if (!ToWide(path, wide))
        return FALSE;
    if (!iconFile.IsEmpty())
        link.p->SetIconLocation(iconFile, iconIndex);
    return SUCCEEDED(file.p->Save(wide, TRUE));
}

BOOL CShortcut::Delete(int csidl, CString name) {
    CString path;
    if (!LinkPath(csidl, name, path))
        return FALSE;
    char from[MAX_PATH + 1] = {0};  // double NUL at the end
    CopyTextN(from, path, MAX_PATH);
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from;
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI;
    // SHFileOperation succeeds for a missing file on some systems: check first.
    if (GetFileAttributesA(from) == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    return SHFileOperationA(&op) == 0;
}

BOOL CShortcut::Exists(int csidl, CString name) {
    CString path;
    if (!LinkPath(csidl, name, path))
        return FALSE;
    CFileStatus status;
    return CFile::GetStatus(path, status);
}

HRESULT CShortcut::GetInfo(HWND owner, int csidl, CString name, CString& target, CString& args,
                           CString& desc, CString& iconFile, int& iconIndex) {
    CString path;
    if (!LinkPath(csidl, name, path))
        return S_FALSE;
    // Works also on a thread where nothing initialised COM before.
    CoInitialize(NULL);
    HRESULT hr;
    BOOL readFailed = FALSE;
    {
        ComRef<IShellLinkA> link;
        hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link.p);
        ComRef<IPersistFile> file;
        if (SUCCEEDED(hr))
            hr = link.p->QueryInterface(IID_IPersistFile, (void**)&file.p);
        WCHAR wide[MAX_PATH];
        if (SUCCEEDED(hr) && !ToWide(path, wide))
            hr = E_FAIL;
        if (SUCCEEDED(hr))
            hr = file.p->Load(wide, STGM_READ);
        if (SUCCEEDED(hr))
            hr = link.p->Resolve(owner, SLR_NO_UI | SLR_ANY_MATCH);
        if (SUCCEEDED(hr)) {
            char buffer[MAX_PATH];
            WIN32_FIND_DATAA fd;
            buffer[0] = 0;
            hr = link.p->GetPath(buffer, countof(buffer), &fd, SLGP_SHORTPATH);
            if (SUCCEEDED(hr)) {
                target = buffer;
                buffer[0] = 0;
                hr = link.p->GetArguments(buffer, countof(buffer));
            }
            if (SUCCEEDED(hr)) {
                args = buffer;
                buffer[0] = 0;
                hr = link.p->GetDescription(buffer, countof(buffer));
            }
            if (SUCCEEDED(hr)) {
                desc = buffer;
                buffer[0] = 0;
                int index = 0;
                hr = link.p->GetIconLocation(buffer, countof(buffer), &index);
                if (SUCCEEDED(hr)) {
                    iconFile = buffer;
                    iconIndex = index;
                }
            }
            readFailed = FAILED(hr);
        }
    }
    if (!readFailed) {
        CString longForm;
        if (ExpandLongPath(target, longForm) > target.GetLength())
            target = longForm;
        if (ExpandLongPath(iconFile, longForm) > iconFile.GetLength())
            iconFile = longForm;
    }
    return hr;
}

int CShortcut::ExpandLongPath(CString path, CString& out) {
    path.Trim();
    if (path.IsEmpty() || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return 0;
    path.Replace('/', '\\');
    int n = path.GetLength();
    if (n >= 2 && path[1] == ':' && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
        (n < 3 || path[2] != '\\'))
        return 0;
    CString result = path.Left(3);
    CString shortSoFar = result;
    int i = 3;
    while (i < n) {
        while (i < n && path[i] == '\\')  // doubled separators
            i++;
        if (i >= n)
            break;
        int end = path.Find('\\', i);
        BOOL last = end < 0;
        if (last)
            end = n;
        CString component = path.Mid(i, end - i);
        CString probe = shortSoFar + component;
        WIN32_FIND_DATAA fd;
        HANDLE find = FindFirstFileA(probe, &fd);
        if (find == INVALID_HANDLE_VALUE)
            return 0;
        FindClose(find);
        result += fd.cFileName;
        shortSoFar = probe;
        if (!last) {
            result += "\\";
            shortSoFar += "\\";
        }
        i = end + 1;
        if (last) {
            if (GetFileAttributesA(result) == INVALID_FILE_ATTRIBUTES)
                return 0;
            break;
        }
    }
    out = result;
    return out.GetLength();
}
