// The I/O unit's settings are put to their start-up values at the unit's place in the library
// start-up.
#include "imaging/io/VistrelIOUnit.h"

#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VLTiffLZW.h"

#include <gtest/gtest.h>

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

} // namespace
