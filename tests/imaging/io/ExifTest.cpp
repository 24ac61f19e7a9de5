// EXIF blocks against exiftool and ImageMagick: fields and thumbnails of tagged JPEGs, blocks the
// library writes, pictures turned upright by their orientation, TIFF headers inside other data,
// and damaged blocks.
#include "imaging/io/VLExif.h"

#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLMask.h"
#include "imaging/formats/tiff/VLTIFFReader.h"
#include "imaging/formats/tiff/VLTIFFWriter.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/io/VistrelIOFormats.h"
#include "tests/imaging/io/JpegTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace {

using enum TVLPixelFormat;

class Exif : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ToolExists("exiftool") || !ToolExists("convert") || !ToolExists("cjpeg"))
            SV_SKIP_WITHOUT_REFERENCE("exiftool, ImageMagick and cjpeg");
    }

    std::string File(const std::string& Name) const { return (Folder.Path() / Name).string(); }

    // exiftool's -n values of Tags, one line each.
    std::vector<std::string> ExiftoolValues(const std::string& Path, const std::string& Tags) {
        std::string out;
        RunTool("exiftool -n -s3 -f " + Tags + " '" + Path + "'", out);
        std::vector<std::string> values;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            values.push_back(line);
        return values;
    }

    // Reads a JPEG file as the I/O component does, with the orientation option.
    void ReadJpeg(const std::string& Path, TVLBitmap& Bitmap, TIOParamsVals& Params,
                  bool ParamsOnly = false) {
        TMemoryStream stream;
        LoadStream(stream, ReadFileBytes(Path));
        bool aborting = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborting;
        ReadJPEGStream(stream, nullptr, Bitmap, Params, progress, ParamsOnly, false, true, false,
                       true, true, -1, false);
        ASSERT_FALSE(aborting);
    }

    // Saves as the JPEG savers do: the metadata markers rebuilt, then the picture.
    void SaveJpeg(const std::string& Path, TVLBitmap& Bitmap, TIOParamsVals& Params) {
        RebuildJpegMetadata(Params, Bitmap);
        TMemoryStream stream;
        bool aborting = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborting;
        WriteJPEGStream(stream, Bitmap, Params, progress);
        ASSERT_FALSE(aborting);
        const auto* p = static_cast<const uint8_t*>(stream.Memory());
        WriteBytes(Path, std::vector<uint8_t>(p, p + stream.GetSize()));
    }

    ScratchFolder Folder;
};

// An asymmetric picture: every orientation gives a different one.
void WriteAsymmetricPhoto(const std::string& Path) {
    WriteSyntheticPhoto(Path, 40, 24);
}

TEST_F(Exif, TaggedJpegReadsAsExiftoolReports) {
    WriteAsymmetricPhoto(File("p.ppm"));
    RunCommand("cjpeg -quality 95 -outfile '" + File("p.jpg") + "' '" + File("p.ppm") + "'");
    RunCommand("convert -size 20x12 gradient:red-blue '" + File("t.jpg") + "'");
    std::string ignored;
    ASSERT_TRUE(
        RunTool("exiftool -q -overwrite_original -Make=Camera -Model='Model 7' -ExposureTime=0.004 "
                "-FNumber=2.8 -ISO=200 -ExposureCompensation=-0.7 -Orientation#=6 "
                "-XResolution=240 -YResolution=180 -ResolutionUnit=inches -GPSLatitude=48.5 "
                "-GPSLatitudeRef=N -GPSLongitude=2.25 -GPSLongitudeRef=W -GPSAltitude=35 "
                "'-ThumbnailImage<=" +
                    File("t.jpg") + "' '" + File("p.jpg") + "'",
                ignored));
    const auto v = ExiftoolValues(File("p.jpg"),
                                  "-Make -Model -ExposureTime -FNumber -ISO -ExposureCompensation "
                                  "-Orientation -XResolution -GPSLatitude -GPSLongitude "
                                  "-GPSAltitude");
    ASSERT_EQ(v.size(), 11u);
    TVLBitmap bitmap;
    TIOParamsVals params;
    ReadJpeg(File("p.jpg"), bitmap, params);
    EXPECT_TRUE(params.HasExif);
    EXPECT_EQ(params.ExifMake, v[0]);
    EXPECT_EQ(params.ExifModel, v[1]);
    EXPECT_DOUBLE_EQ(params.ExifExposureTime, std::stod(v[2]));
    EXPECT_DOUBLE_EQ(params.ExifFNumber, std::stod(v[3]));
    EXPECT_EQ(params.ExifISOSpeedRatings[0], std::stoi(v[4]));
    EXPECT_NEAR(params.ExifExposureBiasValue, std::stod(v[5]), 1e-6);
    EXPECT_EQ(params.ExifOrientation, std::stoi(v[6]));
    EXPECT_EQ(params.DpiX, 240) << "the JFIF density 1:1 gives way to the EXIF resolution";
    EXPECT_EQ(params.DpiY, 180);
    const double latitude = params.ExifGPSLatitude[0] + params.ExifGPSLatitude[1] / 60 +
                            params.ExifGPSLatitude[2] / 3600;
    const double longitude = params.ExifGPSLongitude[0] + params.ExifGPSLongitude[1] / 60 +
                             params.ExifGPSLongitude[2] / 3600;
    EXPECT_NEAR(latitude, std::stod(v[8]), 1e-6);
    EXPECT_NEAR(-longitude, std::stod(v[9]), 1e-6); // exiftool -n signs by the reference
    EXPECT_EQ(params.ExifGPSLongitudeRef, "W");
    EXPECT_NEAR(params.ExifGPSAltitude, std::stod(v[10]), 1e-6);
    // The thumbnail arrives upright: orientation 6 turns the 20 x 12 picture.
    ASSERT_TRUE(params.ExifThumbnail);
    EXPECT_EQ(params.ExifThumbnail->GetWidth(), 12);
    EXPECT_EQ(params.ExifThumbnail->GetHeight(), 20);
}

// Orientations 1 to 8 open as ImageMagick's -auto-orient shows them; the record then says 1, and
// a re-saved file says 1 too, so no reader turns it again. A parameters-only read turns nothing.
TEST_F(Exif, OrientationsOpenUprightAndAreSavedAsUpright) {
    WriteAsymmetricPhoto(File("p.ppm"));
    for (int32_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const std::string jpg = File("o" + std::to_string(orientation) + ".jpg");
        RunCommand("cjpeg -quality 90 -outfile '" + jpg + "' '" + File("p.ppm") + "'");
        RunCommand("exiftool -q -overwrite_original -Orientation#=" + std::to_string(orientation) +
                   " '" + jpg + "'");
        RunCommand("convert '" + jpg + "' -auto-orient '" + File("upright.ppm") + "'");
        const TPnm upright = ReadPnm(File("upright.ppm"));
        ASSERT_GT(upright.Width, 0);

        TVLBitmap bitmap;
        TIOParamsVals params;
        params.JpegAdjustOrientation = true;
        ReadJpeg(jpg, bitmap, params);
        EXPECT_EQ(CountDifferences(bitmap, upright), 0);
        EXPECT_EQ(params.ExifOrientation, 1);
        EXPECT_EQ(params.TiffOrientation, 1);

        SaveJpeg(File("resaved.jpg"), bitmap, params);
        EXPECT_EQ(ExiftoolValues(File("resaved.jpg"), "-Orientation"),
                  std::vector<std::string>{"1"});

        TVLBitmap unread;
        TIOParamsVals paramsOnly;
        paramsOnly.JpegAdjustOrientation = true;
        ReadJpeg(jpg, unread, paramsOnly, true);
        EXPECT_EQ(paramsOnly.ExifOrientation, orientation);
        EXPECT_TRUE(unread.IsEmpty());
    }
}

// The same for TIFF files: orientations 1 to 8 (set by exiftool) open with TiffAdjustOrientation
// as ImageMagick's -auto-orient shows them, the record says 1 and a re-saved file says 1.
TEST_F(Exif, TiffOrientationsOpenUprightAndAreSavedAsUpright) {
    WriteAsymmetricPhoto(File("p.ppm"));
    RunCommand("convert '" + File("p.ppm") + "' -compress none '" + File("p.tif") + "'");
    for (int32_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const std::string tif = File("o" + std::to_string(orientation) + ".tif");
        std::filesystem::copy_file(File("p.tif"), tif,
                                   std::filesystem::copy_options::overwrite_existing);
        RunCommand("exiftool -q -overwrite_original -Orientation#=" + std::to_string(orientation) +
                   " '" + tif + "'");
        RunCommand("convert '" + tif + "' -auto-orient '" + File("upright.ppm") + "'");
        const TPnm upright = ReadPnm(File("upright.ppm"));
        ASSERT_GT(upright.Width, 0);

        TMemoryStream stream;
        LoadStream(stream, ReadFileBytes(tif));
        TVLBitmap bitmap;
        TIOParamsVals params;
        params.TiffAdjustOrientation = true;
        bool aborting = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborting;
        std::unique_ptr<TVLMask> mask;
        int32_t pages = 0;
        ReadTIFFStream(bitmap, stream, pages, params, progress, false, mask, true, false, false);
        ASSERT_FALSE(aborting);
        EXPECT_EQ(CountDifferences(bitmap, upright), 0);
        EXPECT_EQ(params.TiffOrientation, 1);
        EXPECT_EQ(params.ExifOrientation, 1);

        TMemoryStream resaved;
        WriteTIFFStream(resaved, false, &bitmap, params, progress);
        ASSERT_FALSE(aborting);
        const auto* p = static_cast<const uint8_t*>(resaved.Memory());
        WriteBytes(File("resaved.tif"), std::vector<uint8_t>(p, p + resaved.GetSize()));
        const std::vector<std::string> written =
            ExiftoolValues(File("resaved.tif"), "-Orientation");
        EXPECT_TRUE(written == std::vector<std::string>{"1"} ||
                    written == std::vector<std::string>{"-"})
            << "orientation " << (written.empty() ? "" : written[0]);
    }
}

// A picture saved with a rebuilt EXIF block passes exiftool's validation; its thumbnail is
// stored turned back to the declared orientation and reads upright again.
TEST_F(Exif, WrittenBlockValidatesAndKeepsItsThumbnail) {
    TVLBitmap picture(48, 32, vl24RGB);
    picture.Fill(0x406080);
    TIOParamsVals params;
    params.HasExif = true;
    params.ExifMake = "Maker";
    params.ExifModel = "Model";
    params.ExifDateTime = "2024:05:06 07:08:09";
    params.ExifExposureTime = 0.01;
    params.ExifFNumber = 4;
    params.ExifExposureBiasValue = -0.7;
    params.SetExifOrientation(6);
    // What EXIF requires of a JPEG file beside the fields above.
    params.ExifFlashPixVersion = "0100";
    params.ExifColorSpace = 1;
    params.ExifPixelXDimension = 48;
    params.ExifPixelYDimension = 32;
    params.ExifYCbCrPositioning = 1;
    params.SetDpiX(300);
    params.SetDpiY(300);
    params.ExifGPSVersionID = "2.2.0.0";
    params.ExifGPSLatitudeRef = "N";
    params.ExifGPSLatitude = {48, 30, 0};
    params.ExifThumbnail = std::make_unique<TVLBitmap>(12, 20, vl24RGB);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 12; ++x)
            params.ExifThumbnail->SetPixelRGB(x, y, TVLRGB{0, uint8_t(y * 12), uint8_t(x * 20)});
    SaveJpeg(File("w.jpg"), picture, params);

    // ComponentsConfiguration has no field in the record, so the block cannot carry it.
    std::string report;
    RunTool("exiftool -validate -warning -a '" + File("w.jpg") + "'", report);
    EXPECT_NE(report.find("Validate                        : 1 Warning\n"), std::string::npos)
        << report;
    EXPECT_NE(report.find("Missing required JPEG ExifIFD tag 0x9101 ComponentsConfiguration"),
              std::string::npos)
        << report;
    EXPECT_EQ(ExiftoolValues(File("w.jpg"), "-Make -Orientation -ExposureCompensation"),
              (std::vector<std::string>{"Maker", "6", "-0.7"}));
    std::string thumbnail;
    RunTool("exiftool -b -ThumbnailImage '" + File("w.jpg") + "'", thumbnail);
    WriteFileBytes(File("t.jpg"), thumbnail);
    std::string size;
    RunTool("identify -format '%wx%h' '" + File("t.jpg") + "'", size);
    EXPECT_EQ(size, "20x12") << "stored as orientation 6 declares";

    TVLBitmap back;
    TIOParamsVals read;
    ReadJpeg(File("w.jpg"), back, read);
    ASSERT_TRUE(read.ExifThumbnail);
    EXPECT_EQ(read.ExifThumbnail->GetWidth(), 12);
    EXPECT_EQ(read.ExifThumbnail->GetHeight(), 20);
    const TVLRGB corner = read.ExifThumbnail->GetPixelRGB(11, 19);
    EXPECT_NEAR(corner.r, 220, 12);
    EXPECT_NEAR(corner.g, 228, 12);
}

// A turned picture saved as JPEG and as TIFF: libtiff and exiftool read every EXIF field without
// a complaint about its type (FileSource and SceneType are UNDEFINED bytes, the pixel dimensions
// LONG), and the pixel dimensions are the saved picture's, not those of the picture as read.
TEST_F(Exif, SavedFieldsHaveTheirExifTypesAndTheSavedSize) {
    if (!ToolExists("tiffinfo")) SV_SKIP_WITHOUT_REFERENCE("tiffinfo");
    TVLBitmap turned(24, 40, vl24RGB);
    turned.Fill(0x406080);
    TIOParamsVals params;
    params.HasExif = true;
    params.ExifMake = "Maker";
    params.ExifColorSpace = 1;
    params.ExifFileSource = 3;
    params.ExifSceneType = 1;
    params.ExifPixelXDimension = 40; // read from the picture before it was turned
    params.ExifPixelYDimension = 24;
    SaveJpeg(File("w.jpg"), turned, params);
    {
        TMemoryStream stream;
        bool aborting = false;
        TVLProgressRecord progress;
        progress.AbortFlag = &aborting;
        params.ExifPixelXDimension = 40;
        params.ExifPixelYDimension = 24;
        WriteTIFFStream(stream, false, &turned, params, progress);
        ASSERT_FALSE(aborting);
        const auto* p = static_cast<const uint8_t*>(stream.Memory());
        WriteBytes(File("w.tif"), std::vector<uint8_t>(p, p + stream.GetSize()));
    }

    std::string listing;
    RunTool("(tiffinfo '" + File("w.tif") + "' 2>&1)", listing);
    EXPECT_EQ(listing.find("Warning"), std::string::npos) << listing;
    for (const char* field : {"PixelXDimension: 24\n", "PixelYDimension: 40\n", "FileSource: 0x3\n",
                              "SceneType: 0x1\n"})
        EXPECT_NE(listing.find(field), std::string::npos) << field << listing;
    for (const char* name : {"w.jpg", "w.tif"}) {
        SCOPED_TRACE(name);
        std::string verbose;
        RunTool("(exiftool -v '" + File(name) + "' 2>&1)", verbose);
        EXPECT_EQ(verbose.find("Warning"), std::string::npos) << verbose;
        std::string report;
        RunTool("exiftool -validate -warning -a '" + File(name) + "'", report);
        EXPECT_EQ(report.find("Non-standard format"), std::string::npos) << report;
        EXPECT_EQ(ExiftoolValues(File(name), "-ExifImageWidth -ExifImageHeight -FileSource "
                                             "-SceneType"),
                  (std::vector<std::string>{"24", "40", "3", "1"}));
    }
    TVLBitmap back;
    TIOParamsVals read;
    ReadJpeg(File("w.jpg"), back, read);
    EXPECT_EQ(read.ExifFileSource, 3);
    EXPECT_EQ(read.ExifSceneType, 1);
    EXPECT_EQ(read.ExifPixelXDimension, 24);
    EXPECT_EQ(read.ExifPixelYDimension, 40);
}

// The thumbnail pass delivers the EXIF thumbnail as the picture, upright.
TEST_F(Exif, ThumbnailPassDeliversTheUprightThumbnail) {
    WriteAsymmetricPhoto(File("p.ppm"));
    RunCommand("cjpeg -outfile '" + File("p.jpg") + "' '" + File("p.ppm") + "'");
    RunCommand("convert -size 20x12 gradient:red-blue '" + File("t.jpg") + "'");
    RunCommand("exiftool -q -overwrite_original -Orientation#=8 '-ThumbnailImage<=" +
               File("t.jpg") + "' '" + File("p.jpg") + "'");
    TVLBitmap bitmap;
    TIOParamsVals params;
    params.SetLoadThumbnail(true);
    ReadJpeg(File("p.jpg"), bitmap, params);
    EXPECT_EQ(bitmap.GetWidth(), 12);
    EXPECT_EQ(bitmap.GetHeight(), 20);
    EXPECT_EQ(params.ExifOrientation, 1);
    EXPECT_TRUE(params.JpegLoadExifThumbnail);
    // Without a thumbnail the picture itself is read.
    RunCommand("cjpeg -outfile '" + File("q.jpg") + "' '" + File("p.ppm") + "'");
    TVLBitmap full;
    ReadJpeg(File("q.jpg"), full, params);
    EXPECT_EQ(full.GetWidth(), 40);
}

// A TIFF of the given pages (photos, or black where Blank), true colour and uncompressed, with
// Make and Orientation in its first directory; the bytes of the file.
struct TPage {
    int32_t Width;
    int32_t Height;
    bool Blank;
};

std::vector<uint8_t> PagesTiff(const std::string& Folder, const std::vector<TPage>& Pages,
                               int32_t Orientation) {
    std::string inputs;
    for (size_t i = 0; i < Pages.size(); ++i) {
        const std::string page = Folder + "/page" + std::to_string(i) + ".ppm";
        const TPage& p = Pages[i];
        if (p.Blank)
            RunCommand("convert -size " + std::to_string(p.Width) + "x" + std::to_string(p.Height) +
                       " xc:black '" + page + "'");
        else
            WriteSyntheticPhoto(page, p.Width, p.Height, static_cast<uint32_t>(i + 3));
        inputs += " '" + page + "'";
    }
    const std::string tiff = Folder + "/pages.tif";
    RunCommand("convert" + inputs + " -type TrueColor -compress none '" + tiff + "'");
    RunCommand("exiftool -q -overwrite_original -IFD0:Make=Cam -IFD0:Orientation#=" +
               std::to_string(Orientation) + " '" + tiff + "'");
    return ReadFileBytes(tiff);
}

// An EXIF block whose second directory is an uncompressed picture (not a JPEG datastream).
TEST_F(Exif, UncompressedThumbnailsAreReadAndTurnedUpright) {
    const std::vector<uint8_t> tiff =
        PagesTiff(Folder.Path().string(), {{30, 20, false}, {12, 20, false}}, 6);
    ASSERT_GT(tiff.size(), 8u);
    std::vector<uint8_t> block = {'E', 'x', 'i', 'f', 0, 0};
    block.insert(block.end(), tiff.begin(), tiff.end());
    TIOParamsVals params;
    ASSERT_TRUE(ReadExifBlock(block.data(), static_cast<int32_t>(block.size()), params));
    EXPECT_EQ(params.ExifMake, "Cam");
    EXPECT_EQ(params.TiffOrientation, 6);
    ASSERT_TRUE(params.ExifThumbnail);
    RunCommand("convert '" + File("page1.ppm") + "' -rotate 90 '" + File("upright.ppm") + "'");
    EXPECT_EQ(CountDifferences(*params.ExifThumbnail, ReadPnm(File("upright.ppm"))), 0);
    // A second directory above 400 pixels a side gives no thumbnail.
    const std::vector<uint8_t> large =
        PagesTiff(Folder.Path().string(), {{30, 20, false}, {410, 8, false}}, 1);
    block.resize(6);
    block.insert(block.end(), large.begin(), large.end());
    ASSERT_TRUE(ReadExifBlock(block.data(), static_cast<int32_t>(block.size()), params));
    EXPECT_TRUE(params.ExifThumbnail->IsEmpty());
}

// Camera raw files: the narrower picture of the first two images becomes the thumbnail.
TEST_F(Exif, CameraRawThumbnailIsTheNarrowerPicture) {
    struct TCase {
        std::vector<TPage> Pages;
        int32_t Expected; // index of the page that becomes the thumbnail, -1 for none
    };
    const TCase cases[] = {
        {{{64, 48, false}, {16, 12, false}}, 1},
        {{{16, 12, false}, {64, 48, false}}, 0},
        {{{64, 48, false}, {16, 12, true}}, 0}, // a blank preview is no picture
        {{{16, 12, true}, {64, 48, false}}, 1},
        {{{500, 20, false}, {16, 12, false}}, 1}, // above 400 pixels: refused
        {{{500, 20, false}, {450, 10, false}}, -1},
        {{{16, 12, false}, {16, 8, false}}, -1}, // one width
        {{{30, 20, false}}, 0},
    };
    const std::string junk = "raw file prefix";
    for (size_t n = 0; n < std::size(cases); ++n) {
        SCOPED_TRACE(n);
        const TCase& c = cases[n];
        const std::vector<uint8_t> tiff = PagesTiff(Folder.Path().string(), c.Pages, 1);
        TMemoryStream stream;
        stream.Write(junk.data(), static_cast<int32_t>(junk.size()));
        stream.Write(tiff.data(), static_cast<int32_t>(tiff.size()));
        stream.SetPosition(0);
        ASSERT_EQ(FindTiffHeader(stream), static_cast<int64_t>(junk.size()));
        stream.SetPosition(static_cast<int64_t>(junk.size()));
        TIOParamsVals params;
        EXPECT_TRUE(LoadCameraRawExif(stream, params));
        EXPECT_EQ(stream.GetPosition(), static_cast<int64_t>(junk.size()));
        EXPECT_TRUE(params.HasExif);
        EXPECT_EQ(params.ExifMake, "Cam");
        ASSERT_TRUE(params.ExifThumbnail);
        if (c.Expected < 0) {
            EXPECT_TRUE(params.ExifThumbnail->IsEmpty());
            continue;
        }
        const TPnm expected = ReadPnm(File("page" + std::to_string(c.Expected) + ".ppm"));
        EXPECT_EQ(CountDifferences(*params.ExifThumbnail, expected), 0);
    }
}

TEST(ExifBlock, ShortAndDamagedBlocksAreRefusedWithoutCrashing) {
    TIOParamsVals params;
    const uint8_t shortBlock[] = {'E', 'x', 'i', 'f', 0};
    EXPECT_FALSE(ReadExifBlock(shortBlock, 5, params));
    EXPECT_FALSE(ReadExifBlock(shortBlock, 0, params));
    EXPECT_FALSE(params.HasExif);
    // A block of our own, truncated and mutated at random: never a crash or a hang.
    TIOParamsVals source;
    source.HasExif = true;
    source.ExifMake = "Maker";
    source.ExifGPSVersionID = "2.2.0.0";
    source.ExifThumbnail = std::make_unique<TVLBitmap>(16, 8, vl24RGB);
    source.ExifThumbnail->Fill(0x808080);
    const std::vector<uint8_t> block = WriteExifBlock(source);
    TIOParamsVals whole;
    ASSERT_TRUE(ReadExifBlock(block.data(), static_cast<int32_t>(block.size()), whole));
    EXPECT_EQ(whole.ExifMake, "Maker");
    ASSERT_TRUE(whole.ExifThumbnail);
    EXPECT_EQ(whole.ExifThumbnail->GetWidth(), 16);
    std::mt19937 random(11);
    for (int32_t round = 0; round < 300; ++round) {
        std::vector<uint8_t> damaged = block;
        damaged.resize(6 + random() % (block.size() - 6));
        for (int32_t k = 0; k < 4 && damaged.size() > 6; ++k)
            damaged[6 + random() % (damaged.size() - 6)] = static_cast<uint8_t>(random());
        TIOParamsVals p;
        ReadExifBlock(damaged.data(), static_cast<int32_t>(damaged.size()), p);
    }
}

TEST(ExifBlock, JpegThumbnailsAbove400PixelsAreNotRead) {
    for (const int32_t width : {400, 401}) {
        SCOPED_TRACE(width);
        TIOParamsVals source;
        source.ExifThumbnail = std::make_unique<TVLBitmap>(width, 8, vl24RGB);
        source.ExifThumbnail->Fill(0x406080);
        const std::vector<uint8_t> block = WriteExifBlock(source);
        TIOParamsVals read;
        ASSERT_TRUE(ReadExifBlock(block.data(), static_cast<int32_t>(block.size()), read));
        ASSERT_TRUE(read.ExifThumbnail);
        EXPECT_EQ(read.ExifThumbnail->GetWidth(), width == 400 ? 400 : 0);
    }
}

TEST(ExifBlock, CopyTakesTheGroupAndTheTiffDescription) {
    TIOParamsVals source;
    source.TiffImageDescription = "from tag 270";
    source.ExifModel = "M";
    source.ExifOrientation = 3;
    source.ExifXResolution = 123.5;
    source.HasExif = true;
    TIOParamsVals dest;
    CopyExifParams(source, dest);
    EXPECT_EQ(dest.ExifImageDescription, "from tag 270");
    EXPECT_EQ(dest.ExifModel, "M");
    EXPECT_EQ(dest.TiffOrientation, 3);
    EXPECT_EQ(dest.DpiX, 123);
    EXPECT_FALSE(dest.HasExif);
}

TEST(ExifBlock, TiffHeadersAreFoundInsideOtherData) {
    struct TCase {
        std::string Bytes;
        int64_t Expected;
    };
    const std::string padding(40, 'x');
    const TCase cases[] = {
        {std::string("IIRO\x08\0\0\0", 8) + padding, 0},                     // a camera's magic
        {"ab" + std::string("MM\0*\0\0\0\x08", 8) + padding, 2},             // big-endian
        {std::string("IIRO\xff\xff\0\0", 8) + padding, -1},                  // directory outside
        {std::string(0x20010, 'y') + std::string("II*\0\x08\0\0\0", 8), -1}, // beyond 128 KiB
        {"II*", -1},
    };
    for (const TCase& c : cases) {
        TMemoryStream stream;
        stream.Write(c.Bytes.data(), static_cast<int32_t>(c.Bytes.size()));
        stream.SetPosition(0);
        EXPECT_EQ(FindTiffHeader(stream), c.Expected);
        EXPECT_EQ(stream.GetPosition(), 0);
    }
}

} // namespace
