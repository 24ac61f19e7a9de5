// The I/O unit's settings are put to their start-up values at the unit's place in the library
// start-up.
#include "imaging/io/VistrelIOUnit.h"

#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VLTiffLZW.h"
#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

TEST(VistrelIOUnit, StartUpResetsTheSettings) {
    RegisterVistrelIOUnit();
    DefaultTempFolder = u"/elsewhere/";
    DefaultGifLZWDecompress = nullptr;
    DefaultTiffLZWCompress = nullptr;
    AVIFileInitialized = true;
    UseICCProfiles = true;
    QuantizerMethod = 3;
    QuantizerQuality = 9;
    BufferedStreamRelative = true;
    CMYKColorManagement = false;
    MetafileSizeLimit = 1;
    InitializeLibrary();
    EXPECT_TRUE(DefaultTempFolder.empty());
    EXPECT_FALSE(AVIFileInitialized);
    EXPECT_FALSE(UseICCProfiles);
    EXPECT_EQ(QuantizerMethod, -1);
    EXPECT_EQ(QuantizerQuality, -1);
    EXPECT_FALSE(BufferedStreamRelative);
    EXPECT_TRUE(CMYKColorManagement);
    EXPECT_EQ(MetafileSizeLimit, 8000);
    EXPECT_EQ(DefaultGifLZWDecompress, &GifLZWDecode);
    EXPECT_EQ(DefaultGifLZWCompress, &GifLZWEncode);
    EXPECT_EQ(DefaultTiffLZWDecompress, &TiffLZWDecode);
    EXPECT_EQ(DefaultTiffLZWCompress, &TiffLZWEncode);
    FinalizeLibrary();
}

TEST(DebugLog, WritesNothingByDefaultAndDatedLinesWhenAsked) {
    ASSERT_TRUE(DebugLogFileName.empty());
    ASSERT_FALSE(DebugLogToStdErr);
    testing::internal::CaptureStderr();
    DebugLog(u"quiet");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    DebugLogToStdErr = true;
    testing::internal::CaptureStderr();
    DebugLog(u"caf\u00e9 loud");
    const std::string err = testing::internal::GetCapturedStderr();
    DebugLogToStdErr = false;
    // "yyyy-mm-dd hh:nn:ss " then the message in UTF-8 and a line end.
    const std::string shape = "dddd-dd-dd dd:dd:dd ";
    ASSERT_EQ(err.size(), shape.size() + 11) << err;
    for (size_t i = 0; i < shape.size(); ++i)
        EXPECT_TRUE(shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(err[i])) != 0
                                    : err[i] == shape[i])
            << err;
    EXPECT_EQ(err.substr(shape.size()), "caf\xC3\xA9 loud\n");

    const auto file = UniqueTempPath("debug-log");
    DebugLogFileName = StrFromUtf8(file.string());
    DebugLog(u"first");
    DebugLog(u"second");
    DebugLogFileName = StrFromUtf8((file / "no-such-folder" / "log").string());
    DebugLog(u"lost"); // a log that cannot be written is skipped
    DebugLogFileName.clear();
    std::ifstream in(file);
    std::string first, second, more;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_TRUE(first.ends_with(" first")) << first;
    EXPECT_TRUE(second.ends_with(" second")) << second;
    EXPECT_FALSE(std::getline(in, more));
    std::filesystem::remove(file);
}

} // namespace
