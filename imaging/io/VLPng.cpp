// The PNG adapter over libpng. libpng reports errors by jumping back to the setjmp of the
// function that called it; the functions holding a setjmp below keep every object with a
// destructor in a context owned by their caller, so that a jump skips none.
#include "imaging/io/VLPng.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLColorReduce.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLQuantizer.h"
#include "imaging/io/VLInputBounds.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

using enum TVLPixelFormat;

namespace {

// ---- Reading ----

struct TPngRead {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    // Rows libpng writes before they are split into the bitmap: one row, or the whole image when
    // the passes of an interlaced file must add up.
    std::vector<uint8_t> Buffer;
    ~TPngRead() {
        if (Png != nullptr)
            png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr);
    }
};

// What the row loop needs to know of the image after the transformations.
struct TPngReadLayout {
    png_uint_32 Width = 0;
    png_uint_32 Height = 0;
    int BitDepth = 0;
    int ColorType = 0;
    int Passes = 1;
    int Channels = 0;
    size_t RowBytes = 0;
    bool Native = false;
    // 1-bit palette rows expanded to 24 bits through the palette.
    bool Palette1 = false;
};

// libpng's own allocations while reading are rows (8 MB for the widest picture it takes) and
// chunk buffers. A text chunk's buffer is sized by its declared length before a byte of it is
// read, so a damaged length would have libpng allocate and clear up to 2 GiB; larger requests
// are refused, and libpng then skips the chunk or stops reading.
constexpr png_alloc_size_t LargestLibraryBlock = 32 << 20;

png_voidp PNGAllocate(png_structp, png_alloc_size_t Size) {
    return Size <= LargestLibraryBlock ? std::malloc(Size) : nullptr;
}

void PNGFree(png_structp, png_voidp Block) {
    std::free(Block);
}

void PNGReadError(png_structp Png, png_const_charp) {
    if (auto* abortFlag = static_cast<bool*>(png_get_error_ptr(Png))) *abortFlag = true;
    png_longjmp(Png, 1);
}

void PNGReadWarning(png_structp, png_const_charp) {}

void PNGReadData(png_structp Png, png_bytep Data, size_t Length) {
    auto* stream = static_cast<TStream*>(png_get_io_ptr(Png));
    bool complete = false;
    try {
        complete = Length <= INT32_MAX &&
                   stream->Read(Data, static_cast<int32_t>(Length)) == static_cast<int32_t>(Length);
    } catch (const std::exception&) {
        complete = false;
    }
    if (!complete) png_error(Png, "Read error");
}

void ReadTexts(png_structp Png, png_infop Info, TIOParamsVals& Params) {
    Params.PngTextKeys.Clear();
    Params.PngTextValues.Clear();
    png_textp texts = nullptr;
    const int count = png_get_text(Png, Info, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        const std::string_view value(texts[i].text != nullptr ? texts[i].text : "");
        Params.PngTextKeys.Add(StrFromAnsi(texts[i].key));
        // International text chunks hold UTF-8, the others Latin-1.
        Params.PngTextValues.Add(texts[i].compression >= PNG_ITXT_COMPRESSION_NONE
                                     ? StrFromUtf8(value)
                                     : StrFromAnsi(value));
    }
}

void ReadParams(png_structp Png, png_infop Info, const TPngReadLayout& Layout,
                TIOParamsVals& Params) {
    png_color_16p background = nullptr;
    if (png_get_bKGD(Png, Info, &background) != 0 && background != nullptr)
        Params.PngBackground = {static_cast<uint8_t>(background->blue),
                                static_cast<uint8_t>(background->green),
                                static_cast<uint8_t>(background->red)};
    Params.Width = Params.OriginalWidth = static_cast<int32_t>(Layout.Width);
    Params.Height = Params.OriginalHeight = static_cast<int32_t>(Layout.Height);
    Params.BitsPerSample = Layout.BitDepth;
    switch (Layout.ColorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        Params.SamplesPerPixel = 1;
        break;
    case PNG_COLOR_TYPE_RGB:
        Params.SamplesPerPixel = 3;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        Params.SamplesPerPixel = 2;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        Params.SamplesPerPixel = 4;
        break;
    default:
        break;
    }
    const auto dpi = [](png_uint_32 PerMetre, int32_t Default) {
        const auto value = static_cast<int32_t>(Round(PerMetre / 100.0 * 2.54));
        return value != 0 ? value : Default;
    };
    Params.SetDpiX(dpi(png_get_x_pixels_per_meter(Png, Info), DefaultDpiX));
    Params.SetDpiY(dpi(png_get_y_pixels_per_meter(Png, Info), DefaultDpiY));
    Params.FreePalette();
    png_colorp palette = nullptr;
    int count = 0;
    if (Layout.ColorType == PNG_COLOR_TYPE_PALETTE &&
        png_get_PLTE(Png, Info, &palette, &count) != 0 && count > 0) {
        TVLRGB* entries = Params.AllocPalette(count);
        for (int i = 0; i < count; ++i)
            entries[i] = {palette[i].blue, palette[i].green, palette[i].red};
    }
    Params.PngInterlaced = png_get_interlace_type(Png, Info) != PNG_INTERLACE_NONE;
}

// Asks libpng for 24-bit blue-green-red rows (with alpha when the file has transparency), or for
// the file's own samples in native mode.
void SetTransformations(png_structp Png, const TPngReadLayout& Layout) {
    const int depth = Layout.BitDepth, type = Layout.ColorType;
    if (Layout.Native) {
        if (depth == 16) png_set_swap(Png);
        return;
    }
    if (type == PNG_COLOR_TYPE_PALETTE && depth >= 2) png_set_expand(Png);
    if (type == PNG_COLOR_TYPE_GRAY && depth >= 2 && depth <= 7) png_set_expand(Png);
    if (depth == 16) png_set_strip_16(Png);
    if (depth >= 2 && depth <= 7) png_set_packing(Png);
    if ((type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) && depth > 1)
        png_set_gray_to_rgb(Png);
    if (depth > 1) {
        png_set_bgr(Png);
        png_set_tRNS_to_alpha(Png);
    }
}

TVLPixelFormat TargetFormat(const TPngReadLayout& Layout) {
    if (Layout.BitDepth == 1 && Layout.ColorType != PNG_COLOR_TYPE_PALETTE) return vl1g;
    if (Layout.Native)
        return Layout.ColorType == PNG_COLOR_TYPE_PALETTE ? vl8p
               : Layout.BitDepth == 16                    ? vl16g
                                                          : vl8g;
    return vl24RGB;
}

// Bytes of one row as libpng delivers it for the target format.
size_t ExpectedRowBytes(const TPngReadLayout& Layout, TVLPixelFormat Format) {
    const size_t width = Layout.Width;
    if (Layout.Channels == 4) return width * 4;
    if (Layout.Palette1 || Format == vl1g) return (width + 7) / 8;
    return width * static_cast<size_t>(PixelFormatInfo(Format).BitCount / 8);
}

// False when the IDAT data left in the stream cannot hold the picture: it must inflate to every
// row of the file's own layout (FileRowBytes each, filter bytes aside).
bool PlausibleForInput(const TPngReadLayout& Layout, TVLPixelFormat Format, size_t FileRowBytes,
                       TStream& Stream) {
    const bool buffered = Layout.Channels == 4 || Layout.Palette1;
    const int64_t rows = Layout.Passes > 1 ? Layout.Height : 1;
    const int64_t buffer = buffered ? static_cast<int64_t>(Layout.RowBytes) * rows : 0;
    const int64_t bitmap =
        PlannedBitmapBytes(Layout.Width, Layout.Height, Format, Layout.Channels == 4);
    const int64_t output = static_cast<int64_t>(FileRowBytes) * Layout.Height;
    // libpng keeps both sides within 1,000,000 pixels: the sums cannot wrap.
    return IsPlausibleDeclaredSize(bitmap + buffer, output, ExpansionDeflate,
                                   Stream.GetSize() - Stream.GetPosition());
}

void AllocateTarget(TVLBitmap& Bitmap, TIOParamsVals& Params, TPngRead& Read,
                    TPngReadLayout& Layout, TVLPixelFormat Format) {
    if (!Bitmap.Allocate(static_cast<int32_t>(Layout.Width), static_cast<int32_t>(Layout.Height),
                         Format))
        throw EOutOfMemory(u"Out of memory");
    if (Format == vl8p) {
        const int32_t count = std::min(Params.GetPaletteCount(), 1 << Layout.BitDepth);
        for (int32_t i = 0; i < count; ++i)
            Bitmap.SetPaletteColor(i, Params.GetPalette()[i]);
    }
    const bool buffered = Layout.Channels == 4 || Layout.Palette1;
    if (buffered) {
        // 64-bit row and image sizes: a size that cannot be had raises and aborts the read.
        const uint64_t rows = Layout.Passes > 1 ? Layout.Height : 1;
        if (Layout.RowBytes > SIZE_MAX / rows) throw EOutOfMemory(u"Out of memory");
        Read.Buffer.assign(Layout.RowBytes * rows, 0);
    }
    if (Layout.Channels == 4)
        Bitmap.GetAlphaChannel()->Full = false;
    else if (Bitmap.HasAlphaChannel())
        Bitmap.RemoveAlphaChannel(false, 0);
}

void SplitRGBA(const uint8_t* Source, uint8_t* Pixels, uint8_t* Alpha, png_uint_32 Width) {
    for (png_uint_32 x = 0; x < Width; ++x, Source += 4, Pixels += 3) {
        std::memcpy(Pixels, Source, 3);
        Alpha[x] = Source[3];
    }
}

// Entry 1 where a bit is set and entry 0 where it is clear; an entry the palette does not hold
// gives black.
void ExpandPalette1(const uint8_t* Source, uint8_t* Pixels, png_uint_32 Width,
                    const TIOParamsVals& Params) {
    TVLRGB entries[2] = {};
    for (int32_t i = 0; i < std::min(Params.GetPaletteCount(), 2); ++i)
        entries[i] = Params.GetPalette()[i];
    auto* out = reinterpret_cast<TVLRGB*>(Pixels);
    for (png_uint_32 x = 0; x < Width; ++x)
        out[x] = entries[GetRowBit(Source, x) != 0 ? 1 : 0];
}

// One row of one pass into the bitmap. Returns false when the read must stop.
void ReadRow(TPngRead& Read, const TPngReadLayout& Layout, TVLBitmap& Bitmap,
             const TIOParamsVals& Params, png_uint_32 Y) {
    uint8_t* buffered = Read.Buffer.empty()
                            ? nullptr
                            : Read.Buffer.data() + (Layout.Passes > 1 ? Y * Layout.RowBytes : 0);
    uint8_t* row = Bitmap.GetScanline(static_cast<int32_t>(Y));
    png_read_row(Read.Png, buffered != nullptr ? buffered : row, nullptr);
    if (Layout.Channels == 4) {
        uint8_t* alpha = Bitmap.GetAlphaChannel()->GetScanline(static_cast<int32_t>(Y));
        SplitRGBA(buffered, Bitmap.GetScanline(static_cast<int32_t>(Y)), alpha, Layout.Width);
    } else if (Layout.Palette1) {
        ExpandPalette1(buffered, row, Layout.Width, Params);
    }
}

// Runs libpng over the stream; false when libpng gave up and jumped back here.
bool RunRead(TPngRead& Read, TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
             TVLProgressRecord& Progress, bool ParamsOnly) {
    TPngReadLayout layout;
    if (setjmp(png_jmpbuf(Read.Png))) return false;
    png_set_read_fn(Read.Png, &Stream, PNGReadData);
    png_read_info(Read.Png, Read.Info);
    const size_t fileRowBytes = png_get_rowbytes(Read.Png, Read.Info);
    png_get_IHDR(Read.Png, Read.Info, &layout.Width, &layout.Height, &layout.BitDepth,
                 &layout.ColorType, nullptr, nullptr, nullptr);
    ReadTexts(Read.Png, Read.Info, Params);
    layout.Native =
        Params.NativePixelFormat && (layout.BitDepth == 8 || layout.BitDepth == 16) &&
        (layout.ColorType == PNG_COLOR_TYPE_GRAY || layout.ColorType == PNG_COLOR_TYPE_PALETTE);
    SetTransformations(Read.Png, layout);
    layout.Passes = png_set_interlace_handling(Read.Png);
    png_read_update_info(Read.Png, Read.Info);
    ReadParams(Read.Png, Read.Info, layout, Params);
    if (ParamsOnly) return true;

    layout.Channels = png_get_channels(Read.Png, Read.Info);
    layout.RowBytes = png_get_rowbytes(Read.Png, Read.Info);
    layout.Palette1 = layout.ColorType == PNG_COLOR_TYPE_PALETTE && layout.BitDepth == 1;
    const TVLPixelFormat format = TargetFormat(layout);
    if (layout.RowBytes != ExpectedRowBytes(layout, format) ||
        !PlausibleForInput(layout, format, fileRowBytes, Stream))
        return false;
    AllocateTarget(Bitmap, Params, Read, layout, format);

    const double factor = 100.0 / (static_cast<double>(layout.Height) * layout.Passes);
    int64_t counter = 0, last = -1;
    for (int pass = 0; pass < layout.Passes; ++pass) {
        for (png_uint_32 y = 0; y < layout.Height; ++y) {
            ReadRow(Read, layout, Bitmap, Params, y);
            const int64_t percent = Trunc(static_cast<double>(++counter) * factor);
            if (percent != last) {
                last = percent;
                Progress.ReportPercent(static_cast<int32_t>(percent));
            }
            if (Progress.Aborting()) return true;
        }
    }
    png_read_end(Read.Png, nullptr);
    return true;
}

// ---- Writing ----

// Packed1: one-bit rows as the bitmap stores them, grey or indexes into a two-entry palette.
enum class TPngWriteMode { Packed1, Palette, MaskedPalette, Gray8, Gray16, RGB, RGBA };

// The stream and the abort flag handed to libpng as its I/O pointer.
struct TPngWriteIO {
    TStream* Stream = nullptr;
    bool* AbortFlag = nullptr;
    bool ShortWrite = false;
};

struct TPngWrite {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TPngWriteIO IO;
    TPngWriteMode Mode = TPngWriteMode::RGB;
    int BitDepth = 8;
    int ColorType = PNG_COLOR_TYPE_RGB;
    TVLBitmap* Source = nullptr;
    std::unique_ptr<TVLBitmap> OwnedSource;
    TVLMask* Mask = nullptr;
    std::unique_ptr<TVLQuantizer> Quantizer;
    std::vector<TVLRGB> QuantizerPalette;
    std::vector<png_color> Plte;
    // The two colours of a picture made bilevel, bit 0 and bit 1; empty for black and white.
    std::vector<TVLRGB> TwoColors;
    png_color_16 Background{};
    std::vector<std::string> TextStorage;
    std::vector<png_text> Texts;
    std::vector<uint8_t> Row;
    ~TPngWrite() {
        if (Png != nullptr) png_destroy_write_struct(&Png, Info != nullptr ? &Info : nullptr);
    }
};

[[noreturn]] void RaiseCreatingError() {
    throw EInvalidGraphic(u"Error on creating PNG");
}

void PNGWriteError(png_structp Png, png_const_charp) {
    png_longjmp(Png, 1);
}

void PNGWriteWarning(png_structp, png_const_charp) {}

void PNGWriteData(png_structp Png, png_bytep Data, size_t Length) {
    auto* io = static_cast<TPngWriteIO*>(png_get_io_ptr(Png));
    if (io->ShortWrite) return;
    bool complete = false;
    try {
        complete = Length <= INT32_MAX && io->Stream->Write(Data, static_cast<int32_t>(Length)) ==
                                              static_cast<int32_t>(Length);
    } catch (const std::exception&) {
        complete = false;
    }
    if (!complete) {
        io->ShortWrite = true;
        if (io->AbortFlag != nullptr) *io->AbortFlag = true;
    }
}

void PNGFlushData(png_structp) {}

// Grey level of a colour by the library's weights, halves to even.
uint8_t GrayLevel(const TVLRGB& Color) {
    return static_cast<uint8_t>(Round(
        (Color.r * GrayWeightRed + Color.g * GrayWeightGreen + Color.b * GrayWeightBlue) / 100.0));
}

// The bitmap the rows come from: 1-bit for a 1-bit file, else one of the formats the row
// writers read (vl24RGB always; vl8p, vl8g and vl16g for one sample per pixel).
void ChooseSource(TPngWrite& Write, TVLBitmap& Bitmap, const TIOParamsVals& Params) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    TVLPixelFormat wanted = vl24RGB;
    if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1) {
        if (format == vl1g) {
            Write.Source = &Bitmap;
            return;
        }
        TVLRGB color0, color1;
        Write.OwnedSource = TryMakeTwoColorBitmap(Bitmap, color0, color1);
        // Two colours that are not black and white keep their colours in a two-entry palette.
        if (Write.OwnedSource && !(color0 == TVLRGB{0, 0, 0} && color1 == TVLRGB{255, 255, 255}))
            Write.TwoColors = {color0, color1};
        wanted = vl1g;
    } else if (format == vl24RGB || (Params.SamplesPerPixel == 1 &&
                                     (format == vl8p || format == vl8g || format == vl16g))) {
        Write.Source = &Bitmap;
        return;
    }
    if (!Write.OwnedSource) {
        Write.OwnedSource = std::make_unique<TVLBitmap>();
        Write.OwnedSource->AssignImage(Bitmap);
        Write.OwnedSource->SetPixelFormat(wanted);
    }
    Write.Source = Write.OwnedSource.get();
}

void ChoosePalette(TPngWrite& Write, TIOParamsVals& Params) {
    TVLBitmap& source = *Write.Source;
    const TVLRGB background = Params.PngBackground;
    if (Write.Mask != nullptr) {
        // Entry 0 is the background and the only transparent entry; the colours follow it.
        const int32_t colors = std::min(1 << std::min(Params.BitsPerSample, 8), 255);
        Write.QuantizerPalette.assign(colors, TVLRGB{});
        Write.Quantizer = std::make_unique<TVLQuantizer>(source, Write.QuantizerPalette, colors);
        Write.Mode = TPngWriteMode::MaskedPalette;
        Write.BitDepth = 8;
        Write.Plte.push_back({background.r, background.g, background.b});
        for (const TVLRGB& c : Write.QuantizerPalette)
            Write.Plte.push_back({c.r, c.g, c.b});
        Write.Background.index = 0;
        return;
    }
    Write.QuantizerPalette.assign(256, TVLRGB{});
    Write.Quantizer = std::make_unique<TVLQuantizer>(source, Write.QuantizerPalette, 256);
    if (Write.Quantizer->GetIsGray()) {
        Write.ColorType = PNG_COLOR_TYPE_GRAY;
        Write.Mode = Write.BitDepth == 16 ? TPngWriteMode::Gray16 : TPngWriteMode::Gray8;
        // The background in the file's own terms: a grey level of the file's depth.
        Write.Background.gray =
            static_cast<png_uint_16>(GrayLevel(background) * (Write.BitDepth == 16 ? 257 : 1));
        return;
    }
    Write.Mode = TPngWriteMode::Palette;
    for (const TVLRGB& c : Write.QuantizerPalette)
        Write.Plte.push_back({c.r, c.g, c.b});
    Write.Background.index = static_cast<png_byte>(Write.Quantizer->RGBToIndex(background));
}

void ChooseLayout(TPngWrite& Write, TIOParamsVals& Params) {
    const TVLRGB background = Params.PngBackground;
    if (Params.SamplesPerPixel == 1 && Write.Source->GetPixelFormat() == vl1g) {
        Write.Mode = TPngWriteMode::Packed1;
        Write.BitDepth = 1;
        if (Write.TwoColors.empty()) {
            Write.ColorType = PNG_COLOR_TYPE_GRAY;
            Write.Background.gray = GrayLevel(background) >= 128 ? 1 : 0;
            return;
        }
        Write.ColorType = PNG_COLOR_TYPE_PALETTE;
        for (const TVLRGB& c : Write.TwoColors)
            Write.Plte.push_back({c.r, c.g, c.b});
        Write.Background.index = static_cast<png_byte>(NearestPaletteIndex(
            Write.TwoColors.data(), 2, background.r << 16 | background.g << 8 | background.b));
    } else if (Params.SamplesPerPixel == 1) {
        Write.ColorType = PNG_COLOR_TYPE_PALETTE;
        Write.BitDepth = Params.BitsPerSample;
        ChoosePalette(Write, Params);
    } else {
        Write.Mode = Write.Mask != nullptr ? TPngWriteMode::RGBA : TPngWriteMode::RGB;
        Write.ColorType = Write.Mask != nullptr ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
        Write.BitDepth = 8;
        Write.Background.red = background.r;
        Write.Background.green = background.g;
        Write.Background.blue = background.b;
    }
}

void PrepareTexts(TPngWrite& Write, const TIOParamsVals& Params) {
    const int32_t count = std::min(Params.PngTextKeys.Count(), Params.PngTextValues.Count());
    for (int32_t i = 0; i < count; ++i) {
        Write.TextStorage.push_back(AnsiFromStr(Params.PngTextKeys[i]));
        Write.TextStorage.push_back(AnsiFromStr(Params.PngTextValues[i]));
    }
    for (int32_t i = 0; i < count; ++i) {
        png_text text{};
        text.compression = PNG_TEXT_COMPRESSION_NONE;
        text.key = Write.TextStorage[2 * i].data();
        text.text = Write.TextStorage[2 * i + 1].data();
        text.text_length = Write.TextStorage[2 * i + 1].size();
        Write.Texts.push_back(text);
    }
}

// The colour of pixel X of a source row of any of the writer's formats.
TVLRGB SourceColor(TVLBitmap& Source, const uint8_t* Row, int32_t X) {
    switch (Source.GetPixelFormat()) {
    case vl8p: {
        TVLRGB color;
        Source.GetPaletteColor(Row[X], color);
        return color;
    }
    case vl8g:
        return {Row[X], Row[X], Row[X]};
    case vl16g: {
        const auto v = static_cast<uint8_t>(reinterpret_cast<const uint16_t*>(Row)[X] >> 8);
        return {v, v, v};
    }
    default:
        return reinterpret_cast<const TVLRGB*>(Row)[X];
    }
}

uint8_t MaskByte(TVLMask& Mask, int32_t X, int32_t Y) {
    return Mask.GetBitsPerPixel() == 1 ? (Mask.GetPixel(X, Y) != 0 ? 255 : 0)
                                       : Mask.GetScanline(Y)[X];
}

void FillPaletteRow(TPngWrite& Write, const uint8_t* Row, int32_t Y) {
    TVLBitmap& source = *Write.Source;
    const int32_t width = source.GetWidth();
    if (Write.Mode == TPngWriteMode::Palette && source.GetPixelFormat() == vl8p) {
        std::memcpy(Write.Row.data(), Row, width);
    } else if (Write.Mode == TPngWriteMode::Palette) {
        for (int32_t x = 0; x < width; ++x)
            Write.Row[x] =
                static_cast<uint8_t>(Write.Quantizer->RGBToIndex(SourceColor(source, Row, x)));
    } else {
        for (int32_t x = 0; x < width; ++x)
            Write.Row[x] = MaskByte(*Write.Mask, x, Y) == 255
                               ? static_cast<uint8_t>(
                                     Write.Quantizer->RGBToIndex(SourceColor(source, Row, x)) + 1)
                               : 0;
    }
}

// Grey level of pixel X for a grey file: a grey bitmap's own sample, else the quantizer's grey.
uint16_t GraySample16(TPngWrite& Write, const uint8_t* Row, int32_t X) {
    TVLBitmap& source = *Write.Source;
    switch (source.GetPixelFormat()) {
    case vl16g:
        return reinterpret_cast<const uint16_t*>(Row)[X];
    case vl8g:
        return static_cast<uint16_t>(Row[X] * 257);
    case vl8p:
        return static_cast<uint16_t>(SourceColor(source, Row, X).r * 257);
    default:
        return static_cast<uint16_t>(
            Write.Quantizer->RGBToIndex(reinterpret_cast<const TVLRGB*>(Row)[X]) * 257);
    }
}

void FillRow(TPngWrite& Write, int32_t Y) {
    TVLBitmap& source = *Write.Source;
    const uint8_t* row = source.GetScanline(Y);
    const int32_t width = source.GetWidth();
    switch (Write.Mode) {
    case TPngWriteMode::Packed1:
        std::memcpy(Write.Row.data(), row, (width + 7) / 8);
        break;
    case TPngWriteMode::Palette:
    case TPngWriteMode::MaskedPalette:
        FillPaletteRow(Write, row, Y);
        break;
    case TPngWriteMode::Gray8:
        for (int32_t x = 0; x < width; ++x)
            Write.Row[x] = static_cast<uint8_t>(GraySample16(Write, row, x) >> 8);
        break;
    case TPngWriteMode::Gray16:
        // PNG samples are big-endian.
        for (int32_t x = 0; x < width; ++x) {
            const uint16_t v = GraySample16(Write, row, x);
            Write.Row[2 * x] = static_cast<uint8_t>(v >> 8);
            Write.Row[2 * x + 1] = static_cast<uint8_t>(v);
        }
        break;
    case TPngWriteMode::RGB:
        std::memcpy(Write.Row.data(), row, static_cast<size_t>(width) * 3);
        break;
    case TPngWriteMode::RGBA:
        for (int32_t x = 0; x < width; ++x) {
            std::memcpy(&Write.Row[4 * x], row + 3 * x, 3);
            Write.Row[4 * x + 3] = MaskByte(*Write.Mask, x, Y);
        }
        break;
    }
}

// Runs libpng over the prepared image; false when libpng refused it and jumped back here.
bool RunWrite(TPngWrite& Write, TIOParamsVals& Params, TVLProgressRecord& Progress) {
    if (setjmp(png_jmpbuf(Write.Png))) return false;
    png_set_write_fn(Write.Png, &Write.IO, PNGWriteData, PNGFlushData);
    const auto width = static_cast<png_uint_32>(Write.Source->GetWidth());
    const auto height = static_cast<png_uint_32>(Write.Source->GetHeight());
    png_set_IHDR(Write.Png, Write.Info, width, height, Write.BitDepth, Write.ColorType,
                 Params.PngInterlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(Write.Png, Write.Info, static_cast<png_uint_32>(Round(Params.DpiX * 100 / 2.54)),
                 static_cast<png_uint_32>(Round(Params.DpiY * 100 / 2.54)), PNG_RESOLUTION_METER);
    if (!Write.Plte.empty())
        png_set_PLTE(Write.Png, Write.Info, Write.Plte.data(), static_cast<int>(Write.Plte.size()));
    if (Write.Mode == TPngWriteMode::MaskedPalette) {
        png_byte transparent = 0;
        png_set_tRNS(Write.Png, Write.Info, &transparent, 1, nullptr);
    }
    switch (Params.PngFilter) {
    case pfNone:
        png_set_filter(Write.Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        break;
    case pfSub:
        png_set_filter(Write.Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
        break;
    case pfPaeth:
        png_set_filter(Write.Png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
        break;
    default:
        break;
    }
    png_set_bKGD(Write.Png, Write.Info, &Write.Background);
    png_set_compression_level(Write.Png, Params.PngCompression);
    png_set_bgr(Write.Png);
    if (!Write.Texts.empty())
        png_set_text(Write.Png, Write.Info, Write.Texts.data(),
                     static_cast<int>(Write.Texts.size()));
    png_write_info(Write.Png, Write.Info);
    const int passes = png_set_interlace_handling(Write.Png);

    const double factor = 100.0 / (static_cast<double>(height) * passes);
    int64_t counter = 0;
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            FillRow(Write, static_cast<int32_t>(y));
            png_write_row(Write.Png, Write.Row.data());
            Progress.ReportPercent(static_cast<int32_t>(Trunc(++counter * factor)));
            if (Progress.Aborting() || Write.IO.ShortWrite) return true;
        }
    }
    png_write_end(Write.Png, Write.Info);
    return true;
}

} // namespace

void ReadPNGStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool ParamsOnly) {
    try {
        TPngRead read;
        read.Png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, Progress.AbortFlag, PNGReadError,
                                            PNGReadWarning, nullptr, PNGAllocate, PNGFree);
        if (read.Png != nullptr) read.Info = png_create_info_struct(read.Png);
        if (read.Info == nullptr || !RunRead(read, Stream, Bitmap, Params, Progress, ParamsOnly))
            Progress.Abort();
    } catch (const std::exception&) {
        Progress.Abort();
    }
}

void WritePNGStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                    TVLProgressRecord& Progress, TVLMask* Mask) {
    TPngWrite write;
    write.Png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PNGWriteError, PNGWriteWarning);
    if (write.Png == nullptr) RaiseCreatingError();
    write.Info = png_create_info_struct(write.Png);
    if (write.Info == nullptr) RaiseCreatingError();
    write.IO = {&Stream, Progress.AbortFlag, false};
    if (Bitmap.GetWidth() <= 0 || Bitmap.GetHeight() <= 0) RaiseCreatingError();
    if (Params.SamplesPerPixel == 1 && Params.BitsPerSample != 1 && Params.BitsPerSample != 8 &&
        Params.BitsPerSample != 16)
        Params.BitsPerSample = 8;
    // Only a mask of the bitmap's size with something unselected carries transparency.
    if (Mask != nullptr && !Mask->Full && Mask->GetWidth() == Bitmap.GetWidth() &&
        Mask->GetHeight() == Bitmap.GetHeight() && Mask->GetScanline(0) != nullptr)
        write.Mask = Mask;
    ChooseSource(write, Bitmap, Params);
    if (Params.SamplesPerPixel == 1 && Params.BitsPerSample == 1) write.Mask = nullptr;
    ChooseLayout(write, Params);
    PrepareTexts(write, Params);
    write.Row.assign(static_cast<size_t>(write.Source->GetWidth()) * 4 + 8, 0);
    if (!RunWrite(write, Params, Progress)) RaiseCreatingError();
}

bool IsPNGStream(TStream& Stream) {
    png_byte signature[8] = {};
    const int32_t got = std::max(Stream.Read(signature, 8), 0);
    Stream.Seek(-got, soCurrent);
    return got >= 4 && png_sig_cmp(signature, 0, 4) == 0;
}
