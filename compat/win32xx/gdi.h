// Win32++-style GDI wrappers: device contexts, fonts and bitmaps that release
// what they own.
#ifndef ZORVET_WIN32XX_GDI_H
#define ZORVET_WIN32XX_GDI_H

#include <windows.h>

namespace Win32xx {

class CFont {
public:
    CFont() : m_hFont(NULL) {}
    ~CFont() { DeleteObject(); }
    HFONT CreateFontIndirect(const LOGFONTA& lf);
    LOGFONTA GetLogFont() const;
    void DeleteObject();
    HFONT GetHandle() const { return m_hFont; }
    operator HFONT() const { return m_hFont; }

private:
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    HFONT m_hFont;
};

class CBitmap {
public:
    CBitmap() : m_hBitmap(NULL) {}
    ~CBitmap() { DeleteObject(); }
    HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
    void Attach(HBITMAP bmp) { DeleteObject(); m_hBitmap = bmp; }
    HBITMAP Detach() { HBITMAP b = m_hBitmap; m_hBitmap = NULL; return b; }
    BITMAP GetBitmapData() const;
    void DeleteObject();
    HBITMAP GetHandle() const { return m_hBitmap; }
    operator HBITMAP() const { return m_hBitmap; }

private:
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;
    HBITMAP m_hBitmap;
};

// A device context: borrowed (attached; the owner frees it), a window's
// (released with ReleaseDC) or a memory one (deleted). Objects selected into it
// are selected out again before it goes.
class CDC {
public:
    CDC() : m_hDC(NULL), m_hWnd(NULL), m_kind(BORROWED), m_hOldFont(NULL) {}
    explicit CDC(HDC dc) : m_hDC(dc), m_hWnd(NULL), m_kind(BORROWED), m_hOldFont(NULL) {}
    ~CDC() { Release(); }

    // The window's device context (GetDC), released by the destructor.
    BOOL GetDC(HWND wnd);
    BOOL CreateCompatibleDC(HDC dc);
    void Attach(HDC dc) { Release(); m_hDC = dc; m_kind = BORROWED; }
    HDC Detach() { HDC d = m_hDC; m_hDC = NULL; return d; }
    HDC GetHDC() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    HGDIOBJ SelectObject(HGDIOBJ obj) const { return ::SelectObject(m_hDC, obj); }
    HFONT SelectFont(HFONT font);  // the first font replaced is restored on release
    COLORREF SetTextColor(COLORREF c) const { return ::SetTextColor(m_hDC, c); }
    int SetBkMode(int mode) const { return ::SetBkMode(m_hDC, mode); }
    int DrawText(const char* text, int count, RECT* rc, UINT format) const {
        return ::DrawTextA(m_hDC, text, count, rc, format);
    }
    BOOL BitBlt(int x, int y, int w, int h, HDC src, int xs, int ys, DWORD rop) const {
        return ::BitBlt(m_hDC, x, y, w, h, src, xs, ys, rop);
    }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
    BOOL DPtoLP(POINT* pts, int count) const { return ::DPtoLP(m_hDC, pts, count); }
    void FillRect(const RECT& rc, HBRUSH brush) const { ::FillRect(m_hDC, &rc, brush); }
    void SolidFill(COLORREF c, const RECT& rc) const;
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }

private:
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    void Release();
    enum Kind { BORROWED, WINDOW, MEMORY };
    HDC m_hDC;
    HWND m_hWnd;
    Kind m_kind;
    HFONT m_hOldFont;
};

}  // namespace Win32xx

#endif
