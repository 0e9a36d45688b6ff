#include "wincore.h"

namespace Win32xx {

namespace {

CWinApp* g_app = nullptr;
// The object whose window this thread is creating: messages arrive (WM_GETMINMAXINFO
// first) before CreateWindowEx returns the handle.
thread_local CWnd* t_creating = nullptr;

}  // namespace

CWinException::CWinException(const char* text, DWORD error) : m_error(error) {
    lstrcpynA(m_text, text ? text : "", (int)sizeof m_text);
}

CWinApp* GetApp() { return g_app; }

CWinApp::CWinApp() : m_hInstance(NULL), m_nClasses(0) {
    InitializeCriticalSection(&m_lock);
    // Classes belong to the module that holds this code (the DLL, or a test program).
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&g_app), &m_hInstance);
    g_app = this;
}

CWinApp::~CWinApp() {
    // A class left registered would keep pointing into an unloaded module.
    for (int i = 0; i < m_nClasses; ++i) UnregisterClassA(m_classes[i], m_hInstance);
    if (g_app == this) g_app = nullptr;
    DeleteCriticalSection(&m_lock);
}

CWnd* CWinApp::GetCWndFromMap(HWND hWnd) {
    EnterCriticalSection(&m_lock);
    auto it = m_map.find(hWnd);
    CWnd* w = it == m_map.end() ? nullptr : it->second;
    LeaveCriticalSection(&m_lock);
    return w;
}

void CWinApp::AddToMap(HWND hWnd, CWnd* wnd) {
    EnterCriticalSection(&m_lock);
    m_map[hWnd] = wnd;
    LeaveCriticalSection(&m_lock);
}

void CWinApp::RemoveFromMap(HWND hWnd) {
    EnterCriticalSection(&m_lock);
    m_map.erase(hWnd);
    LeaveCriticalSection(&m_lock);
}

int CWinApp::RegisterClassOnce(WNDCLASSA& wc) {
    EnterCriticalSection(&m_lock);
    WNDCLASSA existing;
    int ok = 1;
    if (!GetClassInfoA(m_hInstance, wc.lpszClassName, &existing)) {
        ok = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
        if (ok && m_nClasses < (int)(sizeof m_classes / sizeof m_classes[0]))
            lstrcpynA(m_classes[m_nClasses++], wc.lpszClassName, (int)sizeof m_classes[0]);
    }
    LeaveCriticalSection(&m_lock);
    return ok;
}

CWnd::CWnd() : m_hWnd(NULL) {}

CWnd::~CWnd() {
    Destroy();
    // A window that ended with its thread never saw WM_NCDESTROY here.
    if (m_hWnd && g_app && g_app->GetCWndFromMap(m_hWnd) == this) g_app->RemoveFromMap(m_hWnd);
    m_hWnd = NULL;
}

HWND CWnd::Create(HWND parent) {
    return CreateEx(0, NULL, NULL, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, parent);
}

HWND CWnd::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menu) {
    CWinApp* app = GetApp();
    if (!app) throw CWinException("CWnd::CreateEx: no CWinApp", 0);
    if (m_hWnd) throw CWinException("CWnd::CreateEx: window already created", 0);
    WNDCLASSA wc = {};
    wc.lpszClassName = className;
    PreRegisterClass(wc);
    if (!wc.lpszClassName || !*wc.lpszClassName) wc.lpszClassName = "Win32xx";
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = app->GetInstanceHandle();
    if (!wc.hCursor) wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    if (!app->RegisterClassOnce(wc)) throw CWinException("CWnd::CreateEx: RegisterClass failed");

    t_creating = this;
    HWND h = CreateWindowExA(exStyle, wc.lpszClassName, title, style, x, y, width, height, parent,
                             menu, wc.hInstance, this);
    t_creating = nullptr;
    if (!h) {
        DWORD e = GetLastError();
        if (m_hWnd) app->RemoveFromMap(m_hWnd);
        m_hWnd = NULL;
        throw CWinException("CWnd::CreateEx: CreateWindowEx failed", e);
    }
    return h;
}

void CWnd::Destroy() {
    if (m_hWnd && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
}

RECT CWnd::GetWindowRect() const {
    RECT rc = {};
    ::GetWindowRect(m_hWnd, &rc);
    return rc;
}

RECT CWnd::GetClientRect() const {
    RECT rc = {};
    ::GetClientRect(m_hWnd, &rc);
    return rc;
}

void CWnd::PreRegisterClass(WNDCLASSA&) {}

int CWnd::OnCreate() { return 0; }

void CWnd::OnDraw(CDC&) {}

LRESULT CWnd::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) { return WndProcDefault(msg, wParam, lParam); }

LRESULT CWnd::WndProcDefault(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        return OnCreate();
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC hdc = BeginPaint(m_hWnd, &ps);
        if (hdc) {
            CDC dc(hdc);  // borrowed: EndPaint releases it
            OnDraw(dc);
        }
        EndPaint(m_hWnd, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(m_hWnd, msg, wParam, lParam);
    }
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CWinApp* app = GetApp();
    CWnd* w = app ? app->GetCWndFromMap(hWnd) : nullptr;
    if (!w && t_creating) {
        w = t_creating;
        t_creating = nullptr;
        w->m_hWnd = hWnd;
        app->AddToMap(hWnd, w);
    }
    if (!w) return DefWindowProcA(hWnd, msg, wParam, lParam);
    LRESULT r = w->WndProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        app->RemoveFromMap(hWnd);
        w->m_hWnd = NULL;
    }
    return r;
}

}  // namespace Win32xx
