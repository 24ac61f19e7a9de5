// Rotation of the processing component's image and its alpha channel: the choice between the
// nearest-neighbour, sheared and interpolated rotations.
#include "imaging/proc/VistrelProc.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLRotate.h"
#include "imaging/proc/VLRotateInterpolated.h"
#include "imaging/proc/VLRotateShears.h"
#include "platform/rtl/TextUtils.h"

using enum TVLPixelFormat;

namespace {

enum class TRotatePath : uint8_t { Nearest, Shears, Interpolated };

TRotatePath RotatePathFor(TVLPixelFormat Format, double Angle, bool AntiAlias, uint8_t Mode) {
    if (!AntiAlias || (Format != vl24RGB && Format != vl1g)) return TRotatePath::Nearest;
    if (Mode != 0 && Format == vl24RGB && !IsMultipleOf90(Angle)) return TRotatePath::Interpolated;
    return TRotatePath::Shears;
}

int32_t PackedRGB(TColor Color) {
    TVLRGB rgb;
    ColorToRGBTriple(Color, rgb);
    return (rgb.r << 16) | (rgb.g << 8) | rgb.b;
}

} // namespace

void TVistrelProc::Rotate(double Angle, bool AntiAlias, uint8_t AntialiasMode, TColor Background) {
    if (Angle == 0 || !PrepareImage(AnyPixelFormat)) return;
    if (AutoUndo) SaveUndoCaptioned(u"Rotate " + FloatToStr(Angle), vluImage);
    if (Background == -1) Background = GetBackground();
    TVLBitmap& image = *FImage;
    // The alpha channel turns in a copy of its own, before the image, with transparent corners.
    std::unique_ptr<TVLBitmap> alpha;
    if (image.HasAlphaChannel()) {
        alpha = std::make_unique<TVLBitmap>();
        alpha->MinFileSize = image.MinFileSize;
        alpha->Assign(image.GetAlphaChannel());
    }
    switch (RotatePathFor(image.GetPixelFormat(), Angle, AntiAlias, AntialiasMode)) {
    case TRotatePath::Interpolated:
        if (alpha) RotateInterpolated8(*alpha, Angle, 0, AntialiasMode);
        RotateInterpolated24(image, Angle, Background, AntialiasMode, OnProgress, this);
        break;
    case TRotatePath::Shears:
        if (alpha && image.GetPixelFormat() == vl1g)
            Rotate8Bit(*alpha, Angle, 0);
        else if (alpha)
            RotateByShears8(*alpha, true, Angle, 0, OnProgress, this);
        RotateByShears(image, true, Angle, PackedRGB(Background), OnProgress, this);
        break;
    case TRotatePath::Nearest:
        if (alpha) RotateNearestInPlace(*alpha, Angle, 0);
        RotateNearestInPlace(image, Angle, Background, OnProgress, this);
        break;
    }
    if (alpha) {
        TVLBitmap& target = *image.GetAlphaChannel();
        target.Assign(alpha.get());
        target.SyncFull();
    }
    NotifyImageChanged();
    DoFinishWork();
}
