// The processing unit's start-up: convolution presets, the raw clipboard format and the preset
// frames, at their slots of the library start-up.
#include "imaging/proc/VistrelProcUnit.h"

#include "imaging/core/VLConvolve.h"
#include "imaging/core/VLDefs.h"
#include "imaging/io/VLFileFormats.h"
#include "imaging/proc/VLPresetImages.h"
#include "platform/ui/Ole.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t BigEndian(const uint8_t* P) {
    return uint32_t{P[0]} << 24 | uint32_t{P[1]} << 16 | uint32_t{P[2]} << 8 | P[3];
}

} // namespace

TEST(VistrelProcUnit, StartUpMakesThePresetsTheFormatAndTheFrames) {
    RegisterVistrelProcUnit();
    InitializeLibrary();
    EXPECT_EQ(ConvolutionPresetNames(),
              (std::vector<String>{u"None", u"Blur", u"Edges", u"Emboss", u"High Pass 1",
                                   u"High Pass 2", u"High Pass 3", u"Low Pass 1", u"Low Pass 2"}));
    EXPECT_GE(VistrelRawClipboardFormat, 0xC000u);
    EXPECT_EQ(GetClipboardFormatNameW(VistrelRawClipboardFormat), u"VISTREL RAW FORMAT");
    // The id is the name's for the whole process, whoever asks.
    EXPECT_EQ(RegisterClipboardFormatW(u"VISTREL RAW FORMAT"), VistrelRawClipboardFormat);
    EXPECT_EQ(RegisterClipboardFormatW(u"vistrel raw format"), VistrelRawClipboardFormat);

    // Width, height, PNG colour type (6 RGBA, 2 RGB, 3 palette) and inner rectangle of each.
    struct TFrame {
        uint32_t Width, Height;
        uint8_t ColorType;
        TRect Inner;
    };
    const TFrame frames[] = {{162, 159, 6, Rect(18, 29, 140, 119)},
                             {112, 100, 2, Rect(13, 1, 95, 98)},
                             {163, 108, 3, Rect(30, 14, 147, 92)},
                             {150, 150, 3, Rect(17, 17, 131, 131)}};
    ASSERT_EQ(PresetImages().size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const TVLPresetImage& p = *PresetImages()[i];
        ASSERT_GT(p.DataSize, 33);
        EXPECT_EQ(p.Format, ffPNG);
        EXPECT_EQ(std::memcmp(p.Data, "\x89PNG\r\n\x1a\n", 8), 0);
        EXPECT_EQ(std::memcmp(p.Data + 12, "IHDR", 4), 0);
        EXPECT_EQ(BigEndian(p.Data + 16), frames[i].Width);
        EXPECT_EQ(BigEndian(p.Data + 20), frames[i].Height);
        EXPECT_EQ(p.Data[25], frames[i].ColorType);
        EXPECT_EQ(std::memcmp(p.Data + p.DataSize - 8, "IEND", 4), 0);
        EXPECT_EQ(p.InnerRect, frames[i].Inner);
    }
    FinalizeLibrary();
    EXPECT_TRUE(PresetImages().empty());
    EXPECT_TRUE(ConvolutionPresets().empty());
}
