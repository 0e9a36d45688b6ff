// CWnd, CDialog and the data exchange of our MFC-style window layer.
#include "afxwin.h"

// ---- CWnd ---------------------------------------------------------------------

CWnd::CWnd() : m_hWnd(NULL), m_bDefault(FALSE), m_children(NULL) {}

CWnd::~CWnd() {
    while (m_children) {
        Child* c = m_children;
        m_children = c->next;
        delete c->wnd;
        delete c;
    }
}

CWnd* CWnd::GetDlgItem(int id) {
    HWND child = ::GetDlgItem(m_hWnd, id);
    if (!child)
        return NULL;
    for (Child* c = m_children; c; c = c->next) {
        if (c->id == id) {
            c->wnd->m_hWnd = child;
            return c->wnd;
        }
    }
    Child* c = new Child;
    c->wnd = new CWnd;
    c->wnd->m_hWnd = child;
    c->id = id;
    c->next = m_children;
    m_children = c;
    return c->wnd;
}

void CWnd::GetWindowText(CString& text) const {
    int n = ::GetWindowTextLengthA(m_hWnd);
    LPSTR buffer = text.GetBuffer(n + 1);
    int got = ::GetWindowTextA(m_hWnd, buffer, n + 1);
    text.ReleaseBuffer(got);
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
    return (HICON)::SendMessageA(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, (LPARAM)icon);
}

CMenu* CWnd::GetSystemMenu(BOOL revert) {
    m_sysMenu.m_hMenu = ::GetSystemMenu(m_hWnd, revert);
    return m_sysMenu.m_hMenu ? &m_sysMenu : NULL;
}

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
    if (!caption) {
        CWinApp* app = AfxGetApp();
        caption = app ? app->m_pszAppName : "";
    }
    return ::MessageBoxA(m_hWnd, text, caption, type);
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    if (!m_hWnd)
        return FALSE;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig_end, (AFX_PMSG)0}};
    static const AFX_MSGMAP map = {NULL, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CWnd::DispatchMap(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : NULL) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nSig != AfxSig_end; e++) {
            if (e->nMessage != msg)
                continue;
            if (msg == WM_COMMAND && (e->nCode != HIWORD(wParam) || e->nID != LOWORD(wParam)))
                continue;
            m_bDefault = FALSE;
            *result = TRUE;
            AfxMessageFunction f;
            f.pfn = e->pfn;
            switch (e->nSig) {
            case AfxSig_vv:
                (this->*f.pfn)();
                break;
            case AfxSig_vwl:
                (this->*f.pfn_vwl)((UINT)wParam, lParam);
                break;
            case AfxSig_hv:
                *result = (INT_PTR)(this->*f.pfn_hv)();
                break;
            case AfxSig_vpos:
                (this->*f.pfn_vpos)((WINDOWPOS*)lParam);
                break;
            }
            return !m_bDefault;
        }
    }
    return FALSE;
}

// ---- data exchange ------------------------------------------------------------

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control) {
    if (!control.m_hWnd)
        control.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
}

void AFXAPI DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
    HWND item = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (!item)
        return;
    if (pDX->m_bSaveAndValidate) {
        int n = ::GetWindowTextLengthA(item);
        LPSTR buffer = value.GetBuffer(n + 1);
        int got = ::GetWindowTextA(item, buffer, n + 1);
        value.ReleaseBuffer(got);
    } else {
        ::SetWindowTextA(item, value);
    }
}

// ---- CDialog ------------------------------------------------------------------

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

const AFX_MSGMAP* CDialog::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, AfxSig_end, (AFX_PMSG)0}};
    static const AFX_MSGMAP map = {&CWnd::GetThisMessageMap, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

INT_PTR CDialog::DoModal() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : NULL;
    INT_PTR r = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), parent,
                                  DialogProc, (LPARAM)this);
    m_hWnd = NULL;
    return r;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CDialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, (LONG_PTR)self);
        self->m_hWnd = hwnd;
        return self->OnInitDialog();
    }
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    INT_PTR result = 0;
    if (self->DispatchMap(msg, wParam, lParam, &result))
        return result;
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) {
            self->OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            self->OnCancel();
            return TRUE;
        }
    }
    if (msg == WM_NCDESTROY)
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    return FALSE;
}
