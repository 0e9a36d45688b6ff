// Looks at top-level windows for the updater's tests.
//   window_probe list                 class, visible flag and title of each window
//   window_probe wait CLASS TITLE MS  exit 0 once such a window exists (prints "visible"/"hidden")
//   window_probe close CLASS TITLE    posts WM_CLOSE; exit 0 when one was found
//   window_probe text CLASS TITLE ID  prints the text of the dialog item ID (bytes as they are)
//   window_probe press CLASS TITLE ID posts a click of button ID
//   window_probe host CLASS TITLE FILE shows such a window until WM_CLOSE, then writes FILE
//   window_probe                      (no arguments) writes "opened.txt" in the current folder
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* g_marker;

static LRESULT CALLBACK HostProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        FILE* f = fopen(g_marker, "w");
        if (f) {
            fputs("closed", f);
            fclose(f);
        }
        DestroyWindow(w);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

static int Host(const char* cls, const char* title, const char* marker) {
    g_marker = marker;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = cls;
    if (!RegisterClassA(&wc))
        return 3;
    HWND w = CreateWindowA(cls, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL, wc.hInstance, NULL);
    if (!w)
        return 3;
    ShowWindow(w, SW_SHOW);
    MSG m;
    while (GetMessageA(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    return 0;
}

static BOOL CALLBACK ListOne(HWND w, LPARAM) {
    char cls[256] = "", title[512] = "";
    GetClassNameA(w, cls, sizeof(cls));
    GetWindowTextA(w, title, sizeof(title));
    printf("%s\t%d\t%s\n", cls, IsWindowVisible(w) ? 1 : 0, title);
    return TRUE;
}

int main(int argc, char** argv) {
    if (argc == 1) {
        FILE* f = fopen("opened.txt", "w");
        if (!f)
            return 1;
        fputs("opened", f);
        fclose(f);
        return 0;
    }
    if (argc >= 2 && strcmp(argv[1], "list") == 0) {
        EnumWindows(ListOne, 0);
        return 0;
    }
    if (argc < 4)
        return 2;
    const char* cls = argv[2];
    const char* title = argv[3];
    if (strcmp(argv[1], "host") == 0 && argc > 4)
        return Host(cls, title, argv[4]);
    if (strcmp(argv[1], "wait") == 0) {
        DWORD limit = argc > 4 ? (DWORD)atoi(argv[4]) : 10000;
        DWORD start = GetTickCount();
        for (;;) {
            HWND w = FindWindowA(cls, title);
            if (w) {
                printf("%s\n", IsWindowVisible(w) ? "visible" : "hidden");
                return 0;
            }
            if (GetTickCount() - start > limit)
                return 1;
            Sleep(100);
        }
    }
    HWND w = FindWindowA(cls, title);
    if (!w)
        return 1;
    if (strcmp(argv[1], "close") == 0)
        return PostMessageA(w, WM_CLOSE, 0, 0) ? 0 : 3;
    if (strcmp(argv[1], "press") == 0 && argc > 4)
        return PostMessageA(w, WM_COMMAND, MAKEWPARAM(atoi(argv[4]), BN_CLICKED), 0) ? 0 : 3;
    if (strcmp(argv[1], "text") == 0 && argc > 4) {
        char text[1024] = "";
        GetDlgItemTextA(w, atoi(argv[4]), text, sizeof(text));
        fwrite(text, 1, strlen(text), stdout);
        return 0;
    }
    return 2;
}
