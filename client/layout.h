// Geometry of the skinned main dialog, in pixels of the 500 x 300 dialog
// (two entries relative to the about panel). Filled once with constants.
#ifndef OVIK_LAYOUT_H
#define OVIK_LAYOUT_H

#include <stdint.h>

struct SkinRect {
    int16_t x, y, w, h;  // positions use x and y only
};

struct SkinLayout {
    SkinRect AboutRect, CloseRect, MinimizeRect, StatusTabRect, SettingsTabRect, GameListTabRect;
    SkinRect UserNameLabelPos, PasswordLabelPos, UserNameEditRect, PasswordEditRect;
    SkinRect RememberNameBoxRect, RememberPasswordBoxRect, RememberNameLabelRect, RememberPasswordLabelRect;
    SkinRect ConnectButtonRect, FeedbackTabRect, ProgressTrack, ProgressBlockRect;
    SkinRect CancelButtonRect, DisconnectButtonRect;
    SkinRect AccountTypeLabelPos, FreeTypePos, PlatinumTypePos, VipTypePos, Type1Pos;
    SkinRect ServiceLabelPos, NetServicePos, GameServicePos, RemainingLabelPos, ExpiryLabelPos;
    SkinRect AccountTextRect, AddressLabelPos, IpTextRect, ConnectTimeLabelPos, TimeTextRect;
    SkinRect RecvBytesLabelPos, RecvBytesRect, SentBytesLabelPos, SentBytesRect;
    SkinRect RecvRateLabelPos, RecvRateRect, SentRateLabelPos, SentRateRect;
    uint32_t StatusTextColor;  // COLORREF 0x00BBGGRR
    SkinRect OptionBoxRects[4];
    SkinRect OptionLabelRects[4];
    SkinRect AboutLogoPos, ProductNamePos, VersionLabelPos, VersionTextPos;
    uint32_t VersionTextColor;
    SkinRect NoticeLinePos, WebsiteLabelPos, WebsiteLinkRect;
    uint32_t WebsiteTextColor;  // never set: 0 (black)
};

SkinLayout* CreateLayout(SkinLayout* current);
SkinLayout* InitLayout(SkinLayout* layout);
SkinLayout* FreeLayout(SkinLayout* layout);
// Hot-rectangle test, edges included.
inline int InSkinRect(const SkinRect& r, int px, int py) {
    return r.x <= px && px <= r.x + r.w && r.y <= py && py <= r.y + r.h;
}
// Progress block bounds along the track (left edge of the block).
inline int ProgressLow(const SkinLayout& l) { return l.ProgressTrack.x + 3; }
inline int ProgressHigh(const SkinLayout& l) {
    return l.ProgressTrack.w - l.ProgressBlockRect.w - ProgressLow(l);
}
// One step of the block: new left edge; forward flips at the bounds.
int StepProgress(const SkinLayout& l, int current, int* forward);

#endif
