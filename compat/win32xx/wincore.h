// Win32++-style window layer of the notification popups: CWnd with class
// registration and message routing, the module's one CWinApp that maps window
// handles to their objects, and CWinException for window failures.
#ifndef ZORVET_WIN32XX_WINCORE_H
#define ZORVET_WIN32XX_WINCORE_H

#include <windows.h>

#include <exception>
#include <map>

#include "gdi.h"

namespace Win32xx {

class CWinException : public std::exception {
public:
    explicit CWinException(const char* text, DWORD error = ::GetLastError());
    const char* GetText() const { return m_text; }
    DWORD GetError() const { return m_error; }
    const char* what() const noexcept override { return m_text; }

private:
    char m_text[256];
    DWORD m_error;
};

class CWnd;

// The module's application object: one per module, created before any window.
// Several UI threads create and destroy windows at once, so the map is locked.
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    HINSTANCE GetInstanceHandle() const { return m_hInstance; }
    CWnd* GetCWndFromMap(HWND hWnd);

private:
    friend class CWnd;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    void AddToMap(HWND hWnd, CWnd* wnd);
    void RemoveFromMap(HWND hWnd);
    // Registers the class once per module; 1 when it is (or was) registered.
    int RegisterClassOnce(WNDCLASSA& wc);

    HINSTANCE m_hInstance;
    CRITICAL_SECTION m_lock;
    std::map<HWND, CWnd*> m_map;
    char m_classes[8][64];  // classes this module registered (unregistered at exit)
    int m_nClasses;
};

CWinApp* GetApp();

class CWnd {
public:
    CWnd();
    virtual ~CWnd();

    virtual HWND Create(HWND parent = NULL);
    // Registers the class from PreRegisterClass when needed and creates the
    // window; throws CWinException when either fails.
    HWND CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x,
                  int y, int width, int height, HWND parent, HMENU menu = NULL);
    void Destroy();

    HWND GetHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }

    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL SetWindowPos(HWND after, int x, int y, int cx, int cy, UINT flags) const {
        return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
    }
    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    BOOL RedrawWindow(const RECT* rc, HRGN rgn, UINT flags) const {
        return ::RedrawWindow(m_hWnd, rc, rgn, flags);
    }
    BOOL InvalidateRect(const RECT* rc, BOOL erase) const { return ::InvalidateRect(m_hWnd, rc, erase); }
    UINT_PTR SetTimer(UINT_PTR id, UINT ms) const { return ::SetTimer(m_hWnd, id, ms, NULL); }
    BOOL KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }
    LRESULT SendMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::SendMessageA(m_hWnd, msg, wp, lp);
    }
    BOOL PostMessage(UINT msg, WPARAM wp = 0, LPARAM lp = 0) const {
        return ::PostMessageA(m_hWnd, msg, wp, lp);
    }
    LONG_PTR GetExStyle() const { return ::GetWindowLongPtrA(m_hWnd, GWL_EXSTYLE); }
    void SetExStyle(LONG_PTR style) const { ::SetWindowLongPtrA(m_hWnd, GWL_EXSTYLE, style); }

protected:
    // Class of the window (name, brush, cursor, style); the defaults are a plain class.
    virtual void PreRegisterClass(WNDCLASSA& wc);
    virtual int OnCreate();
    virtual void OnDraw(CDC& dc);
    virtual LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // WM_CREATE -> OnCreate, WM_PAINT -> OnDraw between BeginPaint and EndPaint,
    // everything else to DefWindowProc.
    LRESULT WndProcDefault(UINT msg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd;

private:
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    static LRESULT CALLBACK StaticWindowProc(HWND, UINT, WPARAM, LPARAM);
};

}  // namespace Win32xx

#endif
