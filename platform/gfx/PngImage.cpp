// The PNG image over libpng. libpng reports errors by jumping back to the setjmp of the function
// that called it: the functions holding a setjmp below own no object with a destructor, every
// such object lives in their callers.
#include "platform/gfx/PngImage.h"

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace {

// The largest picture decoded: every byte count of the 32-bit pixels fits 31 bits.
constexpr int64_t MaxPixels = (int64_t{1} << 29) - 1;

struct TPngState {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    TStream* Stream = nullptr;
    char Message[200] = "";
};

void OnError(png_structp Png, png_const_charp Message) {
    auto* state = static_cast<TPngState*>(png_get_error_ptr(Png));
    std::snprintf(state->Message, sizeof state->Message, "%s", Message);
    png_longjmp(Png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp Png, png_bytep Data, size_t Length) {
    auto* state = static_cast<TPngState*>(png_get_io_ptr(Png));
    size_t done = 0;
    // Read moves at most 2^31 - 1 bytes per call; a short read is the end of the data.
    while (done < Length) {
        const auto chunk = static_cast<int32_t>(std::min<size_t>(Length - done, 1 << 30));
        const int32_t got = state->Stream->Read(Data + done, chunk);
        if (got <= 0) png_error(Png, "Read past the end of the data");
        done += static_cast<size_t>(got);
    }
}

void WriteData(png_structp Png, png_bytep Data, size_t Length) {
    auto* state = static_cast<TPngState*>(png_get_io_ptr(Png));
    if (state->Stream->Write(Data, static_cast<int32_t>(Length)) != static_cast<int32_t>(Length))
        png_error(Png, "Stream write error");
}

void FlushData(png_structp) {}

struct TTransparency {
    bool Present = false;
    bool Partial = false;
    png_color_16 Key{};
    int32_t PaletteIndex = -1; // first palette entry of alpha 0
};

// Reads the header and sets up decoding to 8-bit BGRA. False on a libpng error.
bool ReadHeader(TPngState& S, TPNGHeader& Header, TTransparency& T) {
    if (setjmp(png_jmpbuf(S.Png))) return false;
    png_set_read_fn(S.Png, &S, ReadData);
    png_set_user_limits(S.Png, 1 << 24, 1 << 24);
    png_read_info(S.Png, S.Info);
    Header.Width = static_cast<int32_t>(png_get_image_width(S.Png, S.Info));
    Header.Height = static_cast<int32_t>(png_get_image_height(S.Png, S.Info));
    Header.BitDepth = png_get_bit_depth(S.Png, S.Info);
    Header.ColorType = png_get_color_type(S.Png, S.Info);
    Header.InterlaceMethod = png_get_interlace_type(S.Png, S.Info);
    png_bytep alphas = nullptr;
    int count = 0;
    png_color_16p key = nullptr;
    if (png_get_tRNS(S.Png, S.Info, &alphas, &count, &key) != 0) {
        T.Present = true;
        if (Header.ColorType == PNG_COLOR_TYPE_PALETTE) {
            for (int i = 0; i < count; ++i) {
                if (alphas[i] != 0 && alphas[i] != 255) T.Partial = true;
                if (alphas[i] == 0 && T.PaletteIndex < 0) T.PaletteIndex = i;
            }
        } else if (key != nullptr) {
            T.Key = *key;
        }
    }
    png_set_expand(S.Png);
    png_set_scale_16(S.Png);
    png_set_gray_to_rgb(S.Png);
    png_set_filler(S.Png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(S.Png);
    png_set_interlace_handling(S.Png);
    png_read_update_info(S.Png, S.Info);
    if (png_get_rowbytes(S.Png, S.Info) != static_cast<size_t>(Header.Width) * 4)
        png_error(S.Png, "Unexpected row layout");
    return true;
}

bool ReadRows(TPngState& S, png_bytepp Rows) {
    if (setjmp(png_jmpbuf(S.Png))) return false;
    png_read_image(S.Png, Rows);
    png_read_end(S.Png, nullptr);
    return true;
}

bool WriteRows(TPngState& S, int32_t Width, int32_t Height, bool Alpha, png_bytepp Rows) {
    if (setjmp(png_jmpbuf(S.Png))) return false;
    png_set_write_fn(S.Png, &S, WriteData, FlushData);
    png_set_IHDR(S.Png, S.Info, static_cast<png_uint_32>(Width), static_cast<png_uint_32>(Height),
                 8, Alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(S.Png, S.Info);
    png_set_bgr(S.Png);
    if (!Alpha) png_set_filler(S.Png, 0, PNG_FILLER_AFTER);
    png_write_image(S.Png, Rows);
    png_write_end(S.Png, nullptr);
    return true;
}

// A key sample of BitDepth bits scaled to 8 bits.
uint8_t KeyByte(uint16_t Value, int BitDepth) {
    const int max = (1 << BitDepth) - 1;
    return static_cast<uint8_t>((Value * 255 + max / 2) / max);
}

TColor KeyColor(const TTransparency& T, const TPNGHeader& H, const png_colorp Palette) {
    if (H.ColorType == PNG_COLOR_TYPE_PALETTE) {
        const png_color& c = Palette[T.PaletteIndex];
        return RGB(c.red, c.green, c.blue);
    }
    if (H.ColorType == PNG_COLOR_TYPE_GRAY) {
        const uint8_t v = KeyByte(T.Key.gray, H.BitDepth);
        return RGB(v, v, v);
    }
    return RGB(KeyByte(T.Key.red, H.BitDepth), KeyByte(T.Key.green, H.BitDepth),
               KeyByte(T.Key.blue, H.BitDepth));
}

} // namespace

void TPngImage::LoadFromStream(TStream& Stream) {
    FHeader = {};
    FPixels.clear();
    FAlpha.clear();
    FTransparencyMode = ptmNone;
    FTransparentColor = clNone;
    TPngState state;
    state.Stream = &Stream;
    state.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    if (state.Png != nullptr) state.Info = png_create_info_struct(state.Png);
    struct TCleanup {
        TPngState& S;
        ~TCleanup() {
            png_destroy_read_struct(&S.Png, S.Info != nullptr ? &S.Info : nullptr, nullptr);
        }
    } cleanup{state};
    if (state.Info == nullptr) throw EOutOfMemory(u"Out of memory");

    TPNGHeader header;
    TTransparency transparency;
    auto fail = [&]() -> void {
        throw EInvalidGraphic(u"PNG image is not valid: " +
                              String(state.Message, state.Message + std::strlen(state.Message)));
    };
    if (!ReadHeader(state, header, transparency)) fail();
    if (int64_t{header.Width} * header.Height > MaxPixels) {
        std::snprintf(state.Message, sizeof state.Message, "image too large");
        fail();
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(header.Width) * header.Height);
    std::vector<png_bytep> rows(static_cast<size_t>(header.Height));
    for (int32_t y = 0; y < header.Height; ++y)
        rows[y] =
            reinterpret_cast<png_bytep>(pixels.data() + static_cast<size_t>(y) * header.Width);
    if (!ReadRows(state, rows.data())) fail();

    png_colorp palette = nullptr;
    int paletteCount = 0;
    png_get_PLTE(state.Png, state.Info, &palette, &paletteCount);
    FHeader = header;
    FPixels = std::move(pixels);
    FAlpha.resize(FPixels.size());
    for (size_t i = 0; i < FPixels.size(); ++i)
        FAlpha[i] = static_cast<uint8_t>(FPixels[i] >> 24);
    if ((header.ColorType & PNG_COLOR_MASK_ALPHA) != 0 || transparency.Partial) {
        FTransparencyMode = ptmPartial;
    } else if (transparency.Present &&
               (header.ColorType != PNG_COLOR_TYPE_PALETTE || transparency.PaletteIndex >= 0)) {
        FTransparencyMode = ptmBit;
        if (header.ColorType != PNG_COLOR_TYPE_PALETTE || transparency.PaletteIndex < paletteCount)
            FTransparentColor = KeyColor(transparency, header, palette);
    }
    Changed();
}

void TPngImage::SaveToStream(TStream& Stream) {
    if (Empty()) throw EInvalidGraphic(u"Cannot save an empty PNG image");
    TPngState state;
    state.Stream = &Stream;
    state.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    if (state.Png != nullptr) state.Info = png_create_info_struct(state.Png);
    struct TCleanup {
        TPngState& S;
        ~TCleanup() { png_destroy_write_struct(&S.Png, S.Info != nullptr ? &S.Info : nullptr); }
    } cleanup{state};
    if (state.Info == nullptr) throw EOutOfMemory(u"Out of memory");
    const bool alpha =
        std::any_of(FAlpha.begin(), FAlpha.end(), [](uint8_t a) { return a != 255; });
    std::vector<png_bytep> rows(static_cast<size_t>(FHeader.Height));
    for (int32_t y = 0; y < FHeader.Height; ++y)
        rows[y] =
            reinterpret_cast<png_bytep>(FPixels.data() + static_cast<size_t>(y) * FHeader.Width);
    if (!WriteRows(state, FHeader.Width, FHeader.Height, alpha, rows.data()))
        throw EWriteError(u"PNG image could not be written: " +
                          String(state.Message, state.Message + std::strlen(state.Message)));
}

const uint32_t* TPngImage::Scanline(int32_t Row) const {
    if (Row < 0 || Row >= FHeader.Height) throw EInvalidGraphic(u"Scan line index out of range");
    return FPixels.data() + static_cast<size_t>(Row) * FHeader.Width;
}

const uint8_t* TPngImage::AlphaScanline(int32_t Row) const {
    if (Row < 0 || Row >= FHeader.Height) throw EInvalidGraphic(u"Scan line index out of range");
    return FAlpha.data() + static_cast<size_t>(Row) * FHeader.Width;
}

void TPngImage::SetPixels(int32_t AWidth, int32_t AHeight, const uint32_t* Pixels) {
    if (AWidth < 0 || AHeight < 0 || int64_t{AWidth} * AHeight > MaxPixels)
        throw EInvalidGraphic(u"Invalid image size");
    const size_t count = static_cast<size_t>(AWidth) * AHeight;
    FHeader = {AWidth, AHeight, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE};
    FPixels.assign(Pixels, Pixels + count);
    FAlpha.resize(count);
    for (size_t i = 0; i < count; ++i)
        FAlpha[i] = static_cast<uint8_t>(FPixels[i] >> 24);
    FTransparencyMode = ptmPartial;
    FTransparentColor = clNone;
    Changed();
}

void TPngImage::Draw(TCanvas& ACanvas, const TRect& Rect) {
    const int32_t w = Rect.Width(), h = Rect.Height();
    if (Empty() || w <= 0 || h <= 0 || ACanvas.Handle() == nullptr) return;
    // What the canvas holds under Rect, the picture composed over it, and back.
    TBitmap under;
    under.SetPixelFormat(pf32bit);
    under.SetSize(w, h);
    BitBlt(under.Canvas()->Handle(), 0, 0, w, h, ACanvas.Handle(), Rect.Left, Rect.Top, SRCCOPY);
    for (int32_t y = 0; y < h; ++y) {
        auto* row = static_cast<uint8_t*>(under.ScanLine(y));
        const uint32_t* src = Scanline(static_cast<int32_t>(int64_t{y} * FHeader.Height / h));
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = src[int64_t{x} * FHeader.Width / w];
            const uint32_t a = p >> 24;
            for (int c = 0; c < 3; ++c) {
                const uint32_t f = (p >> (8 * c)) & 0xFF;
                row[4 * x + c] =
                    static_cast<uint8_t>((f * a + row[4 * x + c] * (255 - a) + 127) / 255);
            }
        }
    }
    BitBlt(ACanvas.Handle(), Rect.Left, Rect.Top, w, h, under.Canvas()->Handle(), 0, 0, SRCCOPY);
}
