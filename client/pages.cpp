// The dialog's three pages and what the status page paints: account, address,
// connected time and traffic texts, and the progress block.
#include <string.h>

#include "app.h"
#include "client_text.h"
#include "layout.h"
#include "sprites.h"
#include "utils.h"

int CurrentPage = PAGE_STATUS;

namespace {

int ProgressForward = 1;
int InShowPage = 0;
// The record of this refresh tick: read once and shared by all painting of
// the tick (each status static asks for its colours separately).
QueryData StatusData;

HWND Item(int id) { return GetDlgItem(g_app.DialogWindow, id); }
void Show(int id, int show) { ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE); }

void HideEverything(HWND d) {
    Show(IDC_STATUS_PANEL, 0);
    KillTimer(d, STATUS_TIMER);
    HideSpriteAnyWindow(IDB_PROGRESS_TRACK);
    Show(IDC_PROGRESS, 0);
    KillTimer(d, PROGRESS_TIMER);
    static const int controls[] = {IDC_USERNAME, IDC_PASSWORD, IDC_REMEMBER_NAME, IDC_REMEMBER_PASSWORD,
                                   IDC_FEEDBACK_TAB, IDC_CONNECT, IDC_CANCEL_CONNECT, IDC_DISCONNECT,
                                   IDC_REMEMBER_NAME_LABEL, IDC_REMEMBER_PASSWORD_LABEL, IDC_ACCOUNT_TEXT,
                                   IDC_IP_TEXT, IDC_TIME_TEXT, IDC_RECV_BYTES_TEXT, IDC_SENT_BYTES_TEXT,
                                   IDC_RECV_RATE_TEXT, IDC_SENT_RATE_TEXT, IDC_AUTORUN, IDC_AUTOCONNECT,
                                   IDC_IMPORTANT_ONLY, IDC_WRITE_LOG, IDC_AUTORUN_LABEL, IDC_AUTOCONNECT_LABEL,
                                   IDC_IMPORTANT_ONLY_LABEL, IDC_WRITE_LOG_LABEL, IDC_ABOUT_PANEL};
    for (int id : controls) Show(id, 0);
    static const int images[] = {IDB_USERNAME_LABEL, IDB_PASSWORD_LABEL, IDB_ACCOUNT_TYPE_LABEL, IDB_FREE_TYPE,
                                 IDB_PLATINUM_TYPE, IDB_VIP_TYPE, IDB_TYPE1, IDB_SERVICE_LABEL, IDB_NET_SERVICE,
                                 IDB_GAME_SERVICE, IDB_REMAINING_LABEL, IDB_EXPIRY_LABEL, IDB_ADDRESS_LABEL,
                                 IDB_CONNECT_TIME_LABEL, IDB_RECV_BYTES_LABEL, IDB_SENT_BYTES_LABEL,
                                 IDB_RECV_RATE_LABEL, IDB_SENT_RATE_LABEL, IDB_PRODUCT_NAME, IDB_VERSION_LABEL,
                                 IDB_ABOUT_LOGO, IDB_NOTICE_LINE, IDB_WEBSITE_LABEL};
    for (int id : images) HideSpriteAnyWindow(id);
    static const int disabled[] = {IDC_USERNAME, IDC_PASSWORD, IDC_REMEMBER_NAME, IDC_REMEMBER_PASSWORD};
    for (int id : disabled) EnableWindow(Item(id), FALSE);
}

void ShowStatusPage(HWND d, LONG st) {
    const SkinLayout* l = g_app.Layout;
    if (st == 3) {
        Show(IDC_STATUS_PANEL, 1);
        SetTimer(d, STATUS_TIMER, 1000, nullptr);
    }
    if (st == 2 || st == 4) {
        const SkinRect& r = l->ProgressBlockRect;
        MoveWindow(Item(IDC_PROGRESS), r.x, r.y, r.w, r.h, TRUE);
        AnimateProgress(1, l);
        ShowSpriteAnyWindow(IDB_PROGRESS_TRACK);
        Show(IDC_PROGRESS, 1);
        SetTimer(d, PROGRESS_TIMER, 100, nullptr);
    }
    if (st != 3 && st != 4) {
        ShowSpriteAnyWindow(IDB_USERNAME_LABEL);
        ShowSpriteAnyWindow(IDB_PASSWORD_LABEL);
        if (st == 1) Show(IDC_CONNECT, 1);
        if (st == 2) Show(IDC_CANCEL_CONNECT, 1);
        static const int login[] = {IDC_USERNAME, IDC_PASSWORD, IDC_REMEMBER_NAME, IDC_REMEMBER_PASSWORD,
                                    IDC_REMEMBER_NAME_LABEL, IDC_REMEMBER_PASSWORD_LABEL, IDC_FEEDBACK_TAB};
        for (int id : login) Show(id, 1);
        return;
    }
    Show(IDC_FEEDBACK_TAB, 1);
    QueryData q;
    ZeroMemory(&q, sizeof q);
    if (st == 3) {
        RefreshStatusData();
        q = StatusData;
    } else {
        CoreGetQueryData(&q);
    }
    AccountViewImages images = AccountImagesFor(q.Status, g_app.ServiceIndex);
    ShowSpriteAnyWindow(IDB_ACCOUNT_TYPE_LABEL);
    if (images.type) ShowSpriteAnyWindow(images.type);
    ShowSpriteAnyWindow(IDB_SERVICE_LABEL);
    ShowSpriteAnyWindow(images.service);
    if (images.dateLabel) ShowSpriteAnyWindow(images.dateLabel);
    static const int texts[] = {IDC_ACCOUNT_TEXT, IDC_IP_TEXT, IDC_TIME_TEXT, IDC_RECV_BYTES_TEXT,
                                IDC_SENT_BYTES_TEXT, IDC_RECV_RATE_TEXT, IDC_SENT_RATE_TEXT};
    for (int id : texts) Show(id, 1);
    static const int labels[] = {IDB_ADDRESS_LABEL, IDB_CONNECT_TIME_LABEL, IDB_RECV_BYTES_LABEL,
                                 IDB_SENT_BYTES_LABEL, IDB_RECV_RATE_LABEL, IDB_SENT_RATE_LABEL};
    for (int id : labels) ShowSpriteAnyWindow(id);
    if (st == 3) Show(IDC_DISCONNECT, 1);
}

void DrawTextN(HDC dc, LPARAM point, const char* text, int n) {
    int len = text ? (int)strnlen(text, n > 0 ? (size_t)n : 0) : 0;
    TextOutA(dc, (short)LOWORD(point), (short)HIWORD(point), len ? text : "", len);
}

void DrawResourceString(HDC dc, LPARAM point, UINT id) {
    char text[60];
    int n = LoadStringA(g_app.Instance, id, text, countof(text));
    if (n < 0) n = 0;
    TextOutA(dc, (short)LOWORD(point), (short)HIWORD(point), text, n);
}

// Draws text on a control's window DC at (0, 0) with the given font and colour.
void DrawOnControl(HWND control, HFONT font, COLORREF colour, const char* text, int n) {
    HDC dc = GetWindowDC(control);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    DrawTextN(dc, 0, text, n);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
}

}  // namespace

void ShowPage(int page) {
    HWND d = g_app.DialogWindow;
    // Nothing is painted before the dialog exists; once it is shown it opens
    // on the status page of the state it then reads.
    if (!d || !g_app.DialogCreated) return;
    if (GetWindowThreadProcessId(d, nullptr) == GetCurrentThreadId())
        ShowPageNow(page, 0);
    else
        PostMessageA(d, WM_APP_SHOW_PAGE, (WPARAM)page, 0);
}

void ShowPageNow(int page, int fromShowWindow) {
    HWND d = g_app.DialogWindow;
    if (!g_app.DialogVisible || !d) return;
    // ShowWindow below sends WM_SHOWWINDOW, whose handler shows this page.
    if (InShowPage) return;
    InShowPage = 1;
    LONG st = g_app.ConnState;
    HideEverything(d);
    if (page == PAGE_STATUS) {
        ShowStatusPage(d, st);
    } else if (page == PAGE_SETTINGS) {
        static const int settings[] = {IDC_AUTORUN, IDC_AUTOCONNECT, IDC_IMPORTANT_ONLY, IDC_WRITE_LOG,
                                       IDC_AUTORUN_LABEL, IDC_AUTOCONNECT_LABEL, IDC_IMPORTANT_ONLY_LABEL,
                                       IDC_WRITE_LOG_LABEL};
        for (int id : settings) Show(id, 1);
    } else if (page == PAGE_ABOUT) {
        Show(IDC_ABOUT_PANEL, 1);
        static const int about[] = {IDB_ABOUT_LOGO, IDB_NOTICE_LINE, IDB_WEBSITE_LABEL, IDB_PRODUCT_NAME,
                                    IDB_VERSION_LABEL};
        for (int id : about) ShowSpriteAnyWindow(id);
    }
    CurrentPage = page;
    InvalidateRect(d, nullptr, FALSE);
    if (!fromShowWindow) ShowWindow(d, SW_SHOW);
    RECT r;
    if (GetWindowRect(d, &r)) SendMessageA(d, WM_MOVE, 0, MAKELPARAM(r.left, r.top));
    if (!BoxShowing || !BringBoxToFront()) SetForegroundWindow(d);
    RecordDialogPage(d, page, st);
    InShowPage = 0;
}

void RefreshStatusData() {
    ZeroMemory(&StatusData, sizeof StatusData);
    if (g_app.ConnState != 3) return;
    CoreGetQueryData(&StatusData);
    const QueryData& q = StatusData;
    char date[12], ip[17];
    QueryDateText(date, sizeof date, q);
    QueryIpText(ip, sizeof ip, q);
    MsgBox(0x10004, "INFO: ID = %u; Status = %u; Time = %u; Date = %s", q.ID, q.Status, q.Time, date);
    MsgBox(0x10004, "INFO: IP = %s (%u); Start = %u; Time = %u", ip, (unsigned)strlen(ip), q.Start, q.ConnectTime);
    MsgBox(0x10004, "INFO: Recv: %u; Out: %u", q.Recv, q.Out);
}

void PaintStatusText(HWND control, const SkinLayout* l) {
    if (!control || !l) return;
    int id = GetDlgCtrlID(control);
    LONG st = g_app.ConnState;
    QueryData q;
    if (st == 3)
        q = StatusData;
    else
        ZeroMemory(&q, sizeof q);
    char ip[17], text[64];
    QueryIpText(ip, sizeof ip, q);
    int active = st == 3 || st == 4;
    if (id == IDC_ABOUT_PANEL) {
        HDC dc = GetWindowDC(control);
        if (!dc) return;
        SetBkMode(dc, TRANSPARENT);
        char version[16];
        FormatVersion(kClientVersion, version);
        HFONT font = StatusFont(18, FALSE);
        HGDIOBJ old = SelectObject(dc, font);
        SetTextColor(dc, l->VersionTextColor);
        DrawTextN(dc, MAKELPARAM(l->VersionTextPos.x, l->VersionTextPos.y), version, (int)strlen(version));
        HFONT link = WebsiteLinkFont();
        SelectObject(dc, link);
        SetTextColor(dc, l->WebsiteTextColor);
        DrawResourceString(dc, MAKELPARAM(l->WebsiteLinkRect.x, l->WebsiteLinkRect.y), IDS_OPERATOR_URL);
        SelectObject(dc, old);
        DeleteObject(font);
        DeleteObject(link);
        ReleaseDC(control, dc);
    } else if (id == IDC_ACCOUNT_TEXT) {
        if (!active || !AccountTextShown(q.Status, ip)) return;
        HFONT font = StatusFont(18, FALSE);
        if (q.Status & 0x10) {
            QueryDateText(text, sizeof text, q);
            DrawOnControl(control, font, l->StatusTextColor, text, 11);
        } else {
            FormatText(text, sizeof text, "%u", q.Time);
            DrawOnControl(control, font, l->StatusTextColor, text, 6);
        }
        DeleteObject(font);
    } else if (id == IDC_IP_TEXT) {
        if (!active || !ip[0]) return;
        HFONT font = StatusFont(18, FALSE);
        DrawOnControl(control, font, l->StatusTextColor, ip, 16);
        DeleteObject(font);
    } else if (id == IDC_TIME_TEXT) {
        if (!active || q.Start == 0) return;
        HFONT font = StatusFont(18, FALSE);
        FormatConnectTime(text, sizeof text, (int32_t)q.ConnectTime);
        DrawOnControl(control, font, l->StatusTextColor, text, 10);
        FormatBytes(text, sizeof text, q.Out);
        DrawOnControl(Item(IDC_RECV_BYTES_TEXT), font, l->StatusTextColor, text, 10);
        FormatRate(text, sizeof text, q.OutRate);
        DrawOnControl(Item(IDC_RECV_RATE_TEXT), font, l->StatusTextColor, text, 10);
        FormatBytes(text, sizeof text, q.Recv);
        DrawOnControl(Item(IDC_SENT_BYTES_TEXT), font, l->StatusTextColor, text, 10);
        FormatRate(text, sizeof text, q.RecvRate);
        DrawOnControl(Item(IDC_SENT_RATE_TEXT), font, l->StatusTextColor, text, 10);
        DeleteObject(font);
    }
}

void AnimateProgress(int reset, const SkinLayout* l) {
    if (reset) ProgressForward = 1;
    HWND d = g_app.DialogWindow;
    RECT block, dialog;
    if (!GetWindowRect(Item(IDC_PROGRESS), &block) || !GetWindowRect(d, &dialog)) return;
    int next = StepProgress(*l, block.left - dialog.left, &ProgressForward);
    const SkinRect& r = l->ProgressBlockRect;
    MoveWindow(Item(IDC_PROGRESS), next, r.y, r.w, r.h, TRUE);
}
