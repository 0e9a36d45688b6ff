// The note launcher: the entries copy a note into a NoteParams block and start
// its launcher thread, which fetches an image note's picture, runs the popup on
// a UI thread of its own and frees everything when the popup has closed.
#include "notes.h"

#include <objbase.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "core.h"
#include "note_geometry.h"
#include "note_params.h"
#include "notification_wnd.h"

// The module's one application object: maps the popups' windows to their objects.
Win32xx::CWinApp g_noteApp;

namespace {

constexpr uint32_t kNtwTrace = 0x20190000;

struct NoteUiPair {
    NoteParams* params;
    CNotificationWnd* popup;
};

const char* OrEmpty(const char* s) { return s ? s : ""; }

// A click address that does not fit is dropped rather than cut: a cut address
// would open the wrong page.
void CopyClickUrl(NoteParams* p, const char* url) {
    url = OrEmpty(url);
    if (strlen(url) >= countof(p->url)) {
        ReportMessage(kNtwTrace, "NTW: click address of %u characters dropped", (unsigned)strlen(url));
        p->url[0] = 0;
        return;
    }
    CopyText(p->url, url);
}

}  // namespace

int InitNoteParams(NoteParams* p, HINSTANCE module, const char* resType) {
    memset(p, 0, sizeof *p);
    p->hInstance = module;
    SetCloseButtonParams(p, 0, -1, -1, -1, -1);
    CopyText(p->resType, resType);
    p->mode = NOTE_TEXT;
    p->staySeconds = 3000;
    return 0;
}

int InitNoteParamsBinary(NoteParams* p, HINSTANCE module) { return InitNoteParams(p, module, "BINARY"); }

void SetCloseImage(NoteParams* p, int resourceId) { p->closeImageId = resourceId; }

void SetCloseButtonParams(NoteParams* p, int resourceId, int x, int y, int width, int height) {
    SetCloseImage(p, resourceId);
    p->closeX = x;
    p->closeY = y;
    p->closeWidth = width;
    p->closeHeight = height;
}

void SetSkinId(NoteParams* p, int resourceId) { p->skinId = resourceId; }

void SetNoteLayout(NoteParams* p, int skinId, const RECT* title, const RECT* text, const RECT* close) {
    SetSkinId(p, skinId);
    if (title) p->titleRect = *title;
    if (text) p->textRect = *text;
    if (close)
        SetCloseButtonParams(p, p->closeImageId, close->left, close->top, close->right - close->left,
                             close->bottom - close->top);
}

void SetTextNoteParams(NoteParams* p, const char* title, const char* text, const char* url, int stay) {
    p->mode = NOTE_TEXT;
    p->staySeconds = stay;
    p->imageSize = 0;
    CopyText(p->title, OrEmpty(title));
    CopyText(p->text, OrEmpty(text));
    CopyClickUrl(p, url);
}

int SetImageNoteParams(NoteParams* p, int count, const char* bytes, const char* url, int stay) {
    p->staySeconds = stay;
    if (count < 0) {
        p->mode = NOTE_IMAGE_URL;
        p->image = strdup(OrEmpty(bytes));
    } else {
        p->mode = NOTE_IMAGE;
        p->image = static_cast<char*>(malloc(count ? (size_t)count : 1));
        if (p->image && count) memcpy(p->image, bytes, (size_t)count);
    }
    if (!p->image) return 0;
    p->imageSize = count;
    p->title[0] = 0;
    p->text[0] = 0;
    CopyClickUrl(p, url);
    return 1;
}

namespace {

void FreeNote(NoteParams* p) {
    free(p->image);
    free(p);
}

unsigned __stdcall NoteUiThread(void* arg) {
    NoteUiPair* pair = static_cast<NoteUiPair*>(arg);
    NoteParams* p = pair->params;
    CNotificationWnd* popup = pair->popup;
    if (!popup) return 0;
    // The picture decoder creates COM objects on this thread.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    if (popup->Create(NULL)) {
        popup->m_Picture.m_hResInst = p->hInstance;
        if (p->closeImageId) {
            popup->SetCloseButton(p->closeImageId, p->resType, p->closeX, p->closeY, p->closeWidth,
                                  p->closeHeight);
        } else {
            RECT rc = {p->closeX, p->closeY, p->closeX + p->closeWidth, p->closeY + p->closeHeight};
            popup->SetCloseRect(&rc);
        }
        unsigned stayMs = (unsigned)p->staySeconds * 1000u;
        if (p->mode == NOTE_IMAGE) {
            popup->ShowImage(p->image, p->imageSize, p->url, stayMs, 500, 1);
        } else {
            popup->SetSkinResource(p->skinId, p->resType);
            popup->SetTitleRect(&p->titleRect);
            popup->SetTextRect(&p->textRect);
            popup->ShowText(p->title, p->text, p->url, stayMs, 500, 500, 1);
        }
        // Every waiting message is handled as soon as it arrives: the slide's
        // timers tick at their own period, not one message per pass.
        while (!popup->m_bClosed) {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
            MSG msg;
            while (!popup->m_bClosed && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
        // What this thread made goes with it: pictures, canvas, the window.
        popup->m_Picture.Clear();
        popup->m_Picture.LoadOverlay(0, NULL, 0, 0, 0, 0);
        popup->Destroy();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

unsigned __stdcall NoteLauncherThread(void* arg) {
    NoteParams* p = static_cast<NoteParams*>(arg);
    CNotificationWnd* popup = new (std::nothrow) CNotificationWnd;
    if (popup) popup->m_reg_id = p->reg_id;

    if (popup && p->mode == NOTE_IMAGE_URL && p->image && p->image[0]) {
        char address[1024];
        int fits = note::BuildImageAddress(p->image, address, countof(address));
        if (!fits)
            ReportMessage(kNtwTrace, "NTW: image address of %u characters refused",
                          (unsigned)strlen(p->image));
        free(p->image);
        p->image = nullptr;
        p->imageSize = 0;
        if (fits) {
            p->image = FetchUrl(address, &p->imageSize);
            p->mode = NOTE_IMAGE;
        }
    }
    bool show = popup && ((p->mode == NOTE_IMAGE && p->image) || p->mode == NOTE_TEXT);
    if (show) {
        NoteUiPair pair = {p, popup};
        unsigned id;
        HANDLE ui = (HANDLE)_beginthreadex(NULL, 0, NoteUiThread, &pair, CREATE_SUSPENDED, &id);
        if (ui) {
            ResumeThread(ui);
            for (;;) {
                DWORD r = MsgWaitForMultipleObjects(1, &ui, FALSE, 10, QS_ALLINPUT);
                if (r == WAIT_OBJECT_0 || r == WAIT_FAILED) break;
                MSG msg;
                if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                    TranslateMessage(&msg);
                    DispatchMessageA(&msg);
                }
            }
            if (WaitForSingleObject(ui, 0) != WAIT_OBJECT_0) WaitForSingleObject(ui, INFINITE);
            CloseHandle(ui);
        }
    }
    delete popup;
    FreeNote(p);
    return 0;
}

void StartNoteThread(NoteParams* p) {
    unsigned id;
    HANDLE h = (HANDLE)_beginthreadex(NULL, 0, NoteLauncherThread, p, CREATE_SUSPENDED, &id);
    if (!h) {
        FreeNote(p);
        return;
    }
    ResumeThread(h);
    CloseHandle(h);
}

void nw_ShowImageNote(uint32_t reg_id, int count, const char* image, const char* clickUrl, int stay,
                      HINSTANCE module, const char* resType, int closeImageId, int x, int y, int width,
                      int height) {
    NoteParams* p = static_cast<NoteParams*>(malloc(sizeof(NoteParams)));
    if (!p) return;
    InitNoteParams(p, module, resType);
    SetCloseButtonParams(p, closeImageId, x, y, width, height);
    if (!SetImageNoteParams(p, count, image, clickUrl, stay)) {
        FreeNote(p);
        return;
    }
    p->reg_id = reg_id;
    StartNoteThread(p);
}

}  // namespace

void nw_ShowTextNote(uint32_t reg_id, const char* title, const char* text, const char* url,
                     int staySeconds, HINSTANCE module, const char* resType, int skinId,
                     const RECT* titleRect, const RECT* textRect, const RECT* closeRect) {
    NoteParams* p = static_cast<NoteParams*>(malloc(sizeof(NoteParams)));
    if (!p) return;
    InitNoteParams(p, module, resType);
    static const RECT kTitle = {40, 6, 230, 22};
    static const RECT kText = {13, 40, 250, 154};
    static const RECT kClose = {234, 4, 250, 20};
    SetNoteLayout(p, skinId, titleRect ? titleRect : &kTitle, textRect ? textRect : &kText,
                  closeRect ? closeRect : &kClose);
    SetTextNoteParams(p, title, text, url, staySeconds);
    p->reg_id = reg_id;
    StartNoteThread(p);
}

void nw_ShowImageNote2(uint32_t reg_id, const char* imageUrl, const char* clickUrl, int staySeconds,
                       HINSTANCE module, const char* resType, int closeImageId, int x, int y,
                       int width, int height) {
    if (!imageUrl) return;
    nw_ShowImageNote(reg_id, -1, imageUrl, clickUrl, staySeconds, module, resType, closeImageId, x, y,
                     width, height);
}
