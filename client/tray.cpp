// The notification-area icon: icon and tip per connection state, the balloon
// after a connection, the two-entry menu, and the dialog's window icons.
#include <time.h>

#include "app.h"
#include <shellapi.h>
#include "client_text.h"
#include "utils.h"

namespace {

NOTIFYICONDATAA TrayIconData;
HMENU TrayMenu = nullptr;
HWND TrayOwner = nullptr;
HINSTANCE TrayInstance = nullptr;
constexpr DWORD kTrayRecordSize = 488;  // the version-2 shell layout

void BuildTrayMenu(HINSTANCE module) {
    char open[50], exit[50];
    LoadText(IDS_MENU_OPEN, open, countof(open));
    LoadText(IDS_MENU_EXIT, exit, countof(exit));
    AppendMenuA(TrayMenu, MF_STRING, IDM_TRAY_OPEN, open);
    AppendMenuA(TrayMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(TrayMenu, MF_STRING, IDM_TRAY_EXIT, exit);
}

}  // namespace

void CreateTray(HINSTANCE module, HWND owner) {
    ZeroMemory(&TrayIconData, sizeof TrayIconData);
    for (int attempt = 0; attempt < 3; attempt++) {
        TrayMenu = CreatePopupMenu();
        if (TrayMenu) {
            TrayInstance = module;
            TrayOwner = owner;
            BuildTrayMenu(module);
            UpdateTrayIcon(1, 1);
            return;
        }
        MsgBox(0x20001, "TRAY: Create popup menu failed (code=%d), sleep %u seconds to retry.",
               (int)GetLastError(), 2u);
        Sleep(2000);
    }
    MsgBox(MSG_FATAL_MODULE, "TRAY: Couldn't create the tray module.");
}

void UpdateTrayIcon(unsigned state, int add) {
    TrayIconData.cbSize = kTrayRecordSize;
    TrayIconData.hWnd = TrayOwner;
    TrayIconData.uID = 0;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_TRAY_NOTIFY;

    char texts[6][50];
    static const UINT ids[6] = {IDS_TIP_CONNECTED, IDS_TIP_CONNECTING, IDS_TIP_IDLE,
                                IDS_TIP_DISCONNECTING, IDS_TIP_CONNECT_TIME, IDS_TIP_ADDRESS};
    for (int i = 0; i < 6; i++) LoadText(ids[i], texts[i], countof(texts[i]));
    TrayTipTexts t = {texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]};
    char start[32] = "";
    char ip[17] = "";
    if (state == 3) {
        QueryData q;
        ZeroMemory(&q, sizeof q);
        CoreGetQueryData(&q);
        time_t when = (time_t)q.Start;
        struct tm* lt = localtime(&when);
        if (lt) strftime(start, sizeof start, "%y-%m-%d %H:%M", lt);
        QueryIpText(ip, sizeof ip, q);
    }
    BuildTrayTip(TrayIconData.szTip, sizeof TrayIconData.szTip, state, t, start, ip);

    UINT icon = state == 3 ? IDI_CONNECTED : (state == 2 || state == 4) ? IDI_BUSY : IDI_IDLE;
    TrayIconData.hIcon = LoadIconA(TrayInstance, MAKEINTRESOURCEA(icon));
    Shell_NotifyIconA(add ? NIM_ADD : NIM_MODIFY, &TrayIconData);
    // LoadIcon's icons are shared: nothing to destroy.
    TrayIconData.hIcon = nullptr;
}

void ShowBalloon(HWND owner, const char* title, const char* text) {
    TrayIconData.cbSize = kTrayRecordSize;
    TrayIconData.hWnd = owner;
    TrayIconData.uID = 0;
    TrayIconData.uFlags = NIF_INFO;
    CopyTextGbk(TrayIconData.szInfo, sizeof TrayIconData.szInfo, text);
    CopyTextGbk(TrayIconData.szInfoTitle, sizeof TrayIconData.szInfoTitle, title);
    TrayIconData.uTimeout = 5000;
    TrayIconData.dwInfoFlags = NIIF_INFO;
    Shell_NotifyIconA(NIM_MODIFY, &TrayIconData);
}

void OnTrayMouse(HWND owner, HWND dialog, UINT mouse, unsigned state) {
    if (mouse == WM_LBUTTONDBLCLK) {
        ShowMainDialog(dialog);
    } else if (mouse == WM_RBUTTONDOWN) {
        if (state == 2 || state == 4) {
            ShowMainDialog(dialog);
        } else {
            POINT p;
            GetCursorPos(&p);
            SetForegroundWindow(owner);
            TrackPopupMenu(TrayMenu, TPM_RIGHTALIGN, p.x, p.y, 0, owner, nullptr);
        }
    }
    // Lets the menu close when the user clicks elsewhere.
    PostMessageA(owner, WM_NULL, 0, 0);
}

void DeleteTrayIcon() {
    TrayInstance = nullptr;
    TrayOwner = nullptr;
    if (TrayMenu) DestroyMenu(TrayMenu);
    TrayMenu = nullptr;
    if (TrayIconData.hWnd) {
        TrayIconData.cbSize = kTrayRecordSize;
        TrayIconData.uFlags = 0;
        Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
    }
}

void SetDialogIcons(HINSTANCE module, HWND dialog) {
    for (int attempt = 0; attempt < 3; attempt++) {
        HICON icon = LoadIconA(module, MAKEINTRESOURCEA(IDI_APP));
        if (icon) {
            SendMessageA(dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
            SendMessageA(dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);
            return;
        }
        MsgBox(0x20001, "TRAY: Create application icon in system failed(code=%d), sleep %u seconds to retry.",
               (int)GetLastError(), 2u);
        Sleep(2000);
    }
    MsgBox(MSG_FATAL_MODULE, "TRAY: Couldn't create the tray module.");
}
