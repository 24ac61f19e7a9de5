// Content detection over generated files, stream loading of unknown content, parameters-only
// reads and the resolution steps after a load.
#include "imaging/io/VistrelIOStream.h"

#include "imaging/view/ViewLayersStream.h"
#include "imaging/view/VistrelView.h"
#include "tests/imaging/io/IOComponentSupport.h"

namespace {

using enum TVLPixelFormat;
namespace fs = std::filesystem;

class IOStream : public ::testing::Test {
protected:
    void SetUp() override { BuildFileFormatRegistry(); }
    TScratch Dir;
    TCountingIO C;
};

TBytes Text(const std::string& S, size_t PadTo = 0) {
    TBytes b(S.begin(), S.end());
    if (b.size() < PadTo) b.resize(PadTo, 0);
    return b;
}

TBytes Concat(TBytes A, const TBytes& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

TEST_F(IOStream, DetectsGeneratedStreams) {
    FillPicture(C.Bitmap(), 12, 9, vl24RGB);
    TMemoryStream jpeg, png, headed, layers, jp2, j2k, psd;
    C.IO.SaveToStreamJPEG(jpeg);
    C.IO.SaveToStreamPNG(png);
    C.IO.SaveToStreamJP2(jp2);
    C.IO.SaveToStreamJ2K(j2k);
    C.IO.SaveToStreamPSD(psd);
    C.IO.StreamHeaders = true;
    C.IO.SaveToStreamJPEG(headed);
    TVistrelView view(nullptr);
    ASSERT_TRUE(view.GetVLBitmap()->Allocate(4, 4, vl24RGB));
    view.SaveLayersToStream(layers, -1);
    TMemoryStream tga, dcx;
    C.IO.SaveToStreamTGA(tga);
    C.IO.SaveToStreamDCX(dcx);
    const TBytes jpegBytes = StreamBytes(jpeg);
    // A metafile header: type, 9 header words, version, size, objects, largest record, and no
    // parameters; the placeable header before it starts with its key.
    auto WmfHeader = [](uint8_t Type) {
        return TBytes{Type, 0, 9, 0, 0, 3, 0x40, 0, 0, 0, 1, 0, 0x10, 0, 0, 0, 0, 0};
    };
    TBytes Placeable = {0xD7, 0xCD, 0xC6, 0x9A};
    Placeable.resize(22, 0);

    struct TCase {
        const char* Name;
        TBytes Bytes;
        TVLFileFormatId Expected;
    };
    const TCase cases[] = {
        {"jpeg", jpegBytes, ffJPEG},
        {"jpeg at offset 100", Concat(TBytes(100, 0x20), jpegBytes), ffJPEG},
        {"jpeg at offset 200", Concat(TBytes(200, 0x20), jpegBytes), 0},
        {"jpeg behind a stream header", StreamBytes(headed), ffJPEG},
        {"png", StreamBytes(png), ffPNG},
        {"jp2", StreamBytes(jp2), ffJP2},
        {"j2k", StreamBytes(j2k), ffJ2K},
        {"layers", StreamBytes(layers), ffLayers},
        {"psd", StreamBytes(psd), ffPSD},
        {"gif", Text("GIF89a", 14), ffGIF},
        {"gif of 13 bytes", Text("GIF89a", 13), 0},
        {"pcx2 header", Text("PCX2", 13), ffPCX},
        {"old pcx header", Text("PCX", 5), ffPCX},
        {"bmp", Text("BM", 15), ffBMP},
        {"pcx file header", Concat(TBytes{10, 5}, TBytes(127, 0)), ffPCX},
        {"pcx version 6", Concat(TBytes{10, 6}, TBytes(127, 0)), 0},
        {"tiff stream header", Text("TIFF", 13), ffTIFF},
        {"targa", StreamBytes(tga), ffTGA},
        {"targa header before a jpeg",
         Concat(TBytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0}, jpegBytes), ffTGA},
        {"dcx", StreamBytes(dcx), ffDCX},
        {"avi", Concat(Concat(Text("RIFF"), TBytes{16, 0, 0, 0}), Text("AVI LIST", 12)), ffAVI},
        {"layers of version 0", Concat(Text("DEROZEVEVOVAR"), TBytes(12, 0)), 0},
        {"metafile", Concat(WmfHeader(1), TBytes(2, 0)), ffWMF},
        {"placeable metafile", Concat(Concat(Placeable, WmfHeader(1)), TBytes(2, 0)), ffWMF},
        {"disk metafile", Concat(WmfHeader(2), TBytes(2, 0)), 0},
        {"enhanced metafile", Concat(Concat(TBytes{1}, TBytes(39, 0)), Text(" EMF", 60)), ffEMF},
        {"pixmap", Concat(Text("P6 2 1 255\n"), TBytes(6, 0x31)), ffPXM},
        {"bitmap after a comment", Text("# made by hand\nP1 2 1 01"), ffPXM},
        {"empty", TBytes{}, 0},
        {"text", Text("just some text, nothing else"), 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream stream;
        stream.WriteBuffer("xyz", 3); // detection starts at the position, not at 0
        if (!c.Bytes.empty()) stream.WriteBuffer(c.Bytes.data(), int64_t(c.Bytes.size()));
        stream.SetPosition(3);
        // Sizes count from the start of the stream: the 13-byte GIF needs its own stream.
        if (std::string(c.Name) == "gif of 13 bytes") LoadStream(stream, c.Bytes);
        const int64_t position = stream.GetPosition();
        EXPECT_EQ(DetectStreamFormat(stream), c.Expected);
        EXPECT_EQ(stream.GetPosition(), position);
    }
}

TEST_F(IOStream, DetectFileFormatStrictAndRenamedCopies) {
    FillPicture(C.Bitmap(), 12, 9, vl24RGB);
    C.IO.SaveToFile(Wide(Dir.File("a.jpg")));
    C.IO.SaveToFile(Wide(Dir.File("a.png")));
    fs::copy_file(Dir.File("a.png"), Dir.File("png-named.jpg"));
    fs::copy_file(Dir.File("a.jpg"), Dir.File("jpeg-named.bin"));
    struct TCase {
        const char* Name;
        bool Strict;
        TVLFileFormatId Expected;
    };
    const TCase cases[] = {{"a.jpg", true, ffJPEG},          {"a.png", true, ffPNG},
                           {"png-named.jpg", false, ffPNG},  {"png-named.jpg", true, 0},
                           {"jpeg-named.bin", false, ffJPEG}, {"jpeg-named.bin", true, 0},
                           {"missing.png", false, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(DetectFileFormat(Wide(Dir.File(c.Name)), c.Strict), c.Expected);
    }
    for (const char* name : {"png-named.jpg", "jpeg-named.bin"}) {
        SCOPED_TRACE(name);
        C.Bitmap().FreeImage(true);
        C.IO.LoadFromFileAuto(Wide(Dir.File(name)));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.Bitmap().GetWidth(), 12);
        EXPECT_EQ(C.IO.IOParams().FileName, Wide(Dir.File(name)));
    }
}

TEST_F(IOStream, UnknownContentIsAFailureReportedOnce) {
    for (const TBytes& bytes : {Text("nothing we know here"), TBytes{}}) {
        TMemoryStream stream;
        LoadStream(stream, bytes);
        C.IO.AbortingFlag = false;
        C.IO.LoadFromStream(stream);
        EXPECT_TRUE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
    }
    const TBytes junk = Text("junk bytes only");
    C.IO.AbortingFlag = false;
    C.IO.LoadFromBuffer(junk.data(), int32_t(junk.size()), 0);
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
}

// What CanLoadFromStreamFormat promises for each built-in image format is what a load by its id
// does: it reaches a reader, which records the format, or it is refused before reading.
TEST_F(IOStream, CanLoadFromStreamFormatAnswersWhatTheLoadByIdDoes) {
    for (int32_t i = 0; i < GetFileFormatCount(); ++i) {
        const TVLFileFormatId id = GetFileFormatInfo(i)->FormatId;
        if (id == ffVect || id == ffLayers || id == ffLayersObjects) continue;
        SCOPED_TRACE(id);
        TMemoryStream empty;
        C.IO.IOParams().FileType = 0;
        C.IO.LoadFromStreamFormat(empty, id);
        C.TakeFinishes();
        EXPECT_EQ(CanLoadFromStreamFormat(id), C.IO.IOParams().FileType == id);
    }
    EXPECT_TRUE(CanLoadFromStreamFormat(ffPXM));
}

TEST_F(IOStream, LoadFromBufferDetectsAndReadsSynchronously) {
    FillPicture(C.Bitmap(), 9, 7, vl24RGB);
    TMemoryStream png;
    C.IO.SaveToStreamPNG(png);
    TBytes bytes = StreamBytes(png);
    C.IO.Asynchronous = true;
    for (TVLFileFormatId id : {0, ffPNG}) {
        C.Bitmap().FreeImage(true);
        C.TakeFinishes();
        C.IO.LoadFromBuffer(bytes.data(), int32_t(bytes.size()), id);
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(C.Bitmap().GetWidth(), 9);
    }
    bytes.assign(bytes.size(), 0); // the caller's memory is free to go once the call returns
}

TEST_F(IOStream, ParamsOnlyReadsLeaveTheImageAlone) {
    FillPicture(C.Bitmap(), 21, 13, vl24RGB);
    C.IO.SaveToFile(Wide(Dir.File("p.png")));
    FillPicture(C.Bitmap(), 3, 3, vl8g);
    C.TakeFinishes();
    C.IO.ParamsFromFile(Wide(Dir.File("p.png")));
    EXPECT_EQ(C.IO.IOParams().FileType, ffPNG);
    EXPECT_EQ(C.IO.IOParams().Width, 21);
    EXPECT_EQ(C.Bitmap().GetWidth(), 3);
    EXPECT_EQ(C.TakeFinishes(), 1);
    C.IO.ParamsFromFile(Wide(Dir.File("missing.png")));
    EXPECT_EQ(C.IO.IOParams().FileType, 0);
    EXPECT_EQ(C.TakeFinishes(), 1);
}

struct TAdjustCase {
    int32_t W, H, DpiX, DpiY;
    int32_t NewW, NewH, NewDpiX, NewDpiY;
};

TEST_F(IOStream, AdjustDPIMakesPixelsSquare) {
    const TAdjustCase cases[] = {
        {1000, 500, 200, 100, 1000, 1000, 200, 200},
        {500, 1000, 200, 100, 250, 1000, 100, 100},
        {100, 100, 300, 300, 100, 100, 300, 300},
        // The new side would be 0: the image stays.
        {1000, 1, 1, 2, 1000, 1, 1, 2},
        // 65535 x 2 dpi asks for a side of 32 million rows times 1000 columns.
        {1000, 1000, 65535, 2, 1000, 1000, 65535, 2},
    };
    for (const TAdjustCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
        for (bool filtered : {false, true}) {
            ASSERT_TRUE(C.Bitmap().Allocate(c.W, c.H, vl8g));
            C.IO.FilteredAdjustDPI = filtered;
            TIOParamsVals& p = C.IO.IOParams();
            p.Width = c.W;
            p.Height = c.H;
            p.DpiX = c.DpiX;
            p.DpiY = c.DpiY;
            C.IO.AdjustDPI();
            EXPECT_EQ(C.Bitmap().GetWidth(), c.NewW);
            EXPECT_EQ(C.Bitmap().GetHeight(), c.NewH);
            EXPECT_EQ(p.Width, c.NewW);
            EXPECT_EQ(p.Height, c.NewH);
            EXPECT_EQ(p.DpiX, c.NewDpiX);
            EXPECT_EQ(p.DpiY, c.NewDpiY);
        }
    }
}

TEST_F(IOStream, AdjustDPIKeepsTheAlphaChannel) {
    FillPicture(C.Bitmap(), 40, 20, vl24RGB, true);
    C.IO.IOParams().Width = 40;
    C.IO.IOParams().Height = 20;
    C.IO.IOParams().DpiX = 100;
    C.IO.IOParams().DpiY = 50;
    C.IO.AdjustDPI();
    ASSERT_EQ(C.Bitmap().GetHeight(), 40);
    ASSERT_TRUE(C.Bitmap().HasAlphaChannel());
    EXPECT_EQ(C.Bitmap().GetAlphaChannel()->GetHeight(), 40);
    EXPECT_EQ(C.Bitmap().GetAlphaPixel(5, 2), uint8_t(5 * 7 + 1 * 3));
    EXPECT_FALSE(C.Bitmap().GetAlphaChannel()->Full) << "a later save would drop the alpha";
}

TEST_F(IOStream, AdjustBitmapDPIReturnsANewBitmapOrTheSameOne) {
    TVLBitmap source;
    FillPicture(source, 1000, 500, vl8g);
    TIOParamsVals params(nullptr);
    params.Width = 1000;
    params.Height = 500;
    params.SetDpiX(200);
    params.SetDpiY(100);
    std::unique_ptr<TVLBitmap> result(AdjustBitmapDPI(source, params, false));
    ASSERT_NE(result.get(), &source);
    EXPECT_EQ(result->GetHeight(), 1000);
    EXPECT_EQ(params.DpiY, 200);
    EXPECT_EQ(AdjustBitmapDPI(source, params, true), &source) << "already square";
}

TEST_F(IOStream, CheckDPIFillsInTheDefaults) {
    C.IO.IOParams().DpiX = 1;
    C.IO.IOParams().DpiY = 72;
    C.IO.CheckDPI();
    EXPECT_EQ(C.IO.IOParams().DpiX, DefaultDpiX);
    EXPECT_EQ(C.IO.IOParams().DpiY, 72);
}

} // namespace
