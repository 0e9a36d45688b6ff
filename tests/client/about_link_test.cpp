// The about page's web address, measured in the font the page draws it with:
// all of it lies inside the hot rectangle that opens it, so a click on any
// part of the drawn text opens the page. Built with the program's own string
// table.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include "layout.h"
#include "resource.h"
#include "sprites.h"

TEST(AboutLink, DrawnAddressFitsItsHotRectangle) {
    SkinLayout* l = CreateLayout(nullptr);
    ASSERT_NE(l, nullptr);
    // The page draws the string from a 60-byte buffer and opens it from a
    // 70-byte one: the whole address must fit the smaller.
    char url[60];
    int n = LoadStringA(GetModuleHandleA(nullptr), IDS_OPERATOR_URL, url, sizeof url);
    ASSERT_GT(n, 0);
    EXPECT_LT(n, (int)sizeof url - 1) << url;
    EXPECT_EQ(strncmp(url, "http://", 7), 0) << url;

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HFONT font = WebsiteLinkFont();
    ASSERT_NE(font, nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size = {};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, url, n, &size));
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);

    // Hot rectangle edges are included: x .. x + w holds w + 1 pixels.
    EXPECT_LE(size.cx, l->WebsiteLinkRect.w + 1) << url << " is " << size.cx << " pixels wide";
    EXPECT_LE(size.cy, l->WebsiteLinkRect.h + 1) << url;
    printf("address %s: %ld x %ld pixels (hot rectangle %d x %d)\n", url, size.cx, size.cy,
           l->WebsiteLinkRect.w, l->WebsiteLinkRect.h);
    FreeLayout(l);
}
