#include "gdi.h"

namespace Win32xx {

HFONT CFont::CreateFontIndirect(const LOGFONTA& lf) {
    DeleteObject();
    m_hFont = ::CreateFontIndirectA(&lf);
    return m_hFont;
}

LOGFONTA CFont::GetLogFont() const {
    LOGFONTA lf = {};
    if (m_hFont) ::GetObjectA(m_hFont, sizeof lf, &lf);
    return lf;
}

void CFont::DeleteObject() {
    if (m_hFont) ::DeleteObject(m_hFont);
    m_hFont = NULL;
}

HBITMAP CBitmap::CreateCompatibleBitmap(HDC dc, int width, int height) {
    DeleteObject();
    m_hBitmap = ::CreateCompatibleBitmap(dc, width, height);
    return m_hBitmap;
}

BITMAP CBitmap::GetBitmapData() const {
    BITMAP bm = {};
    if (m_hBitmap) ::GetObjectA(m_hBitmap, sizeof bm, &bm);
    return bm;
}

void CBitmap::DeleteObject() {
    if (m_hBitmap) ::DeleteObject(m_hBitmap);
    m_hBitmap = NULL;
}

BOOL CDC::GetDC(HWND wnd) {
    Release();
    m_hDC = ::GetDC(wnd);
    m_hWnd = wnd;
    m_kind = WINDOW;
    return m_hDC != NULL;
}

BOOL CDC::CreateCompatibleDC(HDC dc) {
    Release();
    m_hDC = ::CreateCompatibleDC(dc);
    m_kind = MEMORY;
    return m_hDC != NULL;
}

HFONT CDC::SelectFont(HFONT font) {
    HFONT old = (HFONT)::SelectObject(m_hDC, font);
    if (!m_hOldFont) m_hOldFont = old;
    return old;
}

void CDC::SolidFill(COLORREF c, const RECT& rc) const {
    HBRUSH b = ::CreateSolidBrush(c);
    if (!b) return;
    ::FillRect(m_hDC, &rc, b);
    ::DeleteObject(b);
}

void CDC::Release() {
    if (m_hDC) {
        if (m_hOldFont) ::SelectObject(m_hDC, m_hOldFont);
        if (m_kind == WINDOW) ::ReleaseDC(m_hWnd, m_hDC);
        else if (m_kind == MEMORY) ::DeleteDC(m_hDC);
    }
    m_hDC = NULL;
    m_hWnd = NULL;
    m_hOldFont = NULL;
    m_kind = BORROWED;
}

}  // namespace Win32xx
