// Colour reduction operations of the processing component: grey, n colours and black and white.
#include "imaging/proc/VistrelProc.h"

#include "imaging/core/VLColorReduce.h"
#include "platform/rtl/SysUtils.h"

using enum TVLPixelFormat;

namespace {

// Largest colour count that reduces the pixels; above it they stay as they are.
constexpr int32_t MaxQuantizedColors = 1024;

} // namespace

void TVistrelProc::ConvertToGray() {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    TVLBitmap* work = nullptr;
    TVLMask* mask = nullptr;
    if (!BeginOperation(AnyPixelFormat, x1, y1, x2, y2, u"ConvertToGray", work, mask)) return;
    GrayscaleRect24(*work, x1, y1, x2, y2, OnProgress, this);
    EndOperation(work, mask);
    DoFinishWork();
}

void TVistrelProc::ConvertTo(int32_t NumColors, bool ByThreshold) {
    if (!StartOperation(PixelFormatBit(vl24RGB), u"ConvertTo " + IntToStr(NumColors))) return;
    ReduceColors(NumColors, nullptr, ByThreshold);
}

void TVistrelProc::ConvertToPalette(int32_t NumColors, TVLRGB* Palette, bool ByThreshold) {
    if (NumColors == 0) return;
    if (!StartOperation(PixelFormatBit(vl24RGB), u"ConvertToPalette")) return;
    ReduceColors(NumColors, Palette, ByThreshold);
}

void TVistrelProc::ReduceColors(int32_t NumColors, TVLRGB* Palette, bool ByThreshold) {
    if (NumColors < 3) {
        if (ByThreshold)
            ConvertTo1BitThreshold(*FImage, ThresholdMeanLuminance, OnProgress, this);
        else
            ConvertTo1BitOrdered(*FImage, OnProgress, this);
        if (Palette != nullptr) {
            Palette[0] = TVLRGB{0, 0, 0};
            Palette[1] = TVLRGB{255, 255, 255};
        }
    } else if (NumColors <= MaxQuantizedColors) {
        QuantizeColors(*FImage, NumColors, Palette, OnProgress, this);
    }
    NotifyImageChanged();
    DoFinishWork();
}
