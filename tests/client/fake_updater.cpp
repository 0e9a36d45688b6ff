// Stands in for updater.exe: records its command line next to itself and ends.
#include <windows.h>
#include <stdio.h>
#include <string.h>

int main() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (slash) strcpy(slash + 1, "updater_cmdline.txt");
    FILE* f = fopen(path, "ab");
    if (!f) return 1;
    fprintf(f, "%s\n", GetCommandLineA());
    fclose(f);
    return 0;
}
