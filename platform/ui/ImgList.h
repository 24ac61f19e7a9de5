// The class library's image list: pictures of one size, kept by index, drawn by their alpha.
#pragma once

#include "platform/gfx/PngImage.h"
#include "platform/ui/Component.h"

#include <memory>
#include <vector>

class TCanvas;

class TCustomImageList : public TComponent {
public:
    explicit TCustomImageList(TComponent* AOwner);
    ~TCustomImageList() override;

    int32_t Width() const { return FWidth; }
    int32_t Height() const { return FHeight; }
    // Sets the size of the images; the list is emptied when it changes.
    void SetSize(int32_t AWidth, int32_t AHeight);
    int32_t Count() const { return static_cast<int32_t>(FImages.size()); }
    // Adds Image as the system's image list does: one image per Width pixels of its width (a
    // strip of frames side by side gives one image per frame, a rest narrower than Width is
    // dropped), each cut to Height. Answers the index of the first image added, -1 for none.
    int32_t Add(const TPngImage& Image);
    void Clear();
    // Draws image Index with its top-left corner at X, Y by its alpha; nothing for an index
    // that is not in the list.
    void Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index);

private:
    int32_t FWidth = 16;
    int32_t FHeight = 16;
    std::vector<std::unique_ptr<TPngImage>> FImages;
};

class TImageList : public TCustomImageList {
public:
    using TCustomImageList::TCustomImageList;
};
