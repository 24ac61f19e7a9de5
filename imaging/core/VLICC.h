// ICC colour profiles: the raw profile bytes, their description and rights-notice texts, and
// conversion of pixels from this profile into another one through the colour-management engine.
#pragma once

#include "imaging/core/VLBitmap.h"

#include <vector>

// Pixel layouts of TVLICC::TransformPixels.
constexpr int32_t ICCFormatRGB = 0;          // 3 bytes red, green, blue
constexpr int32_t ICCFormatBGR = 1;          // 3 bytes blue, green, red (vl24RGB)
constexpr int32_t ICCFormatCMYKInverted = 2; // 4 bytes C, M, Y, K, each 255 - ink (vlCMYK)
constexpr int32_t ICCFormatCMYK = 3;         // 4 bytes C, M, Y, K
constexpr int32_t ICCFormatLab = 4;          // 3 bytes L (0..255 = 0..100), a, b (128 = 0)
constexpr int32_t ICCFormatGray = 5;         // 1 byte
constexpr int32_t ICCFormatRGB16LE = 6;      // 3 little-endian 16-bit red, green, blue (vlRGB48)
constexpr int32_t ICCFormatRGB16BE = 7;      // 3 big-endian 16-bit red, green, blue
constexpr int32_t ICCFormat3Channel = 8;     // 3 bytes of any 3-channel colour space

class TVLICC : public TObject {
public:
    TVLICC() = default;
    ~TVLICC() override;
    TVLICC(const TVLICC&) = delete;
    TVLICC& operator=(const TVLICC&) = delete;

    // Replaces the profile with a copy of Length bytes of Data, opens it and reads its texts.
    void LoadFromBuffer(const void* Data, int32_t Length);
    // Replaces the profile with a copy of Source's (the built-in sRGB profile when Source holds
    // it); nil does nothing.
    void Assign(const TVLICC* Source);
    // Opens the engine's built-in sRGB profile: no raw bytes and no texts.
    void LoadSystemSRGB();
    // Closes the transform and the profile and drops the raw bytes and texts.
    void Free();

    bool IsValid() const { return FProfile != nullptr; }
    bool HasTransform() const { return FTransform != nullptr; }
    // Deletes the open transform; when there was one the profile counts as applied.
    void FreeTransform();
    // RawLength as 4 little-endian bytes unless RawOnly, then the raw bytes.
    void SaveToStream(TStream& Stream, bool RawOnly) const;

    // Converts Count pixels of Input in InputFormat (this profile) into Output in OutputFormat
    // (DestProfile). The transform is kept and reused while the formats, Intent, Flags and
    // DestProfile stay the same; it is always made with the perceptual intent, so Intent and
    // Flags only decide when it is rebuilt. Input is not changed. True when a transform exists
    // after the call and the pixels were converted.
    bool TransformPixels(TVLICC* DestProfile, int32_t InputFormat, int32_t Count, void* Output,
                         const void* Input, int32_t Flags, int32_t Intent, int32_t OutputFormat);
    // Converts Bitmap (vl8g, vl24RGB, vlCMYK, vlRGB48 or vlCIELab) into NewPixelFormat (one of
    // the same) from this profile into DestProfile. False, and Bitmap unchanged, unless every
    // row was converted. The alpha channel stays with the bitmap, unchanged.
    bool TransformBitmap(TVLBitmap& Bitmap, TVLPixelFormat NewPixelFormat, TVLICC* DestProfile);

    const uint8_t* GetRaw() const { return FRaw.empty() ? nullptr : FRaw.data(); }
    int32_t GetRawLength() const { return static_cast<int32_t>(FRaw.size()); }
    // A transform of this profile was used and released since the profile was loaded.
    bool GetApplied() const { return FApplied; }
    const AnsiString& GetDescText() const { return FDescText; }
    const AnsiString& GetCprtText() const { return FCprtText; }

private:
    void OpenProfile(void* Handle);
    void ReadTexts();

    std::vector<uint8_t> FRaw;
    void* FProfile = nullptr;
    void* FTransform = nullptr;
    // What the open transform was made for.
    int32_t FInputFormat = 0;
    int32_t FOutputFormat = 0;
    int32_t FIntent = 0;
    int32_t FFlags = 0;
    uint64_t FTransformDest = 0;
    // Identifies the open profile, so that a transform into a profile that was replaced since
    // is not reused.
    uint64_t FSerial = 0;
    bool FApplied = false;
    bool FSystemSRGB = false;
    AnsiString FDescText;
    AnsiString FCprtText;
};
