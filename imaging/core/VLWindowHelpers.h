// Helpers of the library that touch windows or produce text: scroll-bar wrappers, the mouse
// button test, the shadow and background painters, 3-D frames, URL kinds, single-byte string
// helpers and numbers with "." whatever the locale.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"
#include "platform/rtl/TextUtils.h"
#include "platform/ui/Window.h"

class TVLCanvas;

// Scroll bars. The plain and the flat scroll bars of a window are one and the same here, so
// Flat chooses nothing.
void ScrollBarSetRange(HWND hWnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat);
int32_t ScrollBarSetInfo(HWND hWnd, int32_t Bar, const SCROLLINFO& Info, bool Redraw, bool Flat);
int32_t ScrollBarSetPage(HWND hWnd, int32_t Bar, int32_t Page, bool Redraw, bool Flat);
// Returns the previous position.
int32_t ScrollBarSetPos(HWND hWnd, int32_t Bar, int32_t Pos, bool Redraw, bool Flat);
void ScrollBarEnable(HWND hWnd, int32_t Bar, uint32_t Arrows, bool Flat);
void ScrollBarShow(HWND hWnd, int32_t Bar, bool Show, bool Flat);

// The primary mouse button (left, or right when the buttons are swapped) is down.
bool IsPrimaryMouseButtonDown();

class TComponent;
// The window of the first windowed control among Component and its owners, when that window
// already exists; nil otherwise (no window is made).
HWND FindOwnerWindowHandle(TComponent* Component);

// Shadow strips right of and below a picture shown on Canvas. Style 1 fills with the canvas's
// brush, style 2 darkens what is there (in Bitmap, the 24-bit bitmap behind the canvas, where
// the pixel lies inside it), style 3 paints a grey gradient. Color is not used.
void DrawRightShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                     int32_t Y2, int32_t Style, TColor Color);
void DrawBottomShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2, int32_t Style, TColor Color);
// A soft drop shadow around the picture at (X1, Y1) - (X2, Y2) (X2, Y2 excluded), falling to the
// lower right, on a 24-bit Bitmap; the picture itself is left alone. Color is not used.
void DrawSoftShadow(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color);
// The two backgrounds of the parameters dialog: Bitmap becomes Width x Height, 24 bits.
void PaintStripedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height);
void PaintTexturedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height);
// A one-pixel frame: left and top edges in TopLeftColor, bottom and right in BottomRightColor,
// each line leaving out its end point. Sets a solid one-pixel pen in copy mode.
void Draw3DFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                 TColor TopLeftColor, TColor BottomRightColor);
void Draw3DFrameAA(TVLCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                   TColor TopLeftColor, TColor BottomRightColor);

// 1 for "http://", 2 for "https://", 3 for "ftp://" at the start (any case); 0 otherwise.
int32_t GetURLType(const String& S);
int32_t GetURLTypeA(const AnsiString& S);
// The lower-cased extension, with its dot only when KeepDot.
String GetFileExtension(const String& FileName, bool KeepDot);
String GetFileExtensionW(const String& FileName, bool KeepDot);
AnsiString GetFileExtensionA(const AnsiString& FileName, bool KeepDot);

// Numbers as text with "." as the decimal separator whatever the format settings say.
String FloatToStrDot(double Value);
AnsiString FloatToStrDotA(double Value);
// Parses S with the decimal separator of the format settings, then with "," and "." exchanged
// once (the first "," becomes ".", or when there is none the first "." becomes ","); Default
// when both fail.
double StrToFloatDefAnySep(const String& S, double Default);
String FloatToStrFmt(double Value, TFloatFormat Format, int32_t Precision, int32_t Digits);

AnsiString TrimA(const AnsiString& S);
AnsiString UpperCaseA(const AnsiString& S);
AnsiString LowerCaseA(const AnsiString& S);
AnsiString IntToStrA(int64_t Value);
AnsiString IntToHexA(uint64_t Value, int32_t Digits);
int32_t StrToIntDefA(const AnsiString& S, int32_t Default);
AnsiString CopyA(const AnsiString& S, int32_t Index, int32_t Count);
int32_t PosA(const AnsiString& SubStr, const AnsiString& S);
// A heap copy of the null-terminated S (freed with free()); nil for nil.
char* StrDupA(const char* S);
