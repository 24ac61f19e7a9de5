// The per-format entry points and loading and saving by name: round trips against Pillow and
// ImageMagick, the safe replacement of the target, the JPEG savers' metadata read by exiftool,
// and the dispatch of formats without a codec.
#include "imaging/io/VistrelIOFormats.h"

#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VistrelIOFile.h"
#include "imaging/io/VistrelIOStream.h"
#include "tests/imaging/io/IOComponentSupport.h"


namespace {

using enum TVLPixelFormat;
namespace fs = std::filesystem;

class IOFormats : public ::testing::Test {
protected:
    void SetUp() override { BuildFileFormatRegistry(); }
    TScratch Dir;
    TCountingIO C;
};

struct TRoundTrip {
    const char* Name;
    const char* Extension;
    TVLPixelFormat Format;
    bool Alpha;
    int32_t SamplesPerPixel;
    int32_t Tolerance;
};

TEST_F(IOFormats, RoundTripsByNameAgreeWithPillow) {
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    const TRoundTrip cases[] = {
        {"rgb", "png", vl24RGB, false, 3, 0},   {"grey", "png", vl8g, false, 1, 0},
        {"palette", "png", vl8p, false, 1, 0},  {"rgba", "PNG", vl24RGB, true, 3, 0},
        {"rgb", "jpg", vl24RGB, false, 3, 12},  {"grey", "jpeg", vl8g, false, 1, 12},
        {"rgb", "bmp", vl24RGB, false, 3, 0},   {"palette", "dib", vl8p, false, 1, 0},
        {"rgb", "ppm", vl24RGB, false, 3, 0},   {"grey", "pgm", vl8g, false, 1, 0},
        {"grey", "pbm", vl8g, false, 1, 0},   {"rgb", "psd", vl24RGB, false, 3, 0},
        {"grey", "psd", vl8g, false, 1, 0},
        {"rgb", "pcx", vl24RGB, false, 3, 0},   {"rgba", "tga", vl24RGB, true, 3, 0},
    };
    for (const TRoundTrip& c : cases) {
        SCOPED_TRACE(std::string(c.Name) + "." + c.Extension);
        TVLBitmap original;
        FillPicture(original, 37, 23, c.Format, c.Alpha);
        C.Bitmap().Assign(&original);
        C.IO.IOParams().SamplesPerPixel = c.SamplesPerPixel;
        C.IO.IOParams().JpegQuality = 95;
        const std::string file = Dir.File(std::string(c.Name) + "." + c.Extension);
        C.IO.SaveToFile(Wide(file));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(PixelsRGBA(C.Bitmap()), PixelsRGBA(original)) << "the saver changed the image";
        // A grey picture is kept grey whatever the PNM extension.
        if (c.Format == vl8g && c.Extension[0] == 'p' && c.Extension[2] == 'm') {
            EXPECT_EQ(ReadFileBytes(file).at(1), '5');
        }

        TBytes pillow;
        int32_t w = 0, h = 0;
        ASSERT_TRUE(PillowRGBA(Dir, file, pillow, w, h));
        EXPECT_EQ(w, 37);
        EXPECT_EQ(h, 23);
        const TBytes ours = PixelsRGBA(original);
        EXPECT_LE(MaxDifference(pillow, ours), c.Tolerance);

        C.Bitmap().FreeImage(true);
        C.IO.LoadFromFile(Wide(file));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(C.IO.IOParams().Width, 37);
        EXPECT_EQ(C.IO.IOParams().Height, 23);
        EXPECT_EQ(C.IO.IOParams().FileName, Wide(file));
        const std::string ext = c.Extension;
        EXPECT_EQ(C.IO.IOParams().FileType, ext == "jpg" || ext == "jpeg" ? ffJPEG
                                            : ext == "bmp" || ext == "dib" ? ffBMP
                                            : ext[0] == 'p' && ext[2] == 'm' ? ffPXM
                                            : ext == "psd"                   ? ffPSD
                                            : ext == "pcx"                   ? ffPCX
                                            : ext == "tga"                   ? ffTGA
                                                                             : ffPNG);
        EXPECT_LE(MaxDifference(PixelsRGBA(C.Bitmap()), pillow), c.Tolerance == 0 ? 0 : 2);
    }
}

// Raw pixels go into the bitmap as prepared, with file type 21; WBMP and PNM pass through the
// stream dispatch by id and the parameters-only reads.
TEST_F(IOFormats, RawPixelsWbmpAndPnmThroughTheComponent) {
    ASSERT_TRUE(C.Bitmap().Allocate(2, 1, vl24RGB));
    const std::string raw = Dir.File("pixels.raw");
    WriteFileBytes(raw, std::string("\x01\x02\x03\x04\x05\x06", 6));
    C.IO.LoadFromFileRawPixels(Wide(raw));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_EQ(C.IO.IOParams().FileType, ffRawPixels);
    EXPECT_EQ(C.IO.IOParams().FileName, Wide(raw));
    EXPECT_EQ(PixelsRGBA(C.Bitmap()), (TBytes{1, 2, 3, 255, 4, 5, 6, 255}));

    C.IO.IOParams().RawPixelsRowAlign = 0;
    TMemoryStream rawStream;
    rawStream.WriteBuffer("\x01\x02\x03\x04\x05\x06", 6);
    rawStream.SetPosition(0);
    C.IO.LoadFromStreamRawPixels(rawStream);
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);

    for (const TVLFileFormatId id : {ffWBMP, ffPXM}) {
        SCOPED_TRACE(id);
        FillPicture(C.Bitmap(), 20, 7, vl24RGB);
        C.IO.IOParams().BitsPerSample = 8;
        C.IO.IOParams().SamplesPerPixel = 3;
        TMemoryStream stream;
        C.IO.SaveToStreamFormat(stream, id);
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        stream.SetPosition(0);
        C.IO.ParamsFromStreamFormat(stream, id);
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.IO.IOParams().FileType, id);
        EXPECT_EQ(C.IO.IOParams().Width, 20);
        EXPECT_EQ(C.IO.IOParams().Height, 7);
        EXPECT_EQ(C.TakeFinishes(), 1);
        C.Bitmap().FreeImage(true);
        stream.SetPosition(0);
        C.IO.LoadFromStreamFormat(stream, id);
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(C.IO.IOParams().FileType, id);
        EXPECT_EQ(C.Bitmap().GetWidth(), 20);
        EXPECT_EQ(C.Bitmap().GetPixelFormat(), id == ffWBMP ? vl1g : vl24RGB);
    }
}

TEST_F(IOFormats, Jpeg2000RoundTripsByNameAgreeWithOpenJpegTools) {
    if (!ToolExists("opj_decompress")) SV_SKIP_WITHOUT_REFERENCE("opj_decompress");
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    struct TCase {
        const char* Name;
        TVLPixelFormat Format;
        bool Alpha;
        TVLJ2000ColorSpace Space;
    };
    const TCase cases[] = {{"grey.jp2", vl8g, false, j2GrayScale},
                           {"grey.j2k", vl8g, false, j2GrayScale},
                           {"rgb.jp2", vl24RGB, false, j2RGB},
                           {"rgb.j2c", vl24RGB, false, j2RGB},
                           {"rgba.jp2", vl24RGB, true, j2RGB}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TVLBitmap original;
        FillPicture(original, 29, 19, c.Format, c.Alpha);
        C.Bitmap().Assign(&original);
        C.IO.IOParams().J2000ColorSpace = c.Space;
        const std::string file = Dir.File(c.Name);
        C.IO.SaveToFile(Wide(file));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(C.IO.IOParams().FileType, std::string(c.Name).find(".jp2") != std::string::npos
                                                 ? ffJP2
                                                 : ffJ2K);
        EXPECT_EQ(PixelsRGBA(C.Bitmap()), PixelsRGBA(original)) << "the saver changed the image";

        const std::string decoded = file + ".png";
        std::string out;
        ASSERT_TRUE(RunTool("opj_decompress -i '" + file + "' -o '" + decoded + "'", out));
        TBytes reference;
        int32_t w = 0, h = 0;
        ASSERT_TRUE(PillowRGBA(Dir, decoded, reference, w, h));
        EXPECT_EQ(reference, PixelsRGBA(original)) << "lossless at rate 1";

        C.Bitmap().FreeImage(true);
        C.IO.LoadFromFile(Wide(file));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(C.IO.IOParams().Width, 29);
        EXPECT_EQ(C.IO.IOParams().FileName, Wide(file));
        // The adapter reads colour only: an opacity component is not brought back.
        TBytes loaded = PixelsRGBA(C.Bitmap());
        if (c.Alpha)
            for (size_t i = 3; i < reference.size(); i += 4)
                reference[i] = 255;
        EXPECT_EQ(loaded, reference);
        TMemoryStream stream;
        C.IO.SaveToStreamFormat(stream, C.IO.IOParams().FileType);
        EXPECT_EQ(C.TakeFinishes(), 1);
        stream.SetPosition(0);
        EXPECT_EQ(DetectStreamFormat(stream), C.IO.IOParams().FileType);
    }
}

TEST_F(IOFormats, ForeignFilesLoadAsImageMagickDecodesThem) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    for (const char* name : {"a.jpg", "b.png"}) {
        SCOPED_TRACE(name);
        const std::string file = Dir.File(name);
        std::string ignored;
        ASSERT_TRUE(RunTool("convert -size 31x17 gradient:red-blue -quality 90 '" + file + "'",
                            ignored));
        ASSERT_TRUE(RunTool("convert '" + file + "' -depth 8 rgba:-", ignored));
        TBytes magick(ignored.begin(), ignored.end());
        C.IO.LoadFromFile(Wide(file));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_LE(MaxDifference(PixelsRGBA(C.Bitmap()), magick), 2);
    }
}

TEST_F(IOFormats, ASixteenBitGreyWorkingBitmapIsUnchangedByAJpegSave) {
    FillPicture(C.Bitmap(), 20, 10, vl16g);
    TVLBitmap before;
    before.Assign(&C.Bitmap());
    TMemoryStream stream;
    C.IO.SaveToStreamJPEG(stream);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_GT(stream.GetSize(), 100);
    C.IO.SaveToFile(Wide(Dir.File("grey16.jpg")));
    EXPECT_FALSE(C.IO.AbortingFlag);
    ASSERT_EQ(C.Bitmap().GetPixelFormat(), vl16g);
    for (int32_t x = 0; x < 20; ++x)
        EXPECT_EQ(C.Bitmap().GetPixel16(x, 3), before.GetPixel16(x, 3));
}

// ---- Safe replacement -----------------------------------------------------------------------

// A writer that puts some bytes out and then fails.
void FailingWriter(TStream& Stream, TVLBitmap&, TIOParamsVals&, TVLProgressRecord& Progress) {
    Stream.WriteBuffer("partial", 7);
    Progress.Abort();
}

void ThrowingWriter(TStream& Stream, TVLBitmap&, TIOParamsVals&, TVLProgressRecord&) {
    Stream.WriteBuffer("partial", 7);
    throw EWriteError(u"disk full");
}

void RegisterWriter(TVLFileFormatId Id, const char* Ext, TVLFormatWriter Writer) {
    auto row = std::make_unique<TVLFileFormatInfo>();
    row->FormatId = Id;
    row->DisplayName = u"test";
    row->ExtensionList = Wide(Ext);
    row->Writer = Writer;
    RegisterFileFormat(std::move(row));
}

size_t FilesIn(const fs::path& Folder) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(Folder), {}));
}

TEST_F(IOFormats, AFailedWriteLeavesTheTargetByteIdentical) {
    RegisterWriter(100, "FAILX", FailingWriter);
    RegisterWriter(101, "THROWX", ThrowingWriter);
    FillPicture(C.Bitmap(), 8, 8, vl24RGB);
    const fs::path folder = fs::path(Dir.File("save"));
    fs::create_directories(folder);
    for (const char* name : {"t.failx", "t.throwx"}) {
        SCOPED_TRACE(name);
        const std::string target = (folder / name).string();
        WriteBytes(target, TBytes{1, 2, 3, 4, 5});
        if (std::string(name) == "t.failx") {
            C.IO.SaveToFile(Wide(target));
        } else {
            EXPECT_THROW(C.IO.SaveToFile(Wide(target)), EWriteError);
        }
        EXPECT_TRUE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(ReadFileBytes(target), (TBytes{1, 2, 3, 4, 5}));
        EXPECT_EQ(FilesIn(folder), 1u) << "a temporary file was left";
        fs::remove(target);
    }
}

TEST_F(IOFormats, AReadOnlyFolderKeepsTheTargetAndGetsNoFile) {
    FillPicture(C.Bitmap(), 8, 8, vl24RGB);
    const fs::path folder = fs::path(Dir.File("ro"));
    fs::create_directories(folder);
    const std::string target = (folder / "t.png").string();
    WriteBytes(target, TBytes{9, 9, 9});
    fs::permissions(folder, fs::perms(0555));
    if (std::ofstream(folder / "probe").is_open()) {
        fs::remove(folder / "probe");
        fs::permissions(folder, fs::perms(0755));
        GTEST_SKIP() << "this user writes into read-only folders";
    }
    EXPECT_THROW(C.IO.SaveToFile(Wide(target)), EFCreateError);
    fs::permissions(folder, fs::perms(0755));
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_EQ(ReadFileBytes(target), (TBytes{9, 9, 9}));
    EXPECT_EQ(FilesIn(folder), 1u);
}

TEST_F(IOFormats, SavingWithoutAnImageCreatesNothing) {
    C.IO.SetAttachedBitmap(nullptr);
    const std::string target = Dir.File("none.jpg");
    C.IO.SaveToFile(Wide(target));
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(IOFormats, SavesWriteThroughLinksAndKeepPermissions) {
    FillPicture(C.Bitmap(), 8, 8, vl24RGB);
    const std::string real = Dir.File("real.png");
    const std::string link = Dir.File("link.png");
    WriteBytes(real, TBytes{1});
    fs::permissions(real, fs::perms(0640));
    fs::create_symlink("real.png", link);
    C.IO.SaveToFile(Wide(link));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_GT(fs::file_size(real), 8u);
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
}

TEST_F(IOFormats, BmpStreamsAreDetectedAndKeepTheirAlphaWhenAskedTo) {
    TVLBitmap original;
    FillPicture(original, 19, 11, vl24RGB, true);
    C.Bitmap().Assign(&original);
    C.IO.IOParams().BmpWriteAlpha = true;
    TMemoryStream stream;
    C.IO.SaveToStreamFormat(stream, ffBMP);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    const TBytes bytes = StreamBytes(stream);

    C.Bitmap().FreeImage(true);
    C.IO.LoadFromBuffer(bytes.data(), static_cast<int32_t>(bytes.size()), 0);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_EQ(C.IO.IOParams().FileType, ffBMP);
    EXPECT_EQ(PixelsRGBA(C.Bitmap()), PixelsRGBA(original));

    // Without BmpWriteAlpha the fourth bytes are not alpha.
    C.IO.IOParams().BmpWriteAlpha = false;
    stream.SetPosition(0);
    C.IO.LoadFromStream(stream);
    EXPECT_FALSE(C.Bitmap().HasAlphaChannel());

    C.Bitmap().FreeImage(true);
    stream.SetPosition(0);
    C.IO.ParamsFromStream(stream);
    EXPECT_EQ(C.TakeFinishes(), 2);
    EXPECT_EQ(C.IO.IOParams().FileType, ffBMP);
    EXPECT_EQ(C.IO.IOParams().Width, 19);
    EXPECT_EQ(C.IO.IOParams().Height, 11);
    EXPECT_EQ(C.IO.IOParams().SamplesPerPixel, 4);
    EXPECT_TRUE(C.Bitmap().IsEmpty()) << "a parameters-only read leaves the bitmap alone";

    const TBytes broken = {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    C.IO.LoadFromBuffer(broken.data(), static_cast<int32_t>(broken.size()), ffBMP);
    EXPECT_TRUE(C.IO.AbortingFlag);
}

TEST_F(IOFormats, GifFilesAndStreamsRoundTripWithTheirParameters) {
    C.IO.IOParams().GifLZWDecompress = GifLZWDecode;
    C.IO.IOParams().GifLZWCompress = GifLZWEncode;
    TVLBitmap original;
    FillPicture(original, 23, 13, vl8p);
    original.PaletteUsed = 16;
    C.Bitmap().Assign(&original);
    C.IO.IOParams().BitsPerSample = 4;
    C.IO.IOParams().NativePixelFormat = true;
    const std::string file = Dir.File("a.gif");
    C.IO.SaveToFile(Wide(file));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);

    C.Bitmap().FreeImage(true);
    C.IO.LoadFromFile(Wide(file));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_EQ(C.IO.IOParams().FileType, ffGIF);
    EXPECT_EQ(C.IO.IOParams().FileName, Wide(file));
    EXPECT_EQ(C.Bitmap().GetPixelFormat(), vl8p);
    EXPECT_EQ(PixelsRGBA(C.Bitmap()), PixelsRGBA(original));

    TMemoryStream stream;
    C.IO.SaveToStreamFormat(stream, ffGIF);
    C.TakeFinishes();
    stream.SetPosition(0);
    C.IO.ParamsFromStream(stream);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_EQ(C.IO.IOParams().FileType, ffGIF);
    EXPECT_EQ(C.IO.IOParams().Width, 23);
    EXPECT_EQ(C.IO.IOParams().BitsPerSample, 4);
    EXPECT_EQ(C.IO.IOParams().ImageCount, 1);

    stream.SetPosition(0);
    C.Bitmap().FreeImage(true);
    C.IO.LoadFromStream(stream);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(PixelsRGBA(C.Bitmap()), PixelsRGBA(original));
}

// ---- Formats without a codec here -----------------------------------------------------------

TEST_F(IOFormats, ExtensionsWithoutAWriterCreateNothingAndReportFailure) {
    FillPicture(C.Bitmap(), 8, 8, vl24RGB);
    struct TCase {
        const char* Name;
        TVLFileFormatId SaverId;
        int32_t Finishes;
    };
    // The vector formats and a layers file without a view have no writer; an unknown extension
    // is refused before any report.
    const TCase cases[] = {{"a.vlv", ffVect, 1},
                           {"a.lyr", ffLayers, 1},
                           {"a.all", ffLayersObjects, 1},
                           {"a.xyz", 0, 0}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(SaverFormatOfExtension(Wide(c.Name).substr(2)), c.SaverId);
        C.IO.AbortingFlag = false;
        C.IO.SaveToFile(Wide(Dir.File(c.Name)));
        EXPECT_TRUE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), c.Finishes);
        EXPECT_FALSE(fs::exists(Dir.File(c.Name)));
    }
}

// ".pix" and ".win" save Targa, ".dcx" a one-page container: ImageMagick reads each as the
// picture saved, and the component loads it back by name.
TEST_F(IOFormats, PcxDcxAndTargaSavesImageMagickReads) {
    if (!ToolExists("convert")) SV_SKIP_WITHOUT_REFERENCE("ImageMagick convert");
    TVLBitmap original;
    FillPicture(original, 13, 7, vl24RGB);
    struct TCase {
        const char* Name;
        const char* Coder;
        TVLFileFormatId Saver;
    };
    const TCase cases[] = {{"a.pcx", "pcx", ffPCX},
                           {"a.pix", "tga", ffTGA},
                           {"a.win", "tga", ffTGA},
                           {"a.tga", "tga", ffTGA},
                           {"a.dcx", "dcx", ffDCX}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(SaverFormatOfExtension(Wide(c.Name).substr(2)), c.Saver);
        C.Bitmap().Assign(&original);
        C.IO.IOParams().SamplesPerPixel = 3;
        C.IO.SaveToFile(Wide(Dir.File(c.Name)));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(C.IO.IOParams().FileType, c.Saver);
        std::string rgba;
        ASSERT_TRUE(RunTool(std::string("convert '") + c.Coder + ":" + Dir.File(c.Name) +
                                "' -depth 8 rgba:-",
                            rgba));
        EXPECT_EQ(TBytes(rgba.begin(), rgba.end()), PixelsRGBA(original));
        // ".win" is saved as Targa, but no registry row loads it.
        if (std::string(c.Name) == "a.win") continue;
        C.Bitmap().FreeImage(true);
        C.IO.LoadFromFile(Wide(Dir.File(c.Name)));
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(PixelsRGBA(C.Bitmap()), PixelsRGBA(original));
    }
}

// The stream forms: a "PCX2" header around the data, pages of a DCX stream, Targa alpha.
TEST_F(IOFormats, PcxDcxAndTargaStreams) {
    TVLBitmap original;
    FillPicture(original, 11, 5, vl24RGB, true);
    C.Bitmap().Assign(&original);
    TMemoryStream two;
    C.IO.StreamHeaders = true;
    C.IO.SaveToStreamPCX(two);
    C.IO.SaveToStreamPCX(two);
    EXPECT_FALSE(C.IO.AbortingFlag);
    const TBytes bytes = StreamBytes(two);
    ASSERT_GT(bytes.size(), 12u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "PCX2");
    two.SetPosition(0);
    for (int32_t i = 0; i < 2; ++i) {
        C.Bitmap().FreeImage(true);
        C.IO.LoadFromStreamPCX(two);
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.IO.IOParams().FileType, ffPCX);
        EXPECT_EQ(C.Bitmap().GetWidth(), 11);
    }
    EXPECT_EQ(two.GetPosition(), two.GetSize());
    // The older header: "PCX" and a zero byte before the data.
    TMemoryStream plain;
    C.IO.StreamHeaders = false;
    C.IO.SaveToStreamPCX(plain);
    TMemoryStream old;
    old.WriteBuffer("PCX\0", 4);
    old.WriteBuffer(plain.Memory(), plain.GetSize());
    old.SetPosition(0);
    C.IO.StreamHeaders = true;
    C.IO.LoadFromStreamPCX(old);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.Bitmap().GetWidth(), 11);
    // Without a header the loader refuses the data.
    plain.SetPosition(0);
    C.IO.LoadFromStreamPCX(plain);
    EXPECT_TRUE(C.IO.AbortingFlag);
    C.IO.StreamHeaders = false;
    C.TakeFinishes();

    // A DCX save replaces what the stream held; parameters and pages read back.
    TMemoryStream dcx;
    dcx.WriteBuffer("old content", 11);
    C.Bitmap().Assign(&original);
    C.IO.SaveToStreamFormat(dcx, ffDCX);
    EXPECT_FALSE(C.IO.AbortingFlag);
    dcx.SetPosition(0);
    EXPECT_EQ(DetectStreamFormat(dcx), ffDCX);
    C.IO.ParamsFromStreamFormat(dcx, ffDCX);
    EXPECT_EQ(C.IO.IOParams().FileType, ffDCX);
    EXPECT_EQ(C.IO.IOParams().Width, 11);
    dcx.SetPosition(0);
    C.IO.LoadFromStream(dcx);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.IO.IOParams().FileType, ffDCX);

    // Targa keeps the alpha channel.
    TMemoryStream tga;
    C.Bitmap().Assign(&original);
    C.IO.SaveToStreamFormat(tga, ffTGA);
    tga.SetPosition(0);
    C.Bitmap().FreeImage(true);
    C.IO.LoadFromStream(tga);
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.IO.IOParams().FileType, ffTGA);
    EXPECT_EQ(PixelsRGBA(C.Bitmap()), PixelsRGBA(original));
    tga.SetPosition(0);
    C.IO.ParamsFromStream(tga);
    EXPECT_EQ(C.IO.IOParams().FileType, ffTGA);
    TMemoryStream pcx;
    C.IO.SaveToStreamFormat(pcx, ffPCX);
    pcx.SetPosition(0);
    C.IO.ParamsFromStream(pcx);
    EXPECT_EQ(C.IO.IOParams().FileType, ffPCX);
    EXPECT_EQ(C.IO.IOParams().Height, 5);
}

TEST_F(IOFormats, LoadsWithoutAReaderReportFailureOnce) {
    FillPicture(C.Bitmap(), 4, 4, vl24RGB);
    const TBytes before = PixelsRGBA(C.Bitmap());
    // The address is one nothing answers at, on the loopback address.
    for (const char* name : {"x.ps", "x.txt", "x.gif", "x.avi", "http://127.0.0.1:1/a.png"}) {
        SCOPED_TRACE(name);
        const std::string file = std::string(name).rfind("http", 0) == 0 ? name : Dir.File(name);
        if (file[0] == '/') WriteBytes(file, TBytes{1, 2, 3});
        C.IO.AbortingFlag = false;
        C.IO.LoadFromFile(Wide(file));
        EXPECT_TRUE(C.IO.AbortingFlag);
        EXPECT_EQ(C.TakeFinishes(), 1);
        EXPECT_EQ(PixelsRGBA(C.Bitmap()), before);
    }
    C.IO.LoadFromFileFormat(Wide(Dir.File("x.gif")), ffAVI);
    EXPECT_EQ(C.TakeFinishes(), 0) << "an id without a row does nothing";
}

TEST_F(IOFormats, TheLoaderOfTheExtensionFailsOnOtherContentAndAutoFindsIt) {
    TVLBitmap original;
    FillPicture(original, 16, 16, vl24RGB);
    C.Bitmap().Assign(&original);
    C.IO.SaveToFile(Wide(Dir.File("real.jpg")));
    C.TakeFinishes();
    fs::copy_file(Dir.File("real.jpg"), Dir.File("named.png"));
    C.IO.LoadFromFile(Wide(Dir.File("named.png")));
    EXPECT_TRUE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    C.IO.LoadFromFileAuto(Wide(Dir.File("named.png")));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.TakeFinishes(), 1);
    EXPECT_EQ(C.IO.IOParams().FileType, ffJPEG);
    EXPECT_EQ(C.Bitmap().GetWidth(), 16);
}

// ---- JPEG metadata --------------------------------------------------------------------------

// A Photoshop APP13 payload with one resolution resource (empty name) at 72 dpi.
TBytes PhotoshopResolutionBlock(uint16_t NameLength = 0, uint32_t ResourceSize = 16) {
    TBytes b = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0};
    const TBytes resource = {'8', 'B', 'I', 'M', 0x03, 0xED};
    b.insert(b.end(), resource.begin(), resource.end());
    b.push_back(uint8_t(NameLength >> 8));
    b.push_back(uint8_t(NameLength));
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(uint8_t(ResourceSize >> s));
    const TBytes res72 = {0, 72, 0, 0, 0, 1, 0, 1, 0, 72, 0, 0, 0, 1, 0, 1};
    b.insert(b.end(), res72.begin(), res72.end());
    return b;
}

TEST_F(IOFormats, TheResolutionPatchSkipsResourcesThatDoNotFit) {
    struct TCase {
        const char* Name;
        uint16_t NameLength;
        uint32_t Size;
        bool Patched;
    };
    const TCase cases[] = {{"plain", 0, 16, true},
                           {"name past the marker", 0xFFFF, 16, false},
                           {"size past the marker", 0, 0xFFFFFFFF, true},
                           {"short resource", 0, 8, false}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TIOParamsVals params(nullptr);
        TBytes block = PhotoshopResolutionBlock(c.NameLength, c.Size);
        if (c.NameLength != 0) block.resize(block.size() - 10); // the name cannot fit
        params.JpegMarkers.AddMarker(0xED, block.data(), uint16_t(block.size()));
        params.DpiX = 300;
        params.DpiY = 150;
        EXPECT_EQ(PatchJpegResolution(params), c.Patched);
        EXPECT_EQ(params.JpegMarkers.GetMarkerLength(0), int32_t(block.size()));
    }
}

TEST_F(IOFormats, JpegSavesCarryIptcXmpAndTheNewResolution) {
    if (!ToolExists("exiftool")) SV_SKIP_WITHOUT_REFERENCE("exiftool");
    // A file with a Photoshop resolution resource of 72 dpi, as another program writes it.
    FillPicture(C.Bitmap(), 24, 16, vl24RGB);
    const std::string resolution = Dir.File("resolution.jpg");
    C.IO.SaveToFile(Wide(resolution));
    std::string out;
    // The APP13 marker goes right after the start of image.
    const std::string blockFile = Dir.File("block.bin");
    WriteBytes(blockFile, PhotoshopResolutionBlock());
    ASSERT_TRUE(Dir.Python("import sys, struct\n"
                           "jpg = open(sys.argv[1], 'rb').read()\n"
                           "block = open(sys.argv[2], 'rb').read()\n"
                           "app13 = b'\\xff\\xed' + struct.pack('>H', len(block) + 2) + block\n"
                           "open(sys.argv[1], 'wb').write(jpg[:2] + app13 + jpg[2:])\n",
                           "'" + resolution + "' '" + blockFile + "'", out));
    ASSERT_TRUE(RunTool("exiftool -s -s -s -Photoshop:XResolution '" + resolution + "'", out));
    ASSERT_EQ(out, "72\n");
    C.IO.LoadFromFile(Wide(resolution));
    ASSERT_FALSE(C.IO.AbortingFlag);
    TIOParamsVals& params = C.IO.IOParams();
    ASSERT_GE(params.JpegMarkers.IndexOf(0xED), 0);
    params.SetDpiX(300);
    params.SetDpiY(200);
    C.IO.SaveToFile(Wide(resolution));
    ASSERT_FALSE(C.IO.AbortingFlag);
    ASSERT_TRUE(RunTool("exiftool -s -s -s -Photoshop:XResolution -Photoshop:YResolution '" +
                            resolution + "'",
                        out));
    EXPECT_EQ(out, "300\n200\n");

    // A changed IPTC list and an XMP packet are written as their markers.
    const std::string caption = "A caption from the viewer";
    params.IPTCInfo.AddItem(2, 120, int32_t(caption.size()), caption.data());
    params.XmpInfo = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                     "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                     "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
                     "<dc:format>image/jpeg</dc:format></rdf:Description></rdf:RDF></x:xmpmeta>";
    const std::string meta = Dir.File("meta.jpg");
    C.IO.SaveToFile(Wide(meta));
    ASSERT_FALSE(C.IO.AbortingFlag);
    ASSERT_TRUE(
        RunTool("exiftool -s -s -s -IPTC:Caption-Abstract -XMP-dc:Format '" + meta + "'", out));
    EXPECT_EQ(out, caption + "\nimage/jpeg\n");
    // Saving again replaces the XMP marker instead of adding a second one.
    C.IO.SaveToFile(Wide(meta));
    int32_t xmpMarkers = 0;
    for (int32_t i = 0; i < params.JpegMarkers.GetCount(); ++i)
        if (params.JpegMarkers.GetMarkerType(i) == 0xE1) ++xmpMarkers;
    EXPECT_EQ(xmpMarkers, 1);
}

TEST_F(IOFormats, StreamHeadersLetJpegsFollowOneAnother) {
    C.IO.StreamHeaders = true;
    TMemoryStream stream;
    for (int32_t w : {10, 20}) {
        FillPicture(C.Bitmap(), w, 5, vl24RGB);
        C.IO.SaveToStreamJPEG(stream);
        ASSERT_FALSE(C.IO.AbortingFlag);
    }
    const int64_t end = stream.GetSize();
    C.IO.StreamHeaders = false; // the loader finds the header by its content
    stream.SetPosition(0);
    EXPECT_EQ(DetectStreamFormat(stream), ffJPEG);
    C.TakeFinishes();
    for (int32_t w : {10, 20}) {
        C.IO.LoadFromStream(stream);
        EXPECT_FALSE(C.IO.AbortingFlag);
        EXPECT_EQ(C.Bitmap().GetWidth(), w);
        EXPECT_EQ(C.IO.IOParams().FileType, ffJPEG);
        EXPECT_TRUE(C.IO.IOParams().FileName.empty());
    }
    EXPECT_EQ(stream.GetPosition(), end);
    EXPECT_EQ(C.TakeFinishes(), 2);
}

// A save by a TIFF extension ("xif" belongs to the TIFF saver too) writes a file libtiff reads;
// the stream form puts a "TIFF" stream header before a file whose offsets count from its own
// start.
TEST_F(IOFormats, TiffSavesByNameAndToStreams) {
    if (!ToolExists("tiffinfo")) SV_SKIP_WITHOUT_REFERENCE("libtiff's tiffinfo");
    FillPicture(C.Bitmap(), 9, 7, vl24RGB);
    C.IO.SaveToFile(Wide(Dir.File("a.xif")));
    EXPECT_FALSE(C.IO.AbortingFlag);
    EXPECT_EQ(C.IO.IOParams().FileType, ffTIFF);
    std::string info;
    ASSERT_TRUE(RunTool("tiffinfo '" + Dir.File("a.xif") + "'", info));
    EXPECT_NE(info.find("Image Width: 9 Image Length: 7"), std::string::npos) << info;

    C.IO.StreamHeaders = true;
    TMemoryStream stream;
    stream.WriteBuffer("pad", 3);
    C.IO.SaveToStreamFormat(stream, ffTIFF);
    ASSERT_FALSE(C.IO.AbortingFlag);
    const auto* bytes = static_cast<const char*>(stream.Memory());
    EXPECT_EQ(std::string(bytes + 3, 4), "TIFF");
    const std::string tiff(bytes + 3 + 12, bytes + stream.GetSize());
    WriteFileBytes(Dir.File("s.tif"), tiff);
    ASSERT_TRUE(RunTool("tiffinfo '" + Dir.File("s.tif") + "'", info));
    EXPECT_NE(info.find("Image Width: 9 Image Length: 7"), std::string::npos) << info;
}

} // namespace

namespace {

// Pillow's mode of a file and the number of entries of its palette ("P 2", "1 0").
bool PillowModeAndPalette(const TScratch& Dir, const std::string& File, std::string& Out) {
    return Dir.Python("import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                      "p = im.getpalette()\nprint(im.mode, len(p) // 3 if p else 0)\n",
                      "'" + File + "'", Out);
}

} // namespace

// A picture of two colours saved with one bit per sample: black and white stay a bilevel file,
// any other pair becomes a two-entry palette, so that neither colour turns black or white.
TEST_F(IOFormats, TwoColourPicturesKeepTheirColoursWhenSavedWithOneBit) {
    if (PillowPython().empty()) SV_SKIP_WITHOUT_REFERENCE("python3 with Pillow");
    struct Case {
        const char* name;
        TVLRGB first, second;
        const char* pillowMode;
    };
    const Case cases[] = {
        {"red and blue", {0, 0, 255}, {255, 0, 0}, "P 2"},
        {"two greys", {60, 60, 60}, {200, 200, 200}, "P 2"},
        {"white and a dark green", {255, 255, 255}, {0, 90, 0}, "P 2"},
        {"black and white", {0, 0, 0}, {255, 255, 255}, "1 0"},
        {"white and black", {255, 255, 255}, {0, 0, 0}, "1 0"},
    };
    struct Saver {
        const char* extension;
        TVLTIFFCompression compression;
    };
    const Saver savers[] = {
        {".png", tcNone}, {".tif", tcNone}, {".tif", tcLZW}, {".tif", tcPackBits}};
    for (const Case& c : cases)
        for (const Saver& saver : savers)
            for (const TVLPixelFormat format : {vl24RGB, vl8p}) {
                SCOPED_TRACE(std::string(c.name) + " " + saver.extension + " compression " +
                             std::to_string(saver.compression) +
                             (format == vl8p ? " from a palette" : ""));
                ASSERT_TRUE(C.Bitmap().Allocate(13, 5, format));
                if (format == vl8p) {
                    C.Bitmap().SetPaletteColor(0, c.first);
                    C.Bitmap().SetPaletteColor(1, c.second);
                }
                for (int32_t y = 0; y < 5; ++y)
                    for (int32_t x = 0; x < 13; ++x) {
                        const bool second = (x * 3 + y) % 4 == 0;
                        if (format == vl8p)
                            C.Bitmap().GetScanline(y)[x] = second ? 1 : 0;
                        else
                            C.Bitmap().SetPixelRGB(x, y, second ? c.second : c.first);
                    }
                const TBytes expected = PixelsRGBA(C.Bitmap());
                TIOParamsVals& params = C.IO.IOParams();
                params.BitsPerSample = 1;
                params.SamplesPerPixel = 1;
                params.TiffCompression = saver.compression;
                params.TiffPhotometric = tpBlackIsZero;
                const std::string file = Dir.File(std::string("two") + saver.extension);
                C.IO.SaveToFile(Wide(file));
                ASSERT_FALSE(C.IO.AbortingFlag);
                TBytes pillow;
                int32_t w = 0, h = 0;
                ASSERT_TRUE(PillowRGBA(Dir, file, pillow, w, h));
                EXPECT_EQ(pillow, expected);
                std::string mode;
                ASSERT_TRUE(PillowModeAndPalette(Dir, file, mode));
                EXPECT_EQ(mode, std::string(c.pillowMode) + "\n");
                TCountingIO back;
                back.IO.LoadFromFile(Wide(file));
                ASSERT_FALSE(back.IO.AbortingFlag);
                EXPECT_EQ(PixelsRGBA(back.Bitmap()), expected);
            }
}
