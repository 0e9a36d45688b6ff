// CNotificationWnd: the note popup. A borderless tool window that slides in at
// the work area's edge next to the taskbar, stays, and slides out; it shows a
// skin with title and text, or a picture, and opens the note's link on a click.
#ifndef ZORVET_POPUP_NOTIFICATION_WND_H
#define ZORVET_POPUP_NOTIFICATION_WND_H

#include <windows.h>
#include <stdint.h>

#include <string>

#include "picture_ex.h"
#include "wincore.h"

constexpr UINT WM_NOTE_CLICKED = WM_USER + 123;  // to the parent: text clicked, no URL

class CNotificationWnd : public Win32xx::CWnd {
public:
    enum { STATE_HIDDEN = 0, STATE_SHOWING = 1, STATE_WAITING = 2, STATE_HIDING = 3 };
    enum { TIMER_SHOW = 1, TIMER_STAY = 2, TIMER_HIDE = 3 };
    enum { FROM_TOP = 1, FROM_LEFT = 2, FROM_RIGHT = 3, FROM_BOTTOM = 4 };
    enum { HOT_NONE, HOT_TEXT, HOT_EXTRA, HOT_TITLE, HOT_CLOSE };
    enum { DRAG_NONE, DRAG_ARMED, DRAG_MOVING };
    enum { FONT_BOLD = 1, FONT_ITALIC = 2, FONT_UNDERLINE = 4 };

    CNotificationWnd();
    ~CNotificationWnd() override;
    HWND Create(HWND parent) override;

    void MakeFont(Win32xx::CFont& font, const char* face, int size, int flags);
    void SetUrl(const char* url);
    void FormatString(std::string& out, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void SetTextRect(const RECT* rc) { m_rcText = *rc; }
    void SetTitleRect(const RECT* rc) { m_rcTitle = *rc; }
    void SetCloseRect(const RECT* rc) { m_rcClose = *rc; }
    void SetExtraRect(const RECT* rc) { m_rcExtra = *rc; }
    int SetCloseButton(int id, const char* type, int x, int y, int width, int height);
    int SetSkinResource(int id, const char* type);
    void ShowText(const char* title, const char* text, const char* url, unsigned stay, unsigned show,
                  unsigned hide, int step);
    void ShowImage(const void* bytes, int count, const char* url, unsigned stay, unsigned hide, int step);
    void Show(const char* text, unsigned stay, unsigned show, unsigned hide, int step);
    void Hide();
    void MoveToPosition();
    void Redraw();
    void OpenUrl(const char* url);
    virtual void ExtensionHook() {}

    // Both fonts from one height; each gets its own weight, italic and underline.
    void MakeTextFonts(const char* face, int size, int textFlags, int linkFlags);
    int SetSkinFile(const char* path);
    void SetTextColors(COLORREF text, COLORREF link);
    void OnLButtonUp() { m_nDragState = DRAG_NONE; }
    // The bitmap's pixels, rows from the top, 3 bytes (blue, green, red) each, on
    // the largest multiple of 4 of its width; the caller frees them. NULL on failure.
    static BYTE* GetBitmapPixels(HBITMAP bitmap, WORD* width, WORD* height);
    // The bitmap's area less the pixels of that colour (and its width mod 4
    // right-most columns); the caller deletes the region. NULL on failure.
    static HRGN RegionFromColor(HBITMAP bitmap, int red, int green, int blue);

    CPictureEx m_Picture;
    uint32_t m_reg_id;
    volatile int m_bClosed;  // 1 while not shown; the UI thread's pump ends on it

protected:
    void PreRegisterClass(WNDCLASSA& wc) override;
    int OnCreate() override;
    void OnDraw(Win32xx::CDC& dc) override;
    LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    int AdoptSkin();
    LRESULT OnEraseBkgnd(HDC dc);
    void OnSetCursor();
    void OnTimer(UINT_PTR id);
    void OnMouseMove(int x, int y);
    void OnLButtonDown(int x, int y);
    static unsigned __stdcall OpenUrlThread(void* text);

    HWND m_hParent;
    Win32xx::CFont m_TextFont;
    Win32xx::CFont m_LinkFont;
    COLORREF m_crText;
    COLORREF m_crLink;
    HCURSOR m_hLinkCursor;
    HCURSOR m_hNormalCursor;
    int m_nWidth, m_nHeight;
    RECT m_rcClose;
    RECT m_rcText;
    RECT m_rcTitle;
    RECT m_rcExtra;
    std::string m_strTitle, m_strText, m_strUrl;
    Win32xx::CFont m_TitleFont;
    COLORREF m_crTitle;
    int m_nState;
    unsigned m_nShowTime, m_nStayTime, m_nHideTime;
    unsigned m_nShowStepTime, m_nHideStepTime;
    int m_nMarginX, m_nMarginY;
    int m_nStartX, m_nStartY;
    int m_nCurX, m_nCurY;
    int m_nDirection;
    int m_nStep;
    int m_nDragState;
    int m_nHotRegion;
};

#endif
