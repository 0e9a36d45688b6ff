// CPictureEx: paints one picture (GIF, animated GIF or anything the platform's
// picture decoder reads) with an optional overlay into its host window, from an
// off-screen canvas. Animated GIFs play on a thread of their own.
#ifndef ZORVET_POPUP_PICTURE_EX_H
#define ZORVET_POPUP_PICTURE_EX_H

#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <vector>

#include "gif_walker.h"
#include "wincore.h"

// Makes the stream that a picture's block is decoded from (CreateStreamOnHGlobal);
// tests put in one that fails.
typedef HRESULT(WINAPI* CreatePictureStreamFn)(HGLOBAL, BOOL, LPSTREAM*);
extern CreatePictureStreamFn g_pfnCreatePictureStream;

// One decoded frame of an animated GIF.
struct GifFrame {
    IPicture* picture;
    int hmWidth, hmHeight;     // HIMETRIC, as the decoder reports
    int width, height;         // pixels, from the image descriptor
    int left, top;             // position on the canvas
    unsigned delay;            // 1/100 s; 0xFFFFFFFF without a control block
    int disposal;
};

class CPictureEx {
public:
    CPictureEx();
    virtual ~CPictureEx();
    virtual void StopPlayback() { HaltAnimation(); }
    virtual void PaintTo(Win32xx::CDC& dc);

    void AttachWindow(HWND host, const RECT* clip);
    // The central load; the caller keeps and frees the block. 1 on success.
    // (HGLOBAL is void*: plain bytes must come as const void* to reach the copy below.)
    int Load(HGLOBAL block, unsigned count);
    int Load(const void* bytes, unsigned count);
    int Load(int resourceId, const char* resourceType);
    int Load(const char* path);
    int Draw();
    void HaltAnimation();
    void PaintToWindow();
    int LoadOverlay(int resourceId, const char* resourceType, int x, int y, int width, int height);
    int GetOverlayRect(RECT* out) const;
    void Clear();

    SIZE GetPictureSize() const { SIZE s = {m_nPicWidth, m_nPicHeight}; return s; }
    int HoldsGif() const { return m_bGif; }
    int HasSeveralFrames() const { return m_bGif && m_Frames.size() > 1; }
    int AnimationRunning() const { return m_bPlaying; }
    int CountFrames() const { return HasSeveralFrames() ? (int)m_Frames.size() : 0; }
    COLORREF GetBackground() const { return m_crBack; }
    void FillBackground(COLORREF colour);
    void SetClipRect(const RECT& rc) { m_rcClip = rc; }
    RECT GetClipRect() const { return m_rcClip; }
    // Only while a load walks its data: the walker back at the first block, and
    // the length of the sub-block chain at a byte offset (0 when it runs past the
    // data's end, and always 0 outside a load).
    void RewindParse();
    unsigned SubBlockChainSize(unsigned offset) const;

    HWND m_hHostWnd;
    HINSTANCE m_hResInst;  // module that resource pictures come from; set by the owner

private:
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;
    int LoadGif(HGLOBAL block);
    int LoadOther(HGLOBAL block);
    int CreateCanvas();
    void DrawOverlay();
    void ApplyColorKey();
    void RepaintHost();
    void DisposeFrame(int index);
    void RunAnimation();
    static unsigned __stdcall AnimationThread(void* self);
    // Copies a resource of m_hResInst into a new movable block; NULL on failure (reported).
    HGLOBAL CopyResource(int resourceId, const char* resourceType, unsigned* count);
    // The walker over the data being loaded, at m_nParsePos.
    gif::Walker ParseWalker() const;

    typedef BOOL(WINAPI* SetLayeredFn)(HWND, COLORREF, BYTE, DWORD);
    SetLayeredFn m_pfnSetLayered;
    HMODULE m_hUser32;
    RECT m_rcClip;
    int m_nPicWidth, m_nPicHeight;
    COLORREF m_crBack;
    volatile int m_nFrame;
    unsigned m_nDataLen;
    unsigned m_nParsePos;  // the load's walker position in m_pParse
    int m_nGctLen;
    int m_bGif;
    volatile int m_bPlaying;
    volatile int m_bStopFlag;
    int m_bReady;
    HDC m_hCanvasDC;
    HDC m_hSaveDC;
    HBITMAP m_hSaveBmp;
    HGDIOBJ m_hSaveOldBmp;
    IPicture* m_pOverlay;
    int m_nOverlayX, m_nOverlayY;
    int m_nOverlayHmW, m_nOverlayHmH;
    int m_nOverlayW, m_nOverlayH;
    HBITMAP m_hCanvasBmp;
    HGDIOBJ m_hCanvasOldBmp;
    HANDLE m_hThread;
    HANDLE m_hStopEvent;
    IPicture* m_pPicture;
    const BYTE* m_pParse;  // the locked data while a load walks it, NULL otherwise
    std::vector<GifFrame> m_Frames;
};

#endif
