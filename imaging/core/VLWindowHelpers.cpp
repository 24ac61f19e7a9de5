// Helpers between the library's bitmaps and the class-library bitmap's colour table.
#include "imaging/core/VLWindowHelpers.h"

#include "imaging/core/VLBitmap.h"
#include "platform/ui/WinUser.h"

#include <algorithm>

void SetTBitmapGrayPalette(TBitmap& Bitmap) {
    TRGBQuad ramp[256];
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        ramp[i] = {v, v, v, 0};
    }
    Bitmap.SetColorTable(0, ramp, 256);
}

bool IsTBitmapGrayPalette(const TBitmap& Bitmap) {
    const auto& table = Bitmap.ColorTable();
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i].rgbRed != i || table[i].rgbGreen != i || table[i].rgbBlue != i) return false;
    return true;
}

void CopyTBitmapPaletteTo(const TBitmap& Bitmap, TVLBitmap& Dest) {
    if (Bitmap.PixelFormat() != pf8bit || Dest.GetPalette() == nullptr) return;
    const auto& table = Bitmap.ColorTable();
    TVLRGB* palette = Dest.GetPalette();
    const auto n = std::min<size_t>(table.size(), static_cast<size_t>(Dest.GetPaletteLength()));
    for (size_t i = 0; i < n; ++i)
        palette[i] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed};
}

void ScrollBarSetRange(HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat) {
    if (Flat)
        FlatSB_SetScrollRange(Wnd, Bar, Min, Max, Redraw);
    else
        SetScrollRange(Wnd, Bar, Min, Max, Redraw);
}

int32_t ScrollBarSetInfo(HWND Wnd, int32_t Bar, const SCROLLINFO& Info, bool Redraw, bool Flat) {
    return Flat ? FlatSB_SetScrollInfo(Wnd, Bar, &Info, Redraw)
                : SetScrollInfo(Wnd, Bar, &Info, Redraw);
}

int32_t ScrollBarSetPage(HWND Wnd, int32_t Bar, uint32_t Page, bool Redraw, bool Flat) {
    SCROLLINFO info;
    info.fMask = SIF_PAGE;
    info.nPage = Page;
    return ScrollBarSetInfo(Wnd, Bar, info, Redraw, Flat);
}

int32_t ScrollBarSetPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw, bool Flat) {
    return Flat ? FlatSB_SetScrollPos(Wnd, Bar, Pos, Redraw) : SetScrollPos(Wnd, Bar, Pos, Redraw);
}

void ScrollBarEnable(HWND Wnd, int32_t Bar, uint32_t Arrows, bool Flat) {
    if (Flat)
        FlatSB_EnableScrollBar(Wnd, Bar, Arrows);
    else
        EnableScrollBar(Wnd, Bar, Arrows);
}

void ScrollBarShow(HWND Wnd, int32_t Bar, bool Show, bool Flat) {
    if (Flat)
        FlatSB_ShowScrollBar(Wnd, Bar, Show);
    else
        ShowScrollBar(Wnd, Bar, Show);
}

bool IsPrimaryMouseButtonDown() {
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    return GetAsyncKeyState(swapped ? VK_RBUTTON : VK_LBUTTON) < 0;
}
