#include "picture_ex.h"

#include <process.h>
#include <stdio.h>
#include <string.h>

#include "core.h"
#include "note_geometry.h"

CreatePictureStreamFn g_pfnCreatePictureStream = CreateStreamOnHGlobal;

namespace {

constexpr uint32_t kNtwTrace = 0x20190000;
// Largest picture data a note accepts (the fetch caps its bodies below this).
constexpr unsigned kMaxPictureBytes = 16u << 20;
// Bound on one synchronous repaint from the animation thread: a host thread that
// is not dispatching can never hold the animation (and so its stop) for long.
constexpr UINT kRepaintTimeoutMs = 1000;

// Decodes the block (whole, count bytes) with the platform's decoder. With
// freeOnRelease the block is gone afterwards, on every path.
IPicture* DecodeBlock(HGLOBAL block, unsigned count, BOOL freeOnRelease) {
    IStream* stream = nullptr;
    if (FAILED(g_pfnCreatePictureStream(block, freeOnRelease, &stream)) || !stream) {
        if (freeOnRelease) GlobalFree(block);  // no stream took it over
        return nullptr;
    }
    IPicture* pic = nullptr;
    HRESULT hr = OleLoadPicture(stream, (LONG)count, FALSE, IID_IPicture, (void**)&pic);
    stream->Release();
    if (FAILED(hr)) return nullptr;
    return pic;
}

int HimetricToPixels(HWND host, OLE_XSIZE_HIMETRIC hm, int axis) {
    HDC dc = GetDC(host);
    int dpi = dc ? GetDeviceCaps(dc, axis) : 96;
    if (dc) ReleaseDC(host, dc);
    return MulDiv(hm, dpi, 2540);
}

// Puts a memory DC's first bitmap back, then frees the DC and our bitmap.
void FreeMemoryDC(HDC& dc, HBITMAP& bitmap, HGDIOBJ& oldBitmap) {
    if (dc) {
        SelectObject(dc, oldBitmap);
        DeleteDC(dc);
        if (bitmap) DeleteObject(bitmap);
    }
    dc = NULL;
    bitmap = NULL;
    oldBitmap = NULL;
}

}  // namespace

CPictureEx::CPictureEx()
    : m_hHostWnd(NULL), m_hResInst(NULL), m_pfnSetLayered(nullptr), m_hUser32(NULL), m_rcClip(),
      m_nPicWidth(0), m_nPicHeight(0), m_crBack(0xFFFFFF), m_nFrame(0), m_nDataLen(0),
      m_nParsePos(0), m_nGctLen(0), m_bGif(0), m_bPlaying(0), m_bStopFlag(0), m_bReady(0),
      m_hCanvasDC(NULL), m_hSaveDC(NULL), m_hSaveBmp(NULL), m_hSaveOldBmp(NULL), m_pOverlay(nullptr),
      m_nOverlayX(0), m_nOverlayY(0), m_nOverlayHmW(0), m_nOverlayHmH(0), m_nOverlayW(0),
      m_nOverlayH(0), m_hCanvasBmp(NULL), m_hCanvasOldBmp(NULL), m_hThread(NULL),
      m_hStopEvent(CreateEventA(NULL, TRUE, FALSE, NULL)), m_pPicture(nullptr), m_pParse(nullptr) {}

CPictureEx::~CPictureEx() {
    Clear();
    if (m_pOverlay) m_pOverlay->Release();
    if (m_hStopEvent) CloseHandle(m_hStopEvent);
    if (m_hUser32) FreeLibrary(m_hUser32);
}

void CPictureEx::AttachWindow(HWND host, const RECT* clip) {
    if (!host || !IsWindow(host)) {
        m_hHostWnd = NULL;
        return;
    }
    m_hHostWnd = host;
    if (clip) m_rcClip = *clip;
    else GetClientRect(host, &m_rcClip);
}

int CPictureEx::Load(HGLOBAL block, unsigned count) {
    Clear();
    // GlobalSize 0: not a global block (say, a plain pointer passed by mistake).
    SIZE_T have = block ? GlobalSize(block) : 0;
    BYTE* data = have ? (BYTE*)GlobalLock(block) : nullptr;
    if (!data) {
        ReportMessage(kNtwTrace, "NTW: Error locking memory");
        return 0;
    }
    m_nDataLen = count > have ? (unsigned)have : count;  // never walk past the block
    m_pParse = data;
    int ok = gif::IsGif(data, m_nDataLen) ? LoadGif(block) : LoadOther(block);
    return ok ? CreateCanvas() : 0;
}

// Called with the block locked (m_pParse); unlocks it on every path.
int CPictureEx::LoadGif(HGLOBAL block) {
    m_bGif = 1;
    gif::Screen screen;
    if (!gif::ReadScreen(m_pParse, m_nDataLen, &screen)) {
        m_pParse = nullptr;
        GlobalUnlock(block);
        return 0;
    }
    m_nGctLen = (int)screen.gctLen;
    m_nPicWidth = screen.width;
    m_nPicHeight = screen.height;
    RewindParse();

    gif::Survey survey = gif::SurveyFrames(m_pParse, m_nDataLen, screen);
    int frames = survey.frames;
    if (survey.tooLarge) {
        ReportMessage(kNtwTrace, "NTW: Load: picture too large (%dx%d, %d%s frames)", screen.width,
                      screen.height, frames, frames > gif::kMaxFrames ? " or more" : "");
        frames = 0;
    }
    if (frames <= 1) {
        m_pParse = nullptr;
        GlobalUnlock(block);
        if (frames == 0) return 0;
        // One frame: decoded whole, at the size of the logical screen.
        m_pPicture = DecodeBlock(block, m_nDataLen, FALSE);
        return m_pPicture != nullptr;
    }

    gif::Walker walker = ParseWalker();  // the survey walked a walker of its own
    gif::FrameSpan span;
    while (gif::CutFrame(&walker, screen, &span)) {
        m_nParsePos = walker.pos;
        size_t n = gif::FrameGifSize(screen, span);
        HGLOBAL frameBlock = GlobalAlloc(GMEM_MOVEABLE, n);
        BYTE* out = frameBlock ? (BYTE*)GlobalLock(frameBlock) : nullptr;
        if (!out) {
            if (frameBlock) GlobalFree(frameBlock);
            continue;
        }
        gif::BuildFrameGif(m_pParse, screen, span, out, n);
        GlobalUnlock(frameBlock);
        IPicture* pic = DecodeBlock(frameBlock, (unsigned)n, TRUE);  // the stream frees the block
        if (!pic) continue;
        GifFrame f = {};
        f.picture = pic;
        OLE_XSIZE_HIMETRIC hw = 0;
        OLE_YSIZE_HIMETRIC hh = 0;
        pic->get_Width(&hw);
        pic->get_Height(&hh);
        f.hmWidth = hw;
        f.hmHeight = hh;
        f.width = span.width;
        f.height = span.height;
        f.left = span.left;
        f.top = span.top;
        f.delay = span.delay;
        f.disposal = span.disposal;
        m_Frames.push_back(f);
    }
    m_pParse = nullptr;
    GlobalUnlock(block);
    return !m_Frames.empty();
}

gif::Walker CPictureEx::ParseWalker() const {
    gif::Walker w = gif::MakeWalker(m_pParse, m_pParse ? m_nDataLen : 0, (uint32_t)m_nGctLen);
    w.pos = m_nParsePos;
    return w;
}

void CPictureEx::RewindParse() {
    gif::Walker w = ParseWalker();
    gif::Rewind(&w);
    m_nParsePos = w.pos;
}

unsigned CPictureEx::SubBlockChainSize(unsigned offset) const {
    return gif::SubBlockChainSize(ParseWalker(), offset);  // no data outside a load: 0
}

int CPictureEx::LoadOther(HGLOBAL block) {
    m_pParse = nullptr;
    GlobalUnlock(block);
    m_pPicture = DecodeBlock(block, m_nDataLen, FALSE);
    if (!m_pPicture) return 0;
    OLE_XSIZE_HIMETRIC hw = 0;
    OLE_YSIZE_HIMETRIC hh = 0;
    m_pPicture->get_Width(&hw);
    m_pPicture->get_Height(&hh);
    m_nPicWidth = HimetricToPixels(m_hHostWnd, hw, LOGPIXELSX);
    m_nPicHeight = HimetricToPixels(m_hHostWnd, hh, LOGPIXELSY);
    if (!gif::WithinLimits(m_nPicWidth, m_nPicHeight, 1)) {
        ReportMessage(kNtwTrace, "NTW: Load: picture too large (%dx%d)", m_nPicWidth, m_nPicHeight);
        m_pPicture->Release();
        m_pPicture = nullptr;
        return 0;
    }
    return 1;
}

int CPictureEx::Load(const void* bytes, unsigned count) {
    if (!bytes) return 0;
    if (count > kMaxPictureBytes) {
        ReportMessage(kNtwTrace, "NTW: Load: picture data too large (%u bytes)", count);
        return 0;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, count ? count : 1);
    if (!block) {
        ReportMessage(kNtwTrace, "NTW: Load (resource): Error allocating memory");
        return 0;
    }
    void* p = GlobalLock(block);
    if (!p) {
        GlobalFree(block);
        ReportMessage(kNtwTrace, "NTW: Load (resource): Error locking memory");
        return 0;
    }
    memcpy(p, bytes, count);
    GlobalUnlock(block);
    int ok = Load(block, count);
    GlobalFree(block);
    return ok;
}

HGLOBAL CPictureEx::CopyResource(int resourceId, const char* resourceType, unsigned* count) {
    HRSRC res = FindResourceA(m_hResInst, MAKEINTRESOURCEA(resourceId), resourceType);
    HGLOBAL loaded = res ? LoadResource(m_hResInst, res) : NULL;
    if (!loaded) {
        ReportMessage(kNtwTrace, "NTW: Load (resource): Error loading resource ID %d (%d, %s)",
                      resourceId, (int)(INT_PTR)m_hResInst, resourceType ? resourceType : "");
        return NULL;
    }
    DWORD size = SizeofResource(m_hResInst, res);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, size ? size : 1);
    if (!block) {
        ReportMessage(kNtwTrace, "NTW: Load (resource): Error allocating memory");
        return NULL;
    }
    void* dst = GlobalLock(block);
    const void* src = LockResource(loaded);
    if (!dst || !src) {
        if (dst) GlobalUnlock(block);
        GlobalFree(block);
        ReportMessage(kNtwTrace, "NTW: Load (resource): Error locking memory");
        return NULL;
    }
    memcpy(dst, src, size);
    GlobalUnlock(block);
    *count = size;
    return block;
}

int CPictureEx::Load(int resourceId, const char* resourceType) {
    unsigned count = 0;
    HGLOBAL block = CopyResource(resourceId, resourceType, &count);
    if (!block) return 0;
    int ok = Load(block, count);
    GlobalFree(block);
    return ok;
}

int CPictureEx::Load(const char* path) {
    FILE* f = path ? fopen(path, "rb") : nullptr;
    if (!f) {
        ReportMessage(kNtwTrace, "NTW: Load (file): Error opening file %s", path ? path : "");
        return 0;
    }
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    fseek(f, 0, SEEK_SET);
    if (size < 0 || (unsigned long)size > kMaxPictureBytes) {
        fclose(f);
        ReportMessage(kNtwTrace, "NTW: Load (file): Error reading the file %s", path);
        return 0;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, size ? size : 1);
    if (!block) {
        fclose(f);
        ReportMessage(kNtwTrace, "NTW: Load (file): Error allocating memory");
        return 0;
    }
    void* p = GlobalLock(block);
    if (!p) {
        GlobalFree(block);
        fclose(f);
        ReportMessage(kNtwTrace, "NTW: Load (file): Error locking memory");
        return 0;
    }
    size_t got = fread(p, 1, (size_t)size, f);
    GlobalUnlock(block);
    fclose(f);
    if (got != (size_t)size) {
        GlobalFree(block);
        ReportMessage(kNtwTrace, "NTW: Load (file): Error reading the file %s", path);
        return 0;
    }
    int ok = Load(block, (unsigned)size);
    GlobalFree(block);
    return ok;
}

int CPictureEx::CreateCanvas() {
    if (m_hHostWnd)
        SetWindowPos(m_hHostWnd, NULL, 0, 0, m_nPicWidth, m_nPicHeight, SWP_NOZORDER | SWP_NOMOVE);
    HDC host = GetDC(m_hHostWnd);
    if (!host) return 0;
    m_hCanvasDC = CreateCompatibleDC(host);
    if (!m_hCanvasDC) {
        ReleaseDC(m_hHostWnd, host);
        return 0;
    }
    m_hCanvasBmp = CreateCompatibleBitmap(host, m_nPicWidth, m_nPicHeight);
    if (!m_hCanvasBmp) {
        ReleaseDC(m_hHostWnd, host);
        DeleteDC(m_hCanvasDC);
        m_hCanvasDC = NULL;
        return 0;
    }
    m_hCanvasOldBmp = SelectObject(m_hCanvasDC, m_hCanvasBmp);
    m_crBack = GetSysColor(COLOR_BTNFACE);
    RECT all = {0, 0, m_nPicWidth, m_nPicHeight};
    FillRect(m_hCanvasDC, &all, (HBRUSH)(INT_PTR)(COLOR_MENU + 1));
    ReleaseDC(m_hHostWnd, host);
    m_bReady = 1;
    return 1;
}

int CPictureEx::Draw() {
    if (!m_bReady) {
        ReportMessage(kNtwTrace, "NTW: Call of one the CPictureEx::Load() member functions before calling Draw()");
        return 0;
    }
    if (m_bGif && m_Frames.size() > 1) {
        HaltAnimation();
        unsigned id;
        m_hThread = (HANDLE)_beginthreadex(NULL, 0, AnimationThread, this, CREATE_SUSPENDED, &id);
        if (!m_hThread) ReportMessage(kNtwTrace, "NTW: Draw: Couldn't start a GIF animation thread");
        else ResumeThread(m_hThread);
        return 0;
    }
    IPicture* pic = m_pPicture;
    int x = 0, y = 0, w = m_nPicWidth, h = m_nPicHeight;
    if (!pic && m_Frames.size() == 1) {
        // Several frames of which one decoded: that one is drawn as a still.
        const GifFrame& f = m_Frames[0];
        pic = f.picture;
        x = f.left, y = f.top, w = f.width, h = f.height;
    }
    if (!pic) return 0;
    OLE_XSIZE_HIMETRIC hw = 0;
    OLE_YSIZE_HIMETRIC hh = 0;
    pic->get_Width(&hw);
    pic->get_Height(&hh);
    if (FAILED(pic->Render(m_hCanvasDC, x, y, w, h, 0, hh, hw, -hh, NULL))) return 0;
    DrawOverlay();
    DWORD attr = 0;
    if (SUCCEEDED(pic->get_Attributes(&attr)) && (attr & PICTURE_TRANSPARENT)) ApplyColorKey();
    if (m_hHostWnd) InvalidateRect(m_hHostWnd, NULL, FALSE);
    RepaintHost();
    return 1;
}

void CPictureEx::DrawOverlay() {
    RECT r;
    if (!m_pOverlay || !GetOverlayRect(&r)) return;
    // Upright, like the picture.
    m_pOverlay->Render(m_hCanvasDC, r.left, r.top, r.right - r.left, r.bottom - r.top, 0,
                       m_nOverlayHmH, m_nOverlayHmW, -m_nOverlayHmH, NULL);
}

void CPictureEx::ApplyColorKey() {
    if (!m_pfnSetLayered) {
        if (!m_hUser32) m_hUser32 = LoadLibraryA("user32");
        if (m_hUser32)
            m_pfnSetLayered = (SetLayeredFn)(void*)GetProcAddress(m_hUser32, "SetLayeredWindowAttributes");
    }
    if (!m_pfnSetLayered || !m_hHostWnd) return;
    SetWindowLongA(m_hHostWnd, GWL_EXSTYLE, GetWindowLongA(m_hHostWnd, GWL_EXSTYLE) | 0x80000);
    COLORREF key = GetPixel(m_hCanvasDC, 0, 0);
    m_pfnSetLayered(m_hHostWnd, key, 255, 3);
}

void CPictureEx::RepaintHost() {
    if (!m_hHostWnd) return;
    HDC dc = GetDC(m_hHostWnd);
    if (!dc) return;
    DWORD_PTR result;
    SendMessageTimeoutA(m_hHostWnd, WM_ERASEBKGND, (WPARAM)dc, 0, SMTO_NORMAL, kRepaintTimeoutMs, &result);
    ReleaseDC(m_hHostWnd, dc);
}

void CPictureEx::DisposeFrame(int index) {
    if (index < 0 || index >= (int)m_Frames.size()) return;
    const GifFrame& f = m_Frames[index];
    if (f.disposal == 2) {
        HBRUSH b = CreateSolidBrush(m_crBack);
        if (b) {
            RECT r = {f.left, f.top, f.left + f.width, f.top + f.height};
            FillRect(m_hCanvasDC, &r, b);
            DeleteObject(b);
        }
    } else if (f.disposal == 3 && m_hSaveDC) {
        BITMAP saved = {};
        GetObjectA(m_hSaveBmp, sizeof saved, &saved);
        BitBlt(m_hCanvasDC, f.left, f.top, saved.bmWidth, saved.bmHeight, m_hSaveDC, 0, 0, SRCCOPY);
        FreeMemoryDC(m_hSaveDC, m_hSaveBmp, m_hSaveOldBmp);
    }
}

unsigned __stdcall CPictureEx::AnimationThread(void* self) {
    CPictureEx* p = static_cast<CPictureEx*>(self);
    p->m_bPlaying = 1;
    p->RunAnimation();
    p->m_bPlaying = 0;
    return 0;
}

void CPictureEx::RunAnimation() {
    const int count = (int)m_Frames.size();
    DisposeFrame(m_nFrame);
    while (!m_bStopFlag) {
        int i = m_nFrame;
        if (i < 0 || i >= count) i = 0;
        const GifFrame& f = m_Frames[i];
        if (f.disposal == 3 && !m_hSaveDC) {
            // Only the part on the canvas is kept (the descriptor is not trusted).
            int w = f.left < m_nPicWidth ? (f.width < m_nPicWidth - f.left ? f.width : m_nPicWidth - f.left) : 0;
            int h = f.top < m_nPicHeight ? (f.height < m_nPicHeight - f.top ? f.height : m_nPicHeight - f.top) : 0;
            m_hSaveDC = w > 0 && h > 0 ? CreateCompatibleDC(m_hCanvasDC) : NULL;
            m_hSaveBmp = m_hSaveDC ? CreateCompatibleBitmap(m_hCanvasDC, w, h) : NULL;
            if (m_hSaveBmp) {
                m_hSaveOldBmp = SelectObject(m_hSaveDC, m_hSaveBmp);
                BitBlt(m_hSaveDC, 0, 0, w, h, m_hCanvasDC, f.left, f.top, SRCCOPY);
            } else if (m_hSaveDC) {
                DeleteDC(m_hSaveDC);
                m_hSaveDC = NULL;
            }
        }
        if (m_bStopFlag) break;
        if (SUCCEEDED(f.picture->Render(m_hCanvasDC, f.left, f.top, f.width, f.height, 0, f.hmHeight,
                                        f.hmWidth, -f.hmHeight, NULL))) {
            DrawOverlay();
            DWORD attr = 0;
            if (SUCCEEDED(f.picture->get_Attributes(&attr)) && (attr & PICTURE_TRANSPARENT)) ApplyColorKey();
            if (m_hHostWnd) InvalidateRect(m_hHostWnd, NULL, FALSE);
            RepaintHost();
        }
        if (m_bStopFlag) break;
        DWORD wait = f.delay <= 4 ? 100 : (DWORD)(f.delay * 10u);
        WaitForSingleObject(m_hStopEvent, wait);
        if (m_bStopFlag) break;
        DisposeFrame(i);
        int next = i + 1;
        if (next >= count) {
            next = 0;
            HBRUSH b = CreateSolidBrush(m_crBack);
            if (b) {
                RECT all = {0, 0, m_nPicWidth, m_nPicHeight};
                FillRect(m_hCanvasDC, &all, b);
                DeleteObject(b);
            }
        }
        m_nFrame = next;
    }
}

void CPictureEx::HaltAnimation() {
    m_bStopFlag = 1;
    if (m_hStopEvent) SetEvent(m_hStopEvent);
    if (m_hThread) {
        // The thread may be inside a repaint sent to this very thread: keep
        // taking sent messages while waiting, so neither side waits on the other.
        // No forced end: a thread killed inside GDI or the decoder leaves locks held.
        DWORD start = GetTickCount();
        int reported = 0;
        for (;;) {
            DWORD r = MsgWaitForMultipleObjects(1, &m_hThread, FALSE, 50, QS_SENDMESSAGE);
            if (r == WAIT_OBJECT_0) break;
            if (r == WAIT_FAILED) {
                WaitForSingleObject(m_hThread, INFINITE);
                break;
            }
            MSG msg;
            PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            if (!reported && GetTickCount() - start > 2000) {
                ReportMessage(kNtwTrace, "NTW: HaltAnimation: the animation thread is slow to stop");
                reported = 1;
            }
        }
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }
    if (m_hStopEvent) ResetEvent(m_hStopEvent);
    m_bStopFlag = 0;
}

void CPictureEx::PaintTo(Win32xx::CDC& dc) {
    if (!m_bReady || !m_hCanvasDC) return;
    if (m_rcClip.right - m_rcClip.left > 0)
        dc.BitBlt(0, 0, m_rcClip.right - m_rcClip.left, m_rcClip.bottom - m_rcClip.top, m_hCanvasDC,
                  m_rcClip.left, m_rcClip.top, SRCCOPY);
    else
        dc.BitBlt(0, 0, m_nPicWidth, m_nPicHeight, m_hCanvasDC, 0, 0, SRCCOPY);
}

void CPictureEx::PaintToWindow() {
    if (!m_hHostWnd) return;
    Win32xx::CDC dc;
    if (dc.GetDC(m_hHostWnd)) PaintTo(dc);
}

int CPictureEx::LoadOverlay(int resourceId, const char* resourceType, int x, int y, int width, int height) {
    if (!resourceId) {
        if (m_pOverlay) m_pOverlay->Release();
        m_pOverlay = nullptr;
        return 1;
    }
    unsigned count = 0;
    HGLOBAL block = CopyResource(resourceId, resourceType, &count);
    if (!block) return 0;
    IPicture* pic = DecodeBlock(block, count, TRUE);  // the stream frees the block
    if (!pic) return 0;
    if (m_pOverlay) m_pOverlay->Release();
    m_pOverlay = pic;
    OLE_XSIZE_HIMETRIC hw = 0;
    OLE_YSIZE_HIMETRIC hh = 0;
    pic->get_Width(&hw);
    pic->get_Height(&hh);
    m_nOverlayHmW = hw;
    m_nOverlayHmH = hh;
    m_nOverlayX = x;
    m_nOverlayY = y;
    m_nOverlayW = width > 0 ? width : HimetricToPixels(m_hHostWnd, hw, LOGPIXELSX);
    m_nOverlayH = height > 0 ? height : HimetricToPixels(m_hHostWnd, hh, LOGPIXELSY);
    return 1;
}

int CPictureEx::GetOverlayRect(RECT* out) const {
    if (!m_bReady || !m_pOverlay || !out) return 0;
    note::Rect r = note::OverlayRect(m_nPicWidth, m_nOverlayX, m_nOverlayY, m_nOverlayW, m_nOverlayH);
    SetRect(out, r.left, r.top, r.right, r.bottom);
    return 1;
}

void CPictureEx::FillBackground(COLORREF colour) {
    if (!m_bReady) return;
    m_crBack = colour;
    HBRUSH b = CreateSolidBrush(colour);
    if (!b) return;
    RECT all = {0, 0, m_nPicWidth, m_nPicHeight};
    FillRect(m_hCanvasDC, &all, b);
    DeleteObject(b);
}

void CPictureEx::Clear() {
    HaltAnimation();
    if (m_pPicture) m_pPicture->Release();
    m_pPicture = nullptr;
    for (GifFrame& f : m_Frames)
        if (f.picture) f.picture->Release();
    m_Frames.clear();
    FreeMemoryDC(m_hCanvasDC, m_hCanvasBmp, m_hCanvasOldBmp);
    FreeMemoryDC(m_hSaveDC, m_hSaveBmp, m_hSaveOldBmp);
    SetRectEmpty(&m_rcClip);
    m_pParse = nullptr;
    m_bReady = 0;
    m_bStopFlag = 0;
    m_bGif = 0;
    m_crBack = GetSysColor(COLOR_BTNFACE);
    m_nGctLen = 0;
    m_nParsePos = 0;
    m_nFrame = 0;
    m_nDataLen = 0;
}
