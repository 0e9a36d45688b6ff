// Skin pictures ("BINARY" resources loaded through the OLE picture loader,
// one per id in a cache) and sprites: pictures placed on a window, drawn in
// list order by that window's paint handler when visible.
#ifndef OVIK_SPRITES_H
#define OVIK_SPRITES_H

#include <windows.h>
#include <ocidl.h>

struct SkinPicture {
    int id;
    IPicture* picture;
    int width, height;                  // pixels
    long himetricWidth, himetricHeight;  // as the picture reports them
};

struct SkinSprite {
    HWND window;
    int imageId;
    int Visible;  // drawn only when exactly 1
    char type[40];
    int x, y, w, h;  // w, h 0: the picture's own size
};

struct SpriteNode {
    SkinPicture* picture;  // null: inert node
    SkinSprite* sprite;
    SpriteNode* next;
    SpriteNode* prev;
};

// Nearest whole pixel at 2540 HIMETRIC units per inch.
inline int HimetricToPixels(long himetric, int dotsPerInch) {
    return (int)((dotsPerInch * himetric + 1270) / 2540);
}

void InitSprites(HMODULE module);
void FreeSprites();

SkinPicture* LoadPicture(HWND window, int id, const char* type, const void* data, DWORD size);
SkinPicture* GetPicture(HWND window, int id, const char* type, const void* data, DWORD size);
SkinPicture* FindPicture(int id);
void AddPicture(SkinPicture* picture);
void RemovePicture(int id);
void FreePictureCache();

SpriteNode* AddSprite(HWND window, int id, const char* type, const void* data, DWORD size, int x, int y, int w,
                      int h, int visible);
SpriteNode* AddResourceSprite(HWND window, int id, const char* type, int x, int y, int w, int h, int visible);
SpriteNode* AddVisibleSprite(HWND window, int id, const char* type, int x, int y, int w, int h);
SpriteNode* FindSprite(HWND window, int id);
void SetSpriteVisible(HWND window, int id, int visible);
inline void ShowSprite(HWND window, int id) { SetSpriteVisible(window, id, 1); }
inline void HideSprite(HWND window, int id) { SetSpriteVisible(window, id, 0); }
inline void ShowSpriteAnyWindow(int id) { SetSpriteVisible(nullptr, id, 1); }
inline void HideSpriteAnyWindow(int id) { SetSpriteVisible(nullptr, id, 0); }
void MoveSprite(HWND window, int id, int x, int y, int w, int h);
inline void MoveSpriteAnyWindow(int id, int x, int y, int w, int h) { MoveSprite(nullptr, id, x, y, w, h); }
void ReplaceSpriteImage(HWND window, int id, int newId, const char* type);
inline void ReplaceSpriteImageAnyWindow(int id, int newId) { ReplaceSpriteImage(nullptr, id, newId, nullptr); }
void RemoveSprite(HWND window, int id, int drop);
inline void RemoveSpriteAnyWindow(int id, int drop) { RemoveSprite(nullptr, id, drop); }
void DrawSprites(HWND window, HDC dc);
void DrawSpriteList(HWND window, HDC dc, const int* ids, int count);

// The dialog's text fonts: bold Arial of the given height.
HFONT StatusFont(int height, int underline);
// The about page's web address, drawn in WebsiteLinkRect.
inline HFONT WebsiteLinkFont() { return StatusFont(17, TRUE); }

#endif
