// Start-up, the hidden main window (owner of the tray icon, home of the core
// library's callbacks) and the one exit sequence.
#include <string.h>

#include "app.h"
#include "client_text.h"
#include "layout.h"
#include "sprites.h"
#include "utils.h"

AppState g_app;

namespace {

UINT TaskbarCreatedMsg = 0;
DWORD MainThreadId = 0;
int Exiting = 0;
int ExitStatus = 0;

// Waits up to ms while dispatching this thread's messages: the state that a
// wait is for arrives through them.
void PumpFor(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage((int)msg.wParam);
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD now = GetTickCount();
        if ((LONG)(end - now) <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    }
}

void OnCreate(HWND window) {
    g_app.MainWindow = window;
    TaskbarCreatedMsg = RegisterWindowMessageA("TaskbarCreated");
    CreateTray(g_app.Instance, g_app.MainWindow);
    ShowMainDialog(g_app.DialogWindow);

    InitConfig config;
    ZeroMemory(&config, sizeof config);
    memcpy(config.Hostname, g_app.RedirectServer, strnlen(g_app.RedirectServer, sizeof config.Hostname));
    CopyText(config.Regname, kRegName);
    config.Version = kClientVersion;
    config.PartnerID = kPartnerId;
    InterlockedExchange(&LastCoreBoxCode, 0);
    int r = CoreInit(&config);
    if (r >= 1 && r <= 4) OnCoreState(r);
    if (r >= 0 && r <= 4) {
        LogVersions();
        SaveCoreVersion(Zorvet_GetDllVersion());
        return;
    }
    const char* text;
    switch ((uint32_t)r) {
    case 0x50000A0B: text = "Zorvet 正在进行升级"; break;
    case 0x50000A0C: text = "Zorvet 已经被其他程序控制"; break;
    case 0x501A0A00: text = "Zorvet 服务没有安装"; break;
    case 0x501A0A01: text = "Zorvet 服务没有启动"; break;
    default: text = "Zorvet 初始化失败"; break;
    }
    LogVersions();
    // The library may have reported the same code through the message callback
    // (an upgrade under way): the user has seen its box once already.
    if ((uint32_t)LastCoreBoxCode == (uint32_t)r)
        MsgBox(1, "%s", text);
    else
        CoreMessageSink((uint32_t)r, text);
    // Closed once the window exists: destroying it inside its own creation
    // would make start-up report (and box) a window failure as well.
    PostMessageA(window, WM_APP_EXIT, 1, 1);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        CoreClear();
        DeleteTrayIcon();
        PostQuitMessage(ExitStatus);
        return 0;
    case WM_CLOSE:
        ExitApplication(0);
        return 0;
    case WM_COMMAND:
        if (BoxShowing) {
            BringBoxToFront();
        } else if (LOWORD(wParam) == IDM_TRAY_OPEN) {
            ShowMainDialog(g_app.DialogWindow);
        } else if (LOWORD(wParam) == IDM_TRAY_EXIT) {
            ExitApplication(0);
        }
        return 0;
    case WM_SHOW_DIALOG:
        if (g_app.DialogWindow) PostMessageA(g_app.DialogWindow, WM_SHOWWINDOW, 1, 0);
        return 0;
    case WM_TRAY_NOTIFY:
        if (BoxShowing)
            BringBoxToFront();
        else
            OnTrayMouse(window, g_app.DialogWindow, (UINT)lParam, (unsigned)g_app.ConnState);
        return 1;
    case WM_APP_EXIT:
        if (lParam) ExitStatus = 1;
        ExitApplication((int)wParam);
        return 0;
    default:
        if (TaskbarCreatedMsg && message == TaskbarCreatedMsg) {
            UpdateTrayIcon((unsigned)g_app.ConnState, 1);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int IsMainThread() { return GetCurrentThreadId() == MainThreadId; }

void LogVersions() {
    char own[16], dll[16], core[16];
    FormatVersion(kClientVersion, own);
    FormatVersion(Zorvet_GetDllVersion(), dll);
    FormatVersion(CoreGetServiceVersion(), core);
    MsgBox(1, "%s %s (%s, %s) built on Nov 26 2013", kMainTitle, own, dll, core);
}

void ExitApplication(int quiet) {
    // The hidden window can only be destroyed by its own thread (the upgrade
    // hand-over may start here from the library's worker).
    if (!IsMainThread()) {
        PostMessageA(g_app.MainWindow, WM_APP_EXIT, quiet, 0);
        return;
    }
    if (Exiting) return;
    Exiting = 1;
    if (g_app.ConnState != 1) {
        if (!quiet) {
            char templ[200], text[300];
            LoadText(IDS_CONFIRM_EXIT, templ, countof(templ));
            FillTemplate(text, sizeof text, templ, "OVIK_ACC");
            if (ShowBox(nullptr, text, MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2 | MB_SETFOREGROUND) != IDYES) {
                Exiting = 0;
                return;
            }
        }
        StopSession();
        for (int i = 0; i < 4 && g_app.ConnState != 1; i++) PumpFor(1000);
    }
    MsgBox(1, "%s Closed Success.", kMainTitle);
    SaveConfig(&g_app);
    DeleteTrayIcon();
    // The dialog thread reads the layout and the sprites: end it first.
    int dialogEnded = CloseMainDialog();
    if (dialogEnded) g_app.Layout = FreeLayout(g_app.Layout);
    CloseLog();
    if (dialogEnded) FreeSprites();
    DestroyWindow(g_app.MainWindow);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    HWND updater = FindWindowA(kUpdaterClass, kUpdaterTitle);
    if (updater) {
        PostMessageA(updater, WM_CLOSE, 0, 0);
        Sleep(200);
    }
    HWND first = FindWindowA(kMainClass, nullptr);
    if (first) {
        PostMessageA(first, WM_SHOW_DIALOG, 0, 0);
        return 1;
    }
    DebugLog = (commandLine && lstrcmpiA(commandLine, "-debuglog") == 0) ? 1 : 0;
    ZeroMemory(&g_app, sizeof g_app);
    g_app.Instance = instance;
    MainThreadId = GetCurrentThreadId();
    if (!LoadConfig(&g_app)) return 1;
    FormatText(g_app.UpdaterPath, sizeof g_app.UpdaterPath, "%s%s", g_app.InstallDir, "updater.exe");
    g_app.DialogCreated = 0;
    g_app.DialogVisible = 1;
    g_app.ConnState = 1;

    char pending[MAX_PATH + 16];
    FormatText(pending, sizeof pending, "%s_%s", g_app.InstallDir, "updater.exe");
    if (GetFileAttributesA(pending) != INVALID_FILE_ATTRIBUTES)
        MoveFileExA(pending, g_app.UpdaterPath, MOVEFILE_REPLACE_EXISTING);

    InitSprites(instance);
    OpenLogByOption();
    g_app.Layout = CreateLayout(g_app.Layout);
    if (!g_app.Layout) MsgBox(MSG_FATAL_MODULE, "WINDOW: couldn't allocate the dialog layout.");

    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_APP));
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMainClass;
    if (!RegisterClassExA(&wc))
        MsgBox(MSG_FATAL_WINDOW, "WINDOW: Registe the class of the window failed(code=%d).", (int)GetLastError());
    HWND window = CreateWindowExA(0, kMainClass, kMainTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 230,
                                  200, nullptr, nullptr, instance, nullptr);
    if (!window)
        MsgBox(MSG_FATAL_WINDOW, "WINDOW: couldn't create the main window(code=%d).", (int)GetLastError());
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
