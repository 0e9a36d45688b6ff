// The skinned main dialog on its own thread: creation, sprites, commands,
// timers, hot rectangles, cursors and the subclassed bitmap statics.
#include <string.h>

#include "app.h"
#include <shellapi.h>
#include "layout.h"
#include "sprites.h"
#include "utils.h"

namespace {

const char kBinary[] = "BINARY";
HANDLE DialogThreadHandle = nullptr;
DWORD DialogThreadId = 0;
volatile LONG DialogThreadStarted = 0;
int AutoConnectDone = 0;

// ---- subclassed statics
enum SubclassIndex {
    SC_CONNECT, SC_DISCONNECT, SC_CANCEL, SC_PROGRESS, SC_REMEMBER_NAME, SC_REMEMBER_PASSWORD, SC_AUTORUN,
    SC_AUTOCONNECT, SC_IMPORTANT_ONLY, SC_WRITE_LOG, SC_FEEDBACK, SC_ABOUT, SC_COUNT
};
const int kSubclassIds[SC_COUNT] = {
    IDC_CONNECT, IDC_DISCONNECT, IDC_CANCEL_CONNECT, IDC_PROGRESS, IDC_REMEMBER_NAME_LABEL,
    IDC_REMEMBER_PASSWORD_LABEL, IDC_AUTORUN_LABEL, IDC_AUTOCONNECT_LABEL, IDC_IMPORTANT_ONLY_LABEL,
    IDC_WRITE_LOG_LABEL, IDC_FEEDBACK_TAB, IDC_ABOUT_PANEL};
WNDPROC PrevControlProcs[SC_COUNT];

int DialogSetCursor(HWND window, const SkinLayout* layout);

void PaintSprites(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    DrawSprites(window, dc);
    EndPaint(window, &ps);
}

int HandCursorFor(int index) {
    switch (index) {
    case SC_PROGRESS: return 0;
    case SC_REMEMBER_PASSWORD: return g_app.RememberName;
    case SC_AUTOCONNECT: return g_app.RememberName && g_app.RememberPassword;
    default: return 1;
    }
}

LRESULT SkinControlProc(int hand, WNDPROC previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PaintSprites(window);
    } else if (message == WM_SETCURSOR) {
        SetCursor(LoadCursorA(nullptr, hand ? IDC_HAND : IDC_ARROW));
        return TRUE;
    }
    return previous ? CallWindowProcA(previous, window, message, wParam, lParam)
                    : DefWindowProcA(window, message, wParam, lParam);
}

template <int Index>
LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (Index == SC_ABOUT) {
        if (message == WM_SETCURSOR) return DialogSetCursor((HWND)wParam, g_app.Layout);
        return CallWindowProcA(PrevControlProcs[Index], window, message, wParam, lParam);
    }
    return SkinControlProc(HandCursorFor(Index), PrevControlProcs[Index], window, message, wParam, lParam);
}

const WNDPROC kSubclassProcs[SC_COUNT] = {
    SubclassProc<0>, SubclassProc<1>, SubclassProc<2>, SubclassProc<3>, SubclassProc<4>, SubclassProc<5>,
    SubclassProc<6>, SubclassProc<7>, SubclassProc<8>, SubclassProc<9>, SubclassProc<10>, SubclassProc<11>};

void SubclassControls(HWND dialog) {
    for (int i = 0; i < SC_COUNT; i++) {
        HWND control = GetDlgItem(dialog, kSubclassIds[i]);
        if (!control) continue;
        WNDPROC previous = (WNDPROC)SetWindowLongPtrA(control, GWLP_WNDPROC, (LONG_PTR)kSubclassProcs[i]);
        // The progress block keeps no previous procedure: DefWindowProc paints nothing of its own.
        PrevControlProcs[i] = i == SC_PROGRESS ? nullptr : previous;
    }
}

// ---- layout
void Place(HWND dialog, int id, const SkinRect& r) {
    MoveWindow(GetDlgItem(dialog, id), r.x, r.y, r.w, r.h, FALSE);
}

void LayoutDialog(HWND dialog, const SkinLayout* l) {
    RECT desk;
    GetClientRect(GetDesktopWindow(), &desk);
    MoveWindow(dialog, desk.right / 2 - 250, desk.bottom / 2 - 150, 500, 300, FALSE);
    MoveWindow(GetDlgItem(dialog, IDC_STATUS_PANEL), 1, 78, 498, 176, FALSE);
    Place(dialog, IDC_USERNAME, l->UserNameEditRect);
    Place(dialog, IDC_PASSWORD, l->PasswordEditRect);
    Place(dialog, IDC_REMEMBER_NAME, l->RememberNameBoxRect);
    Place(dialog, IDC_REMEMBER_PASSWORD, l->RememberPasswordBoxRect);
    Place(dialog, IDC_REMEMBER_NAME_LABEL, l->RememberNameLabelRect);
    Place(dialog, IDC_REMEMBER_PASSWORD_LABEL, l->RememberPasswordLabelRect);
    Place(dialog, IDC_CONNECT, l->ConnectButtonRect);
    Place(dialog, IDC_FEEDBACK_TAB, l->FeedbackTabRect);
    Place(dialog, IDC_CANCEL_CONNECT, l->CancelButtonRect);
    Place(dialog, IDC_PROGRESS, l->ProgressBlockRect);
    Place(dialog, IDC_DISCONNECT, l->DisconnectButtonRect);
    Place(dialog, IDC_ACCOUNT_TEXT, l->AccountTextRect);
    Place(dialog, IDC_IP_TEXT, l->IpTextRect);
    Place(dialog, IDC_TIME_TEXT, l->TimeTextRect);
    Place(dialog, IDC_RECV_BYTES_TEXT, l->RecvBytesRect);
    Place(dialog, IDC_SENT_BYTES_TEXT, l->SentBytesRect);
    Place(dialog, IDC_RECV_RATE_TEXT, l->RecvRateRect);
    Place(dialog, IDC_SENT_RATE_TEXT, l->SentRateRect);
    static const int boxes[4] = {IDC_AUTORUN, IDC_AUTOCONNECT, IDC_IMPORTANT_ONLY, IDC_WRITE_LOG};
    static const int labels[4] = {IDC_AUTORUN_LABEL, IDC_AUTOCONNECT_LABEL, IDC_IMPORTANT_ONLY_LABEL,
                                  IDC_WRITE_LOG_LABEL};
    for (int i = 0; i < 4; i++) {
        Place(dialog, boxes[i], l->OptionBoxRects[i]);
        Place(dialog, labels[i], l->OptionLabelRects[i]);
    }
    if (g_app.RememberName) SetDlgItemTextA(dialog, IDC_USERNAME, g_app.UserName);
    if (g_app.RememberPassword) SetDlgItemTextA(dialog, IDC_PASSWORD, g_app.Password);
    EnableWindow(GetDlgItem(dialog, IDC_USERNAME), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_PASSWORD), FALSE);
    CheckDlgButton(dialog, IDC_REMEMBER_NAME, BST_CHECKED);
    CheckDlgButton(dialog, IDC_REMEMBER_PASSWORD, BST_CHECKED);
    g_app.RememberName = 1;
    g_app.RememberPassword = 1;
    EnableWindow(GetDlgItem(dialog, IDC_REMEMBER_NAME), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_REMEMBER_PASSWORD), FALSE);
    CheckDlgButton(dialog, IDC_AUTORUN, g_app.Autorun ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_AUTOCONNECT, g_app.AutoConnect ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_IMPORTANT_ONLY, g_app.ImportantOnly ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_WRITE_LOG, g_app.LogToFile ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, IDC_AUTOCONNECT), g_app.RememberName && g_app.RememberPassword);
    MoveWindow(GetDlgItem(dialog, IDC_ABOUT_PANEL), 100, 78, 498, 176, FALSE);
}

void RegisterSprites(HWND d, const SkinLayout* l) {
    auto on = [d](int control) { return GetDlgItem(d, control); };
    AddVisibleSprite(d, IDB_BACKGROUND, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_REMEMBER_NAME_LABEL), IDB_REMEMBER_NAME, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_REMEMBER_PASSWORD_LABEL), IDB_REMEMBER_PASSWORD, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_FEEDBACK_TAB), IDB_FEEDBACK_TAB, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(d, IDB_USERNAME_LABEL, kBinary, l->UserNameLabelPos.x, l->UserNameLabelPos.y, 0, 0);
    AddVisibleSprite(d, IDB_PASSWORD_LABEL, kBinary, l->PasswordLabelPos.x, l->PasswordLabelPos.y, 0, 0);
    AddVisibleSprite(on(IDC_AUTORUN_LABEL), IDB_AUTORUN, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_AUTOCONNECT_LABEL), IDB_AUTOCONNECT, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_IMPORTANT_ONLY_LABEL), IDB_IMPORTANT_ONLY, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_WRITE_LOG_LABEL), IDB_WRITE_LOG, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_CONNECT), IDB_CONNECT, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_DISCONNECT), IDB_DISCONNECT, kBinary, 0, 0, 0, 0);
    AddVisibleSprite(on(IDC_CANCEL_CONNECT), IDB_CANCEL, kBinary, 0, 0, 0, 0);
    AddResourceSprite(d, IDB_PROGRESS_TRACK, kBinary, l->ProgressTrack.x, l->ProgressTrack.y, 0, 0, 0);
    AddVisibleSprite(on(IDC_PROGRESS), IDB_PROGRESS_BLOCK, kBinary, 0, 0, 0, 0);
    struct Hidden {
        int id;
        const SkinRect* at;
    } hidden[] = {
        {IDB_ABOUT_LOGO, &l->AboutLogoPos}, {IDB_PRODUCT_NAME, &l->ProductNamePos},
        {IDB_VERSION_LABEL, &l->VersionLabelPos}, {IDB_NOTICE_LINE, &l->NoticeLinePos},
        {IDB_WEBSITE_LABEL, &l->WebsiteLabelPos}, {IDB_ACCOUNT_TYPE_LABEL, &l->AccountTypeLabelPos},
        {IDB_FREE_TYPE, &l->FreeTypePos}, {IDB_PLATINUM_TYPE, &l->PlatinumTypePos},
        {IDB_VIP_TYPE, &l->VipTypePos}, {IDB_TYPE1, &l->Type1Pos}, {IDB_SERVICE_LABEL, &l->ServiceLabelPos},
        {IDB_NET_SERVICE, &l->NetServicePos}, {IDB_GAME_SERVICE, &l->GameServicePos},
        {IDB_REMAINING_LABEL, &l->RemainingLabelPos}, {IDB_EXPIRY_LABEL, &l->ExpiryLabelPos},
        {IDB_ADDRESS_LABEL, &l->AddressLabelPos}, {IDB_CONNECT_TIME_LABEL, &l->ConnectTimeLabelPos},
        {IDB_RECV_BYTES_LABEL, &l->RecvBytesLabelPos}, {IDB_SENT_BYTES_LABEL, &l->SentBytesLabelPos},
        {IDB_RECV_RATE_LABEL, &l->RecvRateLabelPos}, {IDB_SENT_RATE_LABEL, &l->SentRateLabelPos},
    };
    for (const Hidden& h : hidden) AddResourceSprite(d, h.id, kBinary, h.at->x, h.at->y, 0, 0, 0);
}

// ---- hot rectangles
POINT PointIn(HWND window) {
    POINT p;
    RECT r;
    GetCursorPos(&p);
    GetWindowRect(window, &r);
    p.x -= r.left;
    p.y -= r.top;
    return p;
}

void OpenWebPage(UINT id, int size) {
    char url[1024];
    if (size > (int)sizeof url) size = sizeof url;
    if (LoadStringA(g_app.Instance, id, url, size) <= 0) return;
    ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

int DialogSetCursor(HWND window, const SkinLayout* l) {
    if (!l) return 0;
    HWND dialog = g_app.DialogWindow;
    LONG st = g_app.ConnState;
    if (window == dialog) {
        POINT p = PointIn(dialog);
        int calm = st == 1 || st == 3;
        if ((calm && (InSkinRect(l->CloseRect, p.x, p.y) || InSkinRect(l->MinimizeRect, p.x, p.y) ||
                      InSkinRect(l->StatusTabRect, p.x, p.y) || InSkinRect(l->AboutRect, p.x, p.y))) ||
            (st == 1 && InSkinRect(l->SettingsTabRect, p.x, p.y)) || InSkinRect(l->GameListTabRect, p.x, p.y) ||
            InSkinRect(l->FeedbackTabRect, p.x, p.y)) {
            SetCursor(LoadCursorA(nullptr, IDC_HAND));
            return 1;
        }
        return 0;
    }
    if (dialog && window == GetDlgItem(dialog, IDC_ABOUT_PANEL)) {
        POINT p = PointIn(window);
        SetCursor(LoadCursorA(nullptr, InSkinRect(l->WebsiteLinkRect, p.x, p.y) ? IDC_HAND : IDC_ARROW));
        return 1;
    }
    return 0;
}

void DialogClick(int id, const SkinLayout* l) {
    if (BoxShowing) return;
    HWND dialog = g_app.DialogWindow;
    HWND window = id ? GetDlgItem(dialog, id) : dialog;
    POINT p = PointIn(window);
    LONG st = g_app.ConnState;
    if (st == 3 && g_app.DialogVisible) KillTimer(dialog, AUTOHIDE_TIMER);
    if (id == 0) {
        if (st == 1 || st == 3) {
            if (InSkinRect(l->CloseRect, p.x, p.y) || InSkinRect(l->MinimizeRect, p.x, p.y)) {
                ShowWindow(dialog, SW_HIDE);
            } else if (InSkinRect(l->StatusTabRect, p.x, p.y)) {
                ShowPageNow(PAGE_STATUS, 0);
            } else if (InSkinRect(l->SettingsTabRect, p.x, p.y)) {
                if (st == 1) ShowPageNow(PAGE_SETTINGS, 0);
            } else if (InSkinRect(l->AboutRect, p.x, p.y)) {
                ShowPageNow(PAGE_ABOUT, 0);
            }
        }
        if (InSkinRect(l->GameListTabRect, p.x, p.y)) OpenWebPage(IDS_GAME_LIST_URL, 70);
        if (InSkinRect(l->FeedbackTabRect, p.x, p.y)) OpenWebPage(IDS_FEEDBACK_URL, 70);
    } else if (id == IDC_ABOUT_PANEL && InSkinRect(l->WebsiteLinkRect, p.x, p.y)) {
        OpenWebPage(IDS_OPERATOR_URL, 70);
    }
    PostMessageA(dialog, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(p.x, p.y));
}

// ---- commands
void OnCredentialEdit(HWND dialog, int id) {
    char text[100];
    int n = GetDlgItemTextA(dialog, id, text, countof(text));
    char* stored = id == IDC_USERNAME ? g_app.UserName : g_app.Password;
    // The edits are disabled: their texts come from the program. The account the
    // service assigned may be longer than the 20 characters taken here; showing
    // it (or putting it back) changes nothing.
    if (strcmp(text, stored) == 0) return;
    if (n < 21) {
        CopyTextN(stored, text, 21);
        return;
    }
    MsgBox(MSG_INPUT_TOO_LONG, "EDT: input too many char (%d)", n);
    SetDlgItemTextA(dialog, id, stored);
}

void OnCommand(HWND dialog, int id, int code) {
    switch (id) {
    case IDC_CONNECT:
        if (code == 0 && g_app.ConnState == 1) {
            SaveConfig(&g_app);
            LoginInput input;
            input.NoStoredCredentials = g_app.NoStoredCredentials;
            CopyText(input.UserName, g_app.UserName);
            CopyText(input.Password, g_app.Password);
            StartLogin(input);
        }
        break;
    case IDC_DISCONNECT:
        if (code == 0 && g_app.ConnState == 3) {
            KillTimer(dialog, AUTOHIDE_TIMER);
            StopSession();
            InvalidateRect(dialog, nullptr, FALSE);
        }
        break;
    case IDC_CANCEL_CONNECT:
        if (code == 0 && g_app.ConnState == 2) StopSession();
        InvalidateRect(dialog, nullptr, FALSE);
        break;
    case IDC_ABOUT_PANEL:
    case IDC_STATUS_PANEL:
        DialogClick(id, g_app.Layout);
        break;
    case IDC_AUTORUN_LABEL:
        PostMessageA(GetDlgItem(dialog, IDC_AUTORUN), BM_CLICK, 0, 0);
        break;
    case IDC_AUTOCONNECT_LABEL:
        if (g_app.RememberName && g_app.RememberPassword)
            PostMessageA(GetDlgItem(dialog, IDC_AUTOCONNECT), BM_CLICK, 0, 0);
        break;
    case IDC_IMPORTANT_ONLY_LABEL:
        PostMessageA(GetDlgItem(dialog, IDC_IMPORTANT_ONLY), BM_CLICK, 0, 0);
        break;
    case IDC_WRITE_LOG_LABEL:
        PostMessageA(GetDlgItem(dialog, IDC_WRITE_LOG), BM_CLICK, 0, 0);
        break;
    case IDC_FEEDBACK_TAB:
        OpenWebPage(IDS_FEEDBACK_URL, 1024);
        break;
    case IDC_AUTORUN:
        if (code == 0) {
            g_app.Autorun = !g_app.Autorun;
            SetAutorun(g_app.Autorun, g_app.InstallDir);
            SaveConfig(&g_app);
        }
        break;
    case IDC_AUTOCONNECT:
        if (code == 0) {
            g_app.AutoConnect = !g_app.AutoConnect;
            if (!g_app.RememberName || !g_app.RememberPassword) EnableWindow(GetDlgItem(dialog, IDC_AUTOCONNECT), FALSE);
            SaveConfig(&g_app);
            if (g_app.AutoConnect)
                StartNetcheck(OnNetcheckStatus, g_app.RedirectServer);
            else
                StopNetcheck();
        }
        break;
    case IDC_IMPORTANT_ONLY:
        if (code == 0) g_app.ImportantOnly = !g_app.ImportantOnly;
        break;
    case IDC_WRITE_LOG:
        if (code == 0) {
            g_app.LogToFile = !g_app.LogToFile;
            SaveConfig(&g_app);
            CloseLogFile();
            OpenLogByOption();
        }
        break;
    case IDC_USERNAME:
    case IDC_PASSWORD:
        if (code == EN_CHANGE) OnCredentialEdit(dialog, id);
        break;
    default:
        break;
    }
}

void OnTimer(HWND dialog, UINT_PTR id) {
    static const int texts[5] = {IDC_TIME_TEXT, IDC_RECV_BYTES_TEXT, IDC_SENT_BYTES_TEXT, IDC_RECV_RATE_TEXT,
                                 IDC_SENT_RATE_TEXT};
    if (id == STATUS_TIMER) {
        RefreshStatusData();
        for (int t : texts) ShowWindow(GetDlgItem(dialog, t), SW_HIDE);
        PaintStatusText(GetDlgItem(dialog, IDC_TIME_TEXT), g_app.Layout);
        for (int t : texts) ShowWindow(GetDlgItem(dialog, t), SW_SHOW);
    } else if (id == PROGRESS_TIMER) {
        AnimateProgress(0, g_app.Layout);
    } else if (id == AUTOHIDE_TIMER) {
        RecordDialogEvent("autohide fired");
        ShowWindow(dialog, SW_HIDE);
        KillTimer(dialog, AUTOHIDE_TIMER);
    }
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        g_app.DialogWindow = dialog;
        LayoutDialog(dialog, g_app.Layout);
        SetDialogIcons(g_app.Instance, dialog);
        SubclassControls(dialog);
        if (g_app.AutoConnect) StartNetcheck(OnNetcheckStatus, g_app.RedirectServer);
        return TRUE;
    case WM_DESTROY:
        if (g_app.AutoConnect) StopNetcheck();
        PostQuitMessage(0);
        return FALSE;
    case WM_MOVE:
        InvalidateRect(dialog, nullptr, FALSE);
        return FALSE;
    case WM_PAINT:
        PaintSprites(dialog);
        return FALSE;
    case WM_CLOSE:
        ShowWindow(dialog, SW_HIDE);
        return TRUE;
    case WM_SHOWWINDOW:
        RecordDialogEvent(wParam ? "shown" : "hidden");
        if (wParam == 1) {
            g_app.DialogVisible = 1;
            // Also posted (by a second start), when nothing has shown
            // the window yet: the page shows it. A nested WM_SHOWWINDOW from that
            // ShowWindow finds the page in progress and returns.
            ShowPageNow(PAGE_STATUS, 0);
        } else if (wParam == 0) {
            g_app.DialogVisible = 0;
            if (g_app.ConnState == 3) KillTimer(dialog, STATUS_TIMER);
            if (g_app.ConnState == 2 || g_app.ConnState == 4) KillTimer(dialog, PROGRESS_TIMER);
        }
        return TRUE;
    case WM_ACTIVATEAPP:
        if (BoxShowing) BringBoxToFront();
        return FALSE;
    case WM_SETCURSOR:
        if ((HWND)wParam == dialog) return DialogSetCursor(dialog, g_app.Layout);
        return FALSE;
    case WM_COMMAND:
        if (BoxShowing)
            BringBoxToFront();
        else
            OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    case WM_TIMER:
        OnTimer(dialog, wParam);
        return FALSE;
    case WM_CTLCOLORSTATIC:
        PaintStatusText((HWND)lParam, g_app.Layout);
        return FALSE;
    case WM_LBUTTONDOWN:
        DialogClick(0, g_app.Layout);
        return FALSE;
    case WM_APP_SHOW_PAGE:
        ShowPageNow((int)wParam, 0);
        return TRUE;
    case WM_APP_CREDENTIALS:
        SetDlgItemTextA(dialog, IDC_USERNAME, g_app.UserName);
        SetDlgItemTextA(dialog, IDC_PASSWORD, g_app.Password);
        return TRUE;
    case WM_APP_AUTOHIDE:
        if (g_app.DialogVisible) {
            SetTimer(dialog, AUTOHIDE_TIMER, 5000, nullptr);
            RecordDialogEvent("autohide armed");
        }
        return TRUE;
    case WM_APP_SHOW_DIALOG:
        // ShowWindow sends WM_SHOWWINDOW only to a hidden dialog, which then
        // opens on the status page; an open one keeps its page and timers.
        ShowWindow(dialog, SW_SHOW);
        if (!BoxShowing || !BringBoxToFront()) SetForegroundWindow(dialog);
        return TRUE;
    case WM_APP_CLOSE_DIALOG:
        DestroyWindow(dialog);
        return TRUE;
    default:
        return FALSE;
    }
}

DWORD WINAPI DialogThread(void*) {
    CoInitialize(nullptr);
    HWND dialog = CreateDialogParamA(g_app.Instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
    if (!dialog)
        MsgBox(MSG_FATAL_MODULE, "WINDOW: Create the main window failed(code=%d).", (int)GetLastError());
    g_app.DialogWindow = dialog;
    InterlockedExchange(&g_app.DialogCreated, 1);
    SetWindowTextA(dialog, "OVIK_ACC");
    ShowWindow(dialog, SW_SHOW);
    RegisterSprites(dialog, g_app.Layout);
    // The page was shown before the sprites existed: show it again so that the
    // skin matches the state (the state may already be connected).
    ShowPageNow(PAGE_STATUS, 0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(g_app.DialogWindow, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

}  // namespace

void ShowMainDialog(HWND dialog) {
    if (g_app.DialogCreated) {
        // The dialog shows itself on its own thread (it owns its timers).
        PostMessageA(dialog, WM_APP_SHOW_DIALOG, 0, 0);
        return;
    }
    // One dialog thread only, however often this is asked before it is up.
    if (InterlockedCompareExchange(&DialogThreadStarted, 1, 0) != 0) return;
    DialogThreadHandle = CreateThread(nullptr, 0, DialogThread, nullptr, 0, &DialogThreadId);
    if (!DialogThreadHandle)
        MsgBox(MSG_FATAL_MODULE, "WINDOW: Create the main window failed(code=%d).", (int)GetLastError());
}

// Ends the dialog thread and waits for it (pumping: it may be sending to this
// thread), so that nothing it reads is freed under it. 1 when it ended.
int CloseMainDialog() {
    if (!DialogThreadHandle) return 1;
    if (g_app.DialogWindow)
        PostMessageA(g_app.DialogWindow, WM_APP_CLOSE_DIALOG, 0, 0);
    else
        PostThreadMessageA(DialogThreadId, WM_QUIT, 0, 0);
    DWORD end = GetTickCount() + 5000;
    int ended = 0;
    for (;;) {
        DWORD now = GetTickCount();
        if ((LONG)(end - now) <= 0) break;
        DWORD r = MsgWaitForMultipleObjects(1, &DialogThreadHandle, FALSE, end - now, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) {
            ended = 1;
            break;
        }
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (!ended) MsgBox(1, "THREAD: the dialog thread did not end in time.");
    CloseHandle(DialogThreadHandle);
    DialogThreadHandle = nullptr;
    return ended;
}

void OnNetcheckStatus(int status) {
    MsgBox(1, "NETCHECK: change network status to %s.", status == 1 ? "ONLINE" : "OFFLINE");
    if (AutoConnectDone) {
        if (status == 0) AutoConnectDone = 0;
        return;
    }
    if (status == 1 && g_app.ConnState == 1) {
        PostMessageA(g_app.DialogWindow, WM_COMMAND, IDC_CONNECT, 0);
        AutoConnectDone = 1;
    }
}
