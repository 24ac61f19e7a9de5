// The library's bitmap: pixels of one of eleven formats kept in heap memory (one aligned block
// or fragments), in a delete-on-close temporary file, or in a class-library TBitmap, and reached
// row by row. Row 0 is the top row whatever the storage.
#pragma once

#include "imaging/core/VLDefs.h"
#include "imaging/core/VLFileBuffer.h"
#include "imaging/core/VLRenderOps.h"
#include "platform/gfx/Bitmap.h"
#include "platform/rtl/Types.h"

#include <memory>
#include <vector>

class TCanvas;
struct TVLRenderTables;
struct TVLStretchRowsParams;
class TVLDibbitmap;
class TVLMask;

// A pixel of vlRGB48: three 16-bit words in the order red, green, blue.
#pragma pack(push, 1)
struct TVLRGB48 {
    uint16_t r = 0;
    uint16_t g = 0;
    uint16_t b = 0;
    friend bool operator==(const TVLRGB48&, const TVLRGB48&) = default;
};
#pragma pack(pop)
static_assert(sizeof(TVLRGB48) == 6);

// Dest becomes a copy of Source: format, size, colour table and pixels. An empty Source leaves
// Dest 1 x 1 in Source's format.
void CopyTBitmap(TBitmap& Source, TBitmap& Dest);
std::unique_ptr<TBitmap> DuplicateTBitmap(TBitmap& Source);
// Sets (Set) or clears bits X .. X + Count - 1 of a packed 1-bit row, most significant bit first.
void FillRowBits(uint8_t* Row, int32_t X, int32_t Count, bool Set);
// The row alignments, in bits, a bitmap takes: 8, 16, 32 and 64.
bool IsRowAlignment(int32_t Bits);

// What every bitmap of the library offers: rows, size, format and palette.
class TVLBaseBitmap : public TObject {
public:
    // Bit 1: read a row of a file-located bitmap from the file when it is mapped.
    // Bit 2: write it back when it is released.
    uint8_t Access = 0;

    // Row Row (0 = top). For a file-located bitmap the pointer is valid only until the next
    // GetScanline on the same bitmap. nil for a row outside the bitmap.
    virtual uint8_t* GetScanline(int32_t Row) = 0;
    virtual int32_t GetBitCount() = 0;
    virtual int32_t GetHeight() = 0;
    virtual int32_t GetWidth() = 0;
    virtual TVLPixelFormat GetPixelFormat() = 0;
    virtual int32_t GetRowLen() = 0;
    virtual void GetPaletteColor(int32_t Index, TVLRGB& Color) = 0;
    virtual void SetPaletteColor(int32_t Index, const TVLRGB& Color) = 0;
    virtual int32_t GetPaletteLength() = 0;
    virtual bool Allocate(int32_t Width, int32_t Height, TVLPixelFormat PixelFormat) = 0;
    // Copies Source when it is of a kind this bitmap knows; other objects are ignored.
    virtual void Assign(TObject* Source) = 0;
    virtual void CopyPaletteTo(TVLBaseBitmap& Dest) = 0;
};

class TVLBitmap : public TVLBaseBitmap {
public:
    TVLBitmap();
    TVLBitmap(int32_t Width, int32_t Height, TVLPixelFormat PixelFormat);
    ~TVLBitmap() override;
    TVLBitmap(const TVLBitmap&) = delete;
    TVLBitmap& operator=(const TVLBitmap&) = delete;

    // An alpha channel: vl8g, every byte 255, never given an alpha channel of its own.
    static std::unique_ptr<TVLBitmap> CreateAsAlpha(int32_t Width, int32_t Height,
                                                    TVLLocation Location);

    void FreeImage(bool FreeAlpha);
    bool IsEmpty() const;

    // Storage.
    bool Allocate(int32_t Width, int32_t Height, TVLPixelFormat PixelFormat) override;
    bool AllocateStorage();
    // Size changes keep the top-left pixels; uncovered pixels are undefined. They change nothing
    // when the new storage cannot be had.
    void SetWidth(int32_t Value);
    void SetHeight(int32_t Value);
    // Both sides in one step, so that no intermediate size (the new width by the old height) is
    // ever allocated; false when the bitmap does not have the new size afterwards.
    bool SetSize(int32_t NewWidth, int32_t NewHeight);
    // Alignments other than those of IsRowAlignment are ignored. A bitmap in vlTBitmap keeps the
    // class-library bitmap's rows; the alignment applies from its next move out of it.
    void SetBitAlignment(int32_t Bits);
    // Moves the pixels to another location; false (and nothing changed) when the new location
    // cannot hold them. vlFile and vlMemory follow the MinFileSize rule.
    bool SetLocation(TVLLocation NewLocation);
    TBitmap* GetVclBitmap();
    // The canvas of the class-library bitmap, the pixels moved there first; nil when that
    // bitmap cannot hold them (vl32f, vlCMYK, vlRGB48, vlCIELab). Sizes and format follow what
    // is drawn, as for any change made through the class-library bitmap.
    TCanvas* GetCanvas();
    void EncapsulateTBitmap(TBitmap* Bitmap, bool FreeFirst);
    // Data holds Height rows bottom-up, RowLen apart, and stays the caller's.
    void EncapsulateMemory(void* Data, int32_t Width, int32_t Height, TVLPixelFormat PixelFormat,
                           bool FreeFirst);
    // Hands the whole storage to Dest and leaves this bitmap empty.
    void MoveContentsTo(TVLBitmap& Dest);
    void SyncFromTBitmap();

    // Rows and properties.
    uint8_t* GetScanline(int32_t Row) override;
    // A row that stays valid until UnmapScanline(Row) or UnmapAllScanlines.
    uint8_t* MapScanline(int32_t Row);
    void UnmapScanline(int32_t Row);
    void UnmapAllScanlines();
    int32_t GetBitCount() override;
    int32_t GetHeight() override;
    int32_t GetWidth() override;
    TVLPixelFormat GetPixelFormat() override;
    int32_t GetRowLen() override;
    int32_t GetChannelCount();
    TVLLocation GetLocation() const { return FLocation; }
    int32_t GetBitAlignment() const { return FBitAlignment; }
    int32_t GetFragmentCount() const { return FFragmentCount; }
    bool GetEncapsulatedTBitmap() const { return FEncapsulatedTBitmap; }
    bool GetEncapsulatedMemory() const { return FEncapsulatedMemory; }
    const TVLFileBuffer& GetFileBuffer() const { return *FFileBuffer; }

    // Palette.
    void GetPaletteColor(int32_t Index, TVLRGB& Color) override;
    void SetPaletteColor(int32_t Index, const TVLRGB& Color) override;
    int32_t GetPaletteLength() override;
    TVLRGB* GetPalette() { return FPalette.get(); }
    // Writes the palette into the colour table of the class-library bitmap that holds the pixels.
    void UpdateTBitmapPalette();

    void CopyPaletteTo(TVLBaseBitmap& Dest) override;
    // Reads the first Count entries of Source's colour table into the palette (the rest zeroed).
    void ReadTBitmapPalette(TBitmap& Source, int32_t Count);

    // Whole-bitmap copies. Assign takes a TVLBitmap with its alpha channel and palette, or a
    // TBitmap through CopyFromTBitmap. A bitmap in vlTBitmap cannot hold vl32f, vlCMYK, vlRGB48
    // or vlCIELab: such sources arrive as vl24RGB there (vl16g as vl8g).
    void Assign(TObject* Source) override;
    // Size, format, pixels and palette only; this bitmap's alpha channel stays as it is.
    void AssignImage(TVLBitmap& Source);
    void CopyFromTBitmap(TBitmap& Source);
    // 1-bit sources become vl1g, 24-bit ones vl24RGB; nil and other depths copy nothing.
    void CopyFromDibbitmap(TVLDibbitmap* Source);
    // nil fills the bitmap with 255 at its current size.
    void CopyFromMask(TVLMask* Mask);
    // vl1g and vl8g copy their rows, vl24RGB gives grey levels; the mask's box is recomputed.
    void CopyToMask(TVLMask* Mask);

    // Rectangles. Rectangles are clipped to both bitmaps; a negative start on either side moves
    // both starts by the same amount. Only equal formats, vl1g to vl24RGB and vl1g to vl1g copy.
    void CopyRectTo(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                    int32_t Width, int32_t Height);
    // Raises each alpha byte of Dest's rectangle to the matching byte of this bitmap's alpha.
    void MergeAlphaRectTo(TVLBitmap& Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                          int32_t Width, int32_t Height);
    // Moves the inclusive rectangle to (DestX, DestY), filling where it was with FillValue.
    void MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DestX, int32_t DestY,
                  double FillValue);
    // Changes the canvas size without scaling; alignment 0 = left/top, 1 = centre,
    // 2 = right/bottom. New pixels get FillValue, new alpha bytes AlphaFill.
    void ResizeCanvas(int32_t NewWidth, int32_t NewHeight, double FillValue, int32_t AlphaFill,
                      uint8_t HorizAlign, uint8_t VertAlign);
    // Value is a level for vl1g (non-zero = set), vl8p, vl8g and vl16g, the sample for vl32f,
    // and a TColor for the colour formats.
    void Fill(double Value);
    // Inclusive corners, clipped to the bitmap.
    void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value);

    // Pixels, Y = 0 the top row. Each accessor serves the formats of its pixel size; a pixel
    // outside the bitmap or of another size reads as 0 and is not written.
    uint8_t GetPixel8(int32_t X, int32_t Y);
    void SetPixel8(int32_t X, int32_t Y, uint8_t Value);
    uint16_t GetPixel16(int32_t X, int32_t Y);
    void SetPixel16(int32_t X, int32_t Y, uint16_t Value);
    float GetPixelFloat(int32_t X, int32_t Y);
    void SetPixelFloat(int32_t X, int32_t Y, float Value);
    int32_t GetPixel32(int32_t X, int32_t Y);
    void SetPixel32(int32_t X, int32_t Y, int32_t Value);
    TVLRGB GetPixelRGB(int32_t X, int32_t Y);
    void SetPixelRGB(int32_t X, int32_t Y, const TVLRGB& Value);
    // Valid as a GetScanline pointer is; nil outside the bitmap.
    TVLRGB* GetRGBPixelAddress(int32_t X, int32_t Y);
    TVLRGB48 GetPixelRGB48(int32_t X, int32_t Y);
    void SetPixelRGB48(int32_t X, int32_t Y, const TVLRGB48& Value);
    // The pixel as blue, green, red whatever the format.
    TVLRGB GetPixelAsRGB(int32_t X, int32_t Y);
    // The alpha byte: of this bitmap when it is an alpha channel, else of its alpha channel
    // (created on first use).
    uint8_t GetAlphaPixel(int32_t X, int32_t Y);
    void SetAlphaPixel(int32_t X, int32_t Y, uint8_t Value);

    // Alpha channel. GetAlphaChannel creates an opaque one on first use; nil for a bitmap that is
    // itself an alpha channel.
    TVLBitmap* GetAlphaChannel();
    bool HasAlphaChannel() const { return FAlphaChannel != nullptr; }
    // Makes Alpha the alpha channel without copying and hands the previous one (or nil) back.
    std::unique_ptr<TVLBitmap> AttachAlphaChannel(std::unique_ptr<TVLBitmap> Alpha);
    // Frees the alpha channel; with Merge the pixels are first blended onto Background by their
    // alpha (vl1g and vl8p become vl24RGB for that).
    void RemoveAlphaChannel(bool Merge, TColor Background);

    // Pixel-format conversion. SetPixelFormat converts the pixels in place and keeps the alpha
    // channel; it raises EOutOfMemory, leaving the image as it was, when the converted pixels
    // cannot be stored. ConvertFrom fills this bitmap, already allocated in its format at
    // Source's size, from Source's pixels (Source keeps them) and takes over Source's alpha
    // channel; it does nothing for another size or in vlTBitmap.
    void SetPixelFormat(TVLPixelFormat Value);
    void ConvertFrom(TVLBitmap& Source);

    // Whole-image tests over the used bytes of every row.
    void SyncFull();
    bool IsAllZero();
    bool IsGrayScale();

    // Settings read by the other operations of the bitmap.
    bool IsAlpha = false;
    // Every byte of every row is known to be 255 (a fully opaque alpha channel).
    bool Full = false;
    // Pixel-block size in bytes from which the pixels go to the temporary file.
    int64_t MinFileSize = 0;
    // Conversion to vl1g: 0 ordered dither, 1 threshold.
    uint8_t DefaultDitherMethod = 1;
    // Colours a conversion to vl8p produces.
    int32_t PaletteUsed = 256;
    // Sample range stretched to 0..255 when grey pixels are rendered (none while equal).
    double BlackValue = 0;
    double WhiteValue = 0;
    // Added to red, green and blue when rendering; the fourth value is only stored.
    int32_t ChannelOffset[4] = {0, 0, 0, 0};
    bool EnableChannelOffset = false;
    int32_t Contrast = 0;
    // How a memory-located pixel block is allocated: 0 the heap, 1 zero-filled memory,
    // 2 the library's two-way allocator.
    uint8_t MemoryAllocator = 2;
    // The next Allocate reallocates even when size and format are unchanged.
    bool FullReallocate = true;
    // Layer index stored in undo images.
    int32_t UndoLayerIndex = 0;

    // Canvas output (VLCanvasOutput.cpp): the whole bitmap stretched into the canvas rectangle,
    // resampled with Filter (rfNone: nearest pixel) and gamma-corrected (Gamma 1 and 0: none).
    void RenderToCanvas(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                        TResampleFilter Filter, double Gamma);
    void RenderToCanvasUnscaled(TCanvas* Canvas, int32_t X, int32_t Y);

    // Rendering of this bitmap (VLRender.cpp). Dest is a vl24RGB bitmap that is not
    // file-located; rectangles are clipped to both bitmaps; Transparency 255 is opaque. ClipRect
    // (nil for none) limits the drawing, its Right and Bottom inclusive.
    void RenderRectToBitmapEx(TVLBitmap& Dest, TVLRenderTables& Tables, const TRect* ClipRect,
                              int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                              int32_t SrcY, int32_t SrcW, int32_t SrcH, bool EnableAlpha,
                              bool SolidBackground, int32_t Transparency, TResampleFilter Filter,
                              bool FreeTables, TVLRenderOperation RenderOperation);
    void RenderRectToBitmap(TVLBitmap& Dest, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                            int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                            int32_t Transparency, TResampleFilter Filter,
                            TVLRenderOperation RenderOperation);
    void RenderRectToTBitmapEx(TBitmap& Dest, TVLRenderTables& Tables, const TRect* ClipRect,
                               int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, int32_t SrcX,
                               int32_t SrcY, int32_t SrcW, int32_t SrcH, bool EnableAlpha,
                               bool SolidBackground, int32_t Transparency, TResampleFilter Filter,
                               bool FreeTables, TVLRenderOperation RenderOperation);
    void RenderRectToTBitmap(TBitmap& Dest, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                             int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                             int32_t Transparency, TResampleFilter Filter,
                             TVLRenderOperation RenderOperation);
    // Renders onto the canvas area (DstX, DstY, DstW, DstH) through a 24-bit DIB copy of it;
    // the rest of the canvas is not touched.
    void RenderRectToCanvas(TCanvas& Canvas, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH,
                            int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH,
                            int32_t Transparency, TResampleFilter Filter,
                            TVLRenderOperation RenderOperation);
    // Copies (stretching) a vl1g or vl24RGB rectangle into a vl24RGB Dest and sets Dest's alpha
    // over the drawn area to this bitmap's alpha capped at Opacity.
    void StretchRectWithAlphaTo(TVLBitmap& Dest, int32_t DstX, int32_t DstY, int32_t DstW,
                                int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW,
                                int32_t SrcH, TResampleFilter Filter, int32_t Opacity);

    // The raw dump "TVLBITMAPRAW" (VLBitmapRaw.cpp): palette, rendering settings, row alignment,
    // the rows as this bitmap keeps them and the alpha channel. SaveRaw writes it to Buffer
    // (GetRawSize() bytes) when Buffer is not nil, else to Stream at its position.
    void SaveRaw(void* Buffer, TStream* Stream);
    int64_t GetRawSize();
    // Reads a dump from the BufferSize bytes of Buffer when it is not nil, else from Stream at its
    // position. False, leaving this bitmap as it was, when the bytes are not a complete dump of a
    // size, format and alignment the library knows, or its pixels cannot be had.
    bool LoadRaw(const void* Buffer, int64_t BufferSize, TStream* Stream);

    // Row renderers, an opaque one and a blending one per pixel format.
    virtual void StretchRows24RGB(const TVLStretchRowsParams& Params);
    virtual void StretchRows24RGBAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRows32RGB(const TVLStretchRowsParams& Params);
    virtual void StretchRows32RGBAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRows1g(const TVLStretchRowsParams& Params);
    virtual void StretchRows1gAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRows8g(const TVLStretchRowsParams& Params);
    virtual void StretchRows8gAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRows8p(const TVLStretchRowsParams& Params);
    virtual void StretchRows8pAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRows16g(const TVLStretchRowsParams& Params);
    virtual void StretchRows16gAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRows32f(const TVLStretchRowsParams& Params);
    virtual void StretchRows32fAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRowsCMYK(const TVLStretchRowsParams& Params);
    virtual void StretchRowsCMYKAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRowsCIELab(const TVLStretchRowsParams& Params);
    virtual void StretchRowsCIELabAlpha(const TVLStretchRowsParams& Params);
    virtual void StretchRowsRGB48(const TVLStretchRowsParams& Params);
    virtual void StretchRowsRGB48Alpha(const TVLStretchRowsParams& Params);

private:
    // How the pixel block was obtained, recorded with the block so that it is freed the same way
    // whatever MemoryAllocator says by then.
    enum class TMemoryRoute : uint8_t { None, Heap, Global, Block };

    bool AllocateMemoryBlock(int64_t Size);
    bool AllocateFragments();
    void FreeFragments();
    void FreeMemoryBlock();
    bool AllocateVclBitmap();
    void BuildScanlineCache();
    void RecomputeLayout();
    void UnmapWorkingRow();
    void CloseFile();
    // A new bitmap with the given size, location and alignment holding this bitmap's top-left
    // pixels and palette; nil when its storage cannot be had.
    std::unique_ptr<TVLBitmap> BuildRelayout(int32_t NewWidth, int32_t NewHeight,
                                             TVLLocation NewLocation, int32_t NewAlignment);
    // Takes over Target's storage, keeping this bitmap's alpha channel and settings.
    void CommitRelayout(TVLBitmap& Target);
    void Resize(int32_t NewWidth, int32_t NewHeight);
    // Steps shared by Assign and AssignImage: new storage of Source's size and format (for
    // vlTBitmap in the class-library bitmap already held) and the rows copied into it.
    bool TakeImageOf(TVLBitmap& Source, bool WholeCopy);
    void CopyRowsFrom(TVLBitmap& Source);
    // The pixel rows of a conversion from Source (same size), without the alpha hand-over.
    void ConvertPixelsFrom(TVLBitmap& Source);
    void SetTBitmapPixelFormat(TVLPixelFormat Value);
    // The two ways of RenderToCanvas: one packed DIB stretched nearest-pixel, or a resampled
    // work bitmap drawn in strips.
    void RenderToCanvasUnfiltered(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width,
                                  int32_t Height, double Gamma);
    void RenderToCanvasFiltered(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width,
                                int32_t Height, TResampleFilter Filter, double Gamma);
    // A pixel's row when (X, Y) lies inside and the pixel is Bits wide; nil otherwise.
    uint8_t* PixelRow(int32_t X, int32_t Y, int32_t Bits);
    // Re-lays the pixels as vl24RGB in the same location; false when that cannot be had.
    bool ConvertToRGB24();
    void MergeAlpha(TColor Background);

    std::unique_ptr<TVLFileBuffer> FFileBuffer;
    uint8_t* FWorkingRow = nullptr;
    std::unique_ptr<TVLRGB[]> FPalette;
    int32_t FPaletteLength = 0;
    std::unique_ptr<TVLBitmap> FAlphaChannel;
    uint8_t* FMemory = nullptr;
    void* FRawMemory = nullptr;
    TMemoryRoute FMemoryRoute = TMemoryRoute::None;
    TBitmap* FVclBitmap = nullptr;
    std::vector<uint8_t*> FScanlineCache;
    std::vector<uint8_t*> FMappedRowPointers;
    std::vector<int32_t> FMappedRowIndexes;
    int32_t FWidth = 0;
    int32_t FHeight = 0;
    int32_t FBitCount = 0;
    int32_t FChannelCount = 0;
    int32_t FRowLen = 0;
    TVLPixelFormat FPixelFormat = TVLPixelFormat::vlNone;
    TVLLocation FLocation = TVLLocation::vlFile;
    bool FEncapsulatedTBitmap = false;
    bool FEncapsulatedMemory = false;
    int32_t FBitAlignment = 32;
    int32_t FFragmentCount = 0;
    int32_t FRowsPerFragment = 0;
    std::vector<uint8_t*> FFragments;
};
