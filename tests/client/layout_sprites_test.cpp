// The dialog's layout record and the skin pictures' pixel sizes.
#include <gtest/gtest.h>

#include <vector>

#include "layout.h"
#include "sprites.h"

TEST(Layout, RecordValues) {
    SkinLayout* l = CreateLayout(nullptr);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(CreateLayout(l), l);  // an existing record is returned unchanged
    struct {
        const SkinRect& r;
        int x, y, w, h;
    } rects[] = {
        {l->AboutRect, 415, 1, 28, 28},         {l->CloseRect, 470, 4, 26, 26},
        {l->MinimizeRect, 445, 4, 26, 26},      {l->StatusTabRect, 18, 28, 50, 46},
        {l->SettingsTabRect, 80, 28, 50, 46},   {l->GameListTabRect, 145, 28, 50, 46},
        {l->FeedbackTabRect, 205, 28, 50, 46},  {l->UserNameEditRect, 133, 119, 200, 24},
        {l->PasswordEditRect, 133, 177, 200, 24}, {l->ConnectButtonRect, 385, 267, 85, 21},
        {l->CancelButtonRect, 385, 267, 85, 21}, {l->DisconnectButtonRect, 385, 267, 85, 21},
        {l->ProgressTrack, 10, 254, 480, 0},    {l->ProgressBlockRect, 11, 256, 63, 9},
        {l->AccountTextRect, 370, 102, 100, 14}, {l->IpTextRect, 131, 159, 100, 14},
        {l->TimeTextRect, 370, 159, 100, 14},   {l->RecvBytesRect, 131, 193, 150, 16},
        {l->SentBytesRect, 131, 224, 150, 16},  {l->RecvRateRect, 370, 193, 150, 16},
        {l->SentRateRect, 370, 224, 150, 16},   {l->WebsiteLinkRect, 102, 109, 145, 16},
        {l->OptionBoxRects[0], 56, 111, 13, 13}, {l->OptionBoxRects[3], 56, 207, 13, 13},
        {l->OptionLabelRects[1], 76, 143, 356, 14}, {l->OptionLabelRects[3], 76, 207, 352, 14},
        {l->UserNameLabelPos, 70, 124, 0, 0},   {l->VersionTextPos, 75, 84, 0, 0},
        {l->ExpiryLabelPos, 294, 102, 0, 0},    {l->SentRateLabelPos, 294, 227, 0, 0},
    };
    for (auto& c : rects) {
        EXPECT_EQ(c.r.x, c.x);
        EXPECT_EQ(c.r.y, c.y);
        EXPECT_EQ(c.r.w, c.w);
        EXPECT_EQ(c.r.h, c.h) << c.x << "," << c.y;
    }
    EXPECT_EQ(l->StatusTextColor, 0x2C2C2Cu);
    EXPECT_EQ(l->VersionTextColor, 0x3C3C3Cu);
    EXPECT_EQ(l->WebsiteTextColor, 0u);
    EXPECT_EQ(FreeLayout(l), nullptr);
}

TEST(Layout, HotRectanglesIncludeTheirEdges) {
    SkinLayout l = {};
    InitLayout(&l);
    EXPECT_TRUE(InSkinRect(l.CloseRect, 470, 4));
    EXPECT_TRUE(InSkinRect(l.CloseRect, 496, 30));
    EXPECT_FALSE(InSkinRect(l.CloseRect, 497, 30));
    EXPECT_FALSE(InSkinRect(l.CloseRect, 469, 10));
}

TEST(Layout, ProgressBlockSweep) {
    SkinLayout l = {};
    InitLayout(&l);
    EXPECT_EQ(ProgressLow(l), 13);
    EXPECT_EQ(ProgressHigh(l), 404);
    int forward = 1, x = l.ProgressBlockRect.x;
    x = StepProgress(l, x, &forward);
    EXPECT_EQ(x, 16);
    int turns = 0, steps = 0, maxX = 0, minX = 1000;
    while (turns < 2 && steps < 1000) {
        int before = forward;
        x = StepProgress(l, x, &forward);
        if (forward != before) turns++;
        if (x > maxX) maxX = x;
        if (x < minX) minX = x;
        steps++;
    }
    EXPECT_EQ(maxX, 404);
    EXPECT_EQ(minX, 13);
    EXPECT_EQ(forward, 1);
}

TEST(Sprites, PixelSizeFromHimetric) {
    struct {
        long himetric;
        int dpi, pixels;
    } cases[] = {{2540, 96, 96}, {1270, 96, 48}, {13203, 96, 499}, {0, 96, 0}, {26, 96, 1}, {13, 96, 0},
                 {2540, 120, 120}, {1693, 96, 64}};
    for (auto& c : cases) EXPECT_EQ(HimetricToPixels(c.himetric, c.dpi), c.pixels) << c.himetric;
}

TEST(Sprites, PicturesAreCachedSharedAndSizedFromTheirResource) {
    CoInitialize(nullptr);
    InitSprites(GetModuleHandleA(nullptr));
    HWND a = GetDesktopWindow(), b = (HWND)0x200;
    SpriteNode* bg = AddVisibleSprite(a, 1100, "BINARY", 0, 0, 0, 0);
    ASSERT_NE(bg, nullptr);
    ASSERT_NE(bg->picture, nullptr);
    EXPECT_EQ(bg->picture->width, 499);
    EXPECT_EQ(bg->picture->height, 299);
    EXPECT_EQ(AddVisibleSprite(a, 1100, "BINARY", 5, 5, 0, 0), bg);  // same window and id: one sprite
    SpriteNode* other = AddResourceSprite(b, 1100, "BINARY", 0, 0, 0, 0, 0);
    ASSERT_NE(other, bg);
    EXPECT_EQ(other->picture, bg->picture);  // one picture per id
    SpriteNode* block = AddVisibleSprite(a, 1124, "BINARY", 1, 2, 0, 0);
    ASSERT_NE(block->picture, nullptr);
    EXPECT_EQ(block->picture->width, 63);
    EXPECT_EQ(block->picture->height, 9);
    MoveSprite(a, 1124, 10, 20, -1, 7);
    EXPECT_EQ(block->sprite->x, 10);
    EXPECT_EQ(block->sprite->w, 0);
    EXPECT_EQ(block->sprite->h, 7);
    HideSpriteAnyWindow(1100);
    EXPECT_EQ(bg->sprite->Visible, 0);
    EXPECT_EQ(other->sprite->Visible, 0);
    ShowSprite(a, 1100);
    EXPECT_EQ(bg->sprite->Visible, 1);
    EXPECT_EQ(other->sprite->Visible, 0);
    // No picture 1129: its sprite is listed but inert, and never matches.
    SpriteNode* missing = AddVisibleSprite(a, 1129, "BINARY", 0, 0, 0, 0);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->picture, nullptr);
    SetSpriteVisible(a, 1129, 0);
    EXPECT_EQ(missing->sprite->Visible, 1);
    EXPECT_EQ(FindSprite(a, 1129), nullptr);
    ReplaceSpriteImage(a, 1124, 1129, nullptr);  // to a missing picture: hidden and inert
    EXPECT_EQ(block->sprite->Visible, 0);
    EXPECT_EQ(block->picture, nullptr);
    FreeSprites();
    EXPECT_EQ(FindPicture(1100), nullptr);
}

namespace {

// An 8 x 8 24-bit BMP file whose quadrants have four colours (0xRRGGBB):
// top left, top right, bottom left, bottom right.
std::vector<BYTE> QuadrantBmp(DWORD tl, DWORD tr, DWORD bl, DWORD br) {
    const int n = 8, row = n * 3;
    std::vector<BYTE> f(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + row * n);
    BITMAPFILEHEADER fh = {};
    fh.bfType = 0x4D42;
    fh.bfSize = (DWORD)f.size();
    fh.bfOffBits = sizeof fh + sizeof(BITMAPINFOHEADER);
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = n;
    ih.biHeight = n;  // bottom-up rows, as BMP files store them
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    memcpy(&f[0], &fh, sizeof fh);
    memcpy(&f[sizeof fh], &ih, sizeof ih);
    BYTE* px = &f[fh.bfOffBits];
    for (int y = 0; y < n; y++) {      // y counts from the top
        for (int x = 0; x < n; x++) {
            DWORD c = y < n / 2 ? (x < n / 2 ? tl : tr) : (x < n / 2 ? bl : br);
            BYTE* p = px + (n - 1 - y) * row + x * 3;
            p[0] = c & 0xFF, p[1] = (c >> 8) & 0xFF, p[2] = (c >> 16) & 0xFF;
        }
    }
    return f;
}

}  // namespace

TEST(Sprites, DrawingPlacesPicturesUprightAndSkipsInvisibleOnes) {
    const DWORD kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kPink = 0xFF00FF;
    CoInitialize(nullptr);
    InitSprites(GetModuleHandleA(nullptr));
    HWND w = GetDesktopWindow();
    std::vector<BYTE> quad = QuadrantBmp(kRed, kGreen, kBlue, kWhite);
    std::vector<BYTE> solid = QuadrantBmp(kPink, kPink, kPink, kPink);
    SpriteNode* shown = AddSprite(w, 9001, "BINARY", quad.data(), (DWORD)quad.size(), 10, 20, 0, 0, 1);
    ASSERT_NE(shown, nullptr);
    ASSERT_NE(shown->picture, nullptr);
    ASSERT_EQ(shown->picture->width, 8);
    // Drawn after (over) the first one if it were drawn at all.
    SpriteNode* hidden = AddSprite(w, 9002, "BINARY", solid.data(), (DWORD)solid.size(), 10, 20, 0, 0, 2);
    ASSERT_NE(hidden->picture, nullptr);
    AddVisibleSprite(w, 1129, "BINARY", 0, 0, 0, 0);  // no such picture: an inert node, skipped

    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 32;
    bi.bmiHeader.biHeight = -32;  // top-down: row y at bits[y * 32]
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr);
    memset(bits, 0, 32 * 32 * 4);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    DrawSprites(w, dc);
    GdiFlush();
    auto at = [&](int x, int y) { return ((const DWORD*)bits)[y * 32 + x] & 0xFFFFFF; };
    struct {
        int x, y;
        DWORD colour;
    } cases[] = {
        {11, 21, kRed},  {16, 21, kGreen}, {11, 26, kBlue}, {16, 26, kWhite},  // upright, not mirrored
        {10, 20, kRed},  {17, 27, kWhite},                                     // corners of the 8 x 8 picture
        {9, 20, 0},      {10, 19, 0},      {18, 27, 0},     {17, 28, 0},       // nothing outside it
    };
    for (auto& c : cases) EXPECT_EQ(at(c.x, c.y), c.colour) << c.x << "," << c.y;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(dib);
    FreeSprites();
}
