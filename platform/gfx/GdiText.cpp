// Text through the toolkit's font engine: logical fonts resolved to installed fonts, metrics,
// extents, text output and formatted text in rectangles.
#include "platform/gfx/QtPaint.h"
#include "platform/gfx/QtRuntime.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

using namespace platform::detail;

namespace {

// Faces the system's texts ask for, and installed faces with the same metrics (or the nearest
// look) that stand in for them.
QString StandInFamily(const QString& face) {
    static const std::map<QString, QString> standIns = {{"arial", "Liberation Sans"},
                                                        {"helvetica", "Liberation Sans"},
                                                        {"times new roman", "Liberation Serif"},
                                                        {"courier new", "Liberation Mono"},
                                                        {"courier", "Liberation Mono"},
                                                        {"tahoma", "DejaVu Sans"},
                                                        {"verdana", "DejaVu Sans"},
                                                        {"ms sans serif", "DejaVu Sans"},
                                                        {"microsoft sans serif", "DejaVu Sans"},
                                                        {"ms shell dlg", "DejaVu Sans"},
                                                        {"ms shell dlg 2", "DejaVu Sans"},
                                                        {"segoe ui", "DejaVu Sans"},
                                                        {"system", "DejaVu Sans"},
                                                        {"default", "DejaVu Sans"},
                                                        {"", "DejaVu Sans"}};
    const auto it = standIns.find(face.trimmed().toLower());
    return it == standIns.end() ? face : it->second;
}

struct ResolvedFont {
    QFont Font;
    TEXTMETRICW Metrics;
};

QFont MakeQFont(const LOGFONTW& lf, int pixelSize) {
    const QString face = QString::fromUtf16(
        lf.lfFaceName, static_cast<qsizetype>(std::char_traits<char16_t>::length(lf.lfFaceName)));
    QFont font;
    font.setFamilies({StandInFamily(face), QStringLiteral("DejaVu Sans")});
    font.setPixelSize(std::clamp(pixelSize, 1, 4096));
    font.setWeight(static_cast<QFont::Weight>(
        std::clamp(lf.lfWeight == FW_DONTCARE ? FW_NORMAL : lf.lfWeight, 1, 1000)));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    // Characters are placed by their own advances, without kerning, as the system's text output
    // does; glyphs are hinted to the pixel grid.
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(lf.lfQuality == NONANTIALIASED_QUALITY ? QFont::NoAntialias
                                                                 : QFont::PreferAntialias);
    return font;
}

// A positive height is the cell height (ascent + descent): find the character height that
// gives it, from the metrics of a large reference size.
int PixelSizeFor(const LOGFONTW& lf) {
    if (lf.lfHeight < 0) return lf.lfHeight == INT32_MIN ? 4096 : -lf.lfHeight;
    const int cell = lf.lfHeight == 0 ? 16 : lf.lfHeight;
    const QFontMetricsF reference(MakeQFont(lf, 1000));
    const double cellAt1000 = reference.ascent() + reference.descent();
    if (cellAt1000 <= 0) return cell;
    return std::max(1, static_cast<int>(std::lround(cell * 1000.0 / cellAt1000)));
}

std::shared_ptr<const ResolvedFont> Resolve(const LOGFONTW& lf) {
    EnsureGuiApplication();
    static std::mutex lock;
    static std::map<std::u16string, std::shared_ptr<const ResolvedFont>> cache;
    std::u16string key(reinterpret_cast<const char16_t*>(&lf), sizeof(LOGFONTW) / 2);
    std::lock_guard guard(lock);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    auto resolved = std::make_shared<ResolvedFont>();
    const int pixelSize = PixelSizeFor(lf);
    resolved->Font = MakeQFont(lf, pixelSize);
    const QFontMetrics fm(resolved->Font);
    TEXTMETRICW& tm = resolved->Metrics;
    tm.tmAscent = fm.ascent();
    tm.tmDescent = fm.descent();
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max(0, tm.tmHeight - pixelSize);
    tm.tmExternalLeading = std::max(0, fm.leading());
    tm.tmAveCharWidth = fm.averageCharWidth();
    tm.tmMaxCharWidth = fm.maxWidth();
    tm.tmWeight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : lf.lfWeight;
    tm.tmItalic = lf.lfItalic;
    tm.tmUnderlined = lf.lfUnderline;
    tm.tmStruckOut = lf.lfStrikeOut;
    tm.tmPitchAndFamily = lf.lfPitchAndFamily;
    tm.tmCharSet = lf.lfCharSet;
    if (cache.size() > 256) cache.clear();
    cache.emplace(std::move(key), resolved);
    return resolved;
}

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

int32_t TextWidth(const ResolvedFont& font, std::u16string_view text) {
    if (text.empty()) return 0;
    return QFontMetrics(font.Font).horizontalAdvance(ToQString(text));
}

void FillWithBackground(TDeviceContext& dc, const TRect& r) {
    TBrushPaint paint;
    paint.None = false;
    paint.Fore = ColorToPixel(dc.Surface(), dc.BkColor);
    PaintRegion(dc, TRegionData::FromRect(r.Left, r.Top, r.Right, r.Bottom), paint, R2_COPYPEN);
}

// Draws a run of text with its cell's top-left corner at (x, y), optionally clipped to Clip;
// Dx gives every character's advance. Underlined gives one character (or -1) to underline
// as a keyboard prefix.
void DrawRun(TDeviceContext& dc, const ResolvedFont& font, int32_t x, int32_t y,
             std::u16string_view text, const int32_t* dx, const TRect* clip,
             int32_t underlined = -1) {
    const TEXTMETRICW& tm = font.Metrics;
    const int32_t width = dx == nullptr ? TextWidth(font, text) : [&] {
        int32_t sum = 0;
        for (size_t i = 0; i < text.size(); ++i)
            sum += dx[i];
        return sum;
    }();
    const double angle = dc.Font != nullptr ? dc.Font->Log.lfEscapement / 10.0 : 0.0;
    const auto save = dc.Clip;
    if (clip != nullptr) {
        const TRegionData box =
            TRegionData::FromRect(clip->Left, clip->Top, clip->Right, clip->Bottom);
        dc.Clip = dc.Clip ? TRegionData::Combine(*dc.Clip, box, RGN_AND) : box;
    }
    if (dc.BkMode == OPAQUE && angle == 0)
        FillWithBackground(dc, {x, y, x + width, y + tm.tmHeight});

    // The layer covers the text's cell, grown for overhangs, turned with the escapement.
    const int32_t margin = tm.tmHeight;
    TRect bounds{x - margin, y - margin, x + width + margin, y + tm.tmHeight + margin};
    if (angle != 0) {
        const int32_t reach = width + 2 * tm.tmHeight;
        bounds = {x - reach, y - reach, x + reach, y + reach};
    }
    const TRect visible = VisibleBounds(dc, bounds);
    if (!visible.IsEmpty() && !text.empty()) {
        QImage layer = MakeLayer(visible.Width(), visible.Height());
        QPainter painter(&layer);
        painter.translate(x - visible.Left, y - visible.Top);
        painter.rotate(-angle);
        const COLORREF c = dc.TextColor;
        const QColor color(GetRValue(static_cast<TColor>(c)), GetGValue(static_cast<TColor>(c)),
                           GetBValue(static_cast<TColor>(c)));
        painter.setPen(color);
        painter.setFont(font.Font);
        if (dx == nullptr) {
            painter.drawText(QPointF(0, tm.tmAscent), ToQString(text));
        } else {
            int32_t at = 0;
            for (size_t i = 0; i < text.size(); ++i) {
                painter.drawText(QPointF(at, tm.tmAscent), ToQString(text.substr(i, 1)));
                at += dx[i];
            }
        }
        if (underlined >= 0 && static_cast<size_t>(underlined) < text.size()) {
            const int32_t from = TextWidth(font, text.substr(0, static_cast<size_t>(underlined)));
            const int32_t to = TextWidth(font, text.substr(0, static_cast<size_t>(underlined) + 1));
            painter.fillRect(QRect(from, tm.tmAscent + 1, to - from, 1), color);
        }
        painter.end();
        CompositeLayer(dc, layer, visible.Left, visible.Top);
    }
    dc.Clip = save;
}

std::shared_ptr<const ResolvedFont> FontOf(const TDeviceContext& dc) {
    static const LOGFONTW fallback{};
    return Resolve(dc.Font != nullptr ? dc.Font->Log : fallback);
}

} // namespace

bool ExtTextOutW(HDC Dc, int32_t X, int32_t Y, uint32_t Options, const TRect* Rect,
                 const char16_t* Text, uint32_t Length, const int32_t* Dx) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || (Text == nullptr && Length > 0)) return false;
    if (Rect != nullptr && (Options & ETO_OPAQUE)) FillWithBackground(*dc, *Rect);
    const auto font = FontOf(*dc);
    const TRect* clip = Rect != nullptr && (Options & ETO_CLIPPED) ? Rect : nullptr;
    DrawRun(*dc, *font, X, Y, std::u16string_view(Text == nullptr ? u"" : Text, Length), Dx, clip);
    return true;
}

bool TextOutW(HDC Dc, int32_t X, int32_t Y, const char16_t* Text, int32_t Length) {
    if (Length < 0) return false;
    return ExtTextOutW(Dc, X, Y, 0, nullptr, Text, static_cast<uint32_t>(Length), nullptr);
}

bool GetTextExtentPoint32W(HDC Dc, const char16_t* Text, int32_t Length, TSize* Size) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Size == nullptr || Length < 0 || (Text == nullptr && Length > 0))
        return false;
    const auto font = FontOf(*dc);
    Size->cx =
        Length == 0 ? 0 : TextWidth(*font, std::u16string_view(Text, static_cast<size_t>(Length)));
    Size->cy = font->Metrics.tmHeight;
    return true;
}

bool GetTextMetricsW(HDC Dc, TEXTMETRICW* Metrics) {
    const TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Metrics == nullptr) return false;
    *Metrics = FontOf(*dc)->Metrics;
    return true;
}

namespace {

// One line of formatted text: its characters and the prefix character to underline (-1: none).
struct Line {
    std::u16string Text;
    int32_t Underline = -1;
};

// Removes the keyboard-prefix marks: "&x" underlines x, "&&" is a plain "&".
Line StripPrefixes(std::u16string_view text, bool show) {
    Line line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&' && show) line.Underline = static_cast<int32_t>(line.Text.size());
        }
        line.Text.push_back(text[i]);
    }
    return line;
}

std::u16string ExpandTabs(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c != u'\t') {
            out.push_back(c);
            continue;
        }
        do
            out.push_back(u' ');
        while (out.size() % 8 != 0);
    }
    return out;
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
    std::vector<std::u16string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            lines.emplace_back();
        } else {
            lines.back().push_back(text[i]);
        }
    }
    return lines;
}

// Breaks a line between words so that each line fits Width; a word wider than Width stays whole.
std::vector<std::u16string> WrapWords(const ResolvedFont& font, const std::u16string& line,
                                      int32_t width) {
    std::vector<std::u16string> out;
    std::u16string current;
    size_t i = 0;
    while (i < line.size()) {
        size_t end = line.find(u' ', i);
        if (end == std::u16string::npos) end = line.size();
        const std::u16string word = line.substr(i, end - i);
        const std::u16string candidate = current.empty() ? word : current + u' ' + word;
        if (!current.empty() && TextWidth(font, candidate) > width) {
            out.push_back(current);
            current = word;
        } else {
            current = candidate;
        }
        i = end + 1;
    }
    out.push_back(current);
    return out;
}

std::u16string Ellipsize(const ResolvedFont& font, const std::u16string& text, int32_t width,
                         uint32_t format) {
    if (TextWidth(font, text) <= width) return text;
    const std::u16string dots = u"...";
    if (format & DT_PATH_ELLIPSIS) {
        const size_t cut = text.find_last_of(u"\\/");
        if (cut != std::u16string::npos) {
            const std::u16string tail = text.substr(cut);
            for (size_t keep = cut; keep-- > 0;) {
                const std::u16string candidate = text.substr(0, keep) + dots + tail;
                if (TextWidth(font, candidate) <= width) return candidate;
            }
            if (TextWidth(font, dots + tail) <= width) return dots + tail;
        }
    }
    std::u16string head = text;
    while (!head.empty()) {
        if (format & DT_WORD_ELLIPSIS) {
            const size_t space = head.find_last_of(u' ');
            head.resize(space == std::u16string::npos ? 0 : space);
        } else {
            head.pop_back();
        }
        if (TextWidth(font, head + dots) <= width) break;
    }
    return head + dots;
}

int32_t DrawTextImpl(HDC Dc, const char16_t* Text, int32_t Length, TRect* Rect, uint32_t Format,
                     char16_t* Writable) {
    TDeviceContext* dc = Lookup<TDeviceContext>(Dc);
    if (dc == nullptr || Rect == nullptr || (Text == nullptr && Length != 0)) return 0;
    const size_t length =
        Length < 0 ? std::char_traits<char16_t>::length(Text) : static_cast<size_t>(Length);
    std::u16string text(Text == nullptr ? u"" : Text, length);
    if (Format & DT_EXPANDTABS) text = ExpandTabs(text);
    const auto font = FontOf(*dc);
    const int32_t lineHeight = font->Metrics.tmHeight;
    const int32_t width = Rect->Width();
    const bool ellipsis = (Format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) != 0;

    std::vector<Line> lines;
    for (const std::u16string& raw :
         Format& DT_SINGLELINE ? std::vector<std::u16string>{text} : SplitLines(text)) {
        const std::vector<std::u16string> wrapped =
            Format & DT_WORDBREAK ? WrapWords(*font, raw, width) : std::vector<std::u16string>{raw};
        for (const std::u16string& part : wrapped) {
            Line line = Format & DT_NOPREFIX ? Line{part, -1}
                                             : StripPrefixes(part, !(Format & DT_HIDEPREFIX));
            if (ellipsis && !(Format & DT_CALCRECT)) {
                const std::u16string shortened = Ellipsize(*font, line.Text, width, Format);
                if (shortened != line.Text) {
                    line = {shortened, -1};
                    if ((Format & DT_MODIFYSTRING) && Writable != nullptr) {
                        std::copy(shortened.begin(), shortened.end(), Writable);
                        Writable[shortened.size()] = 0;
                    }
                }
            }
            lines.push_back(std::move(line));
        }
    }
    const auto height = static_cast<int32_t>(lines.size()) * lineHeight;
    if (Format & DT_CALCRECT) {
        int32_t widest = 0;
        for (const Line& line : lines)
            widest = std::max(widest, TextWidth(*font, line.Text));
        Rect->Right = Rect->Left + widest;
        Rect->Bottom = Rect->Top + height;
        return height;
    }
    int32_t top = Rect->Top;
    if (Format & DT_SINGLELINE) {
        if (Format & DT_VCENTER)
            top = Rect->Top + (Rect->Height() - height) / 2;
        else if (Format & DT_BOTTOM)
            top = Rect->Bottom - height;
    }
    const TRect* clip = Format & DT_NOCLIP ? nullptr : Rect;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int32_t lineWidth = TextWidth(*font, lines[i].Text);
        int32_t left = Rect->Left;
        if (Format & DT_CENTER)
            left = Rect->Left + (width - lineWidth) / 2;
        else if (Format & DT_RIGHT)
            left = Rect->Right - lineWidth;
        DrawRun(*dc, *font, left, top + static_cast<int32_t>(i) * lineHeight, lines[i].Text,
                nullptr, clip, lines[i].Underline);
    }
    if (Format & (DT_VCENTER | DT_BOTTOM)) return top - Rect->Top + height;
    return height;
}

} // namespace

int32_t DrawTextW(HDC Dc, char16_t* Text, int32_t Length, TRect* Rect, uint32_t Format) {
    return DrawTextImpl(Dc, Text, Length, Rect, Format, Text);
}

int32_t DrawTextW(HDC Dc, const char16_t* Text, int32_t Length, TRect* Rect, uint32_t Format) {
    return DrawTextImpl(Dc, Text, Length, Rect, Format, nullptr);
}
