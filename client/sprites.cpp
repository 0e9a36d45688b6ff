#include "sprites.h"

#include <olectl.h>
#include <stdlib.h>

#include "utils.h"

namespace {

struct PictureNode {
    SkinPicture* picture;
    PictureNode* next;
    PictureNode* prev;
};

PictureNode* PictureCache = nullptr;  // dummy head, created on first insertion
SpriteNode* SpriteList = nullptr;     // dummy head, created by InitSprites
HMODULE ResourceModule = nullptr;

// Both lists: a dummy head, then nodes linked both ways in insertion order.
template <typename Node>
Node* First(Node* head) {
    return head ? head->next : nullptr;
}

template <typename Node>
void Append(Node* head, Node* node) {
    Node* tail = head;
    while (tail->next) tail = tail->next;
    node->prev = tail;
    tail->next = node;
}

template <typename Node>
void Unlink(Node* node) {
    node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
}

int Matches(const SpriteNode* n, HWND window, int id) {
    return n->picture && n->sprite && n->sprite->imageId == id && (!window || n->sprite->window == window);
}

void FreePictureRecord(SkinPicture* p) {
    if (!p) return;
    if (p->picture) p->picture->Release();
    free(p);
}

void DrawOne(const SpriteNode* n, HDC dc) {
    const SkinSprite* s = n->sprite;
    const SkinPicture* p = n->picture;
    int cx = s->w ? s->w : p->width;
    int cy = s->h ? s->h : p->height;
    // HIMETRIC y grows upwards: the source starts at the bottom edge.
    p->picture->Render(dc, s->x, s->y, cx, cy, 0, p->himetricHeight, p->himetricWidth, -p->himetricHeight, nullptr);
}

}  // namespace

void InitSprites(HMODULE module) {
    ResourceModule = module;
    if (!SpriteList) {
        SpriteList = (SpriteNode*)calloc(1, sizeof(SpriteNode));
    }
}

void FreeSprites() {
    SpriteNode* n = SpriteList;
    while (n) {
        SpriteNode* next = n->next;
        free(n->sprite);
        free(n);
        n = next;
    }
    SpriteList = nullptr;
    FreePictureCache();
}

SkinPicture* LoadPicture(HWND window, int id, const char* type, const void* data, DWORD size) {
    if (!ResourceModule) ResourceModule = GetModuleHandleA(nullptr);
    if (!data) {
        HRSRC res = FindResourceA(ResourceModule, MAKEINTRESOURCEA(id), type);
        if (!res) return nullptr;
        HGLOBAL loaded = LoadResource(ResourceModule, res);
        data = loaded ? LockResource(loaded) : nullptr;
        size = SizeofResource(ResourceModule, res);
        if (!data || size == 0) return nullptr;
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block) return nullptr;
    void* bytes = GlobalLock(block);
    if (!bytes) {
        GlobalFree(block);
        return nullptr;
    }
    memcpy(bytes, data, size);
    GlobalUnlock(block);
    IPicture* picture = nullptr;
    IStream* stream = nullptr;
    if (SUCCEEDED(CreateStreamOnHGlobal(block, FALSE, &stream))) {
        if (FAILED(OleLoadPicture(stream, (LONG)size, FALSE, IID_IPicture, (void**)&picture))) picture = nullptr;
        stream->Release();
    }
    SkinPicture* p = nullptr;
    if (picture) {
        p = (SkinPicture*)calloc(1, sizeof(SkinPicture));
        if (p) {
            OLE_XSIZE_HIMETRIC w = 0;
            OLE_YSIZE_HIMETRIC h = 0;
            picture->get_Width(&w);
            picture->get_Height(&h);
            HDC dc = GetDC(window);
            p->width = HimetricToPixels(w, GetDeviceCaps(dc, LOGPIXELSX));
            p->height = HimetricToPixels(h, GetDeviceCaps(dc, LOGPIXELSY));
            ReleaseDC(window, dc);
            p->id = id;
            p->picture = picture;
            p->himetricWidth = w;
            p->himetricHeight = h;
        } else {
            picture->Release();
        }
    }
    GlobalFree(block);
    return p;
}

SkinPicture* FindPicture(int id) {
    for (PictureNode* n = First(PictureCache); n; n = n->next)
        if (n->picture && n->picture->id == id) return n->picture;
    return nullptr;
}

void AddPicture(SkinPicture* picture) {
    if (!picture) return;
    if (!PictureCache) PictureCache = (PictureNode*)calloc(1, sizeof(PictureNode));
    PictureNode* node = (PictureNode*)calloc(1, sizeof(PictureNode));
    if (!PictureCache || !node) {
        free(node);
        FreePictureRecord(picture);
        return;
    }
    node->picture = picture;
    Append(PictureCache, node);
}

SkinPicture* GetPicture(HWND window, int id, const char* type, const void* data, DWORD size) {
    SkinPicture* p = FindPicture(id);
    if (p) return p;
    p = LoadPicture(window, id, type, data, size);
    AddPicture(p);
    return FindPicture(id);
}

void RemovePicture(int id) {
    for (PictureNode* n = First(PictureCache); n; n = n->next) {
        if (n->picture && n->picture->id == id) {
            Unlink(n);
            FreePictureRecord(n->picture);
            free(n);
            return;
        }
    }
}

void FreePictureCache() {
    PictureNode* n = PictureCache;
    while (n) {
        PictureNode* next = n->next;
        FreePictureRecord(n->picture);
        free(n);
        n = next;
    }
    PictureCache = nullptr;
}

SpriteNode* FindSprite(HWND window, int id) {
    for (SpriteNode* n = First(SpriteList); n; n = n->next)
        if (Matches(n, window, id)) return n;
    return nullptr;
}

SpriteNode* AddSprite(HWND window, int id, const char* type, const void* data, DWORD size, int x, int y, int w,
                      int h, int visible) {
    if (!SpriteList) return nullptr;
    SpriteNode* found = FindSprite(window, id);
    if (found) return found;
    SkinSprite* s = (SkinSprite*)calloc(1, sizeof(SkinSprite));
    if (!s) return nullptr;
    SpriteNode* node = (SpriteNode*)calloc(1, sizeof(SpriteNode));
    if (!node) {
        free(s);
        return nullptr;
    }
    s->window = window;
    s->imageId = id;
    s->Visible = visible;
    CopyText(s->type, type);
    s->x = x;
    s->y = y;
    s->w = w;
    s->h = h;
    node->sprite = s;
    node->picture = GetPicture(window, id, type, data, size);
    Append(SpriteList, node);
    return node;
}

SpriteNode* AddResourceSprite(HWND window, int id, const char* type, int x, int y, int w, int h, int visible) {
    return AddSprite(window, id, type, nullptr, 0, x, y, w, h, visible);
}

SpriteNode* AddVisibleSprite(HWND window, int id, const char* type, int x, int y, int w, int h) {
    return AddResourceSprite(window, id, type, x, y, w, h, 1);
}

void SetSpriteVisible(HWND window, int id, int visible) {
    for (SpriteNode* n = First(SpriteList); n; n = n->next)
        if (Matches(n, window, id)) n->sprite->Visible = visible;
}

void MoveSprite(HWND window, int id, int x, int y, int w, int h) {
    for (SpriteNode* n = First(SpriteList); n; n = n->next) {
        if (!Matches(n, window, id)) continue;
        n->sprite->x = x;
        n->sprite->y = y;
        if (w >= 0) n->sprite->w = w;
        if (h >= 0) n->sprite->h = h;
    }
}

void ReplaceSpriteImage(HWND window, int id, int newId, const char* type) {
    for (SpriteNode* n = First(SpriteList); n; n = n->next) {
        if (!Matches(n, window, id)) continue;
        if (type) CopyText(n->sprite->type, type);
        n->sprite->imageId = newId;
        n->picture = GetPicture(window, newId, n->sprite->type, nullptr, 0);
        if (!n->picture) n->sprite->Visible = 0;
    }
}

void RemoveSprite(HWND window, int id, int drop) {
    for (SpriteNode* n = First(SpriteList); n; n = n->next) {
        if (!Matches(n, window, id)) continue;
        Unlink(n);
        free(n->sprite);
        free(n);
        if (drop) RemovePicture(id);
        return;
    }
}

void DrawSprites(HWND window, HDC dc) {
    for (SpriteNode* n = First(SpriteList); n; n = n->next)
        if (n->sprite && n->picture && n->sprite->window == window && n->sprite->Visible == 1) DrawOne(n, dc);
}

void DrawSpriteList(HWND window, HDC dc, const int* ids, int count) {
    for (int i = 0; i < count; i++) {
        SpriteNode* n = FindSprite(window, ids[i]);
        if (n && n->sprite->Visible == 1) DrawOne(n, dc);
    }
}

HFONT StatusFont(int height, int underline) {
    return CreateFontA(height, 0, 0, 0, 700, FALSE, underline, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Arial");
}
