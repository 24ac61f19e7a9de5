// The layers stream read by an independent Python reader (struct, zlib, Pillow), a hand-built
// older version, saving and loading through the view's I/O component, and damaged streams.
#include "imaging/view/ViewLayersStream.h"

#include "imaging/view/VistrelView.h"
#include "tests/system/ChildProcess.h"
#include "tests/imaging/io/IOComponentSupport.h"

#include <functional>
#include <numeric>
#include <random>

namespace {

using enum TVLPixelFormat;

class LayersStream : public ::testing::Test {
protected:
    void SetUp() override {
        BuildFileFormatRegistry();
        ASSERT_TRUE(View.GetVLBitmap()->Allocate(30, 20, vl24RGB));
        FillPicture(*View.GetVLBitmap(), 30, 20, vl24RGB);
        View.AddLayer();
        FillPicture(*View.GetVLBitmap(), 12, 8, vl24RGB, true);
        TVLLayer& second = *View.GetLayer(1);
        second.PosX = -5;
        second.PosY = 7;
        second.Transparency = 128;
        second.Name = "second layer";
        second.SetUserData("\x01\x02\x03", 3);
        second.Selectable = false;
        second.MagnifyRatio = 3.25;
        View.AddLayer();
        FillPicture(*View.GetVLBitmap(), 6, 5, vl8g);
        View.GetLayer(2)->IsMask = true;
        View.GetLayer(2)->DrawOuter = true;
        View.SetCurrentLayer(0);
    }
    TScratch Dir;
    TVistrelView View{nullptr};
};

// Prints, for every layer: the record's fields, the image position, and the image's size and
// a digest of its pixels as the reader decodes them.
const char* PythonReader = R"PY(
import sys, struct, zlib, io, hashlib
data = open(sys.argv[1], 'rb').read()
assert data[:13] == b'DEROZEVEVOVAR'
version, fmt, count = struct.unpack_from('<iii', data, 13)
print('header', version, fmt, count)
p = 25
for i in range(count):
    vis, box, transp, px, py, crop, lock, mag, ratio, shape, src, op, ow, oh, rf, urf = \
        struct.unpack_from('<BBiiiBBBdBBBiiBB', data, p)
    p += 38
    n, = struct.unpack_from('<i', data, p); p += 4
    name = data[p:p + n].decode('latin-1'); p += n
    u, = struct.unpack_from('<i', data, p); p += 4
    user = data[p:p + u].hex(); p += u
    ismask, sel, outer = struct.unpack_from('<BBB', data, p); p += 3
    pos, = struct.unpack_from('<q', data, p); p += 8
    if fmt == -1:
        c, = struct.unpack_from('<i', data, pos)
        raw = zlib.decompress(data[pos + 4:pos + 4 + c])
        assert raw[:12] == b'TVLBITMAPRAW', raw[:12]
        # The compressed count is exact: the next image (or the end) follows right after.
        end = pos + 4 + c
        image = 'raw %d' % len(raw)
    else:
        from PIL import Image
        im = Image.open(io.BytesIO(data[pos:]))
        image = '%dx%d %s' % (im.size[0], im.size[1], hashlib.md5(im.convert('RGB').tobytes()).hexdigest())
        end = None
    print('layer', vis, box, transp, px, py, '%g' % ratio, op, repr(name), user, ismask, sel, outer, image, end)
)PY";

std::string ExpectedRecord(TVistrelView& View, int32_t I, const std::string& Image) {
    TVLLayer& l = *View.GetLayer(I);
    std::string user;
    char hex[3];
    for (int32_t k = 0; k < l.UserDataLen(); ++k) {
        std::snprintf(hex, sizeof(hex), "%02x", l.UserData()[k]);
        user += hex;
    }
    std::ostringstream out;
    out << "layer " << int(l.Visible) << " " << int(l.VisibleBox) << " " << l.Transparency << " "
        << l.PosX << " " << l.PosY << " " << l.MagnifyRatio << " " << int(l.Operation) << " '"
        << l.Name << "' " << user << " " << int(l.IsMask) << " " << int(l.Selectable) << " "
        << int(l.DrawOuter) << " " << Image;
    return out.str();
}

TEST_F(LayersStream, TheRawFormatReadsWithAnIndependentReader) {
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3");
    TMemoryStream stream;
    View.SaveLayersToStream(stream, -1);
    EXPECT_EQ(View.CurrentLayerIndex(), 0);
    EXPECT_TRUE(View.LayersSelectableOnly);
    const std::string file = Dir.File("layers.lyr");
    WriteBytes(file, StreamBytes(stream));
    std::string out;
    ASSERT_TRUE(Dir.Python(PythonReader, "'" + file + "'", out)) << out;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "header 6 -1 3");
    for (int32_t i = 0; i < 3; ++i) {
        std::getline(lines, line);
        const std::string raw = "raw " + std::to_string(View.GetLayer(i)->Bitmap()->GetRawSize());
        EXPECT_EQ(line.substr(0, line.rfind(' ')), ExpectedRecord(View, i, raw));
    }
}

TEST_F(LayersStream, FormatOneIsStoredAsPngThatPillowDecodes) {
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    TMemoryStream stream;
    View.SaveLayersToStream(stream, ffTIFF);
    const std::string file = Dir.File("png.lyr");
    WriteBytes(file, StreamBytes(stream));
    std::string out;
    ASSERT_TRUE(Dir.Python(PythonReader, "'" + file + "'", out)) << out;
    EXPECT_EQ(out.substr(0, out.find('\n')), "header 6 8 3");

    TVistrelView loaded(nullptr);
    stream.SetPosition(0);
    ASSERT_TRUE(loaded.LoadLayersFromStream(stream));
    ASSERT_EQ(loaded.GetLayerCount(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TVLBitmap& a = *View.GetLayer(i)->Bitmap();
        TVLBitmap& b = *loaded.GetLayer(i)->Bitmap();
        ASSERT_EQ(b.GetWidth(), a.GetWidth());
        for (int32_t y = 0; y < a.GetHeight(); ++y)
            for (int32_t x = 0; x < a.GetWidth(); ++x) {
                const TVLRGB p = a.GetPixelAsRGB(x, y), q = b.GetPixelAsRGB(x, y);
                ASSERT_TRUE(p.r == q.r && p.g == q.g && p.b == q.b) << x << "," << y;
            }
    }
    // The mask layer stays 8-bit grey.
    EXPECT_EQ(loaded.GetLayer(2)->Bitmap()->GetPixelFormat(), vl8g);
}

TEST_F(LayersStream, RawRoundTripRestoresEveryLayer) {
    TMemoryStream stream;
    View.SaveLayersToStream(stream, -1);
    TVistrelView loaded(nullptr);
    loaded.GetIO();
    for (int32_t i = 0; i < 4; ++i)
        loaded.AddLayer(); // five layers before, three after
    stream.SetPosition(0);
    ASSERT_TRUE(loaded.LoadLayersFromStream(stream));
    ASSERT_EQ(loaded.GetLayerCount(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ExpectedRecord(loaded, i, ""), ExpectedRecord(View, i, ""));
        EXPECT_EQ(PixelsRGBA(*loaded.GetLayer(i)->Bitmap()),
                  PixelsRGBA(*View.GetLayer(i)->Bitmap()));
    }
    EXPECT_EQ(loaded.GetIO()->IOParams().Width, 30);
}

TEST_F(LayersStream, SavedAndLoadedByNameThroughTheComponent) {
    TVistrelIO* io = View.GetIO();
    const String file = StrFromUtf8(Dir.File("view.lyr"));
    io->SaveToFile(file);
    ASSERT_FALSE(io->AbortingFlag);
    TVistrelView other(nullptr);
    other.GetIO()->LoadFromFile(file);
    EXPECT_FALSE(other.GetIO()->AbortingFlag);
    EXPECT_EQ(other.GetLayerCount(), 3);
    EXPECT_EQ(other.GetIO()->IOParams().FileType, ffLayers);
    // Without a view the layers are merged into the working bitmap.
    TCountingIO alone;
    alone.IO.LoadFromFile(file);
    EXPECT_FALSE(alone.IO.AbortingFlag);
    EXPECT_EQ(alone.TakeFinishes(), 1);
    TVistrelView merged(nullptr);
    ASSERT_TRUE(merged.LoadLayersFromFile(file));
    merged.MergeAllLayers();
    EXPECT_EQ(PixelsRGBA(alone.Bitmap()), PixelsRGBA(*merged.GetVLBitmap()));
}

// A version-2 record: no magnifier source, filter, name, user data, mask or selectable flags.
TBytes VersionTwoStream(const TBytes& Raw) {
    TBytes b = {'D', 'E', 'R', 'O', 'Z', 'E', 'V', 'E', 'V', 'O', 'V', 'A', 'R'};
    auto i32 = [&](int32_t v) {
        for (int s = 0; s < 32; s += 8)
            b.push_back(uint8_t(uint32_t(v) >> s));
    };
    i32(2);
    i32(-1);
    i32(1);
    b.insert(b.end(), {0, 1});       // Visible false, VisibleBox
    i32(77);                          // Transparency
    i32(3);                           // PosX
    i32(4);                           // PosY
    b.insert(b.end(), {1, 0, 1});    // Cropped, Locked, Magnify
    const double ratio = 1.5;
    const auto* r = reinterpret_cast<const uint8_t*>(&ratio);
    b.insert(b.end(), r, r + 8);
    b.insert(b.end(), {2, 1});       // MagnifyShape, Operation
    i32(0);                           // OwnWidth
    i32(0);                           // OwnHeight
    const int64_t position = int64_t(b.size()) + 8;
    for (int s = 0; s < 64; s += 8)
        b.push_back(uint8_t(uint64_t(position) >> s));
    i32(int32_t(Raw.size()));
    b.insert(b.end(), Raw.begin(), Raw.end());
    return b;
}

TEST_F(LayersStream, AVersionTwoStreamKeepsTheNewerFields) {
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3");
    TVLBitmap image;
    FillPicture(image, 5, 4, vl24RGB);
    TMemoryStream raw;
    image.SaveRaw(nullptr, &raw);
    const std::string rawFile = Dir.File("raw");
    WriteBytes(rawFile, StreamBytes(raw));
    std::string packed;
    ASSERT_TRUE(Dir.Python("import sys, zlib\nsys.stdout.buffer.write(zlib.compress(open(sys.argv[1],'rb').read()))\n",
                           "'" + rawFile + "'", packed));
    TMemoryStream stream;
    LoadStream(stream, VersionTwoStream(TBytes(packed.begin(), packed.end())));
    TVistrelView view(nullptr);
    TVLLayer& layer = *view.GetLayer(0);
    layer.Name = "kept";
    layer.MagnifySource = 7;
    layer.Selectable = false;
    ASSERT_TRUE(view.LoadLayersFromStream(stream));
    EXPECT_FALSE(layer.Visible);
    EXPECT_EQ(layer.Transparency, 77);
    EXPECT_EQ(layer.PosX, 3);
    EXPECT_TRUE(layer.Cropped);
    EXPECT_TRUE(layer.Magnify);
    EXPECT_EQ(layer.MagnifyRatio, 1.5);
    EXPECT_EQ(layer.Operation, 1);
    EXPECT_EQ(layer.Name, "kept");
    EXPECT_EQ(layer.MagnifySource, 7);
    EXPECT_FALSE(layer.Selectable);
    EXPECT_EQ(PixelsRGBA(*layer.Bitmap()), PixelsRGBA(image));
}

TEST_F(LayersStream, IsLayersStreamKeepsThePosition) {
    TMemoryStream stream;
    View.SaveLayersToStream(stream, -1);
    stream.SetPosition(0);
    EXPECT_TRUE(IsLayersStream(stream));
    EXPECT_EQ(stream.GetPosition(), 0);
    TBytes bytes = StreamBytes(stream);
    bytes[13] = bytes[14] = bytes[15] = bytes[16] = 0;
    LoadStream(stream, bytes);
    EXPECT_FALSE(IsLayersStream(stream));
    EXPECT_EQ(stream.GetPosition(), 0);
}

TEST_F(LayersStream, DamagedStreamsGiveFalseOrAReadError) {
    TMemoryStream stream;
    View.SaveLayersToStream(stream, -1);
    const TBytes good = StreamBytes(stream);
    std::mt19937 random(21);
    for (int32_t round = 0; round < 300; ++round) {
        TBytes bytes = good;
        if (round % 3 == 0) {
            bytes.resize(random() % bytes.size());
        } else {
            const int32_t changes = 1 + int32_t(random() % 4);
            for (int32_t k = 0; k < changes; ++k) {
                // Most changes hit the header and the records, where the lengths live.
                const size_t span = round % 3 == 1 ? std::min<size_t>(bytes.size(), 200) : bytes.size();
                bytes[random() % span] = uint8_t(random());
            }
        }
        TMemoryStream damaged;
        LoadStream(damaged, bytes);
        TVistrelView view(nullptr);
        try {
            view.LoadLayersFromStream(damaged);
        } catch (const Exception&) {
        }
        EXPECT_GE(view.GetLayerCount(), 1);
    }
}

// The view's layers in a form that shows any change: count, names, positions and pixels.
std::string LayersOf(TVistrelView& View) {
    std::string text;
    for (int32_t i = 0; i < View.GetLayerCount(); ++i) {
        TVLLayer& layer = *View.GetLayer(i);
        const TBytes pixels = PixelsRGBA(*layer.Bitmap());
        text += layer.Name + " " + std::to_string(layer.PosX) + "," + std::to_string(layer.PosY) +
                " " + std::to_string(std::accumulate(pixels.begin(), pixels.end(), 0)) + "\n";
    }
    return text;
}

void PutLittle32(TBytes& Bytes, size_t At, uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        Bytes[At + i] = uint8_t(Value >> (8 * i));
}

// Where the fixture's layer 1 keeps its position in a version-6 stream: the header (25 bytes),
// layer 0's record (57 bytes: no name, no user data), then Visible, VisibleBox, Transparency.
constexpr size_t SecondPosX = 25 + 57 + 6;

// Layer positions come from the file: a merge of layers placed far away or near the end of the
// 32-bit range is refused by the size it would take, before anything is allocated.
TEST_F(LayersStream, MergedSizeDeclaredByLayerPositionsIsBounded) {
    TMemoryStream stream;
    View.SaveLayersToStream(stream, -1);
    const TBytes good = StreamBytes(stream);
    ASSERT_EQ(TBytes(good.begin() + SecondPosX, good.begin() + SecondPosX + 4),
              (TBytes{0xFB, 0xFF, 0xFF, 0xFF})); // -5
    struct Case {
        const char* name;
        int32_t x, y;
        bool refused;
    };
    const Case cases[] = {
        {"far up and left: gigabytes from a small file", -30000, -30000, true},
        {"past the end of the 32-bit range", INT32_MAX - 5, INT32_MAX - 5, true},
        {"the most negative position", INT32_MIN, 0, true},
        {"beside layer 0", 40, 25, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBytes bytes = good;
        PutLittle32(bytes, SecondPosX, uint32_t(c.x));
        PutLittle32(bytes, SecondPosX + 4, uint32_t(c.y));
        const std::string file = Dir.File("far.lyr");
        WriteBytes(file, bytes);
        if (c.refused) {
            EXPECT_TRUE(BoundedInChild([&] {
                TCountingIO alone;
                alone.IO.LoadFromFile(Wide(file));
                return alone.IO.AbortingFlag && alone.TakeFinishes() == 1;
            }));
            continue;
        }
        TCountingIO alone;
        alone.IO.LoadFromFile(Wide(file));
        EXPECT_FALSE(alone.IO.AbortingFlag);
        EXPECT_EQ(alone.Bitmap().GetWidth(), 40 + 12);
        EXPECT_EQ(alone.Bitmap().GetHeight(), 25 + 8);
    }
}

// A stream is refused before any layer changes when its header names an image format without a
// stream reader (a write-only format, one without a registry row), and when a record places its
// image at the end of the stream.
TEST_F(LayersStream, StreamsWithoutReadableImagesLeaveTheLayersUntouched) {
    TMemoryStream stream;
    View.SaveLayersToStream(stream, -1);
    const TBytes good = StreamBytes(stream);
    constexpr size_t FirstImagePosition = 25 + 57 - 8;
    struct Case {
        const char* name;
        std::function<void(TBytes&)> damage;
    };
    const Case cases[] = {
        {"AVI, which has no registry row", [](TBytes& b) { PutLittle32(b, 17, ffAVI); }},
        {"PostScript, write-only", [](TBytes& b) { PutLittle32(b, 17, ffPS); }},
        {"Windows metafile, no stream reader", [](TBytes& b) { PutLittle32(b, 17, ffWMF); }},
        {"unused id 22", [](TBytes& b) { PutLittle32(b, 17, 22); }},
        {"image position equal to the stream size",
         [](TBytes& b) { PutLittle32(b, FirstImagePosition, uint32_t(b.size())); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBytes bytes = good;
        c.damage(bytes);
        TVistrelView target(nullptr);
        FillPicture(*target.GetVLBitmap(), 9, 9, vl24RGB);
        target.GetLayer(0)->Name = "kept";
        target.AddLayer();
        FillPicture(*target.GetVLBitmap(), 4, 4, vl8g);
        const std::string before = LayersOf(target);
        // The component's last operation succeeded: the load must report its own result.
        TVistrelIO* io = target.GetIO();
        io->AbortingFlag = false;
        TMemoryStream damaged;
        LoadStream(damaged, bytes);
        io->LoadFromStreamFormat(damaged, ffLayers);
        EXPECT_TRUE(io->AbortingFlag);
        EXPECT_EQ(LayersOf(target), before);
    }
    // The stream as saved loads.
    TVistrelView target(nullptr);
    TMemoryStream intact;
    LoadStream(intact, good);
    target.GetIO()->LoadFromStreamFormat(intact, ffLayers);
    EXPECT_FALSE(target.GetIO()->AbortingFlag);
    EXPECT_EQ(target.GetLayerCount(), 3);
}

} // namespace
