// Pictures and event recorders shared by the processing-component tests.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/proc/VistrelProc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// Fills every byte of the pixels (and of an alpha channel when asked) with a seeded pattern that
// shows a misplaced row, column or channel.
inline void FillPattern(TVLBitmap& B, uint32_t Seed) {
    const int32_t bytes = (B.GetWidth() * B.GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < B.GetHeight(); ++y) {
        uint8_t* row = B.GetScanline(y);
        for (int32_t i = 0; i < bytes; ++i)
            row[i] = static_cast<uint8_t>((Seed * 131 + y * 37 + i * 11 + (i * y) % 7) & 0xFF);
    }
}

inline void MakePicture(TVLBitmap& B, int32_t W, int32_t H, TVLPixelFormat Format, uint32_t Seed,
                        bool WithAlpha = false) {
    ASSERT_TRUE(B.Allocate(W, H, Format));
    FillPattern(B, Seed);
    if (WithAlpha) FillPattern(*B.GetAlphaChannel(), Seed + 7);
}

// The used bytes of every row, and of every alpha row, as one string.
inline std::string Pixels(TVLBitmap& B) {
    std::string s;
    const int32_t bytes = (B.GetWidth() * B.GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        s.append(reinterpret_cast<const char*>(B.GetScanline(y)), bytes);
    if (B.HasAlphaChannel()) s += "|" + Pixels(*B.GetAlphaChannel());
    return s;
}

// Records the events of a component in order: "undo:<kind>", "p:<percent>", "finish".
struct TEventLog {
    std::vector<std::string> Events;
    void Attach(TVistrelProc& Proc) {
        Proc.OnProgress = [this](TObject*, int32_t Percent) {
            Events.push_back("p:" + std::to_string(Percent));
        };
        Proc.OnFinishWork = [this](TObject*) { Events.push_back("finish"); };
        Proc.OnSaveUndo = [this](TObject*, TVLUndoSource Source) {
            Events.push_back("undo:" + std::to_string(static_cast<int>(Source)));
        };
    }
    // Every progress value lies in 0 .. 100.
    bool ProgressInRange() const {
        for (const std::string& e : Events)
            if (e.rfind("p:", 0) == 0) {
                const int v = std::stoi(e.substr(2));
                if (v < 0 || v > 100) return false;
            }
        return true;
    }
    // The events without the intermediate progress values (only "p:100" stays).
    std::vector<std::string> Milestones() const {
        std::vector<std::string> out;
        for (const std::string& e : Events)
            if (e.rfind("p:", 0) != 0 || e == "p:100") out.push_back(e);
        return out;
    }
};
