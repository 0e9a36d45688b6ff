#include "layout.h"

#include <stdlib.h>
#include <string.h>

namespace {

SkinRect R(int x, int y, int w, int h) { return SkinRect{(int16_t)x, (int16_t)y, (int16_t)w, (int16_t)h}; }
SkinRect P(int x, int y) { return R(x, y, 0, 0); }

}  // namespace

SkinLayout* InitLayout(SkinLayout* l) {
    l->AboutRect = R(415, 1, 28, 28);
    l->CloseRect = R(470, 4, 26, 26);
    l->MinimizeRect = R(445, 4, 26, 26);
    l->StatusTabRect = R(18, 28, 50, 46);
    l->SettingsTabRect = R(80, 28, 50, 46);
    l->GameListTabRect = R(145, 28, 50, 46);
    l->UserNameLabelPos = P(70, 124);
    l->PasswordLabelPos = P(84, 182);
    l->UserNameEditRect = R(133, 119, 200, 24);
    l->PasswordEditRect = R(133, 177, 200, 24);
    l->RememberNameBoxRect = R(133, 215, 13, 13);
    l->RememberPasswordBoxRect = R(247, 215, 13, 13);
    l->RememberNameLabelRect = R(153, 215, 84, 14);
    l->RememberPasswordLabelRect = R(267, 215, 84, 14);
    l->ConnectButtonRect = R(385, 267, 85, 21);
    l->FeedbackTabRect = R(205, 28, 50, 46);
    l->ProgressTrack = R(10, 254, 480, 0);
    l->ProgressBlockRect = R(11, 256, 63, 9);
    l->CancelButtonRect = R(385, 267, 85, 21);
    l->DisconnectButtonRect = R(385, 267, 85, 21);
    l->AccountTypeLabelPos = P(56, 102);
    l->FreeTypePos = P(131, 102);
    l->PlatinumTypePos = P(131, 102);
    l->VipTypePos = P(131, 102);
    l->Type1Pos = P(131, 102);
    l->ServiceLabelPos = P(56, 131);
    l->NetServicePos = P(131, 131);
    l->GameServicePos = P(131, 131);
    l->RemainingLabelPos = P(294, 102);
    l->ExpiryLabelPos = P(294, 102);
    l->AccountTextRect = R(370, 102, 100, 14);
    l->AddressLabelPos = P(84, 161);
    l->IpTextRect = R(131, 159, 100, 14);
    l->ConnectTimeLabelPos = P(294, 161);
    l->TimeTextRect = R(370, 159, 100, 14);
    l->RecvBytesLabelPos = P(56, 195);
    l->RecvBytesRect = R(131, 193, 150, 16);
    l->SentBytesLabelPos = P(56, 227);
    l->SentBytesRect = R(131, 224, 150, 16);
    l->RecvRateLabelPos = P(294, 195);
    l->RecvRateRect = R(370, 193, 150, 16);
    l->SentRateLabelPos = P(294, 227);
    l->SentRateRect = R(370, 224, 150, 16);
    l->StatusTextColor = 0x2C2C2C;
    static const int labelWidths[4] = {131, 356, 126, 352};
    for (int i = 0; i < 4; i++) {
        l->OptionBoxRects[i] = R(56, 111 + 32 * i, 13, 13);
        l->OptionLabelRects[i] = R(76, 111 + 32 * i, labelWidths[i], 14);
    }
    l->AboutLogoPos = P(32, 120);
    l->ProductNamePos = P(135, 115);
    l->VersionLabelPos = P(135, 163);
    l->VersionTextPos = P(75, 84);
    l->VersionTextColor = 0x3C3C3C;
    l->NoticeLinePos = P(135, 142);
    l->WebsiteLabelPos = P(135, 188);
    l->WebsiteLinkRect = R(102, 109, 145, 16);
    return l;
}

SkinLayout* CreateLayout(SkinLayout* current) {
    if (current) return current;
    SkinLayout* l = (SkinLayout*)calloc(1, sizeof(SkinLayout));
    return l ? InitLayout(l) : nullptr;
}

SkinLayout* FreeLayout(SkinLayout* layout) {
    free(layout);
    return nullptr;
}

int StepProgress(const SkinLayout& l, int current, int* forward) {
    int low = ProgressLow(l), high = ProgressHigh(l);
    int next;
    if (*forward) {
        next = current + 5;
        if (next >= high) {
            next = high;
            *forward = 0;
        }
    } else {
        next = current - 5;
        if (next <= low) {
            next = low;
            *forward = 1;
        }
    }
    return next;
}
