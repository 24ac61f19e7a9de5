// Window, scroll-bar, painting and text helpers of the library.
#include "imaging/core/VLWindowHelpers.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLGaussianBlur.h"
#include "imaging/core/VLHelpers.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLCanvas.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Input.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <random>

using enum TVLPixelFormat;

namespace {

// Multiplies the three channels of pixel (x, y) by k (truncated): in Bitmap when it is a 24-bit
// bitmap holding the pixel, else through the canvas.
void Darken(TCanvas* canvas, TBitmap* bitmap, int32_t x, int32_t y, double k) {
    if (bitmap != nullptr && bitmap->PixelFormat() == pf24bit && x >= 0 && y >= 0 &&
        x < bitmap->Width() && y < bitmap->Height()) {
        uint8_t* p = static_cast<uint8_t*>(bitmap->ScanLine(y)) + 3 * x;
        for (int i = 0; i < 3; ++i)
            p[i] = static_cast<uint8_t>(Trunc(p[i] * k));
        return;
    }
    if (canvas == nullptr) return;
    const TColor c = canvas->Pixels(x, y);
    if (c < 0) return;
    auto scale = [&](uint8_t channel) { return static_cast<uint8_t>(Trunc(channel * k)); };
    canvas->SetPixels(x, y, RGB(scale(GetRValue(c)), scale(GetGValue(c)), scale(GetBValue(c))));
}

// Darkening factor of the strip's column (or row) Offset of Width: about 0.2 next to the
// picture, about 0.9 at the outer edge.
double ShadowFactor(int32_t offset, int32_t width) {
    const double t = (width - offset) / (width / 3.0);
    return std::exp(-0.1 - t * t / 6);
}

// Grey level e^(v - 1) x 255, truncated and clamped.
int32_t GradientLevel(double v) {
    return ClampToByte(static_cast<int32_t>(Trunc(std::exp(v - 1) * 255)));
}

void SetGrey(TCanvas* canvas, int32_t x, int32_t y, int32_t level) {
    if (canvas != nullptr) canvas->SetPixels(x, y, RGB(level, level, level));
}

void FillStrip(TCanvas* canvas, const TRect& area) {
    if (canvas != nullptr) canvas->FillRect(area);
}

void PrepareBackground(TBitmap* bitmap, int32_t width, int32_t height) {
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(width, height);
}

// The two L-shaped halves of a 3-D frame, drawn with a one-pixel solid pen on either canvas.
template <typename CanvasT>
void DrawFrameLines(CanvasT* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                    TColor TopLeftColor, TColor BottomRightColor) {
    if (Canvas == nullptr) return;
    auto* pen = Canvas->Pen();
    pen->SetStyle(psSolid);
    pen->SetMode(pmCopy);
    pen->SetWidth(1);
    pen->SetColor(TopLeftColor);
    Canvas->MoveTo(X1, Y2);
    Canvas->LineTo(X1, Y1);
    Canvas->LineTo(X2, Y1);
    pen->SetColor(BottomRightColor);
    Canvas->MoveTo(X1, Y2);
    Canvas->LineTo(X2, Y2);
    Canvas->LineTo(X2, Y1);
}

} // namespace

void ScrollBarSetRange(HWND hWnd, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool) {
    SetScrollRange(hWnd, Bar, Min, Max, Redraw);
}

int32_t ScrollBarSetInfo(HWND hWnd, int32_t Bar, const SCROLLINFO& Info, bool Redraw, bool) {
    return SetScrollInfo(hWnd, Bar, &Info, Redraw);
}

int32_t ScrollBarSetPage(HWND hWnd, int32_t Bar, int32_t Page, bool Redraw, bool Flat) {
    SCROLLINFO info;
    info.cbSize = 28;
    info.fMask = SIF_PAGE;
    info.nPage = static_cast<uint32_t>(Page);
    return ScrollBarSetInfo(hWnd, Bar, info, Redraw, Flat);
}

int32_t ScrollBarSetPos(HWND hWnd, int32_t Bar, int32_t Pos, bool Redraw, bool) {
    return SetScrollPos(hWnd, Bar, Pos, Redraw);
}

void ScrollBarEnable(HWND hWnd, int32_t Bar, uint32_t Arrows, bool) {
    EnableScrollBar(hWnd, Bar, Arrows);
}

void ScrollBarShow(HWND hWnd, int32_t Bar, bool Show, bool) {
    ShowScrollBar(hWnd, Bar, Show);
}

bool IsPrimaryMouseButtonDown() {
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    return swapped ? GetAsyncKeyState(VK_RBUTTON) < 0 : GetAsyncKeyState(VK_LBUTTON) < 0;
}

HWND FindOwnerWindowHandle(TComponent* Component) {
    for (TComponent* c = Component; c != nullptr; c = c->Owner()) {
        if (auto* control = dynamic_cast<TWinControl*>(c))
            return control->HandleAllocated() ? control->Handle() : nullptr;
    }
    return nullptr;
}

void DrawRightShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                     int32_t Y2, int32_t Style, TColor) {
    const int32_t w = X2 - X1 + 1;
    if (w <= 0) return;
    if (Style == 1) {
        FillStrip(Canvas, Rect(X1, Y1 + w, X2, Y2 + 1));
    } else if (Style == 2) {
        for (int32_t f = 0; f < w; ++f) {
            const double k = ShadowFactor(f, w);
            for (int32_t y = Y1 + w; y <= Y2 + f - w + 3; ++y)
                Darken(Canvas, Bitmap, X1 + f, y, k);
        }
    } else if (Style == 3) {
        const int32_t h = Y2 - Y1 + 1;
        if (h <= 0) return;
        for (int32_t i = 0; i <= h; ++i) {
            const int32_t rowLevel = GradientLevel(static_cast<double>(h - 3 * i) / h);
            for (int32_t j = std::max(0, i - (h - w + 1)); j <= w; ++j)
                SetGrey(Canvas, X1 + j, Y1 + i,
                        std::max(rowLevel, GradientLevel(static_cast<double>(j) / w)));
        }
    }
}

void DrawBottomShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                      int32_t Y2, int32_t Style, TColor) {
    const int32_t h = Y2 - Y1 + 1;
    if (h <= 0) return;
    if (Style == 1) {
        FillStrip(Canvas, Rect(X1 + h, Y1, X2 + 1, Y2));
    } else if (Style == 2) {
        // Rows of the strip from its first one: a strip at the bitmap's top darkens row 0 too.
        for (int32_t c = 0; c < h; ++c) {
            const double k = ShadowFactor(c, h);
            for (int32_t x = X1 + h; x <= X2 + c - h + 1; ++x)
                Darken(Canvas, Bitmap, x, Y1 + c, k);
        }
    } else if (Style == 3) {
        const int32_t w = X2 - X1 + 1;
        if (w <= 0) return;
        for (int32_t j = 0; j <= w; ++j) {
            const int32_t columnLevel = GradientLevel(static_cast<double>(w - 3 * j) / w);
            for (int32_t i = std::max(0, j - (w - h + 1)); i <= h; ++i)
                SetGrey(Canvas, X1 + j, Y1 + i,
                        std::max(columnLevel, GradientLevel(static_cast<double>(i) / h)));
        }
    }
}

void DrawSoftShadow(TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor) {
    if (Bitmap == nullptr || Bitmap->PixelFormat() != pf24bit) return;
    const int64_t maskWidth = int64_t{X2} - X1 + 11;
    const int64_t maskHeight = int64_t{Y2} - Y1 + 11;
    if (maskWidth <= 0 || maskHeight <= 0 || maskWidth > INT32_MAX || maskHeight > INT32_MAX)
        return;
    TVLBitmap mask;
    mask.SetLocation(TVLLocation::vlMemory);
    if (!mask.Allocate(static_cast<int32_t>(maskWidth), static_cast<int32_t>(maskHeight), vl8g))
        return;
    const auto mw = static_cast<int32_t>(maskWidth);
    const auto mh = static_cast<int32_t>(maskHeight);
    for (int32_t y = 0; y < mh; ++y) {
        uint8_t* row = mask.GetScanline(y);
        std::memset(row, 0, static_cast<size_t>(mw));
        if (y >= 5 && y <= mh - 4)
            std::memset(row + 5, 255, static_cast<size_t>(std::max(0, mw - 8)));
    }
    GaussianBlurGrayRect(mask, 0, 0, mw - 1, mh - 1, 2.5);
    // Mask pixel (x - X1 + 5, y - Y1 + 5) darkens bitmap pixel (x, y) around the picture.
    const int32_t top = std::max(Y1 - 5, 0);
    const int32_t bottom = std::min(Y2 + 5, Bitmap->Height() - 1);
    const int32_t left = std::max(X1 - 5, 0);
    const int32_t right = std::min(X2 + 5, Bitmap->Width() - 1);
    for (int32_t y = top; y <= bottom; ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
        const uint8_t* m = mask.GetScanline(y - Y1 + 5);
        const bool besidePicture = y >= Y1 && y < Y2;
        for (int32_t x = left; x <= right; ++x) {
            if (besidePicture && x >= X1 && x < X2) continue;
            const double keep = 1 - m[x - X1 + 5] / 255.0;
            for (int i = 0; i < 3; ++i)
                row[3 * x + i] = static_cast<uint8_t>(Trunc(row[3 * x + i] * keep));
        }
    }
}

void PaintStripedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height) {
    if (Bitmap == nullptr) return;
    PrepareBackground(Bitmap, Width, Height);
    double levels[4];
    GaussianCurve(4, 130, 255, levels, 0.5);
    for (int32_t y = 0; y < Height; ++y)
        std::memset(Bitmap->ScanLine(y), static_cast<int>(Trunc(levels[y % 4])),
                    static_cast<size_t>(Width) * 3);
}

void PaintTexturedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height) {
    if (Bitmap == nullptr) return;
    PrepareBackground(Bitmap, Width, Height);
    std::vector<double> levels(static_cast<size_t>(std::max(Width, 0)));
    GaussianCurve(Width, 160, 208, levels.data(), 3);
    // A fixed seed: the same texture every time.
    std::mt19937 random(0x5EED);
    auto below = [&](int32_t n) {
        return std::uniform_int_distribution<int32_t>(0, n - 1)(random);
    };
    int32_t offset = 0;
    for (int32_t y = 0; y < Height; ++y) {
        auto* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
        int32_t counter = 0;
        for (int32_t x = 0; x < Width; ++x) {
            const auto grey = static_cast<uint8_t>(Trunc(levels[static_cast<size_t>(x)]) + offset);
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = grey;
            ++counter;
            if (below(Width + 100) < counter) {
                counter = 0;
                offset = below(11);
            }
        }
    }
}

void Draw3DFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                 TColor TopLeftColor, TColor BottomRightColor) {
    DrawFrameLines(Canvas, X1, Y1, X2, Y2, TopLeftColor, BottomRightColor);
}

void Draw3DFrameAA(TVLCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                   TColor TopLeftColor, TColor BottomRightColor) {
    DrawFrameLines(Canvas, X1, Y1, X2, Y2, TopLeftColor, BottomRightColor);
}

int32_t GetURLType(const String& S) {
    const String lower = LowerCase(S.substr(0, 8));
    if (lower.starts_with(u"http://")) return 1;
    if (lower.starts_with(u"https://")) return 2;
    if (lower.starts_with(u"ftp://")) return 3;
    return 0;
}

int32_t GetURLTypeA(const AnsiString& S) {
    return GetURLType(StrFromAnsi(S));
}

String GetFileExtension(const String& FileName, bool KeepDot) {
    const String extension = LowerCase(ExtractFileExt(FileName));
    return KeepDot || extension.empty() ? extension : extension.substr(1);
}

String GetFileExtensionW(const String& FileName, bool KeepDot) {
    return GetFileExtension(FileName, KeepDot);
}

AnsiString GetFileExtensionA(const AnsiString& FileName, bool KeepDot) {
    return AnsiFromStr(GetFileExtension(StrFromAnsi(FileName), KeepDot));
}

String FloatToStrDot(double Value) {
    String text = FloatToStr(Value);
    for (char16_t& c : text)
        if (c == u',' || c == FormatSettings.DecimalSeparator) c = u'.';
    return text;
}

AnsiString FloatToStrDotA(double Value) {
    return AnsiFromStr(FloatToStrDot(Value));
}

double StrToFloatDefAnySep(const String& S, double Default) {
    double value = 0;
    if (TryStrToFloat(S, value)) return value;
    String other = S;
    const size_t comma = other.find(u',');
    if (comma != String::npos) {
        other[comma] = u'.';
    } else if (const size_t dot = other.find(u'.'); dot != String::npos) {
        other[dot] = u',';
    }
    return TryStrToFloat(other, value) ? value : Default;
}

String FloatToStrFmt(double Value, TFloatFormat Format, int32_t Precision, int32_t Digits) {
    return FloatToStrF(Value, Format, Precision, Digits);
}

AnsiString TrimA(const AnsiString& S) {
    return AnsiFromStr(Trim(StrFromAnsi(S)));
}

AnsiString UpperCaseA(const AnsiString& S) {
    return AnsiFromStr(UpperCase(StrFromAnsi(S)));
}

AnsiString LowerCaseA(const AnsiString& S) {
    return AnsiFromStr(LowerCase(StrFromAnsi(S)));
}

AnsiString IntToStrA(int64_t Value) {
    return AnsiFromStr(IntToStr(Value));
}

AnsiString IntToHexA(uint64_t Value, int32_t Digits) {
    return AnsiFromStr(IntToHex(Value, Digits));
}

int32_t StrToIntDefA(const AnsiString& S, int32_t Default) {
    return StrToIntDef(StrFromAnsi(S), Default);
}

AnsiString CopyA(const AnsiString& S, int32_t Index, int32_t Count) {
    return AnsiFromStr(Copy(StrFromAnsi(S), Index, Count));
}

int32_t PosA(const AnsiString& SubStr, const AnsiString& S) {
    return Pos(StrFromAnsi(SubStr), StrFromAnsi(S));
}

char* StrDupA(const char* S) {
    if (S == nullptr) return nullptr;
    const size_t length = std::strlen(S) + 1;
    auto* copy = static_cast<char*>(std::malloc(length));
    if (copy != nullptr) std::memcpy(copy, S, length);
    return copy;
}
