// The image list.
#include "platform/ui/ImgList.h"

#include "platform/gfx/Canvas.h"

#include <algorithm>

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}

TCustomImageList::~TCustomImageList() = default;

void TCustomImageList::SetSize(int32_t AWidth, int32_t AHeight) {
    if (AWidth <= 0 || AHeight <= 0 || (AWidth == FWidth && AHeight == FHeight)) return;
    FWidth = AWidth;
    FHeight = AHeight;
    Clear();
}

int32_t TCustomImageList::Add(const TPngImage& Image) {
    const int32_t frames = Image.Width() / FWidth;
    const int32_t rows = std::min(FHeight, Image.Height());
    if (frames <= 0 || rows <= 0) return -1;
    const int32_t first = Count();
    std::vector<uint32_t> pixels(static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight), 0);
    for (int32_t frame = 0; frame < frames; ++frame) {
        std::fill(pixels.begin(), pixels.end(), 0u);
        for (int32_t y = 0; y < rows; ++y) {
            const uint32_t* source = Image.Scanline(y) + static_cast<size_t>(frame) * FWidth;
            std::copy(source, source + FWidth, pixels.begin() + static_cast<ptrdiff_t>(y) * FWidth);
        }
        auto image = std::make_unique<TPngImage>();
        image->SetPixels(FWidth, FHeight, pixels.data());
        FImages.push_back(std::move(image));
    }
    return first;
}

void TCustomImageList::Clear() {
    FImages.clear();
}

void TCustomImageList::Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index) {
    if (Canvas == nullptr || Index < 0 || Index >= Count()) return;
    FImages[static_cast<size_t>(Index)]->Draw(*Canvas, TRect{X, Y, X + FWidth, Y + FHeight});
}
