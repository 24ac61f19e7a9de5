// Helpers between the library's bitmaps and the class-library bitmap's colour table.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/ui/ScrollBar.h"

class TVLBitmap;

// Sets the 256-entry colour table to the grey ramp (i, i, i).
void SetTBitmapGrayPalette(TBitmap& Bitmap);
// Every entry i of the colour table equals (i, i, i); true for an empty table.
bool IsTBitmapGrayPalette(const TBitmap& Bitmap);
// Copies the colour table into Dest's palette when Bitmap is 8 bits and Dest is vl8p.
void CopyTBitmapPaletteTo(const TBitmap& Bitmap, TVLBitmap& Dest);

// Scroll-bar requests to a window, sent to its flat scroll bars when Flat, else to the plain ones.
// Bar is SB_HORZ or SB_VERT.
void ScrollBarSetRange(HWND Wnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat);
int32_t ScrollBarSetInfo(HWND Wnd, int32_t Bar, const SCROLLINFO& Info, bool Redraw, bool Flat);
int32_t ScrollBarSetPage(HWND Wnd, int32_t Bar, uint32_t Page, bool Redraw, bool Flat);
// Answers the previous position.
int32_t ScrollBarSetPos(HWND Wnd, int32_t Bar, int32_t Pos, bool Redraw, bool Flat);
void ScrollBarEnable(HWND Wnd, int32_t Bar, uint32_t Arrows, bool Flat);
void ScrollBarShow(HWND Wnd, int32_t Bar, bool Show, bool Flat);

// The primary mouse button (the left one, or the right one when the buttons are swapped) is down.
bool IsPrimaryMouseButtonDown();
