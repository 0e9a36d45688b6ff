#include "notification_wnd.h"

#include <objbase.h>
#include <process.h>
#include <shellapi.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include "core.h"
#include "note_geometry.h"

namespace {

constexpr uint32_t kNtwTrace = 0x20190000;
constexpr unsigned kSevenDaysMs = 604800000u;
constexpr size_t kOpenUrlMax = 1024;  // characters of a clicked address that are opened

}  // namespace

CNotificationWnd::CNotificationWnd()
    : m_reg_id(0), m_bClosed(1), m_hParent(NULL), m_crText(0), m_crLink(255),
      m_hLinkCursor(GetCursor()), m_hNormalCursor(GetCursor()), m_nWidth(256), m_nHeight(160),
      m_rcClose{135, 5, 142, 13}, m_rcText{0, 0, 0, 0}, m_rcTitle{}, m_rcExtra{}, m_crTitle(0),
      m_nState(STATE_HIDDEN), m_nShowTime(500), m_nStayTime(3000), m_nHideTime(500),
      m_nShowStepTime(0), m_nHideStepTime(0), m_nMarginX(GetSystemMetrics(SM_CXEDGE) + 10),
      m_nMarginY(GetSystemMetrics(SM_CYEDGE) + 15), m_nStartX(0), m_nStartY(0), m_nCurX(0),
      m_nCurY(0), m_nDirection(0), m_nStep(1), m_nDragState(DRAG_NONE), m_nHotRegion(HOT_NONE) {
    MakeFont(m_TitleFont, "宋体", 100, FONT_BOLD);
    MakeFont(m_TextFont, "宋体", 90, 0);
    MakeFont(m_LinkFont, "宋体", 90, FONT_UNDERLINE);
}

CNotificationWnd::~CNotificationWnd() {}

void CNotificationWnd::PreRegisterClass(WNDCLASSA& wc) {
    wc.lpszClassName = "NtW";
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.style = 0;
}

HWND CNotificationWnd::Create(HWND parent) {
    m_hParent = parent;
    try {
        CreateEx(WS_EX_TOOLWINDOW, "NtW", NULL, WS_POPUP, GetSystemMetrics(SM_CXSCREEN) + 10,
                 GetSystemMetrics(SM_CYSCREEN) + 10, 0, 0, parent);
    } catch (const Win32xx::CWinException& e) {
        ReportMessage(kNtwTrace, "NTW: Create: %s (error %lu)", e.GetText(), e.GetError());
        return NULL;
    }
    m_Picture.AttachWindow(m_hWnd, NULL);
    return m_hWnd;
}

int CNotificationWnd::OnCreate() {
    m_hLinkCursor = LoadCursor(NULL, IDC_HAND);
    m_hNormalCursor = LoadCursor(NULL, IDC_ARROW);
    return 0;
}

void CNotificationWnd::MakeFont(Win32xx::CFont& font, const char* face, int size, int flags) {
    font.DeleteObject();
    LOGFONTA lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    CopyText(lf.lfFaceName, face);
    HDC screen = GetDC(NULL);
    int y = GetDeviceCaps(screen, LOGPIXELSY) * size / 720;
    POINT pts[2] = {{0, y}, {0, 0}};
    DPtoLP(screen, pts, 2);
    lf.lfHeight = -abs(pts[0].y - pts[1].y);
    ReleaseDC(NULL, screen);
    if (!font.CreateFontIndirect(lf)) return;
    LOGFONTA made = font.GetLogFont();
    made.lfWeight = (flags & FONT_BOLD) ? FW_BOLD : FW_NORMAL;
    made.lfItalic = (flags & FONT_ITALIC) ? 1 : 0;
    made.lfUnderline = (flags & FONT_UNDERLINE) ? 1 : 0;
    font.CreateFontIndirect(made);
}

void CNotificationWnd::MakeTextFonts(const char* face, int size, int textFlags, int linkFlags) {
    MakeFont(m_TextFont, face, size, textFlags);
    LOGFONTA lf = m_TextFont.GetLogFont();
    lf.lfWeight = (linkFlags & FONT_BOLD) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (linkFlags & FONT_ITALIC) ? 1 : 0;
    lf.lfUnderline = (linkFlags & FONT_UNDERLINE) ? 1 : 0;
    m_LinkFont.CreateFontIndirect(lf);
}

void CNotificationWnd::SetTextColors(COLORREF text, COLORREF link) {
    m_crText = text;
    m_crLink = link;
    Redraw();
}

void CNotificationWnd::FormatString(std::string& out, const char* format, ...) {
    if (!format) return;
    va_list ap;
    va_start(ap, format);
    va_list ap2;
    va_copy(ap2, ap);
    int n = vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    if (n >= 0) {
        out.resize((size_t)n + 1);
        vsnprintf(&out[0], (size_t)n + 1, format, ap2);
        out.resize((size_t)n);
    }
    va_end(ap2);
}

void CNotificationWnd::SetUrl(const char* url) { m_strUrl = note::BuildClickUrl(url, m_reg_id); }

int CNotificationWnd::SetCloseButton(int id, const char* type, int x, int y, int width, int height) {
    if (id != 0 || x < 0 || y < 0 || width <= 0 || height <= 0) {
        int r = m_Picture.LoadOverlay((WORD)id, type, x, y, width, height);
        RECT rc;
        if (r && m_Picture.GetOverlayRect(&rc)) m_rcClose = rc;
        return r;
    }
    SetRect(&m_rcClose, x, y, x + width, y + height);
    return 1;
}

int CNotificationWnd::SetSkinResource(int id, const char* type) {
    m_Picture.Load(id, type);
    return AdoptSkin();
}

int CNotificationWnd::SetSkinFile(const char* path) {
    m_Picture.Load(path);
    return AdoptSkin();
}

// The window takes the loaded skin's size and, where it has one, its close area.
int CNotificationWnd::AdoptSkin() {
    SIZE s = m_Picture.GetPictureSize();
    m_nWidth = s.cx;
    m_nHeight = s.cy;
    RECT rc;
    if (m_Picture.GetOverlayRect(&rc)) m_rcClose = rc;
    m_Picture.Draw();
    Redraw();
    return 1;
}

BYTE* CNotificationWnd::GetBitmapPixels(HBITMAP bitmap, WORD* width, WORD* height) {
    BITMAP bm = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm)) return NULL;
    WORD w = (WORD)(bm.bmWidth & ~3);
    WORD h = (WORD)bm.bmHeight;
    *width = w;
    *height = h;
    size_t size = (size_t)w * h * 3;
    BYTE* pixels = static_cast<BYTE*>(malloc(size ? size : 1));
    if (!pixels) return NULL;
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = -(LONG)h;  // rows from the top
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    bi.biCompression = BI_RGB;
    bi.biSizeImage = (DWORD)size;
    HDC screen = GetWindowDC(NULL);
    int lines = GetDIBits(screen, bitmap, 0, h, pixels, (BITMAPINFO*)&bi, DIB_RGB_COLORS);
    ReleaseDC(NULL, screen);
    if (!lines) {
        free(pixels);
        return NULL;
    }
    return pixels;
}

HRGN CNotificationWnd::RegionFromColor(HBITMAP bitmap, int red, int green, int blue) {
    WORD w = 0, h = 0;
    BYTE* pixels = GetBitmapPixels(bitmap, &w, &h);
    if (!pixels) return NULL;
    HRGN region = CreateRectRgn(0, 0, w, h);
    if (!region) {
        free(pixels);
        return NULL;
    }
    const BYTE* p = pixels;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x, p += 3) {
            if (p[2] == (BYTE)red && p[1] == (BYTE)green && p[0] == (BYTE)blue) {
                HRGN dot = CreateRectRgn(x, y, x + 1, y + 1);
                if (dot) {
                    CombineRgn(region, region, dot, RGN_XOR);
                    DeleteObject(dot);
                }
            }
        }
    }
    free(pixels);
    return region;
}

void CNotificationWnd::ShowText(const char* title, const char* text, const char* url, unsigned stay,
                                unsigned show, unsigned hide, int step) {
    SetUrl(url);
    m_strTitle = title ? title : "";
    if (m_rcTitle.left == m_rcTitle.right && m_rcTitle.top == m_rcTitle.bottom)
        SetRect(&m_rcTitle, 40, m_rcClose.top, m_rcClose.left - 5, m_rcClose.bottom + 3);
    if (m_rcText.left == m_rcText.right && m_rcText.top == m_rcText.bottom)
        SetRect(&m_rcText, 15, m_rcTitle.bottom + 20, m_rcClose.right - 5, m_nHeight - 10);
    Show(text, stay, show, hide, step);
}

void CNotificationWnd::ShowImage(const void* bytes, int count, const char* url, unsigned stay,
                                 unsigned hide, int step) {
    if (!bytes || count <= 0) return;
    SetUrl(url);
    m_strTitle.clear();
    if (!m_Picture.Load(bytes, (unsigned)count)) return;
    AdoptSkin();
    if (IsRectEmpty(&m_rcText)) {
        if (IsRectEmpty(&m_rcClose)) SetRect(&m_rcText, 5, 5, m_nWidth - 10, m_nHeight - 10);
        else SetRect(&m_rcText, 15, m_rcClose.bottom + 15, m_rcClose.right - 5, m_nHeight - 10);
    }
    Show("", stay, 0, hide, step);
}

void CNotificationWnd::Show(const char* text, unsigned stay, unsigned show, unsigned hide, int step) {
    // A popup is shown once; a second Show while it is up is ignored.
    if (m_nState != STATE_HIDDEN || !m_bClosed) return;
    m_bClosed = 0;
    SetCursor(m_hNormalCursor);
    m_strText = text ? text : "";
    m_nShowTime = show;
    m_nStayTime = stay ? stay : kSevenDaysMs;
    m_nHideTime = hide;

    RECT wa;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &wa, 0);
    note::Rect work = {wa.left, wa.top, wa.right, wa.bottom};
    note::SlidePath path = note::ComputeSlidePath(work, GetSystemMetrics(SM_CXSCREEN),
                                                  GetSystemMetrics(SM_CYSCREEN), m_nWidth, m_nHeight,
                                                  m_nMarginX, m_nMarginY);
    m_nDirection = path.direction;
    ShowWindow(SW_SHOWNOACTIVATE);
    note::SlideSteps steps = note::ComputeSlideSteps(path.distance, m_nShowTime, m_nHideTime, step);
    m_nStep = steps.step;
    m_nShowStepTime = steps.showStepMs;
    m_nHideStepTime = steps.hideStepMs;
    m_nStartX = path.startX;
    m_nStartY = path.startY;
    m_nCurX = m_nStartX;
    m_nCurY = m_nStartY;
    SetTimer(TIMER_SHOW, m_nShowStepTime);
    m_Picture.Draw();
}

void CNotificationWnd::OnTimer(UINT_PTR id) {
    const int dx = m_nWidth + m_nMarginX, dy = m_nHeight + m_nMarginY;
    // Steps are cut at the end of the path, so the popup rests exactly in place.
    auto stepOf = [this](int remaining) { return remaining < m_nStep ? remaining : m_nStep; };
    if (id == TIMER_SHOW) {
        m_nState = STATE_SHOWING;
        bool arrived = false;
        switch (m_nDirection) {
        case FROM_TOP:
            if (m_nCurY - m_nStartY >= dy) arrived = true;
            else m_nCurY += stepOf(dy - (m_nCurY - m_nStartY));
            break;
        case FROM_LEFT:
            if (m_nCurX - m_nStartX >= dx) arrived = true;
            else m_nCurX += stepOf(dx - (m_nCurX - m_nStartX));
            break;
        case FROM_RIGHT:
            if (m_nCurX <= m_nStartX - dx) arrived = true;
            else m_nCurX -= stepOf(m_nCurX - (m_nStartX - dx));
            break;
        case FROM_BOTTOM:
            if (m_nCurY <= m_nStartY - dy) arrived = true;
            else m_nCurY -= stepOf(m_nCurY - (m_nStartY - dy));
            break;
        default:
            break;
        }
        if (arrived) {
            KillTimer(TIMER_SHOW);
            SetTimer(TIMER_STAY, m_nStayTime);
            m_nState = STATE_WAITING;
        }
        MoveToPosition();
    } else if (id == TIMER_STAY) {
        KillTimer(TIMER_STAY);
        SetTimer(TIMER_HIDE, m_nHideStepTime);
    } else if (id == TIMER_HIDE) {
        m_nState = STATE_HIDING;
        bool done = false;
        switch (m_nDirection) {
        case FROM_TOP:
            if (m_nCurY <= m_nStartY) done = true;
            else m_nCurY -= stepOf(m_nCurY - m_nStartY);
            break;
        case FROM_LEFT:
            if (m_nCurX <= m_nStartX) done = true;
            else m_nCurX -= stepOf(m_nCurX - m_nStartX);
            break;
        case FROM_RIGHT:
            if (m_nCurX >= m_nStartX) done = true;
            else m_nCurX += stepOf(m_nStartX - m_nCurX);
            break;
        case FROM_BOTTOM:
            if (m_nCurY >= m_nStartY) done = true;
            else m_nCurY += stepOf(m_nStartY - m_nCurY);
            break;
        default:
            break;
        }
        if (done) {
            KillTimer(TIMER_HIDE);
            Hide();
        }
        MoveToPosition();
    }
}

void CNotificationWnd::MoveToPosition() {
    HWND tray = FindWindowA("Shell_TrayWnd", NULL);
    SetWindowPos(tray ? tray : HWND_TOPMOST, m_nCurX, m_nCurY, m_nWidth, m_nHeight, SWP_NOACTIVATE);
}

void CNotificationWnd::Hide() {
    switch (m_nState) {
    case STATE_SHOWING: KillTimer(TIMER_SHOW); break;
    case STATE_WAITING: KillTimer(TIMER_STAY); break;
    case STATE_HIDING: KillTimer(TIMER_HIDE); break;
    default: break;
    }
    // Before the first tick the state is still hidden but the show timer runs.
    if (m_nState == STATE_HIDDEN) KillTimer(TIMER_SHOW);
    m_Picture.HaltAnimation();
    ShowWindow(SW_HIDE);
    m_nState = STATE_HIDDEN;
    m_bClosed = 1;
}

void CNotificationWnd::OnLButtonDown(int x, int y) {
    m_nDragState = DRAG_ARMED;
    POINT pt = {x, y};
    if (!IsRectEmpty(&m_rcClose) && PtInRect(&m_rcClose, pt)) {
        Hide();
    } else if (PtInRect(&m_rcText, pt)) {
        if (!m_strUrl.empty()) {
            OpenUrl(m_strUrl.c_str());
            Hide();
        } else {
            ::PostMessageA(m_hParent, WM_NOTE_CLICKED, 0, 0);
        }
    }
}

void CNotificationWnd::OnMouseMove(int x, int y) {
    int old = m_nHotRegion;
    POINT pt = {x, y};
    if (PtInRect(&m_rcText, pt)) m_nHotRegion = HOT_TEXT;
    else if (!IsRectEmpty(&m_rcExtra) && PtInRect(&m_rcExtra, pt)) m_nHotRegion = HOT_EXTRA;
    else if (!IsRectEmpty(&m_rcTitle) && PtInRect(&m_rcTitle, pt)) m_nHotRegion = HOT_TITLE;
    else if (!IsRectEmpty(&m_rcClose) && PtInRect(&m_rcClose, pt)) m_nHotRegion = HOT_CLOSE;
    else m_nHotRegion = HOT_NONE;
    if ((m_nHotRegion == HOT_TEXT && !m_strUrl.empty()) || m_nHotRegion == HOT_CLOSE)
        m_hNormalCursor = SetCursor(m_hLinkCursor);
    else
        SetCursor(m_hNormalCursor);
    if (old != m_nHotRegion && (old == HOT_TEXT || m_nHotRegion == HOT_TEXT)) Redraw();
    if (m_nDragState == DRAG_ARMED) {
        m_nDragState = DRAG_MOVING;
        SendMessage(WM_SYSCOMMAND, 0xF012, 0);  // system move loop until the button is up
    } else if (m_nDragState == DRAG_MOVING) {
        RECT rc = GetWindowRect();
        m_nCurX = rc.left;
        m_nCurY = rc.top;
        m_nDragState = DRAG_NONE;
    }
}

// The message goes on to the default handling, which sets the class's arrow;
// the mouse move that follows puts the hand back over what can be clicked and
// so keeps the arrow, not the hand, as the cursor for elsewhere.
void CNotificationWnd::OnSetCursor() {
    if ((m_nHotRegion == HOT_TEXT && !m_strUrl.empty()) || m_nHotRegion == HOT_CLOSE) SetCursor(m_hLinkCursor);
}

void CNotificationWnd::Redraw() {
    RedrawWindow(NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Win32xx::CDC dc;
    if (dc.GetDC(m_hWnd)) OnDraw(dc);
}

void CNotificationWnd::OnDraw(Win32xx::CDC& dc) {
    if (m_strTitle.empty() && m_strText.empty()) return;
    HGDIOBJ old = dc.SelectObject(m_TextFont.GetHandle());
    dc.SetTextColor(m_crText);
    dc.SetBkMode(TRANSPARENT);
    RECT rc = m_rcText;
    dc.DrawText(m_strText.c_str(), -1, &rc, DT_VCENTER | DT_WORDBREAK | DT_EXTERNALLEADING | DT_END_ELLIPSIS);
    if (!m_strTitle.empty() && !IsRectEmpty(&m_rcTitle)) {
        dc.SelectObject(m_TitleFont.GetHandle());
        dc.SetTextColor(m_crTitle);
        rc = m_rcTitle;
        dc.DrawText(m_strTitle.c_str(), -1, &rc, DT_VCENTER | DT_EXTERNALLEADING | DT_END_ELLIPSIS);
    }
    dc.SelectObject(old);
}

LRESULT CNotificationWnd::OnEraseBkgnd(HDC hdc) {
    Win32xx::CDC dc(hdc);
    m_Picture.PaintTo(dc);
    return 1;
}

unsigned __stdcall CNotificationWnd::OpenUrlThread(void* text) {
    char* url = static_cast<char*>(text);
    // The shell may hand the address to a COM handler: this thread needs COM.
    HRESULT hr = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (*url) ShellExecuteA(NULL, "open", url, NULL, NULL, SW_SHOWNORMAL);
    if (SUCCEEDED(hr)) CoUninitialize();
    free(url);
    return 0;
}

void CNotificationWnd::OpenUrl(const char* url) {
    if (!url || !*url) return;
    // The address comes from the service: only web addresses are opened, never
    // a file, a program or another scheme's handler.
    if (!note::IsWebAddress(url)) {
        ReportMessage(kNtwTrace, "NTW: OpenUrl: refused an address that is not http or https: %.200s", url);
        return;
    }
    char* copy = static_cast<char*>(malloc(kOpenUrlMax + 1));
    if (!copy) return;
    CopyTextN(copy, url, kOpenUrlMax + 1);
    unsigned id;
    HANDLE h = (HANDLE)_beginthreadex(NULL, 0, OpenUrlThread, copy, 0, &id);
    if (h) CloseHandle(h);
    else free(copy);
}

LRESULT CNotificationWnd::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        return OnEraseBkgnd((HDC)wParam);
    case WM_SETCURSOR:
        OnSetCursor();
        break;
    case WM_LBUTTONUP:
    case WM_NCLBUTTONDOWN:
        m_nDragState = DRAG_NONE;
        break;
    case WM_TIMER:
        OnTimer(wParam);
        break;
    case WM_MOUSEMOVE:
        OnMouseMove((short)LOWORD(lParam), (short)HIWORD(lParam));
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown((short)LOWORD(lParam), (short)HIWORD(lParam));
        break;
    default:
        break;
    }
    return WndProcDefault(msg, wParam, lParam);
}
