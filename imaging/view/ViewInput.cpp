// Input side of the single-image view: its cursors (drawn here and registered once with the
// screen), the temporary cursors of the gestures, the Shift cursor swaps, special keys, focus,
// the double click that closes a polygon, and the navigator link.
#include "imaging/view/VistrelView.h"

#include "imaging/core/VLDefs.h"
#include "imaging/view/ViewPaint.h"
#include "imaging/view/ViewInternal.h"
#include "platform/ui/Forms.h"
#include "platform/ui/WinUser.h"

#include <array>
#include <cmath>
#include <numbers>

namespace {


using imaging::detail::RoundInt;
// A 32 x 32 cursor drawn as black strokes with a one-pixel white rim.
class TCursorPicture {
public:
    void Dot(int32_t X, int32_t Y) {
        if (X >= 0 && Y >= 0 && X < 32 && Y < 32) FInk[Y][X] = true;
    }
    void Line(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
        const int32_t n = std::max(std::abs(X2 - X1), std::abs(Y2 - Y1));
        for (int32_t i = 0; i <= n; ++i)
            Dot(X1 + (n == 0 ? 0 : (X2 - X1) * i / n), Y1 + (n == 0 ? 0 : (Y2 - Y1) * i / n));
    }
    void Circle(int32_t CX, int32_t CY, int32_t R) {
        for (int32_t a = 0; a < 64; ++a) {
            const double t = a * std::numbers::pi / 32;
            Dot(CX + static_cast<int32_t>(std::lround(R * std::cos(t))),
                CY + static_cast<int32_t>(std::lround(R * std::sin(t))));
        }
    }
    void Arc(int32_t CX, int32_t CY, int32_t R, double From, double To) {
        for (double t = From; t <= To; t += 0.05)
            Dot(CX + static_cast<int32_t>(std::lround(R * std::cos(t))),
                CY - static_cast<int32_t>(std::lround(R * std::sin(t))));
    }
    void Box(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
        Line(X1, Y1, X2, Y1);
        Line(X2, Y1, X2, Y2);
        Line(X2, Y2, X1, Y2);
        Line(X1, Y2, X1, Y1);
    }
    // A line with an arrow head at each end.
    void DoubleArrow(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
        Line(X1, Y1, X2, Y2);
        Head(X1, Y1, X2, Y2);
        Head(X2, Y2, X1, Y1);
    }
    void Head(int32_t X, int32_t Y, int32_t FromX, int32_t FromY) {
        const double a = std::atan2(FromY - Y, FromX - X);
        for (double d : {-0.6, 0.6})
            Line(X, Y, X + static_cast<int32_t>(std::lround(5 * std::cos(a + d))),
                 Y + static_cast<int32_t>(std::lround(5 * std::sin(a + d))));
    }
    HCURSOR Make(int32_t HotX, int32_t HotY) const {
        std::array<uint8_t, 128> andPlane{}, xorPlane{};
        andPlane.fill(0xFF);
        for (int32_t y = 0; y < 32; ++y)
            for (int32_t x = 0; x < 32; ++x) {
                const size_t byte = static_cast<size_t>(y) * 4 + x / 8;
                const auto bit = static_cast<uint8_t>(0x80 >> (x % 8));
                if (FInk[y][x]) {
                    andPlane[byte] &= static_cast<uint8_t>(~bit);
                } else if (NearInk(x, y)) {
                    andPlane[byte] &= static_cast<uint8_t>(~bit);
                    xorPlane[byte] |= bit;
                }
            }
        return CreateCursor(HotX, HotY, 32, 32, andPlane.data(), xorPlane.data());
    }

private:
    bool NearInk(int32_t X, int32_t Y) const {
        for (int32_t v = std::max(0, Y - 1); v <= std::min(31, Y + 1); ++v)
            for (int32_t u = std::max(0, X - 1); u <= std::min(31, X + 1); ++u)
                if (FInk[v][u]) return true;
        return false;
    }
    bool FInk[32][32] = {};
};

enum class TMark : uint8_t { None, Plus, Minus };

void DrawMark(TCursorPicture& P, TMark Mark, int32_t X, int32_t Y) {
    if (Mark == TMark::None) return;
    P.Line(X - 3, Y, X + 3, Y);
    if (Mark == TMark::Plus) P.Line(X, Y - 3, X, Y + 3);
}

HCURSOR Magnifier(TMark Mark) {
    TCursorPicture p;
    p.Circle(12, 12, 8);
    p.Line(18, 18, 27, 27);
    p.Line(19, 18, 28, 27);
    DrawMark(p, Mark, 12, 12);
    return p.Make(12, 12);
}

// Crosses: 0 a thin full cross, 1 a cross with an open centre, 2 a small cross with a dot.
HCURSOR Cross(int32_t Style, TMark Mark) {
    TCursorPicture p;
    const int32_t c = 15;
    if (Style == 0) {
        p.Line(c, c - 10, c, c + 10);
        p.Line(c - 10, c, c + 10, c);
    } else if (Style == 1) {
        p.Line(c, c - 10, c, c - 3);
        p.Line(c, c + 3, c, c + 10);
        p.Line(c - 10, c, c - 3, c);
        p.Line(c + 3, c, c + 10, c);
    } else {
        p.Line(c, c - 6, c, c + 6);
        p.Line(c - 6, c, c + 6, c);
        p.Dot(c, c);
    }
    DrawMark(p, Mark, c + 9, c + 9);
    return p.Make(c, c);
}

HCURSOR Eraser() {
    TCursorPicture p;
    p.Line(4, 20, 16, 8);
    p.Line(16, 8, 26, 18);
    p.Line(26, 18, 14, 30);
    p.Line(14, 30, 4, 20);
    p.Line(9, 15, 19, 25);
    return p.Make(6, 22);
}

HCURSOR Hand() {
    TCursorPicture p;
    for (int32_t f = 0; f < 4; ++f)
        p.Box(8 + f * 4, 4 + (f == 0 || f == 3 ? 3 : 0), 11 + f * 4, 16);
    p.Box(8, 16, 23, 27);
    p.Line(8, 20, 4, 14);
    return p.Make(15, 15);
}

HCURSOR Pen() {
    TCursorPicture p;
    p.Line(1, 30, 24, 7);
    p.Line(4, 30, 27, 7);
    p.Line(24, 7, 27, 7);
    p.Line(1, 30, 4, 30);
    return p.Make(1, 30);
}

HCURSOR Arrows(int32_t Kind) {
    TCursorPicture p;
    switch (Kind) {
    case 0: // top-left to bottom-right
        p.DoubleArrow(6, 6, 25, 25);
        break;
    case 1: // vertical
        p.DoubleArrow(15, 3, 15, 28);
        break;
    case 2: // top-right to bottom-left
        p.DoubleArrow(25, 6, 6, 25);
        break;
    case 3: // horizontal
        p.DoubleArrow(3, 15, 28, 15);
        break;
    default: // every direction
        p.DoubleArrow(15, 3, 15, 28);
        p.DoubleArrow(3, 15, 28, 15);
        break;
    }
    return p.Make(15, 15);
}

// Rotation arrows, one per quadrant around the centre (Quadrant 0 right-above, then clockwise).
HCURSOR Rotation(int32_t Quadrant) {
    TCursorPicture p;
    const double start = -std::numbers::pi / 2 * Quadrant;
    p.Arc(15, 15, 11, start - 0.2, start + std::numbers::pi / 2 + 0.2);
    const int32_t hx = 15 + static_cast<int32_t>(std::lround(11 * std::cos(start - 0.2)));
    const int32_t hy = 15 - static_cast<int32_t>(std::lround(11 * std::sin(start - 0.2)));
    p.Head(hx, hy, 15, 15);
    return p.Make(15, 15);
}

} // namespace

void RegisterViewCursors() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    const std::array<HCURSOR, 19> shapes = {
        Magnifier(TMark::Minus), Magnifier(TMark::Plus), Cross(0, TMark::None), Eraser(), Hand(),
        Pen(), Cross(1, TMark::None), Cross(0, TMark::None), Arrows(0), Arrows(1), Arrows(2),
        Arrows(3), Arrows(4), Cross(0, TMark::Plus), Cross(0, TMark::Minus), Cross(2, TMark::None),
        Cross(2, TMark::Plus), Cross(2, TMark::Minus), Cross(2, TMark::Minus)};
    for (size_t i = 0; i < shapes.size(); ++i)
        Screen->SetCursors(static_cast<TCursor>(1778 + i), shapes[i]);
    for (int32_t q = 0; q < 4; ++q)
        Screen->SetCursors(static_cast<TCursor>(1811 + q), Rotation(q));
}

// ---- Cursors -------------------------------------------------------------------------------

void TVistrelView::SetCursor(TCursor Value) {
    FOwnCursor = FCurrentCursor = Value;
    TVLView::SetCursor(Value);
    ::SetCursor(Screen->Cursors(Value));
}

void TVistrelView::SetTempCursor(TCursor Id) {
    if (!InteractionCursors || Id == FCurrentCursor) return;
    TVLView::SetCursor(Id);
    FCurrentCursor = Id;
    ::SetCursor(Screen->Cursors(Id));
}

void TVistrelView::RestoreCursor() {
    SetTempCursor(FOwnCursor);
}

void TVistrelView::KeyDown(uint16_t& Key, TShiftState Shift) {
    TVLView::KeyDown(Key, Shift);
    if ((Shift & ssShift) == 0 || !ShiftAddsSelection) return;
    if (FCurrentCursor == 1785)
        SetTempCursor(1791);
    else if (FCurrentCursor == 1793)
        SetTempCursor(1794);
}

void TVistrelView::KeyUp(uint16_t& Key, TShiftState Shift) {
    TVLView::KeyUp(Key, Shift);
    if ((Shift & ssShift) == 0 && ShiftAddsSelection) RestoreCursor();
}

// ---- Owned objects, version ----------------------------------------------------------------

void TVistrelView::RemoveOwnedObject(int32_t Index) {
    if (Index < 0 || Index >= OwnedObjectCount()) return;
    FOwnedObjects.erase(FOwnedObjects.begin() + Index);
}

String TVistrelView::GetVistrelVersion() const {
    return LibraryVersion;
}

// ---- The navigator -------------------------------------------------------------------------

void TVistrelView::SetNavigator(TVistrelView* View) {
    if (FNavigator != nullptr) {
        FNavigator->OnSelectionChanging = nullptr;
        FNavigator->SetExternalBitmap(nullptr);
        FNavigator->RemoveFreeNotification(this);
    }
    FNavigator = View;
    if (View == nullptr) return;
    View->SetEnableAlphaChannel(FEnableAlphaChannel);
    View->SetAutoFit(true);
    View->SetMouseInteract(miSelect);
    View->SelectionBase = vlsbBitmap;
    View->SetSelectionOptions(vlsoMoveable | vlsoCanScroll);
    View->SetExternalBitmap(FBitmap);
    View->OnSelectionChanging = [this](TObject* Sender) { NavigatorChanging(Sender); };
    View->FreeNotification(this);
    SyncNavigator();
}

void TVistrelView::SyncNavigator() {
    if (FNavigatorGuard || FNavigator == nullptr) return;
    FNavigatorGuard = true;
    Paint();
    const int32_t x1 = ClientToBitmapX(FOffsetX), y1 = ClientToBitmapY(FOffsetY);
    const int32_t x2 = ClientToBitmapX(FOffsetX + FExtentWidth);
    const int32_t y2 = ClientToBitmapY(FOffsetY + FExtentHeight);
    FNavigator->SelectionFixedWidth = x2 - x1;
    FNavigator->SelectionFixedHeight = y2 - y1;
    if (FNavigator->SelectionRatio() != 0) FNavigator->SetSelectionRatio(0);
    const TVLSelectionBase base = FNavigator->SelectionBase;
    FNavigator->SelectionBase = vlsbBitmap;
    FNavigator->Select(x1, y1, x2, y2, vlsmReplace);
    FNavigator->SelectionBase = base;
    FNavigatorGuard = false;
}

void TVistrelView::NavigatorChanging(TObject*) {
    if (FNavigatorGuard || FNavigator == nullptr) return;
    FNavigatorGuard = true;
    const double f = FZoomX / 100;
    SetViewXY(RoundInt(FNavigator->GetSelX1() * f), RoundInt(FNavigator->GetSelY1() * f));
    FNavigatorGuard = false;
}
