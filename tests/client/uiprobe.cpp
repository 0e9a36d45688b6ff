// What a user sees of ovik_acc and what they do to it, for the Python tests:
//   uiprobe box TIMEOUT_MS [yes|no|ok|none]   waits for a message box of the program,
//                                             prints "BOX <hex of its GBK text>", answers it
//   uiprobe dialog                            "DIALOG vis x y w h" + "CTRL id class vis en x y w h <hex text>"
//   uiprobe click ID                          a left click on a control of the dialog
//   uiprobe clickat X Y                       a left click on the dialog surface (dialog coordinates)
//   uiprobe command ID                        WM_COMMAND ID to the hidden main window (a tray-menu choice)
//   uiprobe tray MOUSE                        a tray icon mouse message (e.g. 515 WM_LBUTTONDBLCLK)
//   uiprobe traysend MOUSE MS                 the same, sent: "ANSWER <result>" when the hidden
//                                             window handled it within MS, else "NOANSWER"
//   uiprobe release                           the left button released over the dialog: ends the
//                                             drag that a click on its surface starts, where it is
//   uiprobe close                             WM_CLOSE to the dialog (the user closes it)
//   uiprobe hold CLASS TITLE MS [TICK]        keeps a window of that class and title for MS
//                                             (TICK: a timer of that period, the benchmark's baseline)
//   uiprobe find CLASS TITLE                  "FOUND" or "NONE" ("-" for any)
// Texts are printed as hex so that GBK goes through the pipe unchanged.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kBoxTitle[] = "OVIK_ACC 提示信息";

void Hex(const char* text) {
    for (const unsigned char* p = (const unsigned char*)text; *p; p++) printf("%02x", *p);
}

HWND Dialog() { return FindWindowA("#32770", "OVIK_ACC"); }

BOOL CALLBACK FindBoxText(HWND child, LPARAM out) {
    char cls[32];
    GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Static") == 0) {
        char text[2048];
        GetWindowTextA(child, text, sizeof text);
        if (text[0]) {
            strcpy((char*)out, text);
            return FALSE;
        }
    }
    return TRUE;
}

int Box(int timeout, const char* answer) {
    DWORD end = GetTickCount() + timeout;
    HWND box = nullptr;
    while (!(box = FindWindowA("#32770", kBoxTitle)) && (LONG)(end - GetTickCount()) > 0) Sleep(50);
    if (!box) {
        printf("NOBOX\n");
        return 1;
    }
    Sleep(200);
    char text[2048] = "";
    EnumChildWindows(box, FindBoxText, (LPARAM)text);
    printf("BOX ");
    Hex(text);
    printf("\n");
    fflush(stdout);
    int id = 0;
    if (strcmp(answer, "yes") == 0) id = IDYES;
    if (strcmp(answer, "no") == 0) id = IDNO;
    if (strcmp(answer, "ok") == 0) id = IDOK;
    if (id) {
        HWND button = GetDlgItem(box, id);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button);
        for (int i = 0; i < 100 && IsWindow(box); i++) Sleep(50);
    }
    return 0;
}

BOOL CALLBACK PrintControl(HWND child, LPARAM dialog) {
    if (GetParent(child) != (HWND)dialog) return TRUE;
    char cls[32], text[512] = "";
    GetClassNameA(child, cls, sizeof cls);
    // WM_GETTEXT itself: another process's GetWindowText does not ask an edit.
    DWORD_PTR got = 0;
    SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000, &got);
    text[sizeof text - 1] = 0;
    RECT r, d;
    GetWindowRect(child, &r);
    GetWindowRect((HWND)dialog, &d);
    printf("CTRL %d %s %d %d %ld %ld %ld %ld ", GetDlgCtrlID(child), cls, IsWindowVisible(child) ? 1 : 0,
           IsWindowEnabled(child) ? 1 : 0, r.left - d.left, r.top - d.top, r.right - r.left, r.bottom - r.top);
    Hex(text);
    printf("\n");
    return TRUE;
}

int PrintDialog() {
    HWND d = Dialog();
    if (!d) {
        printf("NODIALOG\n");
        return 1;
    }
    RECT r;
    GetWindowRect(d, &r);
    printf("DIALOG %d %ld %ld %ld %ld\n", IsWindowVisible(d) ? 1 : 0, r.left, r.top, r.right - r.left,
           r.bottom - r.top);
    EnumChildWindows(d, PrintControl, (LPARAM)d);
    return 0;
}

int Click(int id) {
    HWND d = Dialog();
    HWND c = d ? GetDlgItem(d, id) : nullptr;
    if (!c) return 1;
    char cls[32];
    GetClassNameA(c, cls, sizeof cls);
    if (_stricmp(cls, "Button") == 0) {
        PostMessageA(c, BM_CLICK, 0, 0);
        return 0;
    }
    RECT r;
    GetWindowRect(c, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    LPARAM at = MAKELPARAM((r.right - r.left) / 2, (r.bottom - r.top) / 2);
    PostMessageA(c, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(c, WM_LBUTTONUP, 0, at);
    return 0;
}

int ClickAt(int x, int y) {
    HWND d = Dialog();
    if (!d) return 1;
    RECT r;
    GetWindowRect(d, &r);
    SetCursorPos(r.left + x, r.top + y);
    PostMessageA(d, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(d, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    return 0;
}

LRESULT CALLBACK HoldProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

int Hold(const char* cls, const char* title, int ms, int tick) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HoldProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    HWND w = CreateWindowA(cls, title, WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    printf(w ? "HOLDING\n" : "FAILED\n");
    fflush(stdout);
    UINT_PTR end = SetTimer(nullptr, 0, ms, nullptr);
    if (tick > 0) SetTimer(w, 1, tick, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == end) break;
        DispatchMessageA(&msg);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* cmd = argv[1];
    auto arg = [&](int i) { return i < argc ? argv[i] : ""; };
    if (strcmp(cmd, "box") == 0) return Box(atoi(arg(2)), argc > 3 ? argv[3] : "ok");
    if (strcmp(cmd, "dialog") == 0) return PrintDialog();
    if (strcmp(cmd, "click") == 0) return Click(atoi(arg(2)));
    if (strcmp(cmd, "clickat") == 0) return ClickAt(atoi(arg(2)), atoi(arg(3)));
    if (strcmp(cmd, "command") == 0) {
        HWND w = FindWindowA("Zorvet_Acc", nullptr);
        return w && PostMessageA(w, WM_COMMAND, atoi(arg(2)), 0) ? 0 : 1;
    }
    if (strcmp(cmd, "tray") == 0) {
        HWND w = FindWindowA("Zorvet_Acc", nullptr);
        return w && PostMessageA(w, WM_USER + 110, 0, atoi(arg(2))) ? 0 : 1;
    }
    if (strcmp(cmd, "traysend") == 0) {
        HWND w = FindWindowA("Zorvet_Acc", nullptr);
        DWORD_PTR result = 0;
        if (w && SendMessageTimeoutA(w, WM_USER + 110, 0, atoi(arg(2)), SMTO_NORMAL, atoi(arg(3)), &result))
            printf("ANSWER %ld\n", (long)result);
        else
            printf("NOANSWER\n");
        return 0;
    }
    if (strcmp(cmd, "release") == 0) {
        HWND d = Dialog();
        return d && PostMessageA(d, WM_LBUTTONUP, 0, 0) ? 0 : 1;
    }
    if (strcmp(cmd, "close") == 0) {
        HWND d = Dialog();
        return d && PostMessageA(d, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (strcmp(cmd, "hold") == 0) return Hold(arg(2), arg(3), atoi(arg(4)), atoi(arg(5)));
    if (strcmp(cmd, "find") == 0) {
        const char* c = strcmp(arg(2), "-") ? arg(2) : nullptr;
        const char* t = strcmp(arg(3), "-") ? arg(3) : nullptr;
        printf(FindWindowA(c, t) ? "FOUND\n" : "NONE\n");
        return 0;
    }
    return 2;
}
