// The mark-up label.
#include "components/SVLabel.h"

#include "platform/gfx/Bitmap.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

enum class TTagKind : uint8_t {
    Text,
    Skip,
    Bold,
    EndBold,
    Italic,
    EndItalic,
    Underline,
    EndUnderline,
    Colour,
    EndColour
};

struct TTag {
    TTagKind Kind;
    size_t Length;
};

char16_t Lower(char16_t C) {
    return C >= u'A' && C <= u'Z' ? static_cast<char16_t>(C + 32) : C;
}

bool MatchesAt(const String& Text, size_t Index, std::u16string_view Pattern) {
    if (Text.size() - Index < Pattern.size()) return false;
    for (size_t i = 0; i < Pattern.size(); ++i)
        if (Lower(Text[Index + i]) != Pattern[i]) return false;
    return true;
}

// What starts at Text[Index]: an ordinary character, a tag, or a lone "<" of an unfinished
// colour tag (skipped without drawing).
TTag TagAt(const String& Text, size_t Index) {
    if (Text[Index] != u'<') return {TTagKind::Text, 1};
    static constexpr std::array<std::pair<std::u16string_view, TTagKind>, 7> fixed{{
        {u"<b>", TTagKind::Bold},
        {u"</b>", TTagKind::EndBold},
        {u"<i>", TTagKind::Italic},
        {u"</i>", TTagKind::EndItalic},
        {u"<u>", TTagKind::Underline},
        {u"</u>", TTagKind::EndUnderline},
        {u"</c>", TTagKind::EndColour},
    }};
    for (const auto& [pattern, kind] : fixed)
        if (MatchesAt(Text, Index, pattern)) return {kind, pattern.size()};
    if (MatchesAt(Text, Index, u"<c")) {
        if (Text.size() - Index > 8 && Text[Index + 8] == u'>') return {TTagKind::Colour, 9};
        return {TTagKind::Skip, 1};
    }
    return {TTagKind::Text, 1};
}

int HexDigit(char16_t C) {
    if (C >= u'0' && C <= u'9') return C - u'0';
    if (C >= u'a' && C <= u'f') return C - u'a' + 10;
    if (C >= u'A' && C <= u'F') return C - u'A' + 10;
    return -1;
}

// The colour of a tag's six hexadecimal characters RRGGBB, as a palette-relative colour
// 0x02BBGGRR; nothing when they are not all hexadecimal.
std::optional<TColor> TagColour(const String& Text, size_t Index) {
    uint32_t rgb = 0;
    for (size_t i = 0; i < 6; ++i) {
        const int digit = HexDigit(Text[Index + 2 + i]);
        if (digit < 0) return std::nullopt;
        rgb = rgb << 4 | static_cast<uint32_t>(digit);
    }
    const uint32_t r = rgb >> 16, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
    return static_cast<TColor>(0x02000000u | b << 16 | g << 8 | r);
}

// Applies a style tag to Style; false for any other kind.
bool ApplyStyle(TTagKind Kind, TFontStyles& Style) {
    switch (Kind) {
    case TTagKind::Bold:
        Style.Include(fsBold);
        return true;
    case TTagKind::EndBold:
        Style.Exclude(fsBold);
        return true;
    case TTagKind::Italic:
        Style.Include(fsItalic);
        return true;
    case TTagKind::EndItalic:
        Style.Exclude(fsItalic);
        return true;
    case TTagKind::Underline:
        Style.Include(fsUnderline);
        return true;
    case TTagKind::EndUnderline:
        Style.Exclude(fsUnderline);
        return true;
    default:
        return false;
    }
}

// The caption's lines, split at CR, LF or CR LF.
std::vector<String> SplitLines(const String& Text) {
    std::vector<String> lines(1);
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == u'\r' || Text[i] == u'\n') {
            if (Text[i] == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += Text[i];
        }
    }
    return lines;
}

// The soft shadow: every pixel of Back whose 3 x 3 neighbourhood holds some of the Mask's
// non-white pixels (white ones read as Back's pixel there, already blended when visited) takes
// 40 % of the neighbourhood's average and keeps 60 % of its own.
void BlendShadow(TBitmap& Mask, TBitmap& Back) {
    const int32_t w = Back.Width(), h = Back.Height();
    auto pixel = [](TBitmap& B, int32_t X, int32_t Y) {
        return static_cast<uint8_t*>(B.ScanLine(Y)) + X * 3;
    };
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            std::array<int32_t, 3> sum{};
            int32_t n = 0;
            for (int32_t wy = y - 1; wy <= y + 1; ++wy) {
                for (int32_t wx = x - 1; wx <= x + 1; ++wx) {
                    if (wx < 0 || wy < 0 || wx >= w || wy >= h) continue;
                    ++n;
                    const uint8_t* m = pixel(Mask, wx, wy);
                    const bool white = m[0] == 255 && m[1] == 255 && m[2] == 255;
                    const uint8_t* p = white ? pixel(Back, wx, wy) : m;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += p[c];
                }
            }
            std::array<int32_t, 3> average{};
            for (int c = 0; c < 3; ++c)
                average[c] = sum[c] / n;
            if (average[0] == 255 && average[1] == 255 && average[2] == 255) continue;
            uint8_t* d = pixel(Back, x, y);
            for (int c = 0; c < 3; ++c)
                d[c] = static_cast<uint8_t>(d[c] * 60 / 100 + average[c] * 40 / 100);
        }
    }
    Back.SetModified(true);
}

TSize CharExtent(HDC Dc, char16_t C) {
    TSize size{};
    GetTextExtentPoint32W(Dc, &C, 1, &size);
    return size;
}

} // namespace

TSVLabel::TSVLabel(TComponent* AOwner) : TCustomLabel(AOwner), FCaption(u"SVLabel") {}

void TSVLabel::SetCaption(const String& Text) {
    if (Text == FCaption) return;
    FCaption = Text;
    FTextRect = CalcTextRect();
    Invalidate();
    AdjustBounds();
}

void TSVLabel::SetDropShadow(bool Value) {
    if (Value == FDrawShadow) return;
    FDrawShadow = Value;
    Invalidate();
    AdjustBounds();
}

void TSVLabel::SetLineSpace(int32_t Value) {
    if (Value == FLineSpace) return;
    FLineSpace = Value;
    Invalidate();
    AdjustBounds();
}

void TSVLabel::CMFontChanged(TMessage&) {
    Canvas()->Font()->Assign(*Font());
    FTextRect = CalcTextRect();
    Invalidate();
    AdjustBounds();
}

int32_t TSVLabel::CaptionWidth() {
    const TRect r = CalcTextRect();
    return r.Right - r.Left;
}

String TSVLabel::GetTextOnly(const String& Text) {
    String plain;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == u'<') {
            const size_t close = Text.find(u'>', i + 1);
            if (close != String::npos) i = close;
            continue;
        }
        if (MatchesAt(Text, i, u"&lt;") || MatchesAt(Text, i, u"&gt;")) {
            plain += Lower(Text[i + 1]) == u'l' ? u'<' : u'>';
            i += 3;
            continue;
        }
        plain += Text[i];
    }
    return plain;
}

TSize TSVLabel::TextExtent(const String& Text) {
    TCanvas* canvas = Canvas();
    canvas->Font()->Assign(*Font());
    const TFontStyles saved = canvas->Font()->Style();
    TSize extent{};
    for (size_t i = 0; i < Text.size();) {
        const TTag tag = TagAt(Text, i);
        TFontStyles style = canvas->Font()->Style();
        if (tag.Kind == TTagKind::Bold || tag.Kind == TTagKind::EndBold ||
            tag.Kind == TTagKind::Italic || tag.Kind == TTagKind::EndItalic) {
            ApplyStyle(tag.Kind, style);
            canvas->Font()->SetStyle(style);
        } else if (tag.Kind == TTagKind::Text) {
            const TSize size = CharExtent(canvas->SelectedHandle(), Text[i]);
            extent.cx += size.cx;
            extent.cy = std::max(extent.cy, size.cy);
        }
        i += tag.Length;
    }
    canvas->Font()->SetStyle(saved);
    return extent;
}

void TSVLabel::DrawCaption(TCanvas* Canvas, int32_t X, int32_t Y, const String& Text,
                           TColor Color) {
    TFont* font = Canvas->Font();
    const TFontStyles savedStyle = font->Style();
    const TColor savedColor = font->Color();
    if (Color != clNone) font->SetColor(Color);
    // A "</c>" before any colour tag goes back to the line's first colour.
    TColor slot = font->Color();
    for (size_t i = 0; i < Text.size();) {
        const TTag tag = TagAt(Text, i);
        TFontStyles style = font->Style();
        if (ApplyStyle(tag.Kind, style)) {
            font->SetStyle(style);
        } else if (tag.Kind == TTagKind::Colour) {
            slot = font->Color();
            const std::optional<TColor> colour = TagColour(Text, i);
            if (colour && Color == clNone) font->SetColor(*colour);
        } else if (tag.Kind == TTagKind::EndColour) {
            font->SetColor(slot);
        } else if (tag.Kind == TTagKind::Text) {
            HDC dc = Canvas->SelectedHandle();
            TextOutW(dc, X, Y, &Text[i], 1);
            X += CharExtent(dc, Text[i]).cx;
        }
        i += tag.Length;
    }
    font->SetStyle(savedStyle);
    font->SetColor(savedColor);
}

int32_t TSVLabel::FontHeight() {
    TCanvas* canvas = Canvas();
    canvas->Font()->Assign(*Font());
    TEXTMETRICW metrics{};
    GetTextMetricsW(canvas->SelectedHandle(), &metrics);
    return metrics.tmHeight;
}

TRect TSVLabel::CalcTextRect() {
    if (FCaption.empty()) return Rect(0, 0, 0, 0);
    const std::vector<String> lines = SplitLines(FCaption);
    int32_t width = 0;
    int32_t height = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const TSize extent = TextExtent(lines[i]);
        width = std::max(width, extent.cx);
        if (i == 0) {
            // A first line of nothing but tags still takes a line of the font.
            FLineHeight = std::max(extent.cy, FontHeight());
            height = FLineHeight;
        } else {
            height += FLineSpace + FLineHeight;
        }
    }
    return Rect(0, 0, width, height);
}

void TSVLabel::AdjustBounds() {
    if (!AutoSize() || InState(csLoading | csReading)) return;
    const int32_t width = FTextRect.Right;
    const int32_t height = FTextRect.Bottom;
    const int32_t left = Alignment() == taRightJustify ? Left() + Width() - width : Left();
    SetBounds(left, Top(), width, height);
}

void TSVLabel::DoDrawText(TRect& Rect, uint32_t Flags) {
    if ((Flags & DT_CALCRECT) != 0) return;
    const int32_t textHeight = FTextRect.Bottom - FTextRect.Top;
    int32_t y = Rect.Top;
    if (Layout() == tlCenter) y = Rect.Top + ((Rect.Bottom - Rect.Top) - textHeight) / 2;
    if (Layout() == tlBottom) y = Rect.Bottom - textHeight;
    int32_t x = Rect.Left;
    Canvas()->Font()->Assign(*Font());
    std::vector<TPlacedLine> shadowed;
    for (const String& line : SplitLines(FCaption)) {
        if (!line.empty()) {
            Rect.Top = y;
            if (Alignment() == taRightJustify) x = Width() - TextWidth(line);
            if (Alignment() == taCenter) x = (Width() - TextWidth(line)) / 2;
            Rect.Left = x;
            if (!Enabled())
                DrawDisabled(Rect, Flags, line);
            else if (FDrawShadow)
                shadowed.push_back({x, y, line});
            else
                DrawCaption(Canvas(), x, y, line, clNone);
        }
        y += FLineHeight + FLineSpace;
    }
    if (!shadowed.empty()) DrawShadowed(shadowed);
}

void TSVLabel::DrawDisabled(TRect Rect, uint32_t Flags, const String& Line) {
    const String plain = GetTextOnly(Line);
    TFont* font = Canvas()->Font();
    const TColor saved = font->Color();
    const auto length = static_cast<int32_t>(plain.size());
    TRect moved = ::Rect(Rect.Left + 1, Rect.Top + 1, Rect.Right + 1, Rect.Bottom + 1);
    font->SetColor(clBtnHighlight);
    DrawTextW(Canvas()->SelectedHandle(), plain.c_str(), length, &moved, Flags);
    font->SetColor(clBtnShadow);
    DrawTextW(Canvas()->SelectedHandle(), plain.c_str(), length, &Rect, Flags);
    font->SetColor(saved);
}

// Every shadowed line goes into one back image, so that all lines of the caption stay visible.
void TSVLabel::DrawShadowed(const std::vector<TPlacedLine>& Lines) {
    const TRect client = ::Rect(0, 0, Width(), Height());
    TBitmap mask;
    TBitmap back;
    for (TBitmap* b : {&mask, &back}) {
        b->SetPixelFormat(pf24bit);
        b->SetSize(Width(), Height());
    }
    if (Transparent()) {
        back.Canvas()->CopyRect(client, Canvas(), client);
    } else {
        back.Canvas()->Brush()->SetColor(Color());
        back.Canvas()->FillRect(client);
    }
    mask.Canvas()->Brush()->SetColor(clWhite);
    mask.Canvas()->FillRect(client);
    mask.Canvas()->Font()->Assign(*Canvas()->Font());
    mask.Canvas()->Brush()->SetStyle(bsClear);
    for (const TPlacedLine& line : Lines)
        DrawCaption(mask.Canvas(), line.X + 1, line.Y + 1, line.Text, clBlack);
    BlendShadow(mask, back);
    back.Canvas()->Font()->Assign(*Canvas()->Font());
    back.Canvas()->Brush()->SetStyle(bsClear);
    for (const TPlacedLine& line : Lines)
        DrawCaption(back.Canvas(), line.X, line.Y, line.Text, clNone);
    Canvas()->Draw(0, 0, &back);
}
