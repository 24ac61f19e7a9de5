// Conversion of pixel rows between the colour spaces of image files and the library's 24-bit
// blue-green-red pixels, and of CMYK pixels to and from RGB, colour-managed when a CMYK profile
// can be had and by formula otherwise.
//
// Part of the I/O unit; it sits in the core because the bitmap's pixel-format conversion, its
// operations and the renderer convert CMYK and CIELab rows through it.
#pragma once

#include "imaging/core/VLDefs.h"

#include <vector>

class TIOParamsVals;

// Source layouts of ConvertColorSpaceRow.
constexpr uint8_t ColorLayoutRGB = 0;     // 3 bytes red, green, blue
constexpr uint8_t ColorLayoutBGR = 1;     // 3 bytes blue, green, red
constexpr uint8_t ColorLayoutCMYK = 2;    // 4 bytes C, M, Y, K, each stored inverted (255 - ink)
constexpr uint8_t ColorLayoutInkCMYK = 3; // 6 bytes whose first 4 are C, M, Y, K as inks
constexpr uint8_t ColorLayoutCIELab = 4;  // 3 bytes L, a, b
constexpr uint8_t ColorLayoutNone = 5;
constexpr uint8_t ColorLayoutRGB48LE = 6; // 3 little-endian 16-bit words red, green, blue
constexpr uint8_t ColorLayoutRGB48BE = 7; // 3 big-endian 16-bit words red, green, blue
constexpr uint8_t ColorLayoutYCbCr = 8;   // 3 bytes Y, Cb, Cr
// Target kinds of ConvertColorSpaceRow.
constexpr uint8_t ColorTargetBGR = 1;
constexpr uint8_t ColorTargetCMYK = 2;
constexpr uint8_t ColorTargetCIELab = 4;
constexpr uint8_t ColorTargetGray = 5; // 1 byte, the library's grey weights

using TVLColorConversionHook = void (*)(void* Source, uint8_t SourceLayout, void* Target,
                                        TIOParamsVals* Params, int32_t Count, uint8_t TargetKind);

// Converts Count pixels of Source into Target. A layout and target pair without a conversion
// leaves Target as it was. ColorLayoutInkCMYK turns the inks of Source into the stored form in
// place before converting. Params is part of the codecs' calling convention and not used.
void ConvertColorSpaceRow(void* Source, uint8_t SourceLayout, void* Target, TIOParamsVals* Params,
                          int32_t Count, uint8_t TargetKind);

// One CMYK pixel (stored form, C in the low byte) to RGB.
void ConvertCMYKToRGB(uint32_t CMYK, TVLRGB& RGB);
// One RGB pixel (blue in the low byte, then green, then red) to CMYK in stored form, C in the
// low byte.
uint32_t ConvertRGBToCMYK(uint32_t RGB);
// The same for Count pixels: 4 bytes C, M, Y, K in, TVLRGB out, and back.
void ConvertCMYKRowToRGB(const uint8_t* CMYK, TVLRGB* RGB, int32_t Count);
void ConvertRGBRowToCMYK(const TVLRGB* RGB, uint8_t* CMYK, int32_t Count);

// What the codecs call to convert a row; ConvertColorSpaceRow unless an application replaces it.
extern TVLColorConversionHook ColorConversionHook;
// Library-wide switch of profile-based colour conversion in the codecs.
extern bool UseICCProfiles;
// CMYK and RGB pixels go through colour management when the CMYK transforms can be made.
extern bool CMYKColorManagement;
// Folders searched, with their subfolders, for the system's CMYK press profile
// "default_cmyk.icc" on the first colour-managed conversion.
extern std::vector<String> CMYKProfileFolders;

// Makes the CMYK transforms on the first call: the press profile found in CMYKProfileFolders
// and the system sRGB profile. True when they are ready. A missing or unusable profile is
// remembered, so every later call answers false at once and the formulas are used. Safe from
// any thread: a call made while another thread makes the transforms waits for its answer.
bool InitCMYKTransforms();
// Frees the transforms and forgets a failed attempt; the next conversion tries again.
void FreeCMYKTransforms();
