// Reads a shell link back through IShellLinkA for the updater's tests.
//   lnk_probe PATH.lnk   prints target, arguments, description, icon file and
//                        icon index, one per line (bytes as they are)
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <stdio.h>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    CoInitialize(NULL);
    IShellLinkA* link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)))
        return 3;
    IPersistFile* file = NULL;
    if (FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file)))
        return 3;
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, wide, MAX_PATH);
    if (FAILED(file->Load(wide, STGM_READ)))
        return 4;
    char target[MAX_PATH] = "", args[MAX_PATH] = "", desc[MAX_PATH] = "", icon[MAX_PATH] = "";
    int index = 0;
    link->GetPath(target, MAX_PATH, NULL, SLGP_RAWPATH);
    link->GetArguments(args, MAX_PATH);
    link->GetDescription(desc, MAX_PATH);
    link->GetIconLocation(icon, MAX_PATH, &index);
    printf("%s\n%s\n%s\n%s\n%d\n", target, args, desc, icon, index);
    file->Release();
    link->Release();
    return 0;
}
