// The camera-raw decoding context and the development of a loaded context into a bitmap. Every
// store into the sample buffer is checked against the buffer, and every read past the end of the
// stream gives 0, so a loader handed a damaged file ends within its row and column counts.
#include "imaging/formats/cameraraw/VLCameraRaw.h"

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLConvolve.h"
#include "imaging/core/VLDefs.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/cameraraw/VLRawColour.h"
#include "imaging/io/VLIOParams.h"
#include "imaging/io/VLInputBounds.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

using enum TVLPixelFormat;

bool IsMake(const TVLCameraRawContext& Context, const char* Name) {
    size_t i = 0;
    for (; i < sizeof(Context.Make) && Name[i] != 0; ++i) {
        const auto a = static_cast<unsigned char>(Context.Make[i]);
        const auto b = static_cast<unsigned char>(Name[i]);
        if (a == 0 || std::tolower(a) != std::tolower(b)) return false;
    }
    return i == sizeof(Context.Make) || Context.Make[i] == 0;
}

void init_bit_state(TVLCameraRawContext& Context) {
    Context.BitBuffer = 0;
    Context.BitCount = 0;
    Context.RadcSource = 0;
    std::fill(std::begin(Context.RadcStart), std::end(Context.RadcStart), 0);
    Context.RadcNode = 0;
}

TVLRawCell* RawCellAt(TVLCameraRawContext& Context, int64_t Row, int64_t Col) {
    if (!Context.Image || Row < 0 || Col < 0 || Row >= Context.IHeight || Col >= Context.IWidth)
        return nullptr;
    return &Context.Image[Row * Context.IWidth + Col];
}

void StoreRawSample(TVLCameraRawContext& Context, int64_t Row, int64_t Col, uint32_t V) {
    if (Row < 0 || Col < 0) return;
    TVLRawCell* cell = RawCellAt(Context, Row >> Context.Shrink, Col >> Context.Shrink);
    if (cell != nullptr)
        (*cell)[FilterColor(Context.Filters, static_cast<int32_t>(Row & 7),
                            static_cast<int32_t>(Col & 1))] = static_cast<uint16_t>(V);
}

void StoreCellSample(TVLCameraRawContext& Context, int64_t Row, int64_t Col, int32_t Index,
                     uint32_t V) {
    TVLRawCell* cell = RawCellAt(Context, Row, Col);
    if (cell != nullptr && Index >= 0 && Index < 4) (*cell)[Index] = static_cast<uint16_t>(V);
}

void RawSeek(TVLCameraRawContext& Context, int64_t Position) {
    Context.Stream->SetPosition(std::max<int64_t>(Position, 0));
}

int64_t RawPosition(TVLCameraRawContext& Context) {
    return Context.Stream->GetPosition();
}

int64_t RawStreamSize(TVLCameraRawContext& Context) {
    return Context.Stream->GetSize();
}

int64_t RawRead(TVLCameraRawContext& Context, void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    const int64_t got = ReadUpTo(*Context.Stream, Buffer, Count);
    if (got < Count) {
        std::memset(static_cast<uint8_t*>(Buffer) + got, 0, Count - got);
        Context.PastEnd += Count - got;
    }
    return got;
}

void StartRowProgress(TVLCameraRawContext& Context, int64_t Rows) {
    Context.Progress.PercentPerStep = Rows > 0 ? 100.0 / static_cast<double>(Rows) / 2 : 0;
}

void ReportRowProgress(TVLCameraRawContext& Context, int64_t Row) {
    if (Context.Progress.Handler)
        Context.Progress.ReportPercent(
            static_cast<int32_t>(static_cast<double>(Row) * Context.Progress.PercentPerStep));
}

void raise_out_of_memory(const char* Routine) {
    throw Exception(u": Out of memory in " + StrFromAnsi(Routine));
}

void CheckRawAllocation(TVLCameraRawContext& Context, int64_t Bytes, const char* Routine) {
    if (Bytes < 0 || !IsPlausibleDeclaredSize(Bytes, 0, ExpansionUncompressed,
                                              RawStreamSize(Context)))
        raise_out_of_memory(Routine);
}

namespace {

// Pixels of the re-gridding, three samples of 8 or 16 bits.
template <class SampleT> struct TRegridPixel {
    SampleT S[3];
    bool IsBlack() const { return S[0] == 0 && S[1] == 0 && S[2] == 0; }
};

template <class SampleT> bool RegridDiagonal(TVLBitmap& Bitmap, TVLPixelFormat Format) {
    using TPixel = TRegridPixel<SampleT>;
    const int32_t W = Bitmap.GetWidth();
    const int32_t H = Bitmap.GetHeight();
    if (W <= 0 || H <= 0 || Bitmap.GetPixelFormat() != Format) return false;
    const auto* first = reinterpret_cast<const TPixel*>(Bitmap.GetScanline(0));
    int32_t L = 0;
    while (L < W && first[L].IsBlack()) ++L;
    int32_t R = 0;
    for (int32_t x = W - 1; x >= 1 && R == 0; --x)
        if (!first[x].IsBlack()) R = x;
    const int64_t F = 2 * int64_t{W - L} - 4;
    // A black first row leaves no diamond to find: the picture stays as decoded.
    if (F <= 0 || R == 0) return false;
    const int64_t gridBytes = F * R * int64_t{sizeof(TPixel)};
    if (!IsPlausibleDeclaredSize(gridBytes, 0, ExpansionUncompressed,
                                 int64_t{W} * H * int64_t{sizeof(TPixel)}) ||
        F > INT32_MAX || 2 * int64_t{R} > INT32_MAX)
        return false;
    std::vector<TPixel> grid(static_cast<size_t>(F * R));
    for (int32_t y = 0; y < H; ++y) {
        const auto* src = reinterpret_cast<const TPixel*>(Bitmap.GetScanline(y));
        for (int32_t x = 0; x < W; ++x) {
            const auto gr = static_cast<uint16_t>(y + x - R + 5);
            const auto gc = static_cast<uint16_t>((x - y + R - 1) / 2);
            if (gr < F && gc < R) grid[static_cast<size_t>(gr) * R + gc] = src[x];
        }
    }
    auto G = [&](int64_t k, int64_t c) -> const TPixel& { return grid[k * R + c]; };
    TVLBitmap result;
    if (!result.Allocate(2 * R, static_cast<int32_t>(F), Format)) return false;
    std::vector<TPixel> row(static_cast<size_t>(2) * R);
    for (int64_t k = 1; k < F; ++k) {
        for (int64_t l = 1; l < 2 * int64_t{R}; ++l) {
            if ((k + l) % 2 == 0) {
                row[l] = G(k, l / 2);
            } else if (k <= F - 2 && l <= 2 * int64_t{R} - 2) {
                const int64_t odd = k & 1;
                for (int c = 0; c < 3; ++c)
                    row[l].S[c] = static_cast<SampleT>(
                        (uint32_t{G(k - 1, l / 2).S[c]} + G(k, l / 2 - odd).S[c] +
                         G(k + 1, l / 2).S[c] + G(k, l / 2 + 1 - odd).S[c]) >>
                        2);
            }
        }
        std::memcpy(result.GetScanline(static_cast<int32_t>(k - 1)), row.data(),
                    row.size() * sizeof(TPixel));
    }
    // The last row has no grid row below it: it repeats the row above.
    if (F >= 2)
        std::memcpy(result.GetScanline(static_cast<int32_t>(F - 1)), row.data(),
                    row.size() * sizeof(TPixel));
    Bitmap.Assign(&result);
    return true;
}

// Step of the white point: the level below which all but the brightest 1 % (0.5 % for Fuji)
// of the pixels lie, times 16; never 0.
double WhitePoint(const TVLCameraRawContext& Context) {
    const double share = std::strcmp(Context.Make, "FUJIFILM") == 0 ? 0.005 : 0.01;
    const auto limit =
        static_cast<int64_t>(static_cast<double>(Context.Width) * Context.Height * share);
    int64_t total = 0;
    int32_t v = RawHistogramSize - 1;
    for (; v >= 1; --v) {
        total += Context.Histogram[v];
        if (total > limit) break;
    }
    const double white = v * 16.0;
    return white == 0 ? 1 : white;
}

// The tone table up to the largest magnitude the histogram holds: no written cell looks further.
std::vector<double> ToneTable(const TVLCameraRawContext& Context, double White, bool Wide) {
    int32_t top = RawHistogramSize - 1;
    while (top > 0 && Context.Histogram[top] == 0) --top;
    const int32_t last = std::min(top * 8 + 7, 65535);
    std::vector<double> table(static_cast<size_t>(last) + 1);
    table[0] = 0;
    for (int32_t i = 1; i <= last; ++i) {
        table[i] = Power(2.0 * i / White, Context.Gamma - 1.0) * Context.Brightness * 442.0 / White;
        if (Wide) table[i] = table[i] / 255 * 65535;
    }
    return table;
}

// Writes the buffer, less its Trim border, into Bitmap.
bool WriteOutput(TVLCameraRawContext& Context, TVLBitmap& Bitmap, TIOParamsVals& Params,
                 const std::vector<double>& Tone, bool Wide) {
    const int64_t outW = int64_t{Context.Width} - 2 * Context.Trim;
    const int64_t outH = int64_t{Context.Height} - 2 * Context.Trim;
    if (outW <= 0 || outH <= 0) return false;
    const int64_t bitmapW = outW * Context.XMag;
    const int64_t bitmapH = outH * Context.YMag;
    if (bitmapW > INT32_MAX || bitmapH > INT32_MAX) return false;
    Params.BitsPerSample = Wide ? 16 : 8;
    Params.SamplesPerPixel = 3;
    if (!Bitmap.Allocate(static_cast<int32_t>(bitmapW), static_cast<int32_t>(bitmapH),
                         Wide ? vlRGB48 : vl24RGB))
        raise_out_of_memory(Wide ? "write_ppm16()" : "write_ppm()");
    const double limit = Wide ? 65535 : 255;
    std::vector<uint16_t> wide;
    std::vector<uint8_t> narrow;
    if (Wide)
        wide.resize(static_cast<size_t>(bitmapW) * 3);
    else
        narrow.resize(static_cast<size_t>(bitmapW) * 3 + 10);
    int32_t outRow = 0;
    for (int64_t row = Context.Trim; row < Context.Height - Context.Trim; ++row) {
        size_t k = 0;
        for (int64_t col = Context.Trim; col < Context.Width - Context.Trim; ++col) {
            const TVLRawCell& cell = Context.Image[row * Context.Width + col];
            const double gain = Tone[std::min<size_t>(cell[3], Tone.size() - 1)];
            for (int32_t x = 0; x < Context.XMag; ++x)
                for (int32_t c = 0; c < 3; ++c) {
                    const double raw = std::trunc(cell[c] * gain);
                    // A tone table made of unusual options (NaN, negative) gives black.
                    const double v = raw > 0 ? std::min(raw, limit) : 0;
                    if (Wide)
                        wide[k++] = static_cast<uint16_t>(v);
                    else
                        narrow[k++] = static_cast<uint8_t>(v);
                }
        }
        for (int32_t y = 0; y < Context.YMag; ++y, ++outRow) {
            uint8_t* dest = Bitmap.GetScanline(outRow);
            if (Wide)
                std::memcpy(dest, wide.data(), wide.size() * sizeof(uint16_t));
            else
                CopyAndSwapRedBlue(dest, narrow.data(), static_cast<int32_t>(bitmapW));
        }
    }
    return true;
}

// Allocates the zero-filled buffer of IHeight x IWidth cells when the input can hold it.
bool AllocateRawImage(TVLCameraRawContext& Context) {
    if (Context.Height <= 0 || Context.Width <= 0) return false;
    Context.IHeight = (Context.Height + Context.Shrink) >> Context.Shrink;
    Context.IWidth = (Context.Width + Context.Shrink) >> Context.Shrink;
    const int64_t cells = int64_t{Context.IHeight} * Context.IWidth;
    if (!IsPlausibleDeclaredSize(cells * int64_t{sizeof(TVLRawCell)}, 0, ExpansionUncompressed,
                                 RawStreamSize(Context)))
        return false;
    Context.Image.reset(new (std::nothrow) TVLRawCell[static_cast<size_t>(cells)]());
    return Context.Image != nullptr;
}

} // namespace

bool regrid_diagonal_24(TVLBitmap& Bitmap) {
    return RegridDiagonal<uint8_t>(Bitmap, vl24RGB);
}

bool regrid_diagonal_48(TVLBitmap& Bitmap) {
    return RegridDiagonal<uint16_t>(Bitmap, vlRGB48);
}

void DevelopCameraRaw(TVLCameraRawContext& Context, TVLBitmap& Bitmap, TIOParamsVals& Params,
                      bool ParamsOnly) {
    Params.RawCamera = AnsiString(Context.Make) + " " + Context.Model + " " + Context.Model2;
    Params.SetDpiX(DefaultDpiX);
    Params.SetDpiY(DefaultDpiY);
    Params.FreePalette();
    Params.Width = Context.Width - 2;
    Params.Height = Context.Height - 2;
    Params.OriginalWidth = Params.Width;
    Params.OriginalHeight = Params.Height;
    const bool preview = Params.RawHalfBrightness && Params.ExifThumbnail != nullptr &&
                         !Params.ExifThumbnail->IsEmpty();
    if (!ParamsOnly) {
        Context.Shrink = Params.RawHalfSize && Context.Filters != 0 ? 1 : 0;
        if (Context.LoadRaw == nullptr || !AllocateRawImage(Context)) {
            Context.Progress.Abort();
            return;
        }
        Context.LoadRaw(Context);
        Context.Height = Context.IHeight;
        Context.Width = Context.IWidth;
        // The Foveon development takes the place of the channel scaling.
        if (!Context.IsFoveon) scale_channels(Context);
        Context.Progress.ReportPercent(70);
        if (Context.Shrink == 1) Context.Filters = 0;
        Context.Trim = 0;
        if (Context.Filters != 0) {
            Context.Trim = 1;
            vng_interpolate(Context);
        }
        colors_to_rgb(Context);
        Context.Progress.ReportPercent(85);
        const bool wide = Params.NativePixelFormat;
        const std::vector<double> tone = ToneTable(Context, WhitePoint(Context), wide);
        const bool written = WriteOutput(Context, Bitmap, Params, tone, wide);
        Context.Image.reset();
        if (!written) {
            Context.Progress.Abort();
            return;
        }
        Context.Progress.ReportPercent(90);
        if (Context.FujiRotated &&
            !(wide ? regrid_diagonal_48(Bitmap) : regrid_diagonal_24(Bitmap)))
            Context.Progress.Abort();
    }
    if (preview) MatchHistogram(*Params.ExifThumbnail, Bitmap);
    Context.Progress.ReportPercent(100);
}
