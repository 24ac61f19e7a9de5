// Imaging annotation blocks: reading, writing, copying and damaged input.
#include "imaging/core/VLImagingAnnot.h"

#include "FuzzBuffers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using enum TVLPixelFormat;

std::vector<uint8_t> Ints(std::initializer_list<int32_t> Values) {
    std::vector<uint8_t> out;
    for (int32_t v : Values)
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> shift));
    return out;
}

// Builds an annotation block stream byte by byte, independently of the writer.
class TStreamBuilder {
public:
    explicit TStreamBuilder(bool OldLayout = false) : FOldLayout(OldLayout) {
        I32(0);
        I32(OldLayout ? 0 : 1);
    }
    TStreamBuilder& I32(int32_t V) {
        const auto bytes = Ints({V});
        Bytes.insert(Bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }
    TStreamBuilder& Mark(const TVLMarkAttributes& A) {
        I32(5).I32(164);
        const auto* p = reinterpret_cast<const uint8_t*>(&A);
        Bytes.insert(Bytes.end(), p, p + 164);
        return *this;
    }
    TStreamBuilder& Named(int32_t Type, const std::string& Name, const std::vector<uint8_t>& Data,
                          int32_t DeclaredSize = INT32_MIN) {
        I32(Type).I32(12);
        std::string name = Name;
        name.resize(8, '\0');
        Bytes.insert(Bytes.end(), name.begin(), name.end());
        I32(DeclaredSize != INT32_MIN ? DeclaredSize : static_cast<int32_t>(Data.size()));
        if (FOldLayout) I32(0);
        Bytes.insert(Bytes.end(), Data.begin(), Data.end());
        return *this;
    }
    TStreamBuilder& Defaults() {
        Named(2, "OiGroup", {'0', 0});
        return Named(2, "OiIndex", {'1', 0});
    }
    std::vector<uint8_t> Bytes;

private:
    bool FOldLayout;
};

TVLMarkAttributes Attributes(uint32_t Type, int32_t FontHeight = 0) {
    TVLMarkAttributes a;
    a.MarkType = Type;
    a.Left = 10;
    a.Top = 20;
    a.Right = 110;
    a.Bottom = 220;
    a.Color1[2] = 255;
    a.LineSize = 3;
    a.Font.Height = FontHeight;
    std::memcpy(a.Font.FaceName, "Arial", 6);
    a.Visible = 1;
    return a;
}

std::vector<uint8_t> TextBlock(int32_t Scale, const std::string& Text) {
    auto data = Ints({0, 1000, Scale, static_cast<int32_t>(Text.size())});
    data.insert(data.end(), Text.begin(), Text.end());
    data.push_back(0);
    return data;
}

void Load(TVLImagingAnnot& Annot, const std::vector<uint8_t>& Bytes) {
    Annot.LoadFromBuffer(Bytes.data(), static_cast<int32_t>(Bytes.size()));
}

bool SameAttributes(const TVLMarkAttributes& A, const TVLMarkAttributes& B) {
    return std::memcmp(&A, &B, sizeof(A)) == 0;
}

// A bitmap whose pixel bytes follow a pattern, for every byte of each row.
std::unique_ptr<TVLBitmap> PatternImage(int32_t W, int32_t H, TVLPixelFormat Format) {
    auto b = std::make_unique<TVLBitmap>();
    EXPECT_TRUE(b->Allocate(W, H, Format));
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = b->GetScanline(y);
        for (int32_t i = 0; i < b->GetRowLen(); ++i)
            row[i] = static_cast<uint8_t>(y * 37 + i * 11 + 5);
    }
    for (int32_t i = 0; i < b->GetPaletteLength(); ++i)
        b->SetPaletteColor(i, {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                               static_cast<uint8_t>(i / 2)});
    return b;
}

// The colour of pixel X of a row as blue, green, red, whatever the format.
TVLRGB PixelColor(TVLBitmap& B, int32_t X, int32_t Y) {
    const uint8_t* row = B.GetScanline(Y);
    TVLRGB c;
    switch (B.GetPixelFormat()) {
    case vl1g: {
        const uint8_t v = (row[X / 8] & (0x80 >> (X % 8))) != 0 ? 255 : 0;
        return {v, v, v};
    }
    case vl8g:
        return {row[X], row[X], row[X]};
    case vl8p:
        B.GetPaletteColor(row[X], c);
        return c;
    default:
        return {row[3 * X], row[3 * X + 1], row[3 * X + 2]};
    }
}

class ScreenDpiScope {
public:
    explicit ScreenDpiScope(int32_t Dpi) : ScreenDpiScope(Dpi, Dpi) {}
    ScreenDpiScope(int32_t DpiX, int32_t DpiY) : FX(ScreenDpiX), FY(ScreenDpiY) {
        ScreenDpiX = DpiX;
        ScreenDpiY = DpiY;
    }
    ~ScreenDpiScope() {
        ScreenDpiX = FX;
        ScreenDpiY = FY;
    }

private:
    int32_t FX, FY;
};

} // namespace

TEST(VLImagingAnnot, LineMarkRoundTrips) {
    TStreamBuilder s;
    s.Defaults().Mark(Attributes(3));
    s.Named(6, "OiAnoDat", Ints({3, 3, 1, 2, 30, 40, -5, 600}));
    s.Named(6, "OiGroup", {'0', 0}).Named(6, "OiIndex", {'0', 0});
    TVLImagingAnnot annot;
    annot.UserChanged = true;
    Load(annot, s.Bytes);
    EXPECT_FALSE(annot.UserChanged);
    ASSERT_EQ(annot.Objects.size(), 1u);
    const std::vector<TVLAnnotPoint> points = {{1, 2}, {30, 40}, {-5, 600}};
    EXPECT_EQ(annot.Objects[0]->Points, points);
    EXPECT_TRUE(SameAttributes(annot.Objects[0]->Attributes, Attributes(3)));

    const auto saved = annot.SaveToBuffer();
    TVLImagingAnnot again;
    Load(again, saved);
    ASSERT_EQ(again.Objects.size(), 1u);
    EXPECT_EQ(again.Objects[0]->Points, points);
    EXPECT_TRUE(SameAttributes(again.Objects[0]->Attributes, Attributes(3)));
    // The writer produces the same bytes as the hand-built stream.
    EXPECT_EQ(saved, s.Bytes);
}

TEST(VLImagingAnnot, TextMarkFontHeightFollowsTheCreationScale) {
    struct Case {
        int32_t screenDpi; // vertical
        int32_t scale;
        int32_t height;
        int32_t expected;
        int32_t screenDpiX = 0; // 0: as the vertical
    };
    // The vertical resolution scales the height, whatever the horizontal one.
    for (const Case c : {Case{96, 750, 24, 24}, Case{96, 1000, 24, 18}, Case{120, 750, 30, 24},
                         Case{120, 750, 30, 24, 96}, Case{96, 750, 24, 24, 120},
                         Case{96, 0, 24, 24}, Case{96, 1, 0x7FFFFFFF, 0x7FFFFFFF}}) {
        SCOPED_TRACE(std::to_string(c.screenDpi) + " dpi, scale " + std::to_string(c.scale));
        ScreenDpiScope dpi(c.screenDpiX != 0 ? c.screenDpiX : c.screenDpi, c.screenDpi);
        TStreamBuilder s;
        s.Defaults().Mark(Attributes(7, c.height)).Named(6, "OiAnText", TextBlock(c.scale, "Hi"));
        TVLImagingAnnot annot;
        Load(annot, s.Bytes);
        ASSERT_EQ(annot.Objects.size(), 1u);
        EXPECT_EQ(annot.Objects[0]->Text, "Hi");
        EXPECT_EQ(annot.Objects[0]->Attributes.Font.Height, c.expected);
    }
}

TEST(VLImagingAnnot, TextMarkSavedAndReadOnTheSameScreenKeepsItsHeight) {
    ScreenDpiScope dpi(96);
    TVLImagingAnnot annot;
    auto object = std::make_unique<TVLImagingObject>();
    object->Attributes = Attributes(8, -17);
    object->Text = "A note";
    annot.Objects.push_back(std::move(object));
    const auto saved = annot.SaveToBuffer();
    // The text block carries the creation scale 72000 / 96 = 750.
    const auto head = Ints({0, 1000, 750, 6});
    EXPECT_NE(std::search(saved.begin(), saved.end(), head.begin(), head.end()), saved.end());
    TVLImagingAnnot again;
    Load(again, saved);
    ASSERT_EQ(again.Objects.size(), 1u);
    EXPECT_EQ(again.Objects[0]->Text, "A note");
    EXPECT_EQ(again.Objects[0]->Attributes.Font.Height, -17);
}

TEST(VLImagingAnnot, ImageMarksKeepTheirPixels) {
    for (TVLPixelFormat format : {vl24RGB, vl1g, vl8g, vl8p}) {
        SCOPED_TRACE(static_cast<int>(format));
        TVLImagingAnnot annot;
        auto object = std::make_unique<TVLImagingObject>();
        object->Attributes = Attributes(1);
        object->Image = PatternImage(13, 5, format);
        annot.Objects.push_back(std::move(object));
        const auto saved = annot.SaveToBuffer();
        TVLImagingAnnot again;
        Load(again, saved);
        ASSERT_EQ(again.Objects.size(), 1u);
        TVLBitmap* read = again.Objects[0]->Image.get();
        ASSERT_NE(read, nullptr);
        ASSERT_EQ(read->GetWidth(), 13);
        ASSERT_EQ(read->GetHeight(), 5);
        EXPECT_EQ(read->GetPixelFormat(), format == vl1g ? vl1g : vl24RGB);
        TVLBitmap& original = *annot.Objects[0]->Image;
        for (int32_t y = 0; y < 5; ++y)
            for (int32_t x = 0; x < 13; ++x)
                ASSERT_EQ(PixelColor(*read, x, y), PixelColor(original, x, y)) << x << ", " << y;
    }
}

TEST(VLImagingAnnot, MarksWithoutTypeUnknownBlocksAndOldLayout) {
    TStreamBuilder s(true);
    s.Defaults();
    s.Named(2, "OiFuture", {1, 2, 3, 4, 5});
    s.Mark(Attributes(0)).Named(6, "OiAnoDat", Ints({1, 1, 9, 9}));
    s.I32(9).I32(3).I32(0x01020304);
    s.Bytes.pop_back();
    s.Mark(Attributes(4)).Named(6, "OiFilNam", {'a', 'b'});
    s.Named(6, "OiAnoDat", Ints({2, 2, 7, 8, 9, 10}));
    TVLImagingAnnot annot;
    Load(annot, s.Bytes);
    ASSERT_EQ(annot.Objects.size(), 1u);
    EXPECT_EQ(annot.Objects[0]->Attributes.MarkType, 4u);
    EXPECT_EQ(annot.Objects[0]->Points, (std::vector<TVLAnnotPoint>{{7, 8}, {9, 10}}));
}

TEST(VLImagingAnnot, EmptyListsAndDefaultsOnlyStreams) {
    TVLImagingAnnot annot;
    EXPECT_TRUE(annot.SaveToBuffer().empty());
    TStreamBuilder s;
    s.Defaults();
    Load(annot, s.Bytes);
    EXPECT_TRUE(annot.Objects.empty());
    annot.LoadFromBuffer(nullptr, 0);
    EXPECT_TRUE(annot.Objects.empty());
}

// The mark being read when the damage shows is dropped; the marks before it stay.
TEST(VLImagingAnnot, DamagedDataEndsTheLoadKeepingEarlierMarks) {
    struct Case {
        const char* name;
        std::function<void(TStreamBuilder&)> damage;
    };
    const std::vector<Case> cases = {
        {"point count beyond the block",
         [](TStreamBuilder& s) {
             s.Mark(Attributes(3)).Named(6, "OiAnoDat", Ints({1000000, 1000000, 1, 2}));
         }},
        {"negative point count",
         [](TStreamBuilder& s) {
             s.Mark(Attributes(3)).Named(6, "OiAnoDat", Ints({1, -1}));
         }},
        {"named block longer than the stream",
         [](TStreamBuilder& s) {
             s.Mark(Attributes(7)).Named(6, "OiAnText", {1, 2}, 100000);
         }},
        {"negative named block size",
         [](TStreamBuilder& s) { s.Mark(Attributes(7)).Named(6, "OiAnText", {}, -8); }},
        {"attributes cut short", [](TStreamBuilder& s) { s.I32(5).I32(164).I32(3); }},
        {"unknown block longer than the stream",
         [](TStreamBuilder& s) { s.Mark(Attributes(3)).I32(77).I32(50); }},
        {"block head cut short", [](TStreamBuilder& s) { s.Mark(Attributes(3)).I32(5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TStreamBuilder s;
        s.Defaults().Mark(Attributes(4)).Named(6, "OiAnoDat", Ints({1, 1, 5, 6}));
        c.damage(s);
        TVLImagingAnnot annot;
        Load(annot, s.Bytes);
        ASSERT_EQ(annot.Objects.size(), 1u);
        EXPECT_EQ(annot.Objects[0]->Points, (std::vector<TVLAnnotPoint>{{5, 6}}));
    }
}

TEST(VLImagingAnnot, TextWithoutTerminatorAndBadImagesStayInsideTheirBlocks) {
    TStreamBuilder s;
    auto text = TextBlock(750, "abc");
    text.pop_back();
    s.Mark(Attributes(9)).Named(6, "OiAnText", text);
    // A DIB header announcing far more rows than the block holds.
    auto dib = Ints({40, 1000, 1000});
    dib.resize(40, 0);
    dib[12] = 1;
    dib[14] = 24;
    dib.resize(60, 0x55);
    s.Mark(Attributes(1)).Named(6, "OiDIB", dib);
    TVLImagingAnnot annot;
    Load(annot, s.Bytes);
    ASSERT_EQ(annot.Objects.size(), 2u);
    EXPECT_EQ(annot.Objects[0]->Text, "abc");
    EXPECT_EQ(annot.Objects[1]->Image, nullptr);
}

TEST(VLImagingAnnot, AssignMakesDeepCopies) {
    TVLImagingAnnot source;
    auto object = std::make_unique<TVLImagingObject>();
    object->Attributes = Attributes(1);
    object->Points = {{1, 1}};
    object->Text = "t";
    object->Image = PatternImage(4, 3, vl8p);
    source.Objects.push_back(std::move(object));
    TVLImagingAnnot copy;
    copy.Assign(&source);
    ASSERT_EQ(copy.Objects.size(), 1u);
    TVLImagingObject& c = *copy.Objects[0];
    EXPECT_TRUE(SameAttributes(c.Attributes, Attributes(1)));
    EXPECT_EQ(c.Points, source.Objects[0]->Points);
    EXPECT_EQ(c.Text, "t");
    ASSERT_NE(c.Image, nullptr);
    ASSERT_NE(c.Image.get(), source.Objects[0]->Image.get());
    ASSERT_EQ(c.Image->GetPixelFormat(), vl8p);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            EXPECT_EQ(PixelColor(*c.Image, x, y), PixelColor(*source.Objects[0]->Image, x, y));
    source.Clear();
    copy.Assign(nullptr);
    EXPECT_EQ(copy.Objects.size(), 1u);
}

TEST(VLImagingAnnot, SurvivesTruncatedAndRandomStreams) {
    TVLImagingAnnot annot;
    auto line = std::make_unique<TVLImagingObject>();
    line->Attributes = Attributes(3);
    line->Points = {{1, 2}, {3, 4}, {5, 6}};
    annot.Objects.push_back(std::move(line));
    auto text = std::make_unique<TVLImagingObject>();
    text->Attributes = Attributes(7, 12);
    text->Text = "text";
    annot.Objects.push_back(std::move(text));
    auto image = std::make_unique<TVLImagingObject>();
    image->Attributes = Attributes(1);
    image->Image = PatternImage(5, 3, vl8g);
    annot.Objects.push_back(std::move(image));
    FuzzParser(annot.SaveToBuffer(), [](const uint8_t* Data, int32_t Length) {
        TVLImagingAnnot read;
        read.LoadFromBuffer(Data, Length);
        ASSERT_LE(read.Objects.size(), 3u + static_cast<size_t>(Length) / 172);
        for (const auto& object : read.Objects) {
            if (!object->Image) continue;
            ASSERT_LE(int64_t{object->Image->GetWidth()} * object->Image->GetHeight(),
                      int64_t{Length} * 8);
        }
    });
}
