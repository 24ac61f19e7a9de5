// The metafile graphic: the file's bytes, its kind and its size in pixels; drawing plays it.
#include "platform/gfx/Metafile.h"

#include "platform/gfx/Canvas.h"
#include "platform/rtl/SysUtils.h"

namespace {

// Larger streams are refused before they are read: no real picture comes near it.
constexpr int64_t MetafileByteLimit = int64_t{1} << 30;

} // namespace

void TMetafile::Clear() {
    FData.clear();
    FEnhanced = false;
    FWidth = FHeight = 0;
}

void TMetafile::SetWidth(int32_t Value) {
    if (Value == FWidth) return;
    FWidth = Value;
    Changed();
}

void TMetafile::SetHeight(int32_t Value) {
    if (Value == FHeight) return;
    FHeight = Value;
    Changed();
}

void TMetafile::Draw(TCanvas& ACanvas, const TRect& Rect) {
    HDC dc = ACanvas.Handle();
    if (dc == nullptr || FData.empty()) return;
    if (FEnhanced)
        PlayEnhMetaFile(dc, FData.data(), FData.size(), &Rect);
    else
        PlayMetaFile(dc, FData.data(), FData.size(), &Rect);
}

void TMetafile::LoadFromStream(TStream& Stream) {
    Clear();
    const int64_t size = Stream.GetSize() - Stream.GetPosition();
    if (size <= 0 || size > MetafileByteLimit) throw EInvalidGraphic(u"Metafile is not valid");
    std::vector<uint8_t> data(static_cast<size_t>(size));
    Stream.ReadBuffer(data.data(), size);
    bool enhanced = false;
    TSize pixels;
    if (!MetafilePictureSize(data.data(), data.size(), enhanced, pixels))
        throw EInvalidGraphic(u"Metafile is not valid");
    FData = std::move(data);
    FEnhanced = enhanced;
    FWidth = pixels.cx;
    FHeight = pixels.cy;
    Changed();
}

void TMetafile::SaveToStream(TStream& Stream) {
    if (!FData.empty()) Stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}
