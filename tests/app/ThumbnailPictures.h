// Pictures for the viewer's tests: one colour, written by our own writers, and the thumbnail
// decoder waited for while its hand-overs are served.
#pragma once

#include "app/formThumbs.h"
#include "imaging/io/VistrelIO.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

inline String Str(const std::string& Path) {
    return StrFromUtf8(Path);
}

// A picture of one colour (Shade in all three channels), as JPEG for ".jpg", else PNG.
inline void WritePicture(const std::string& Path, int32_t Width, int32_t Height, uint8_t Shade) {
    TVLBitmap bitmap(Width, Height, TVLPixelFormat::vl24RGB);
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = bitmap.GetScanline(y);
        for (int32_t x = 0; x < Width * 3; ++x)
            row[x] = Shade;
    }
    TVistrelIO io(nullptr);
    io.SetAttachedBitmap(&bitmap);
    if (Path.ends_with(".jpg"))
        io.SaveToFileJPEG(Str(Path));
    else
        io.SaveToFilePNG(Str(Path));
    ASSERT_FALSE(io.AbortingFlag) << Path;
}

inline uint8_t CentreShade(TVLBitmap& Bitmap) {
    return Bitmap.GetScanline(Bitmap.GetHeight() / 2)[Bitmap.GetWidth() / 2 * 3];
}

// Serves the decoder's hand-overs until it has finished.
inline void WaitForDecoder(TSVThumbnailList& List) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (List.Decoding() && std::chrono::steady_clock::now() < deadline)
        CheckSynchronize(10);
    ASSERT_FALSE(List.Decoding()) << "the decoder did not finish";
}
