// The preset picture frames: PNG files held in constant data, each with the rectangle inside the
// frame where a picture goes. The list exists between the unit's start-up and shut-down.
#pragma once

#include "platform/rtl/Types.h"

#include <cstdint>
#include <memory>
#include <vector>

class TVLPresetImage {
public:
    // Byte length of the frame's picture file.
    int32_t DataSize = 0;
    const uint8_t* Data = nullptr;
    // File-format id of the picture file (ffPNG for every preset).
    int32_t Format = 0;
    // Where a picture is placed inside the frame.
    TRect InnerRect;
};

// The frames in their order: a rounded white frame, a film strip, a spiral-bound page and a
// bevelled silver square. Empty outside the unit's lifetime.
const std::vector<std::unique_ptr<TVLPresetImage>>& PresetImages();
void CreatePresetImages();
void FreePresetImages();

void InitializePresetImagesUnit();
void FinalizePresetImagesUnit();
