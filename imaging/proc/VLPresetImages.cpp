// The preset picture frames and their unit's start-up and shut-down.
#include "imaging/proc/VLPresetImages.h"

#include "imaging/io/VLFileFormats.h"

namespace {

#include "imaging/proc/VLPresetFrames.inc"

std::vector<std::unique_ptr<TVLPresetImage>> Frames;

template <size_t N> void AddFrame(const uint8_t (&Data)[N], const TRect& Inner) {
    auto frame = std::make_unique<TVLPresetImage>();
    frame->DataSize = static_cast<int32_t>(N);
    frame->Data = Data;
    frame->Format = ffPNG;
    frame->InnerRect = Inner;
    Frames.push_back(std::move(frame));
}

} // namespace

const std::vector<std::unique_ptr<TVLPresetImage>>& PresetImages() {
    return Frames;
}

void CreatePresetImages() {
    Frames.clear();
    AddFrame(PresetFrame0, Rect(18, 29, 140, 119));
    AddFrame(PresetFrame1, Rect(13, 1, 95, 98));
    AddFrame(PresetFrame2, Rect(30, 14, 147, 92));
    AddFrame(PresetFrame3, Rect(17, 17, 131, 131));
}

void FreePresetImages() {
    Frames.clear();
}

void InitializePresetImagesUnit() {
    CreatePresetImages();
}

void FinalizePresetImagesUnit() {
    FreePresetImages();
}
