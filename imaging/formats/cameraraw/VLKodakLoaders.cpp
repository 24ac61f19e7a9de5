// The Kodak raw loaders. The curve index is limited to the curve, multipliers of 0 divide
// nothing, and the JPEG refill routine catches every exception so that none crosses the JPEG
// library.
#include "imaging/formats/cameraraw/VLKodakLoaders.h"

#include "imaging/core/VLStreams.h"
#include "imaging/formats/cameraraw/VLRawLoaders.h"
#include "imaging/io/VLJpeg.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace {

// The variable-length difference code of the DCR and YCC formats.
struct TKodakBits {
    uint64_t Buffer = 0;
    int32_t Count = 0;

    // Clears the buffer; runs whose length is 4 mod 8 start with two bytes.
    void Start(TVLCameraRawContext& Context, int32_t Length) {
        Buffer = 0;
        Count = 0;
        if (Length % 8 == 4) {
            Buffer = uint64_t{get_byte(Context)} << 8;
            Buffer += get_byte(Context);
            Count = 16;
        }
    }

    // A difference of N bits, byte pairs swapped, JPEG sign rule.
    int32_t Next(TVLCameraRawContext& Context, int32_t N) {
        if (Count < N) {
            Buffer += uint64_t{get_byte(Context)} << (Count + 8);
            Buffer += uint64_t{get_byte(Context)} << Count;
            Buffer += uint64_t{get_byte(Context)} << (Count + 24);
            Buffer += uint64_t{get_byte(Context)} << (Count + 16);
            Count += 32;
        }
        auto d = static_cast<int32_t>(Buffer & ((uint64_t{1} << N) - 1));
        Buffer >>= N;
        Count -= N;
        if (N > 0 && (d & (1 << (N - 1))) == 0) d -= (1 << N) - 1;
        return d;
    }
};

uint32_t CurveValue(const uint16_t (&Curve)[4096], int32_t V) {
    return uint32_t{Curve[std::clamp(V, 0, 4095)]} << 2;
}

// Bit lengths of a run, two a byte, low nibble first. True when one is above 12 (the run is
// then stored as packed 12-bit words).
bool ReadRunLengths(TVLCameraRawContext& Context, uint8_t* Lengths, int32_t Count) {
    bool packed = false;
    for (int32_t i = 0; i < Count; i += 2) {
        const uint8_t c = get_byte(Context);
        Lengths[i] = c & 15;
        if (Lengths[i] > 12) {
            packed = true;
            continue;
        }
        if (i + 1 < Count) Lengths[i + 1] = c >> 4;
        if ((c >> 4) > 12) packed = true;
    }
    return packed;
}

void DcrPackedRun(TVLCameraRawContext& Context, const uint16_t (&Curve)[4096], int64_t Row,
                  int64_t Col, int32_t Length) {
    for (int32_t i = 0; i < Length; i += 8) {
        uint16_t w[6];
        for (uint16_t& word : w) {
            const uint8_t hi = get_byte(Context);
            word = static_cast<uint16_t>(hi << 8 | get_byte(Context));
        }
        int32_t values[8];
        values[0] = (w[0] >> 12 << 8) + (w[2] >> 12 << 4) + (w[4] >> 12);
        values[1] = (w[1] >> 12 << 8) + (w[3] >> 12 << 4) + (w[5] >> 12);
        for (int32_t k = 2; k < 8; ++k) values[k] = w[k - 2] & 0xFFF;
        for (int32_t k = 0; k < 8 && i + k < Length; ++k)
            StoreRawSample(Context, Row, Col + i + k, CurveValue(Curve, values[k]));
    }
}

// The radial trees' (length, value) pairs, tree after tree.
const int8_t RadcPairs[][2] = {
    {1, 1},   {2, 3},   {3, 4},   {4, 2},   {5, 7},   {6, 5},   {7, 6},   {7, 8},  // 0
    {1, 0},   {2, 1},   {3, 3},   {4, 4},   {5, 2},   {6, 7},   {7, 6},   {8, 5},   {8, 8},
    {2, 1},   {2, 3},   {3, 0},   {3, 2},   {3, 4},   {4, 6},   {5, 5},   {6, 7},   {6, 8},
    {2, 0},   {2, 1},   {2, 3},   {3, 2},   {4, 4},   {5, 6},   {6, 7},   {7, 5},   {7, 8},
    {2, 1},   {2, 4},   {3, 0},   {3, 2},   {3, 3},   {4, 7},   {5, 5},   {6, 6},   {6, 8},
    {2, 3},   {3, 1},   {3, 2},   {3, 4},   {3, 5},   {3, 6},   {4, 7},   {5, 0},   {5, 8},
    {2, 3},   {2, 6},   {3, 0},   {3, 1},   {4, 4},   {4, 5},   {4, 7},   {5, 2},   {5, 8},
    {2, 4},   {2, 7},   {3, 3},   {3, 6},   {4, 1},   {4, 2},   {4, 5},   {5, 0},   {5, 8},
    {2, 6},   {3, 1},   {3, 3},   {3, 5},   {3, 7},   {3, 8},   {4, 0},   {5, 2},   {5, 4},
    {2, 0},   {2, 1},   {3, 2},   {3, 3},   {4, 4},   {4, 5},   {5, 6},   {5, 7},   {4, 8},
    {1, 0},   {2, 2},   {2, -2},                                                   // 10
    {1, -3},  {1, 3},                                                              // 11
    {2, -17}, {2, -5},  {2, 5},   {2, 17},                                         // 12
    {2, -7},  {2, 2},   {2, 9},   {2, 18},                                         // 13
    {2, -18}, {2, -9},  {2, -2},  {2, 7},                                          // 14
    {2, -28}, {2, 28},  {3, -49}, {3, -9},  {3, 9},   {4, 49},  {5, -79}, {5, 79}, // 15
    {2, -1},  {2, 13},  {2, 26},  {3, 39},  {4, -16}, {5, 55},  {6, -37}, {6, 76}, // 16
    {2, -26}, {2, -13}, {2, 1},   {3, -39}, {4, 16},  {5, -55}, {6, -76}, {6, 37}, // 17
};
constexpr int32_t RadcPairCount = sizeof(RadcPairs) / sizeof(RadcPairs[0]);

// Entries of the radial code: 3 colours x 3 rows x 386 predictions.
constexpr int32_t RadcColumns = 386;
using TRadcBuffer = int16_t[3][3][RadcColumns];

int32_t radc_prediction(const TRadcBuffer& B, int32_t C, int32_t Y, int32_t X) {
    if (C == 0) return (B[0][Y - 1][X + 1] + 2 * B[0][Y - 1][X] + B[0][Y][X + 1]) / 4;
    return (B[C][Y - 1][X] + B[C][Y][X + 1]) / 2;
}

// Fills the 2 x 2 entries (rows 1 and 2, columns Col + 1 then Col) with Value(y, x).
template <class ValueT> void FillBlock(TRadcBuffer& B, int32_t C, int32_t Col, ValueT Value) {
    for (int32_t y = 1; y < 3; ++y)
        for (int32_t x = Col + 1; x >= Col; --x) B[C][y][x] = static_cast<int16_t>(Value(y, x));
}

// Decodes one pass of colour C over the half-width columns, right to left.
void RadcPass(TVLCameraRawContext& Context, TRadcBuffer& B, int32_t C, int32_t Mul) {
    const int32_t half = Context.Width / 2;
    B[C][1][half] = B[C][2][half] = static_cast<int16_t>(Mul << 7);
    int32_t tree = 1;
    for (int32_t col = half; col > 0;) {
        tree = radc_symbol(Context, tree);
        if (tree != 0) {
            col -= 2;
            if (tree == 8) {
                FillBlock(B, C, col, [&](int32_t, int32_t) { return radc_symbol(Context, 18) * Mul; });
            } else {
                FillBlock(B, C, col, [&](int32_t y, int32_t x) {
                    return radc_symbol(Context, tree + 10) * 16 + radc_prediction(B, C, y, x);
                });
            }
            continue;
        }
        int32_t nreps = 0;
        do {
            nreps = col > 2 ? radc_symbol(Context, 9) + 1 : 1;
            for (int32_t rep = 0; rep < 8 && rep < nreps && col > 0; ++rep) {
                col -= 2;
                FillBlock(B, C, col,
                          [&](int32_t y, int32_t x) { return radc_prediction(B, C, y, x); });
                if ((rep & 1) != 0) {
                    const int32_t step = radc_symbol(Context, 10) * 16;
                    FillBlock(B, C, col, [&](int32_t y, int32_t x) { return B[C][y][x] + step; });
                }
            }
        } while (nreps == 9);
    }
}

// The sample of raw cell (Row, Col), 0 outside the buffer.
int32_t RawSampleAt(TVLCameraRawContext& Context, int64_t Row, int64_t Col) {
    if (Row < 0 || Col < 0) return 0;
    const TVLRawCell* cell = RawCellAt(Context, Row >> Context.Shrink, Col >> Context.Shrink);
    return cell != nullptr ? (*cell)[FilterColor(Context.Filters, static_cast<int32_t>(Row & 7),
                                                 static_cast<int32_t>(Col & 1))]
                           : 0;
}

// The green cells of four rows from their own value and their neighbours in buffer order.
void RadcSharpen(TVLCameraRawContext& Context, int64_t Row) {
    const int64_t width = Context.Width;
    auto flat = [&](int64_t Index) {
        return Index < 0 ? 0 : RawSampleAt(Context, Index / width, Index % width);
    };
    for (int64_t y = Row; y < Row + 4; ++y)
        for (int64_t x = 0; x < width; ++x) {
            if (((x + y) & 1) == 0) continue;
            const int64_t i = y * width + x;
            const int32_t v = (flat(i - 1) + flat(i + 1)) / 2 + 2 * RawSampleAt(Context, y, x) - 4096;
            StoreRawSample(Context, y, x, static_cast<uint32_t>(std::max(v, 0)));
        }
}

// The decompressor with the context its refill routine reads from.
struct TDc120Source {
    jpeg_decompress_struct Decompressor;
    TVLCameraRawContext* Context;
};

int dc120_fill_input(TVLJpegDecompressor* Decompressor) {
    auto* source = reinterpret_cast<TDc120Source*>(Decompressor);
    TVLCameraRawContext& context = *source->Context;
    int64_t count = 0;
    try {
        count = ReadUpTo(*context.Stream, context.JpegBuffer, sizeof(context.JpegBuffer));
    } catch (...) {
        count = 0;
    }
    swap_byte_pairs(context.JpegBuffer, static_cast<size_t>(count));
    // The end of the data gives the library an end-of-image marker to finish with.
    if (count <= 0) {
        context.JpegBuffer[0] = 0xFF;
        context.JpegBuffer[1] = JPEG_EOI;
        count = 2;
    }
    JPEGSetSourceBuffer(Decompressor, context.JpegBuffer, static_cast<uint32_t>(count));
    return 1;
}

// Frees the decompressor and its error manager however the decoding ends.
struct TDc120Guard {
    TDc120Source* Source;
    bool Created = false;
    ~TDc120Guard() {
        if (Created) JPEGDestroyDecompress(&Source->Decompressor);
        JPEGFreeErrorManager(&Source->Decompressor);
        JPEGFreeDecompress(&Source->Decompressor);
    }
};

} // namespace

void kodak_easy_load_raw(TVLCameraRawContext& Context) {
    uint16_t curve[4096];
    read_kodak_curve(Context, curve);
    if (Context.RawWidth <= 0) return;
    CheckRawAllocation(Context, Context.RawWidth, "kodak_easy_load_raw()");
    std::vector<uint8_t> pixel(static_cast<size_t>(Context.RawWidth));
    const bool masked = Context.RawWidth > Context.Width;
    int64_t black = masked ? 0 : Context.Black;
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        RawRead(Context, pixel.data(), Context.RawWidth);
        for (int64_t col = 0; col < Context.RawWidth; ++col) {
            const int64_t icol = col - Context.LeftMargin;
            if (icol >= 0 && icol < Context.Width)
                StoreRawSample(Context, row, icol, uint32_t{curve[pixel[col]]} << 2);
            else
                black += curve[pixel[col]];
        }
    }
    if (masked) {
        const int64_t count = (int64_t{Context.RawWidth} - Context.Width) * Context.Height;
        black = count > 0 ? black * 4 / count : 0;
    }
    Context.Black = static_cast<int32_t>(std::clamp<int64_t>(black, INT32_MIN, INT32_MAX));
    if (std::strncmp(Context.Model, "DC2", 3) == 0) Context.Black = 0;
}

void dc120_load_raw(TVLCameraRawContext& Context) {
    static const int32_t Mul[4] = {162, 192, 187, 92};
    static const int32_t Add[4] = {0, 636, 424, 212};
    uint8_t pixel[848];
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        RawRead(Context, pixel, 848);
        const int64_t shift = row * Mul[row & 3] + Add[row & 3];
        for (int64_t col = 0; col < Context.Width; ++col)
            StoreRawSample(Context, row, col, uint32_t{pixel[(col + shift) % 848]} << 6);
    }
}

void kodak_dcr_load_raw(TVLCameraRawContext& Context) {
    uint16_t curve[4096];
    read_kodak_curve(Context, curve);
    StartRowProgress(Context, Context.Height);
    uint8_t lengths[256];
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        for (int64_t col = 0; col < Context.Width; col += 256) {
            const auto len = static_cast<int32_t>(std::min<int64_t>(256, Context.Width - col));
            const int64_t save = RawPosition(Context);
            std::fill(std::begin(lengths), std::end(lengths), 0);
            const bool packed = ReadRunLengths(Context, lengths, len);
            TKodakBits bits;
            bits.Start(Context, len);
            if (packed) {
                RawSeek(Context, save);
                DcrPackedRun(Context, curve, row, col, len);
                continue;
            }
            int32_t pred[2] = {0, 0};
            for (int32_t i = 0; i < len; ++i) {
                int32_t& p = pred[i & 1];
                p = static_cast<int32_t>(static_cast<uint32_t>(p) +
                                         static_cast<uint32_t>(bits.Next(Context, lengths[i])));
                StoreRawSample(Context, row, col + i, CurveValue(curve, p));
            }
        }
    }
}

void kodak_ycc_load_raw(TVLCameraRawContext& Context) {
    uint16_t curve[4096];
    read_kodak_curve(Context, curve);
    uint8_t lengths[384] = {};
    int32_t bp = 0;
    TKodakBits bits;
    int32_t y[4] = {};
    int32_t cb = 0;
    int32_t cr = 0;
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); row += 2) {
        ReportRowProgress(Context, row);
        for (int64_t col = 0; col < Context.Width; col += 2) {
            if (col % 128 == 0) {
                const auto len = static_cast<int32_t>(
                    std::min<int64_t>(384, ((Context.Width - col + 1) * 3) & ~int64_t{3}));
                std::fill(std::begin(lengths), std::end(lengths), 0);
                for (int32_t i = 0; i < len; i += 2) {
                    const uint8_t c = get_byte(Context);
                    lengths[i] = c & 15;
                    if (i + 1 < len) lengths[i + 1] = c >> 4;
                }
                bits.Start(Context, len);
                y[1] = y[3] = cb = cr = 0;
                bp = 0;
            }
            int32_t d[6];
            for (int32_t& diff : d) diff = bits.Next(Context, bp < 384 ? lengths[bp++] : 0);
            y[0] = d[0] + y[1];
            y[1] = d[1] + y[0];
            y[2] = d[2] + y[3];
            y[3] = d[3] + y[2];
            cb += d[4];
            cr += d[5];
            // Every value is kept within 16 bits of magnitude: the curve index is limited anyway.
            for (int32_t& v : y) v = std::clamp(v, -65536, 65536);
            cb = std::clamp(cb, -65536, 65536);
            cr = std::clamp(cr, -65536, 65536);
            for (int32_t i = 0; i < 4; ++i) {
                const int32_t rgb[3] = {y[i] + cr, y[i], y[i] + cb};
                for (int32_t c = 0; c < 3; ++c)
                    if (rgb[c] > 0)
                        StoreCellSample(Context, row + i / 2, col + (i & 1), c,
                                        CurveValue(curve, rgb[c]));
            }
        }
    }
}

int32_t build_decoder_pairs(TVLCameraRawContext& Context, const int8_t (*Pairs)[2],
                            int32_t PairCount, int32_t Depth) {
    if (Context.FreeDecoder >= RawDecoderCount) throw Exception(u": decoder table overflow");
    const int32_t cur = Context.FreeDecoder++;
    const int32_t length = Context.RadcSource < PairCount ? Pairs[Context.RadcSource][0] : 0;
    if (Depth < length) {
        Context.Decoders[cur].Branch[0] = Context.FreeDecoder;
        build_decoder_pairs(Context, Pairs, PairCount, Depth + 1);
        Context.Decoders[cur].Branch[1] = Context.FreeDecoder;
        build_decoder_pairs(Context, Pairs, PairCount, Depth + 1);
    } else if (Context.RadcSource < PairCount) {
        Context.Decoders[cur].Leaf = Pairs[Context.RadcSource++][1];
    }
    return Context.RadcSource;
}

int32_t radc_symbol(TVLCameraRawContext& Context, int32_t Tree) {
    if (Context.FreeDecoder == 0) {
        Context.RadcSource = 0;
        for (int32_t& start : Context.RadcStart) {
            start = Context.FreeDecoder;
            build_decoder_pairs(Context, RadcPairs, RadcPairCount, 0);
        }
    }
    if (Tree == 18) {
        if (Context.Model[0] != 0 && Context.Model[1] != 0 && Context.Model[2] == '4')
            return static_cast<int32_t>(get_bits(Context, 5) * 8 + 4);
        return static_cast<int32_t>(get_bits(Context, 6) * 4 + 2);
    }
    if (Tree < 0 || Tree > 17) return 0;
    return decode_symbol(Context, Context.RadcStart[Tree]);
}

void dc40_load_raw(TVLCameraRawContext& Context) {
    const int32_t width = Context.Width;
    if (width <= 0 || width % 4 != 0 || width / 2 > RadcColumns - 2) return;
    reset_decoders(Context);
    get_bits(Context, -1);
    TRadcBuffer buf;
    for (auto& colour : buf)
        for (auto& line : colour) std::fill(std::begin(line), std::end(line), int16_t{2048});
    int32_t last[3] = {16, 16, 16};
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); row += 4) {
        ReportRowProgress(Context, row);
        int32_t mul[3];
        for (int32_t& m : mul) m = static_cast<int32_t>(get_bits(Context, 6));
        for (int32_t c = 0; c < 3; ++c) {
            // A multiplier of 0 scales by the largest step instead of dividing by zero.
            int64_t val = ((16777216 / std::max(last[c], 1) + 2047) >> 12) * mul[c];
            const int32_t s = val > 65564 ? 10 : 12;
            const int64_t x = (int64_t{1} << (s - 1)) - 1;
            val <<= 12 - s;
            for (auto& line : buf[c])
                for (int16_t& e : line) e = static_cast<int16_t>((e * val + x) >> s);
            last[c] = mul[c];
            for (int32_t p = 0; p <= (c == 0 ? 1 : 0); ++p) {
                RadcPass(Context, buf, c, mul[c]);
                for (int32_t yy = 0; yy < 2; ++yy)
                    for (int32_t xx = 0; xx < width / 2; ++xx) {
                        const int32_t v =
                            mul[c] != 0 ? std::max(buf[c][yy + 1][xx] * 16 / mul[c], 0) : 0;
                        if (c != 0)
                            StoreRawSample(Context, row + yy * 2 + c - 1, xx * 2 + 2 - c,
                                           static_cast<uint32_t>(v));
                        else
                            StoreRawSample(Context, row + p * 2 + yy, xx * 2 + yy,
                                           static_cast<uint32_t>(v));
                    }
                const int32_t shift = c == 0 ? 1 : 0;
                std::memmove(buf[c][0] + shift, buf[c][2],
                             sizeof(int16_t) * (RadcColumns - shift));
            }
        }
        RadcSharpen(Context, row);
    }
}

void dc120_jpeg_load_raw(TVLCameraRawContext& Context) {
    auto* source = static_cast<TDc120Source*>(std::calloc(1, sizeof(TDc120Source)));
    if (source == nullptr) raise_out_of_memory("dc120_jpeg_load_raw()");
    source->Context = &Context;
    TDc120Guard guard{source};
    TVLJpegDecompressor* dec = &source->Decompressor;
    JPEGAllocErrorManager(dec);
    JPEGCreateDecompress(dec);
    guard.Created = true;
    JPEGSetStreamSource(dec, *Context.Stream);
    JPEGSetFillInputBuffer(dec, dc120_fill_input);
    JPEGReadHeader(dec, true);
    // The declared size is checked before the library allocates for it.
    if (dec->image_width != static_cast<uint32_t>(Context.Width) ||
        dec->image_height != static_cast<uint32_t>(Context.Height / 2) || dec->num_components != 3)
        throw Exception(u": incorrect JPEG dimensions");
    JPEGStartDecompress(dec);
    const int32_t outHeight = JPEGGetOutputHeight(dec);
    if (JPEGGetOutputWidth(dec) != Context.Width || outHeight != Context.Height / 2 ||
        JPEGGetOutputComponents(dec) != 3)
        throw Exception(u": incorrect JPEG dimensions");
    uint8_t** rows = JPEGAllocSampleArray(dec, 1, static_cast<uint32_t>(Context.Width) * 3, 1);
    StartRowProgress(Context, outHeight);
    for (int32_t s = JPEGGetOutputScanline(dec); s < outHeight; s = JPEGGetOutputScanline(dec)) {
        ReportRowProgress(Context, s);
        if (JPEGReadScanlines(dec, rows, 1) == 0) break;
        const uint8_t* p = rows[0];
        const int64_t r = int64_t{s} * 2;
        for (int64_t col = 0; col + 1 < Context.Width; col += 2) {
            const uint8_t* a = p + col * 3;
            const uint8_t* b = a + 3;
            StoreRawSample(Context, r, col, uint32_t{a[1]} << 6);
            StoreRawSample(Context, r + 1, col + 1, uint32_t{b[1]} << 6);
            StoreRawSample(Context, r, col + 1, (uint32_t{a[0]} + b[0]) << 5);
            StoreRawSample(Context, r + 1, col, (uint32_t{a[2]} + b[2]) << 5);
        }
    }
    JPEGFinishDecompress(dec);
}
