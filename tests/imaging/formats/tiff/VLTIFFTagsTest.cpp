// TIFF directories: the walk, typed access in both byte orders, hostile counts and chains, the
// builders, and the EXIF mapping against exiftool.
#include "imaging/formats/tiff/VLTIFFTags.h"

#include "tests/ExternalTool.h"
#include "tests/imaging/formats/tiff/TiffBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

struct TReadFile {
    std::unique_ptr<TMemoryStream> Stream;
    TVLTagsReadState Ctx;
    int32_t Count = 0;
    bool Found = false;
};

TReadFile Read(const std::string& Bytes, int32_t Index = 0, bool Intel = true) {
    TReadFile f;
    f.Stream = StreamOf(Bytes);
    f.Ctx.Stream = f.Stream.get();
    f.Ctx.IntelByteOrder = Intel;
    uint32_t first = 0;
    for (int i = 0; i < 4; ++i)
        first |= static_cast<uint32_t>(static_cast<uint8_t>(Bytes[4 + i]))
                 << (Intel ? 8 * i : 8 * (3 - i));
    f.Found = TIFFReadIFD(f.Ctx, Index, first, f.Count);
    return f;
}

class ByteOrder : public testing::TestWithParam<bool> {};

TEST_P(ByteOrder, TypedAccessFollowsTheFileOrder) {
    const bool intel = GetParam();
    TTestTiff tiff(intel);
    tiff.IFD({
        {330, ttLong, {1234}},                 // SubIFDs, one inline LONG
        {297, ttShort, {3, 7}},                // PageNumber: two inline SHORTs
        {282, ttRational, {150, 0}},           // denominator 0 counts as 1
        {37380, ttSRational, {-7, 10}},        // signed rational
        {33434, ttRational, {0xFFFFFFF0, 1}},  // unsigned rational above 2^31
        {271, ttAscii, {}, std::string("Canon\0", 6)},
        {272, ttAscii, {}, std::string("ab\0", 3)},
        {40091, ttByte, {}, std::string("a\0b\0c\0\0\0", 8)},
        {273, ttShort, {10, 20, 30}},
        {258, ttShort, {8, 8, 8}},
        {262, ttShort, {2}},
        {41728, ttUndefined, {}, std::string("\3", 1)},
    });
    TReadFile f = Read(tiff.Build(), 0, intel);
    ASSERT_TRUE(f.Found);
    EXPECT_EQ(f.Count, 1);
    EXPECT_EQ(TIFFIntegerAt(f.Ctx, 330, 0), 1234);
    EXPECT_EQ(TIFFIntegerAt(f.Ctx, 297, 0), 3);
    EXPECT_EQ(TIFFIntegerAt(f.Ctx, 297, 1), 7);
    EXPECT_EQ(TIFFIntegerAt(f.Ctx, 297, 2), 0);
    EXPECT_EQ(TIFFTagValue(f.Ctx, 262, 0), 2);
    EXPECT_EQ(TIFFTagValue(f.Ctx, 41728, 0), 3);
    EXPECT_EQ(TIFFTagValue(f.Ctx, 296, 2), 2) << "ResolutionUnit missing reads as inches";
    EXPECT_DOUBLE_EQ(TIFFRational(f.Ctx, 282), 150.0);
    EXPECT_DOUBLE_EQ(TIFFRational(f.Ctx, 37380), -0.7);
    EXPECT_DOUBLE_EQ(TIFFRational(f.Ctx, 33434), 4294967280.0);
    EXPECT_EQ(TIFFText(f.Ctx, 271), "Canon");
    EXPECT_EQ(TIFFText(f.Ctx, 272), std::string("ab\0", 3));
    EXPECT_EQ(TIFFWideText(f.Ctx, 40091), u"abc");
    EXPECT_EQ(TIFFIntegerArray(f.Ctx, 273), (std::vector<int64_t>{10, 20, 30}));
    int32_t bits = 0;
    EXPECT_TRUE(TIFFBitsPerSample(f.Ctx, bits));
    EXPECT_EQ(bits, 8);
}

TEST_P(ByteOrder, ChainsEndAtLoopsAndBadOffsets) {
    const bool intel = GetParam();
    TTestTiff tiff(intel);
    for (int i = 0; i < 4; ++i) tiff.IFD({{256, ttShort, {i + 1}}});
    const std::string plain = tiff.Build();
    EXPECT_EQ(Read(plain, 0, intel).Count, 4);
    TReadFile third = Read(plain, 2, intel);
    ASSERT_TRUE(third.Found);
    EXPECT_EQ(TIFFTagValue(third.Ctx, 256, 0), 3);
    EXPECT_FALSE(Read(plain, 4, intel).Found);

    // The last directory points back to the second: three directories, then the walk ends.
    const auto offsets = tiff.Offsets();
    TReadFile looped = Read(tiff.Build({-1, -1, -1, static_cast<int64_t>(offsets[1])}), 7, intel);
    EXPECT_FALSE(looped.Found);
    EXPECT_EQ(looped.Count, 4);
    // Pointing at itself, below the header, and beyond the end.
    for (int64_t next : {static_cast<int64_t>(offsets[0]), int64_t{4}, int64_t{1} << 30})
        EXPECT_EQ(Read(tiff.Build({next}), 0, intel).Count, 1) << next;
}

TEST_P(ByteOrder, CountsBeyondTheStreamAreRefused) {
    const bool intel = GetParam();
    TTestTiff tiff(intel);
    tiff.IFD({
        {273, ttLong, {1, 2, 3}, {}, 0x40000000},
        {700, ttByte, {}, "<x/>", 0x7FFFFFFF},
        {34675, ttUndefined, {}, "abcdefgh", 0xFFFFFFFF},
        {33723, ttLong, {1, 2}, {}, 0x80000000},
        {271, ttAscii, {}, "longer text", 0xFFFFF},
        {318, ttRational, {1, 2}, {}, 0x20000000},
    });
    TReadFile f = Read(tiff.Build(), 0, intel);
    ASSERT_TRUE(f.Found);
    EXPECT_TRUE(TIFFIntegerArray(f.Ctx, 273).empty());
    EXPECT_EQ(TIFFIntegerAt(f.Ctx, 273, 100000), 0);
    EXPECT_TRUE(TIFFRawBytes(f.Ctx, 700).empty());
    EXPECT_TRUE(TIFFRawBytes(f.Ctx, 34675).empty());
    EXPECT_EQ(TIFFText(f.Ctx, 271), "");
    EXPECT_EQ(TIFFRationalAt(f.Ctx, 318, 5), 0);
    TIOParamsVals params;
    ReadTIFFMetadataTags(f.Ctx, params);
    EXPECT_TRUE(params.XmpInfo.empty());
    EXPECT_EQ(params.IPTCInfo.GetCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Tiff, ByteOrder, testing::Values(true, false),
                         [](const auto& Info) { return Info.param ? "II" : "MM"; });

TEST(TiffDirectory, ColorMapTakesHighBytesOfWideValues) {
    TTestTiff tiff(true);
    std::vector<int64_t> map(3 * 4, 0);
    map[1] = 0xFF00;      // red of entry 1
    map[4 + 2] = 0x8000;  // green of entry 2
    map[8 + 3] = 0x1234;  // blue of entry 3
    tiff.IFD({{320, ttShort, map}});
    TReadFile f = Read(tiff.Build());
    const std::vector<TVLRGB> colours = TIFFColorMap(f.Ctx, 2);
    ASSERT_EQ(colours.size(), 4u);
    EXPECT_EQ(colours[1], (TVLRGB{0, 0, 255}));
    EXPECT_EQ(colours[2], (TVLRGB{0, 128, 0}));
    EXPECT_EQ(colours[3], (TVLRGB{0x12, 0, 0}));
}

TEST(TiffDirectory, DifferentBitsPerSampleAreReported) {
    TTestTiff tiff(false);
    tiff.IFD({{258, ttShort, {8, 16, 8}}});
    TReadFile f = Read(tiff.Build(), 0, false);
    int32_t bits = 0;
    EXPECT_FALSE(TIFFBitsPerSample(f.Ctx, bits));
}

// Random bytes after a valid header: the walk and every access end without touching memory
// outside their buffers (run under the sanitizers).
TEST(TiffDirectory, FuzzedDirectoriesNeverFault) {
    std::mt19937 random(22);
    TTestTiff seed(true);
    seed.IFD({{256, ttLong, {5}}, {273, ttLong, {8, 9, 10}}, {37500, ttUndefined, {}, "abcdefgh"},
              {320, ttShort, std::vector<int64_t>(48, 7)}, {271, ttAscii, {}, "Make text"}});
    const std::string base = seed.Build();
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = base;
        const int flips = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < flips; ++i)
            bytes[8 + random() % (bytes.size() - 8)] = static_cast<char>(random());
        bytes.resize(8 + random() % (bytes.size() - 7));
        for (bool intel : {true, false}) {
            TReadFile f = Read(bytes, 0, intel);
            TIOParamsVals params;
            for (uint16_t tag : {256, 273, 320, 271, 37500}) {
                TIFFIntegerArray(f.Ctx, tag);
                TIFFRawBytes(f.Ctx, tag);
                TIFFText(f.Ctx, tag);
                TIFFWideText(f.Ctx, tag);
                TIFFRationalAt(f.Ctx, tag, 1);
            }
            TIFFColorMap(f.Ctx, 4);
            ReadTIFFMetadataTags(f.Ctx, params);
            ReadTIFFExifTags(f.Ctx, params);
            ReadTIFFGPSTags(f.Ctx, params);
        }
    }
}

TEST(TiffWriting, DoublesBecomeRationals) {
    struct {
        double Value;
        int32_t Numerator, Denominator;
    } const cases[] = {{0.5, 500000, 1000000}, {3000.0, 300000000, 100000}, {0, 0, 1000000},
                       {2.54, 2540000, 1000000}, {-0.7, -700000, 1000000}};
    for (const auto& c : cases) {
        int32_t n = 0, d = 0;
        TIFFDoubleToRational(c.Value, n, d);
        EXPECT_EQ(n, c.Numerator) << c.Value;
        EXPECT_EQ(d, c.Denominator) << c.Value;
    }
}

TEST(TiffWriting, BuildersWriteSortedEntriesAndPaddedBlocks) {
    TMemoryStream stream;
    bool aborting = false;
    stream.Write("II*\0\0\0\0\0\1", 9);
    TTIFFEntryList list(stream, aborting);
    list.AddAscii(305, "abc");
    list.AddShorts(297, {1, 2});
    list.AddWideText(40091, u"abc");
    list.AddLong(256, 7);
    const int64_t ifd = list.WriteIFD(0);
    EXPECT_EQ(ifd % 2, 0);
    EXPECT_FALSE(aborting);
    TVLTagsReadState ctx;
    ctx.Stream = &stream;
    int32_t count = 0;
    ASSERT_TRUE(TIFFReadIFD(ctx, 0, ifd, count));
    ASSERT_EQ(ctx.EntryCount, 4);
    EXPECT_EQ(ctx.Entries[0].Tag, 256);
    EXPECT_EQ(ctx.Entries[3].Tag, 40091);
    EXPECT_EQ(ctx.Entries[3].Count, 8u) << "XP text of 3 characters with its NUL";
    EXPECT_EQ(TIFFWideText(ctx, 40091), u"abc");
    EXPECT_EQ(TIFFText(ctx, 305), "abc");
    EXPECT_EQ(TIFFIntegerAt(ctx, 297, 1), 2);
}

TEST(TiffWriting, IPTCIsPaddedToWholeLongs) {
    TIOParamsVals params;
    params.IPTCInfo.AddItem(2, 120, 6, "hello!");
    const size_t raw = params.IPTCInfo.SaveToBuffer(false).size();
    ASSERT_NE(raw % 4, 0u);
    TMemoryStream stream;
    bool aborting = false;
    TTIFFEntryList list(stream, aborting);
    WriteTIFFMetadataTags(list, params);
    ASSERT_EQ(list.Entries().size(), 1u);
    const TVLTagEntry& e = list.Entries()[0];
    EXPECT_EQ(e.Tag, 33723);
    EXPECT_EQ(e.Count, (raw + 3) / 4);
    EXPECT_EQ(stream.GetSize() - e.ValueOrOffset, static_cast<int64_t>(e.Count * 4));
}

// A header, an IFD with the EXIF tags of Params and what they point to.
std::string WriteExifFile(TIOParamsVals& Params) {
    TMemoryStream stream;
    bool aborting = false;
    stream.Write("II*\0\0\0\0\0", 8);
    TTIFFEntryList main(stream, aborting);
    main.AddLong(256, 1);
    main.AddLong(257, 1);
    WriteTIFFExifTags(main, Params);
    const auto ifd = static_cast<uint32_t>(main.WriteIFD(0));
    stream.SetPosition(4);
    stream.Write(&ifd, 4);
    EXPECT_FALSE(aborting);
    std::string out(stream.GetSize(), '\0');
    stream.SetPosition(0);
    stream.Read(out.data(), static_cast<int32_t>(out.size()));
    return out;
}

// Reads the main, EXIF and GPS directories of a file as the reader does.
void ReadExifFile(const std::string& Bytes, TIOParamsVals& Params, TReadFile& Main) {
    Main = Read(Bytes);
    ReadTIFFMainExifTags(Main.Ctx, Params);
    for (uint16_t pointer : {34665, 34853}) {
        const int64_t offset = TIFFTagValue(Main.Ctx, pointer, 0);
        if (offset <= 0) continue;
        TVLTagsReadState sub = Main.Ctx;
        int32_t count = 0;
        ASSERT_TRUE(TIFFReadIFD(sub, 0, offset, count));
        if (pointer == 34665)
            ReadTIFFExifTags(sub, Params);
        else
            ReadTIFFGPSTags(sub, Params);
    }
}

TEST(TiffExif, WrittenTagsReadBackAndNothingIsInvented) {
    TIOParamsVals params;
    params.ExifMake = "Maker";
    params.ExifModel = "Model X";
    params.ExifExposureBiasValue = -0.7;
    params.ExifShutterSpeedValue = -2.5;
    params.ExifFNumber = 2.8;
    params.ExifWhiteBalance = 1;
    params.ExifXPTitle = u"abc";
    params.ExifUserCommentCode = std::string("ASCII\0\0\0", 8);
    params.ExifUserComment = "hello";
    const std::string bytes = WriteExifFile(params);

    TIOParamsVals back;
    TReadFile main;
    ReadExifFile(bytes, back, main);
    EXPECT_EQ(back.ExifMake, "Maker");
    EXPECT_EQ(back.ExifModel, "Model X");
    EXPECT_DOUBLE_EQ(back.ExifExposureBiasValue, -0.7);
    EXPECT_DOUBLE_EQ(back.ExifShutterSpeedValue, -2.5);
    EXPECT_DOUBLE_EQ(back.ExifFNumber, 2.8);
    EXPECT_EQ(back.ExifWhiteBalance, 1);
    EXPECT_EQ(back.ExifExposureMode, -1);
    EXPECT_EQ(back.ExifXPTitle, u"abc");
    EXPECT_EQ(back.ExifVersion, "0220");
    EXPECT_EQ(back.ExifUserComment, "hello");
    EXPECT_EQ(back.ExifExposureTime, 0);
    EXPECT_EQ(back.ExifDigitalZoomRatio, -1.0);
    EXPECT_EQ(TIFFTagValue(main.Ctx, 34853, 0), 0) << "no GPS directory without GPS data";

    // The EXIF directory holds exactly the tags that were set, plus the required version.
    TVLTagsReadState exif = main.Ctx;
    int32_t count = 0;
    ASSERT_TRUE(TIFFReadIFD(exif, 0, TIFFTagValue(main.Ctx, 34665, 0), count));
    std::vector<uint16_t> tags;
    for (const TVLTagEntry& e : exif.Entries) tags.push_back(e.Tag);
    EXPECT_EQ(tags, (std::vector<uint16_t>{33437, 36864, 37377, 37380, 37510, 41987}));
    EXPECT_EQ(exif.Entries[3].FieldType, ttSRational);
}

TEST(TiffExif, GPSDirectoryRoundTrip) {
    TIOParamsVals params;
    params.ExifGPSVersionID = "2.2.0.0";
    params.ExifGPSLatitudeRef = "N";
    params.ExifGPSLatitude = {48, 51, 29.5};
    params.ExifGPSDestLongitudeRef = "W";
    params.ExifGPSAltitudeRef = "1";
    params.ExifGPSAltitude = 35.5;
    params.ExifGPSMapDatum = "WGS-84";
    TIOParamsVals back;
    TReadFile main;
    ReadExifFile(WriteExifFile(params), back, main);
    EXPECT_EQ(back.ExifGPSVersionID, "2.2.0.0");
    EXPECT_EQ(back.ExifGPSLatitudeRef, "N");
    EXPECT_EQ(back.ExifGPSLatitude, params.ExifGPSLatitude);
    EXPECT_EQ(back.ExifGPSDestLongitudeRef, "W");
    EXPECT_EQ(back.ExifGPSDestLatitudeRef, "");
    EXPECT_EQ(back.ExifGPSAltitudeRef, "1");
    EXPECT_DOUBLE_EQ(back.ExifGPSAltitude, 35.5);
    EXPECT_EQ(back.ExifGPSMapDatum, "WGS-84");
}

TEST(TiffExif, MakerNoteIsCopiedAsALittleEndianDirectory) {
    for (bool intel : {true, false}) {
        // A maker note holding a SHORT and an ASCII text stored at an offset.
        TTestTiff note(intel);
        note.IFD({{1, ttShort, {77}}, {2, ttAscii, {}, std::string("NoteText\0", 9)}});
        std::string noteBytes = note.Build().substr(8);
        TTestTiff file(intel);
        file.IFD({{37500, ttUndefined, {}, noteBytes}});
        std::string bytes = file.Build();
        const size_t noteAt = bytes.find(noteBytes);
        ASSERT_NE(noteAt, std::string::npos);
        // Re-point the text entry (entry 1 of the note) to its bytes within the file.
        const size_t textAt = noteAt + (noteBytes.find("NoteText"));
        std::string field(4, '\0');
        for (int i = 0; i < 4; ++i)
            field[i] = static_cast<char>((textAt >> (intel ? 8 * i : 8 * (3 - i))) & 0xFF);
        bytes.replace(noteAt + 2 + 12 + 8, 4, field);
        TReadFile f = Read(bytes, 0, intel);
        TIOParamsVals params;
        ReadTIFFMakerNote(f.Ctx, params);
        const TVLTagsReadState& store = params.ExifMakerNote.ReadState();
        ASSERT_EQ(store.EntryCount, 2) << intel;
        EXPECT_EQ(TIFFTagValue(store, 1, 0), 77);
        EXPECT_EQ(TIFFText(store, 2), "NoteText");

        // A type above 12 drops the whole note.
        bytes[noteAt + 2 + 12 + 2 + (intel ? 0 : 1)] = 13;
        TReadFile bad = Read(bytes, 0, intel);
        ReadTIFFMakerNote(bad.Ctx, params);
        EXPECT_EQ(params.ExifMakerNote.Data().GetSize(), 0);
    }
}

// exiftool tags a tiny TIFF; the directories read as exiftool -n -j reports them.
TEST(TiffExif, ReadsWhatExiftoolWrites) {
    if (!ToolExists("exiftool") || !ToolExists("convert") || !ToolExists("tiffcp"))
        SV_SKIP_WITHOUT_REFERENCE("exiftool, ImageMagick and libtiff's tiffcp");
    for (const char* order : {"II", "MM"}) {
        const auto path = UniqueTempPath("exif") .string() + ".tif";
        std::string out;
        const std::string plain = path + ".plain.tif";
        ASSERT_TRUE(RunTool("convert -size 3x2 xc:gray '" + plain + "'", out));
        ASSERT_TRUE(RunTool(std::string("tiffcp ") + (order[0] == 'I' ? "-L" : "-B") + " '" +
                                plain + "' '" + path + "'",
                            out));
        std::filesystem::remove(plain);
        ASSERT_TRUE(RunTool(
            "exiftool -q -overwrite_original -Make=Camera -Model='Model 7' -ExposureTime=0.004 "
            "-FNumber=5.6 -ExposureCompensation=-0.7 -ISO=400 -EXIF:Flash#=16 -FocalLength=35 "
            "-DateTimeOriginal='2020:01:02 03:04:05' -GPSLatitude=48.5 -GPSLatitudeRef=N "
            "-GPSAltitude=120 -GPSAltitudeRef#=1 -WhiteBalance#=1 -XPTitle=Title '" + path + "'",
            out));
        std::string json;
        ASSERT_TRUE(RunTool("exiftool -n -j -Make -Model -ExposureTime -FNumber "
                            "-ExposureCompensation -ISO -Flash -FocalLength -DateTimeOriginal "
                            "-GPSLatitude -GPSAltitude -GPSAltitudeRef -WhiteBalance -XPTitle '" +
                                path + "'",
                            json));
        std::ifstream in(path, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        in.close();
        std::filesystem::remove(path);
        ASSERT_GT(bytes.size(), 8u);
        const bool intel = bytes[0] == 'I';
        EXPECT_EQ(intel, std::string(order) == "II");
        auto stream = StreamOf(bytes);
        TReadFile main;
        main.Stream = std::move(stream);
        main.Ctx.Stream = main.Stream.get();
        main.Ctx.IntelByteOrder = intel;
        uint32_t first = 0;
        for (int i = 0; i < 4; ++i)
            first |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[4 + i]))
                     << (intel ? 8 * i : 8 * (3 - i));
        ASSERT_TRUE(TIFFReadIFD(main.Ctx, 0, first, main.Count));
        TIOParamsVals params;
        ReadTIFFMainExifTags(main.Ctx, params);
        for (uint16_t pointer : {34665, 34853}) {
            TVLTagsReadState sub = main.Ctx;
            int32_t count = 0;
            ASSERT_TRUE(TIFFReadIFD(sub, 0, TIFFTagValue(main.Ctx, pointer, 0), count));
            pointer == 34665 ? ReadTIFFExifTags(sub, params) : ReadTIFFGPSTags(sub, params);
        }
        const auto number = [&](const std::string& Key) {
            const size_t at = json.find("\"" + Key + "\": ");
            EXPECT_NE(at, std::string::npos) << Key;
            return std::stod(json.substr(at + Key.size() + 4));
        };
        const auto text = [&](const std::string& Key) {
            const size_t at = json.find("\"" + Key + "\": \"");
            EXPECT_NE(at, std::string::npos) << Key;
            const size_t start = at + Key.size() + 5;
            return json.substr(start, json.find('"', start) - start);
        };
        EXPECT_EQ(params.ExifMake, text("Make"));
        EXPECT_EQ(params.ExifModel, text("Model"));
        EXPECT_DOUBLE_EQ(params.ExifExposureTime, number("ExposureTime"));
        EXPECT_DOUBLE_EQ(params.ExifFNumber, number("FNumber"));
        EXPECT_NEAR(params.ExifExposureBiasValue, number("ExposureCompensation"), 1e-9);
        EXPECT_EQ(params.ExifISOSpeedRatings[0], number("ISO"));
        EXPECT_EQ(params.ExifFlash, number("Flash"));
        EXPECT_DOUBLE_EQ(params.ExifFocalLength, number("FocalLength"));
        EXPECT_EQ(params.ExifDateTimeOriginal, text("DateTimeOriginal"));
        EXPECT_NEAR(params.ExifGPSLatitude[0] + params.ExifGPSLatitude[1] / 60 +
                        params.ExifGPSLatitude[2] / 3600,
                    number("GPSLatitude"), 1e-6);
        // exiftool -n signs the altitude by its reference.
        EXPECT_DOUBLE_EQ(params.ExifGPSAltitude, std::fabs(number("GPSAltitude")));
        EXPECT_EQ(std::stod(params.ExifGPSAltitudeRef), number("GPSAltitudeRef"));
        EXPECT_EQ(params.ExifWhiteBalance, number("WhiteBalance"));
        EXPECT_EQ(params.ExifXPTitle, u"Title");
    }
}

// What the builders write, exiftool reads: signed values stay signed.
TEST(TiffExif, ExiftoolReadsWhatTheBuildersWrite) {
    if (!ToolExists("exiftool")) SV_SKIP_WITHOUT_REFERENCE("exiftool");
    TIOParamsVals params;
    params.ExifExposureBiasValue = -0.7;
    params.ExifBrightnessValue = -1.25;
    params.ExifMake = "Maker";
    const auto path = UniqueTempPath("exifw").string() + ".tif";
    WriteFileBytes(path, WriteExifFile(params));
    std::string json;
    ASSERT_TRUE(RunTool("exiftool -n -j -ExposureCompensation -BrightnessValue -Make -ISO '" +
                            path + "'",
                        json));
    std::filesystem::remove(path);
    EXPECT_NE(json.find("\"ExposureCompensation\": -0.7"), std::string::npos) << json;
    EXPECT_NE(json.find("\"BrightnessValue\": -1.25"), std::string::npos) << json;
    EXPECT_NE(json.find("\"Make\": \"Maker\""), std::string::npos) << json;
    EXPECT_EQ(json.find("ISO"), std::string::npos) << "no invented ISO: " << json;
}

} // namespace
