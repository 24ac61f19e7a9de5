// Small fixtures shared by the bitmap tests: the storages a bitmap can be made in, a row pattern
// that shows a misplaced row or byte, and a filled 24-bit class-library bitmap to draw on.
#pragma once

#include "platform/gfx/Canvas.h"

#include <cstdint>
#include <memory>

enum class Storage { Memory, Fragments, File, ClassBitmap };
constexpr Storage AllStorages[] = {Storage::Memory, Storage::Fragments, Storage::File,
                                   Storage::ClassBitmap};

inline const char* StorageName(Storage s) {
    switch (s) {
    case Storage::Memory:
        return "memory";
    case Storage::Fragments:
        return "fragments";
    case Storage::File:
        return "file";
    case Storage::ClassBitmap:
        return "class bitmap";
    }
    return "";
}

inline uint8_t Pattern(int32_t row, int32_t byte) {
    return static_cast<uint8_t>(row * 31 + byte * 7 + 1);
}

inline std::unique_ptr<TBitmap> FilledBitmap(int32_t Width, int32_t Height, TColor Color) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(pf24bit);
    b->SetSize(Width, Height);
    b->Canvas()->Brush()->SetColor(Color);
    b->Canvas()->FillRect(Rect(0, 0, Width, Height));
    return b;
}
