// Area-integrating bilinear and bicubic resampling, the nearest-neighbour stretch of every pixel
// format and the conversion of one row between packed bit depths.
#include "imaging/core/VLResampleArea.h"

#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLColorHelpers.h"
#include "imaging/core/VLHelpers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using enum TVLPixelFormat;
using namespace imaging_core::detail;

namespace {

// Edges of the source and destination pixel grids closer than this count as one.
constexpr double EdgeTolerance = 1e-4;

// One cut of the horizontal axis between two consecutive grid edges.
struct THorizontalCut {
    double Width;
    // Sampling position inside the source column, 1 at the column's right edge.
    double L;
    // Sample offsets (column × channels) of the columns x - 1, x, x + 1 and x + 2, repeating the
    // edge columns beyond the row.
    int32_t Xm1, X0, X1, X2;
    // Destination pixel the cut adds to; DW is a spare slot for the zero-width tail cut.
    int32_t D;
};

// The cuts of an axis of SW source and DW destination pixels, gx source pixels per destination
// pixel. At a tie the destination edge comes first and the source edge follows with width ~0.
std::vector<THorizontalCut> BuildHorizontalCuts(int32_t SW, int32_t DW, double gx,
                                                int32_t Channels) {
    std::vector<THorizontalCut> cuts(static_cast<size_t>(SW) + DW);
    double position = 0;
    double sourceEdge = 1;
    double destEdge = gx;
    int32_t x = 0;
    int32_t d = 0;
    for (THorizontalCut& cut : cuts) {
        const int32_t column = std::min(x, SW - 1);
        cut.Xm1 = std::max(column - 1, 0) * Channels;
        cut.X0 = column * Channels;
        cut.X1 = std::min(column + 1, SW - 1) * Channels;
        cut.X2 = std::min(column + 2, SW - 1) * Channels;
        cut.D = std::min(d, DW) * Channels;
        if (sourceEdge + EdgeTolerance >= destEdge) {
            cut.Width = destEdge - position;
            cut.L = destEdge - x;
            position = destEdge;
            destEdge += gx;
            ++d;
        } else {
            cut.Width = sourceEdge - position;
            cut.L = 1;
            position = sourceEdge;
            sourceEdge += 1;
            ++x;
        }
    }
    return cuts;
}

// How each axis is sampled: interpolated where it is enlarged, area-averaged where it is not.
enum TAxisMode { amBoth = 0, amHorizontal = 1, amVertical = 2, amNeither = 3 };

// Four consecutive source rows (previous, current, next, after-next) around row j, the rows
// beyond the image repeating the edge rows. Each row is loaded once.
template <typename SampleT> class TRowWindow {
public:
    // The window around row Row.
    TRowWindow(TVLBitmap& Source, int32_t Samples, int32_t Row)
        : FSource(Source), FSamples(Samples), FHeight(Source.GetHeight()), FRow(Row) {
        for (auto& buffer : FBuffers)
            buffer.resize(Samples);
        const SampleT* current = Load(Row, 1);
        Rows = {Row > 0 ? Load(Row - 1, 0) : current, current, nullptr, nullptr};
        Rows[2] = Row + 1 < FHeight ? Load(Row + 1, 2) : Rows[1];
        Rows[3] = Row + 2 < FHeight ? Load(Row + 2, 3) : Rows[2];
    }

    // Moves the window down one row.
    void Advance() {
        Rows = {Rows[1], Rows[2], Rows[3], Rows[3]};
        if (FRow + 2 < FHeight - 1) {
            for (size_t i = 0; i < FBuffers.size(); ++i) {
                const SampleT* buffer = FBuffers[i].data();
                if (buffer != Rows[0] && buffer != Rows[1] && buffer != Rows[2]) {
                    Rows[3] = Load(FRow + 3, i);
                    break;
                }
            }
        }
        ++FRow;
    }

    std::array<const SampleT*, 4> Rows;

private:
    const SampleT* Load(int32_t Row, size_t Buffer) {
        std::memcpy(FBuffers[Buffer].data(), CheckedScanline(FSource, Row),
                    static_cast<size_t>(FSamples) * sizeof(SampleT));
        return FBuffers[Buffer].data();
    }

    TVLBitmap& FSource;
    int32_t FSamples;
    int32_t FHeight;
    int32_t FRow;
    std::array<std::vector<SampleT>, 4> FBuffers;
};

// Value of one cell at its cut's far end: horizontal position L, vertical position G.
template <typename SampleT, int Mode, bool Bicubic>
double CellValue(const std::array<const SampleT*, 4>& Rows, const THorizontalCut& Cut, int32_t C,
                 double G) {
    constexpr double Max = std::numeric_limits<SampleT>::max();
    const SampleT* cur = Rows[1];
    const double L = Cut.L;
    if constexpr (Mode == amNeither) {
        return cur[Cut.X0 + C];
    } else if constexpr (!Bicubic) {
        const SampleT* next = Rows[2];
        if constexpr (Mode == amBoth)
            return (1 - G) * ((1 - L) * cur[Cut.X0 + C] + L * cur[Cut.X1 + C]) +
                   G * ((1 - L) * next[Cut.X0 + C] + L * next[Cut.X1 + C]);
        else if constexpr (Mode == amHorizontal)
            return (1 - L) * cur[Cut.X0 + C] + L * cur[Cut.X1 + C];
        else
            return (1 - G) * cur[Cut.X0 + C] + G * next[Cut.X0 + C];
    } else {
        auto across = [&](const SampleT* row) {
            return CubicInterpolate(row[Cut.Xm1 + C], row[Cut.X0 + C], row[Cut.X1 + C], L,
                                    row[Cut.X2 + C], 0, Max);
        };
        if constexpr (Mode == amBoth) {
            std::array<int32_t, 4> v;
            for (size_t r = 0; r < 4; ++r)
                v[r] = static_cast<int32_t>(std::nearbyint(across(Rows[r])));
            return CubicInterpolate(v[0], v[1], v[2], G, v[3], 0, Max);
        } else if constexpr (Mode == amHorizontal) {
            return across(cur);
        } else {
            return CubicInterpolate(Rows[0][Cut.X0 + C], cur[Cut.X0 + C], Rows[2][Cut.X0 + C], G,
                                    Rows[3][Cut.X0 + C], 0, Max);
        }
    }
}

template <typename SampleT>
void WriteAreaRow(const std::vector<double>& Sums, double Scale, SampleT* Row, int32_t Samples) {
    for (int32_t i = 0; i < Samples; ++i) {
        const auto value = static_cast<int32_t>(std::nearbyint(Sums[i] * Scale));
        if constexpr (sizeof(SampleT) == 1)
            Row[i] = static_cast<SampleT>(ClampToByte(value));
        else
            Row[i] = static_cast<SampleT>(ClampToRange(value, 0, 65535));
    }
}

// Where the sweep down the source stands when destination row y begins: the vertical position
// reached, the destination row's top edge and the source row of the window.
struct TAreaRowStart {
    double Position, DestTop;
    int32_t Row;
};

// The sweep's control flow alone, with the same arithmetic as AreaResample, so that a band can
// start at any destination row and compute it as the whole sweep does.
std::vector<TAreaRowStart> AreaRowStarts(int32_t DH, double gy) {
    std::vector<TAreaRowStart> starts(DH);
    double position = 0;
    double destTop = 0;
    int32_t j = 0;
    for (int32_t y = 0; y < DH; ++y) {
        starts[y] = {position, destTop, j};
        for (;;) {
            const double destEdge = destTop + gy;
            if (j + 1 + EdgeTolerance < destEdge) {
                position = j + 1;
                ++j;
                continue;
            }
            position = destEdge;
            destTop += gy;
            break;
        }
    }
    return starts;
}

template <typename SampleT, int Channels, int Mode, bool Bicubic>
void AreaResample(TVLBitmap& Source, TVLBitmap& Dest, TProgressReporter& Progress) {
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    const double gx = static_cast<double>(SW) / DW;
    const double gy = static_cast<double>(SH) / DH;
    const std::vector<THorizontalCut> cuts = BuildHorizontalCuts(SW, DW, gx, Channels);
    const std::vector<TAreaRowStart> starts = AreaRowStarts(DH, gy);
    const double scale = 1 / (gx * gy);

    // Every destination row starts from zero sums, so bands give the bytes of one sweep.
    RunRows(RowBandsAllowed(Source, Dest, Progress), DH, [&](int32_t First, int32_t Last) {
        double position = starts[First].Position;
        double destTop = starts[First].DestTop;
        int32_t j = starts[First].Row;
        TRowWindow<SampleT> window(Source, SW * Channels, j);
        // One spare pixel takes the zero-width cut after the last destination edge.
        std::vector<double> sums(static_cast<size_t>(DW + 1) * Channels, 0.0);
        std::vector<SampleT> outRow(static_cast<size_t>(DW) * Channels);

        auto addCut = [&](double Height, double G) {
            for (const THorizontalCut& cut : cuts) {
                const double weight = cut.Width * Height;
                for (int32_t c = 0; c < Channels; ++c)
                    sums[cut.D + c] +=
                        weight * CellValue<SampleT, Mode, Bicubic>(window.Rows, cut, c, G);
            }
        };

        for (int32_t y = First; y < Last;) {
            const double destEdge = destTop + gy;
            if (j + 1 + EdgeTolerance < destEdge) {
                addCut(j + 1 - position, 1);
                position = j + 1;
                window.Advance();
                ++j;
                continue;
            }
            addCut(destEdge - position, destEdge - j);
            position = destEdge;
            destTop += gy;
            WriteAreaRow(sums, scale, outRow.data(), DW * Channels);
            StoreRow(Dest, y, reinterpret_cast<const uint8_t*>(outRow.data()),
                     outRow.size() * sizeof(SampleT));
            std::fill(sums.begin(), sums.end(), 0.0);
            ++y;
            Progress.Report(static_cast<int32_t>(Trunc(static_cast<double>(y) / DH * 100)));
        }
    });
}

using TAreaKernel = void (*)(TVLBitmap&, TVLBitmap&, TProgressReporter&);

template <typename SampleT, int Channels, bool Bicubic> TAreaKernel AreaKernelForMode(int Mode) {
    switch (Mode) {
    case amBoth:
        return AreaResample<SampleT, Channels, amBoth, Bicubic>;
    case amHorizontal:
        return AreaResample<SampleT, Channels, amHorizontal, Bicubic>;
    case amVertical:
        return AreaResample<SampleT, Channels, amVertical, Bicubic>;
    default:
        return AreaResample<SampleT, Channels, amNeither, Bicubic>;
    }
}

template <typename SampleT>
void ResampleBilinearBicubic(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic, int32_t Channels,
                             const TVLProgressEvent& OnProgress, TObject* Sender) {
    if (&Source == &Dest || Dest.GetPixelFormat() != Source.GetPixelFormat()) return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;
    const bool enlargeX = static_cast<double>(SW) / DW < 1;
    const bool enlargeY = static_cast<double>(SH) / DH < 1;
    const int mode =
        enlargeX ? (enlargeY ? amBoth : amHorizontal) : (enlargeY ? amVertical : amNeither);
    TAreaKernel kernel = nullptr;
    if (Channels == 1)
        kernel = Bicubic ? AreaKernelForMode<SampleT, 1, true>(mode)
                         : AreaKernelForMode<SampleT, 1, false>(mode);
    else
        kernel = Bicubic ? AreaKernelForMode<SampleT, 3, true>(mode)
                         : AreaKernelForMode<SampleT, 3, false>(mode);
    TRowPassScope reading(Source, VLAccessRead);
    TRowPassScope writing(Dest, VLAccessWrite);
    TProgressReporter progress(OnProgress, Sender);
    kernel(Source, Dest, progress);
}

// Copies the pixels of one row by the column map, PixelBytes bytes per pixel.
template <int PixelBytes>
void StretchRow(const uint8_t* Source, uint8_t* Dest, const std::vector<int32_t>& Columns) {
    for (const int32_t column : Columns) {
        std::memcpy(Dest, Source + static_cast<size_t>(column) * PixelBytes, PixelBytes);
        Dest += PixelBytes;
    }
}

// Packed 1-bit pixels, most significant bit first; the bits after the last pixel are cleared.
void StretchRow1Bit(const uint8_t* Source, uint8_t* Dest, const std::vector<int32_t>& Columns) {
    const auto count = static_cast<int32_t>(Columns.size());
    for (int32_t start = 0; start < count; start += 8) {
        uint8_t byte = 0;
        const int32_t end = std::min(start + 8, count);
        for (int32_t k = start; k < end; ++k) {
            const int32_t column = Columns[k];
            const int bit = (Source[column >> 3] >> (7 - (column & 7))) & 1;
            byte |= static_cast<uint8_t>(bit << (7 - (k - start)));
        }
        *Dest++ = byte;
    }
}

using TStretchRow = void (*)(const uint8_t*, uint8_t*, const std::vector<int32_t>&);

TStretchRow StretchRowFor(TVLPixelFormat Format) {
    switch (Format) {
    case vl1g:
        return StretchRow1Bit;
    case vl8p:
    case vl8g:
        return StretchRow<1>;
    case vl16g:
        return StretchRow<2>;
    case vl24RGB:
    case vlCIELab:
        return StretchRow<3>;
    case vl32f:
    case vlCMYK:
    case vl32RGB:
        return StretchRow<4>;
    case vlRGB48:
        return StretchRow<6>;
    case vlNone:
        break;
    }
    return nullptr;
}

void CopyPalette(TVLBitmap& Source, TVLBitmap& Dest) {
    const int32_t count = std::min(Source.GetPaletteLength(), Dest.GetPaletteLength());
    if (count <= 0) return;
    std::copy_n(Source.GetPalette(), count, Dest.GetPalette());
    Dest.PaletteUsed = Source.PaletteUsed;
    Dest.UpdateTBitmapPalette();
}

TVLRGB PaletteEntry(std::span<const TVLRGB> Palette, uint32_t Index) {
    return Index < Palette.size() ? Palette[Index] : TVLRGB{};
}

void WritePaletteRow(const uint8_t* Indexes, int32_t Count, std::span<const TVLRGB> Palette,
                     uint8_t* Dest) {
    for (int32_t i = 0; i < Count; ++i) {
        const TVLRGB rgb = PaletteEntry(Palette, Indexes[i]);
        Dest[3 * i] = rgb.b;
        Dest[3 * i + 1] = rgb.g;
        Dest[3 * i + 2] = rgb.r;
    }
}

// The pixels of a 1- or 4-bit row as one byte each.
std::vector<uint8_t> UnpackRow(const uint8_t* Source, int32_t Bits, int32_t Count) {
    std::vector<uint8_t> pixels(Count);
    for (int32_t i = 0; i < Count; ++i)
        pixels[i] = Bits == 1 ? (Source[i / 8] >> (7 - i % 8)) & 1
                              : (Source[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F;
    return pixels;
}

int32_t RowBytes(int32_t Bits, int32_t Count) {
    switch (Bits) {
    case 1:
        return (Count + 7) / 8;
    case 4:
        return (Count + 1) / 2;
    case 8:
        return Count;
    case 24:
        return Count * 3;
    default:
        return 0;
    }
}

} // namespace

double CubicInterpolate(int32_t P0, int32_t P1, int32_t P2, double T, int32_t P3, double Min,
                        double Max) {
    auto inner = [](double u) { return u * u * u - 2 * u * u + 1; };
    auto outer = [](double u) { return 5 * u * u - u * u * u - 8 * u + 4; };
    const double value = P1 * inner(std::fabs(T)) + P2 * inner(std::fabs(T - 1)) +
                         P3 * outer(std::fabs(T - 2)) + P0 * outer(std::fabs(T + 1));
    if (value < Min) return Min;
    return value > Max ? Max : value;
}

void ResampleBilinearBicubic8(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic,
                              const TVLProgressEvent& OnProgress, TObject* Sender) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    if (format != vl8g && format != vl24RGB) return;
    ResampleBilinearBicubic<uint8_t>(Source, Dest, Bicubic, format == vl8g ? 1 : 3, OnProgress,
                                     Sender);
}

void ResampleBilinearBicubic16(TVLBitmap& Source, TVLBitmap& Dest, bool Bicubic,
                               const TVLProgressEvent& OnProgress, TObject* Sender) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    if (format != vl16g && format != vlRGB48) return;
    ResampleBilinearBicubic<uint16_t>(Source, Dest, Bicubic, format == vl16g ? 1 : 3, OnProgress,
                                      Sender);
}

void _VLBmpStretchEx(TVLBitmap& Source, TVLBitmap& Dest, const TVLProgressEvent& OnProgress,
                     TObject* Sender) {
    const TVLPixelFormat format = Source.GetPixelFormat();
    const TStretchRow stretchRow = StretchRowFor(format);
    if (stretchRow == nullptr || &Source == &Dest || Dest.GetPixelFormat() != format) return;
    const int32_t SW = Source.GetWidth(), SH = Source.GetHeight();
    const int32_t DW = Dest.GetWidth(), DH = Dest.GetHeight();
    if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0) return;

    const double columnStep = static_cast<double>(SW) / DW;
    const double rowStep = static_cast<double>(SH) / DH;
    std::vector<int32_t> columns(DW);
    for (int32_t k = 0; k < DW; ++k)
        columns[k] = std::min(static_cast<int32_t>(Trunc(columnStep * k)), SW - 1);
    const int64_t pixelBytes = AlignedRowLength(DW, Source.GetBitCount(), 8);
    const int32_t rowLen = Dest.GetRowLen();

    TRowPassScope reading(Source, VLAccessRead);
    TRowPassScope writing(Dest, VLAccessWrite);
    TProgressReporter progress(OnProgress, Sender);
    for (int32_t j = 0; j < DH; ++j) {
        const auto sourceRow = std::min(static_cast<int32_t>(Trunc(rowStep * j)), SH - 1);
        const uint8_t* src = CheckedScanline(Source, sourceRow);
        uint8_t* dst = CheckedScanline(Dest, j);
        stretchRow(src, dst, columns);
        // The row is written whole, so a write-only file row carries no stale bytes.
        std::memset(dst + pixelBytes, 0, static_cast<size_t>(rowLen - pixelBytes));
        progress.ReportChange(static_cast<int32_t>(Trunc(j * 100 / (DH + 0.5))));
    }
    if (format == vl8p) CopyPalette(Source, Dest);
}

int32_t ConvertRowBitCount(const void* Source, void* Dest, uint16_t SourceBits, uint16_t DestBits,
                           uint16_t Count, std::span<const TVLRGB> Palette) {
    const auto* src = static_cast<const uint8_t*>(Source);
    auto* dst = static_cast<uint8_t*>(Dest);
    const int32_t n = Count;
    const bool packed = SourceBits == 1 || SourceBits == 4;
    if (SourceBits == DestBits && RowBytes(DestBits, n) > 0) {
        std::memcpy(dst, src, RowBytes(DestBits, n));
    } else if (packed && DestBits == 4) {
        const std::vector<uint8_t> pixels = UnpackRow(src, SourceBits, n);
        for (int32_t i = 0; i < n; ++i)
            dst[i / 2] |= static_cast<uint8_t>(pixels[i] << (i % 2 == 0 ? 4 : 0));
    } else if (packed && DestBits == 8) {
        const std::vector<uint8_t> pixels = UnpackRow(src, SourceBits, n);
        std::copy(pixels.begin(), pixels.end(), dst);
    } else if ((packed || SourceBits == 8) && DestBits == 24) {
        if (packed)
            WritePaletteRow(UnpackRow(src, SourceBits, n).data(), n, Palette, dst);
        else
            WritePaletteRow(src, n, Palette, dst);
    } else if (SourceBits == 8 && DestBits == 1) {
        std::memset(dst, 0, RowBytes(1, n));
        for (int32_t i = 0; i < n; ++i)
            dst[i / 8] |= static_cast<uint8_t>((src[i] & 1) << (7 - i % 8));
    } else if (SourceBits == 32 && DestBits == 24) {
        for (int32_t i = 0; i < n; ++i)
            std::memcpy(dst + 3 * i, src + 4 * i, 3);
    }
    return RowBytes(DestBits, n);
}
