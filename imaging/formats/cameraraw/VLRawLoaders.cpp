// The raw data loaders. Every sample goes through the checked store of the context, tables read
// from a file are bounded by the bytes present, and running sums and predictors wrap as unsigned
// 32-bit numbers.
#include "imaging/formats/cameraraw/VLRawLoaders.h"

#include "imaging/core/VLStreams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// a + b with the 32-bit wrap of the cameras' firmware and no signed overflow.
int32_t Wrap(int32_t A, int32_t B) {
    return static_cast<int32_t>(static_cast<uint32_t>(A) + static_cast<uint32_t>(B));
}

uint16_t BigEndian16(const uint8_t* P) {
    return static_cast<uint16_t>(P[0] << 8 | P[1]);
}

uint16_t LittleEndian16(const uint8_t* P) {
    return static_cast<uint16_t>(P[1] << 8 | P[0]);
}

// Black := Sum / Count, only for a positive count.
void SetBlack(TVLCameraRawContext& Context, int64_t Sum, int64_t Count) {
    if (Count > 0)
        Context.Black = static_cast<int32_t>(std::clamp<int64_t>(Sum / Count, INT32_MIN, INT32_MAX));
}

// A zero-filled work block of Count elements, bounded by the input like the image buffer.
template <class T>
std::vector<T> WorkBlock(TVLCameraRawContext& Context, int64_t Count, const char* Routine) {
    if (Count < 0) Count = 0;
    CheckRawAllocation(Context, Count * int64_t{sizeof(T)}, Routine);
    return std::vector<T>(static_cast<size_t>(Count));
}

// Reads Count 16-bit words of the given order into Words.
void ReadWords(TVLCameraRawContext& Context, std::vector<uint16_t>& Words, int64_t Count,
               bool BigEndian) {
    std::vector<uint8_t> bytes(static_cast<size_t>(Count) * 2);
    RawRead(Context, bytes.data(), Count * 2);
    for (int64_t i = 0; i < Count; ++i)
        Words[i] = BigEndian ? BigEndian16(&bytes[i * 2]) : LittleEndian16(&bytes[i * 2]);
}

// The number after the first letter of the model name ("E5700" gives 5700).
long ModelNumber(const TVLCameraRawContext& Context) {
    return std::strtol(Context.Model + 1, nullptr, 10);
}

// Row order of the interlaced sensors: even rows first, then odd ones.
int64_t InterlacedRow(int64_t IRow, int64_t Height) {
    const int64_t half = Height / 2;
    return half > 0 ? IRow * 2 % Height + IRow / half : IRow;
}

// Canon's CRW code tables: three pairs of (first, second) tables.
const uint8_t CrwFirst[3][29] = {
    {0, 1, 4, 2, 3, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x04, 0x03, 0x05, 0x06, 0x02, 0x07, 0x01,
     0x08, 0x09, 0x00, 0x0a, 0x0b, 0xff},
    {0, 2, 2, 3, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x02, 0x04, 0x01, 0x05, 0x00, 0x06,
     0x07, 0x09, 0x08, 0x0a, 0x0b, 0xff},
    {0, 0, 6, 3, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x06, 0x05, 0x07, 0x04, 0x08, 0x03, 0x09,
     0x02, 0x00, 0x0a, 0x01, 0x0b, 0xff}};

const uint8_t CrwSecond[3][180] = {
    {0x00, 0x02, 0x02, 0x02, 0x01, 0x04, 0x02, 0x01, 0x02, 0x05, 0x01, 0x01, 0x00, 0x00, 0x00,
     0x8b, 0x03, 0x04, 0x02, 0x05, 0x01, 0x06, 0x07, 0x08, 0x12, 0x13, 0x11, 0x14, 0x09, 0x15,
     0x22, 0x00, 0x21, 0x16, 0x0a, 0xf0, 0x23, 0x17, 0x24, 0x31, 0x32, 0x18, 0x19, 0x33, 0x25,
     0x41, 0x34, 0x42, 0x35, 0x51, 0x36, 0x37, 0x38, 0x29, 0x79, 0x26, 0x1a, 0x39, 0x56, 0x57,
     0x28, 0x27, 0x52, 0x55, 0x58, 0x43, 0x76, 0x59, 0x77, 0x54, 0x61, 0xf9, 0x71, 0x78, 0x75,
     0x96, 0x97, 0x49, 0xb7, 0x53, 0xd7, 0x74, 0xb6, 0x98, 0x47, 0x48, 0x95, 0x69, 0x99, 0x91,
     0xfa, 0xb8, 0x68, 0xb5, 0xb9, 0xd6, 0xf7, 0xd8, 0x67, 0x46, 0x45, 0x94, 0x89, 0xf8, 0x81,
     0xd5, 0xf6, 0xb4, 0x88, 0xb1, 0x2a, 0x44, 0x72, 0xd9, 0x87, 0x66, 0xd4, 0xf5, 0x3a, 0xa7,
     0x73, 0xa9, 0xa8, 0x86, 0x62, 0xc7, 0x65, 0xc8, 0xc9, 0xa1, 0xf4, 0xd1, 0xe9, 0x5a, 0x92,
     0x85, 0xa6, 0xe7, 0x93, 0xe8, 0xc1, 0xc6, 0x7a, 0x64, 0xe1, 0x4a, 0x6a, 0xe6, 0xb3, 0xf1,
     0xd3, 0xa5, 0x8a, 0xb2, 0x9a, 0xba, 0x84, 0xa4, 0x63, 0xe5, 0xc5, 0xf3, 0xd2, 0xc4, 0x82,
     0xaa, 0xda, 0xe4, 0xf2, 0xca, 0x83, 0xa3, 0xa2, 0xc3, 0xea, 0xc2, 0xe2, 0xe3, 0xff, 0xff},
    {0x00, 0x02, 0x02, 0x01, 0x04, 0x01, 0x04, 0x01, 0x03, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00,
     0x8c, 0x02, 0x03, 0x01, 0x04, 0x05, 0x12, 0x11, 0x06, 0x13, 0x07, 0x08, 0x14, 0x22, 0x09,
     0x21, 0x00, 0x23, 0x15, 0x31, 0x32, 0x0a, 0x16, 0xf0, 0x24, 0x33, 0x41, 0x42, 0x19, 0x17,
     0x25, 0x18, 0x51, 0x34, 0x43, 0x52, 0x29, 0x35, 0x61, 0x39, 0x71, 0x62, 0x36, 0x53, 0x26,
     0x38, 0x1a, 0x37, 0x81, 0x27, 0x91, 0x79, 0x55, 0x45, 0x28, 0x72, 0x59, 0xa1, 0xb1, 0x44,
     0x69, 0x54, 0x58, 0xd1, 0xfa, 0x57, 0xe1, 0xf1, 0xb9, 0x49, 0x47, 0x63, 0x6a, 0xf9, 0x56,
     0x46, 0xa8, 0x2a, 0x4a, 0x78, 0x99, 0x3a, 0x75, 0x74, 0x86, 0x65, 0xc1, 0x76, 0xb6, 0x96,
     0xd6, 0x89, 0x85, 0xc9, 0xf5, 0x95, 0xb4, 0xc7, 0xf7, 0x8a, 0x97, 0xb8, 0x73, 0xb7, 0xd8,
     0xd9, 0x87, 0xa7, 0x7a, 0x48, 0x82, 0x84, 0xea, 0xf4, 0xa6, 0xc5, 0x5a, 0x94, 0xa4, 0xc6,
     0x92, 0xc3, 0x68, 0xb5, 0xc8, 0xe4, 0xe5, 0xe6, 0xe9, 0xa2, 0xa3, 0xe3, 0xc2, 0x66, 0x67,
     0x93, 0xaa, 0xd4, 0xd5, 0xe7, 0xf8, 0x88, 0x9a, 0xd7, 0x77, 0xc4, 0x64, 0xe2, 0x98, 0xa5,
     0xca, 0xda, 0xe8, 0xf3, 0xf6, 0xa9, 0xb2, 0xb3, 0xf2, 0xd2, 0x83, 0xba, 0xd3, 0xff, 0xff},
    {0x00, 0x00, 0x06, 0x02, 0x01, 0x03, 0x03, 0x02, 0x05, 0x01, 0x02, 0x02, 0x08, 0x0a, 0x00,
     0x75, 0x04, 0x05, 0x03, 0x06, 0x02, 0x07, 0x01, 0x08, 0x09, 0x12, 0x13, 0x14, 0x11, 0x15,
     0x0a, 0x16, 0x17, 0xf0, 0x00, 0x22, 0x21, 0x18, 0x23, 0x19, 0x24, 0x32, 0x31, 0x25, 0x33,
     0x38, 0x37, 0x34, 0x35, 0x36, 0x39, 0x79, 0x57, 0x58, 0x59, 0x28, 0x56, 0x78, 0x27, 0x41,
     0x29, 0x77, 0x26, 0x42, 0x76, 0x99, 0x1a, 0x55, 0x98, 0x97, 0xf9, 0x48, 0x54, 0x96, 0x89,
     0x47, 0xb7, 0x49, 0xfa, 0x75, 0x68, 0xb6, 0x67, 0x69, 0xb9, 0xb8, 0xd8, 0x52, 0xd7, 0x88,
     0xb5, 0x74, 0x51, 0x46, 0xd9, 0xf8, 0x3a, 0xd6, 0x87, 0x45, 0x7a, 0x95, 0xd5, 0xf6, 0x86,
     0xb4, 0xa9, 0x94, 0x53, 0x2a, 0xa8, 0x43, 0xf5, 0xf7, 0xd4, 0x66, 0xa7, 0x5a, 0x44, 0x8a,
     0xc9, 0xe8, 0xc8, 0xe7, 0x9a, 0x6a, 0x73, 0x4a, 0x61, 0xc7, 0xf4, 0xc6, 0x65, 0xe9, 0x72,
     0xe6, 0x71, 0x91, 0x93, 0xa6, 0xda, 0x92, 0x85, 0x62, 0xf3, 0xc5, 0xb2, 0xa4, 0x84, 0xba,
     0x64, 0xa5, 0xb3, 0xd2, 0x81, 0xe5, 0xd3, 0xaa, 0xc4, 0xca, 0xf2, 0xb1, 0xe4, 0xd1, 0x83,
     0x63, 0xea, 0xc3, 0xe2, 0x82, 0xf1, 0xa3, 0xc2, 0xa1, 0xc1, 0xe3, 0xa2, 0xe1, 0xff, 0xff}};

// Nikon's table lists 13 values for 14 codes: the fourteenth decodes as 0.
const uint8_t NikonTree[29] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 2, 0, 0, 0, 0, 0, 0, 5, 4, 3, 6, 2, 7, 1,
                               0, 8, 9, 11, 10, 12};

// Canon compressed data: 64 differences per block from the two trees.
void DecodeCanonBlock(TVLCameraRawContext& Context, int32_t (&Diff)[64]) {
    std::fill(std::begin(Diff), std::end(Diff), 0);
    for (int32_t i = 0; i < 64; ++i) {
        const int32_t leaf = decode_symbol(Context, i == 0 ? 0 : Context.SecondDecoder);
        if (leaf == 0 && i > 0) break;
        if (leaf == 0xFF) continue;
        i += leaf >> 4;
        const int32_t len = leaf & 15;
        if (len == 0) continue;
        const int32_t diff = get_signed_bits(Context, len);
        if (i < 64) Diff[i] = diff;
    }
}

// The low two bits of every sample of an 8-row block, stored apart at 26 + row x RawWidth / 4.
void AddCanonLowBits(TVLCameraRawContext& Context, std::vector<uint16_t>& Pixel, int32_t Row) {
    const int64_t save = RawPosition(Context);
    RawSeek(Context, 26 + int64_t{Row} * Context.RawWidth / 4);
    for (size_t p = 0; p + 4 <= Pixel.size(); p += 4) {
        const uint8_t c = get_byte(Context);
        for (int32_t r = 0; r < 4; ++r) {
            uint32_t val = (uint32_t{Pixel[p + r]} << 2) + ((c >> (r * 2)) & 3);
            if (Context.RawWidth == 2672 && (val & 0xFFFF) < 512) val += 2;
            Pixel[p + r] = static_cast<uint16_t>(val);
        }
    }
    RawSeek(Context, save);
}

// Unpacks 10-byte groups of the A5 layout into 8 values each.
void UnpackA5(const uint8_t* D, uint16_t* V) {
    V[0] = static_cast<uint16_t>((D[1] << 2) + (D[0] >> 6));
    V[1] = static_cast<uint16_t>((D[0] << 4) + (D[3] >> 4));
    V[2] = static_cast<uint16_t>((D[3] << 6) + (D[2] >> 2));
    V[3] = static_cast<uint16_t>((D[2] << 8) + D[5]);
    V[4] = static_cast<uint16_t>((D[4] << 2) + (D[7] >> 6));
    V[5] = static_cast<uint16_t>((D[7] << 4) + (D[6] >> 4));
    V[6] = static_cast<uint16_t>((D[6] << 6) + (D[9] >> 2));
    V[7] = static_cast<uint16_t>((D[9] << 8) + D[8]);
}

void UnpackPowerShot600(const uint8_t* D, uint16_t* V) {
    V[0] = static_cast<uint16_t>((D[0] << 2) + (D[1] >> 6));
    V[1] = static_cast<uint16_t>((D[2] << 2) + ((D[1] >> 4) & 3));
    V[2] = static_cast<uint16_t>((D[3] << 2) + ((D[1] >> 2) & 3));
    V[3] = static_cast<uint16_t>((D[4] << 2) + (D[1] & 3));
    V[4] = static_cast<uint16_t>((D[5] << 2) + (D[9] & 3));
    V[5] = static_cast<uint16_t>((D[6] << 2) + ((D[9] >> 2) & 3));
    V[6] = static_cast<uint16_t>((D[7] << 2) + ((D[9] >> 4) & 3));
    V[7] = static_cast<uint16_t>((D[8] << 2) + (D[9] >> 6));
}

void UnpackE2100(const uint8_t* B, uint16_t* V) {
    V[0] = static_cast<uint16_t>((B[3] << 4) + (B[2] >> 4));
    V[1] = static_cast<uint16_t>((B[2] << 8) + B[1]);
    V[2] = static_cast<uint16_t>((B[0] << 4) + (B[7] >> 4));
    V[3] = static_cast<uint16_t>((B[7] << 8) + B[6]);
    V[4] = static_cast<uint16_t>((B[5] << 4) + (B[4] >> 4));
    V[5] = static_cast<uint16_t>((B[4] << 8) + B[11]);
    V[6] = static_cast<uint16_t>((B[10] << 4) + (B[9] >> 4));
    V[7] = static_cast<uint16_t>((B[9] << 8) + B[8]);
}

void UnpackQV5700(const uint8_t* D, uint16_t* V) {
    V[0] = static_cast<uint16_t>((D[0] << 2) + (D[1] >> 6));
    V[1] = static_cast<uint16_t>((D[1] << 4) + (D[2] >> 4));
    V[2] = static_cast<uint16_t>((D[2] << 6) + (D[3] >> 2));
    V[3] = static_cast<uint16_t>((D[3] << 8) + D[4]);
}

// Reads rows of Bytes bytes unpacked by Unpack from groups of GroupBytes into GroupValues each.
template <class UnpackT>
std::vector<uint16_t> ReadPackedRow(TVLCameraRawContext& Context, std::vector<uint8_t>& Data,
                                    int64_t Bytes, int32_t GroupBytes, int32_t GroupValues,
                                    UnpackT Unpack) {
    RawRead(Context, Data.data(), Bytes);
    const size_t groups = Data.size() / GroupBytes;
    std::vector<uint16_t> values(groups * GroupValues);
    for (size_t g = 0; g < groups; ++g)
        Unpack(&Data[g * GroupBytes], &values[g * GroupValues]);
    return values;
}

// Room for Bytes bytes, rounded up to whole groups.
std::vector<uint8_t> GroupBuffer(TVLCameraRawContext& Context, int64_t Bytes, int32_t GroupBytes,
                                 const char* Routine) {
    return WorkBlock<uint8_t>(Context, (Bytes + GroupBytes - 1) / GroupBytes * GroupBytes, Routine);
}

void FujiRows(TVLCameraRawContext& Context, int32_t NRow, int32_t NCol, bool BigEndian,
              void (*Place)(TVLCameraRawContext&, int32_t, const std::vector<uint16_t>&)) {
    std::vector<uint16_t> words(static_cast<size_t>(NCol));
    StartRowProgress(Context, NRow);
    for (int32_t r = 0; r < NRow && !RawExhausted(Context); ++r) {
        ReportRowProgress(Context, r);
        ReadWords(Context, words, NCol, BigEndian);
        Place(Context, r, words);
    }
    Context.FujiRotated = true;
}

} // namespace

uint8_t get_byte(TVLCameraRawContext& Context) {
    uint8_t b = 0;
    if (Context.Stream->Read(&b, 1) != 1) ++Context.PastEnd;
    return b;
}

uint16_t get_u16(TVLCameraRawContext& Context) {
    uint8_t b[2];
    RawRead(Context, b, 2);
    return Context.Order == 0x4949 ? LittleEndian16(b) : BigEndian16(b);
}

uint32_t get_u32(TVLCameraRawContext& Context) {
    uint8_t b[4];
    RawRead(Context, b, 4);
    if (Context.Order == 0x4949)
        return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return uint32_t{b[3]} | uint32_t{b[2]} << 8 | uint32_t{b[1]} << 16 | uint32_t{b[0]} << 24;
}

uint32_t get_bits(TVLCameraRawContext& Context, int32_t N) {
    if (N == 0) return 0;
    uint32_t result = 0;
    if (N < 0) {
        Context.BitBuffer = 0;
        Context.BitCount = 0;
    } else {
        N = std::min(N, 25);
        if (Context.BitCount < N) get_bits(Context, -1);
        const uint64_t aligned = (uint64_t{Context.BitBuffer} << (32 - Context.BitCount)) & 0xFFFFFFFFu;
        result = static_cast<uint32_t>(aligned >> (32 - N));
        Context.BitCount -= N;
    }
    while (Context.BitCount < 25) {
        const uint8_t c = get_byte(Context);
        Context.BitBuffer = Context.BitBuffer << 8 | c;
        if (c == 0xFF && Context.ZeroAfterFF) get_byte(Context);
        Context.BitCount += 8;
    }
    return result;
}

void reset_decoders(TVLCameraRawContext& Context) {
    Context.Decoders.fill(TVLRawDecoder{});
    Context.FreeDecoder = 0;
}

size_t build_decoder(TVLCameraRawContext& Context, const uint8_t* Table, size_t Size,
                     int32_t Level) {
    auto at = [&](size_t i) -> int32_t { return i < Size ? Table[i] : 0; };
    if (Level == 0) Context.DecoderLeaf = 0;
    if (Context.FreeDecoder >= RawDecoderCount) throw Exception(u": decoder table overflow");
    const int32_t cur = Context.FreeDecoder++;
    int32_t sum = 0;
    int32_t next = 0;
    while (sum <= Context.DecoderLeaf && next < 16) sum += at(next++);
    if (sum > Context.DecoderLeaf) {
        if (Level < next) {
            Context.Decoders[cur].Branch[0] = Context.FreeDecoder;
            build_decoder(Context, Table, Size, Level + 1);
            Context.Decoders[cur].Branch[1] = Context.FreeDecoder;
            build_decoder(Context, Table, Size, Level + 1);
        } else {
            Context.Decoders[cur].Leaf = at(16 + Context.DecoderLeaf++);
        }
    }
    return 16 + static_cast<size_t>(Context.DecoderLeaf);
}

void build_crw_trees(TVLCameraRawContext& Context, uint32_t N) {
    N = std::min<uint32_t>(N, 2);
    reset_decoders(Context);
    build_decoder(Context, CrwFirst[N], sizeof(CrwFirst[N]), 0);
    Context.SecondDecoder = Context.FreeDecoder;
    build_decoder(Context, CrwSecond[N], sizeof(CrwSecond[N]), 0);
}

int32_t decode_symbol(TVLCameraRawContext& Context, int32_t Start) {
    int32_t node = Start;
    while (node >= 0 && node < RawDecoderCount && Context.Decoders[node].Branch[0] != 0) {
        const int32_t next = Context.Decoders[node].Branch[get_bits(Context, 1)];
        // A tree cut short by an overflow has no second branch: nothing to decode.
        if (next == 0) return 0;
        node = next;
    }
    return node >= 0 && node < RawDecoderCount ? Context.Decoders[node].Leaf : 0;
}

int32_t get_signed_bits(TVLCameraRawContext& Context, int32_t Length) {
    if (Length <= 0) return 0;
    // JPEG magnitudes have at most 16 bits; a longer length from a damaged table counts as 16.
    Length = std::min(Length, 16);
    auto d = static_cast<int32_t>(get_bits(Context, Length));
    if ((d & (1 << (Length - 1))) == 0) d -= (1 << Length) - 1;
    return d;
}

void read_kodak_curve(TVLCameraRawContext& Context, uint16_t (&Curve)[4096]) {
    for (int32_t i = 0; i < 4096; ++i) Curve[i] = static_cast<uint16_t>(i);
    if (!IsMake(Context, "KODAK")) return;
    if (Context.CurveOffset != 0) {
        RawSeek(Context, 12);
        const int32_t entries = get_u16(Context);
        for (int32_t i = 0; i < entries && !RawExhausted(Context); ++i) {
            const uint16_t tag = get_u16(Context);
            get_u16(Context);
            const uint32_t count = get_u32(Context);
            const uint32_t value = get_u32(Context);
            if (tag == 0x90D) {
                Context.CurveOffset = value;
                Context.CurveLength = count;
            }
        }
    }
    if (Context.CurveOffset != 0) {
        RawSeek(Context, Context.CurveOffset);
        const uint32_t length = std::min<uint32_t>(Context.CurveLength, 4096);
        for (uint32_t i = 0; i < length; ++i) Curve[i] = get_u16(Context);
        for (uint32_t i = std::max<uint32_t>(length, 1); i < 4096 && length > 0; ++i)
            Curve[i] = Curve[length - 1];
        Context.Maximum = Curve[4095] * 4;
    }
    RawSeek(Context, Context.DataOffset);
}

void swap_byte_pairs(uint8_t* Buffer, size_t Length) {
    for (size_t i = 0; i + 1 < Length; i += 2) std::swap(Buffer[i], Buffer[i + 1]);
}

bool canon_has_low_bits(TVLCameraRawContext& Context) {
    std::vector<uint8_t> test(16384);
    RawSeek(Context, 0);
    RawRead(Context, test.data(), 16384);
    bool result = true;
    for (size_t i = 540; i < 16383; ++i)
        if (test[i] == 0xFF) {
            if (test[i + 1] != 0) return true;
            result = false;
        }
    return result;
}

void canon_compressed_load_raw(TVLCameraRawContext& Context) {
    if (Context.RawWidth <= 0 || Context.RawHeight <= 0) return;
    std::vector<uint16_t> pixel =
        WorkBlock<uint16_t>(Context, 8 * int64_t{Context.RawWidth}, "canon_compressed_load_raw()");
    const int32_t lowbits = canon_has_low_bits(Context) ? 1 : 0;
    const int32_t shift = 4 - 2 * lowbits;
    RawSeek(Context, 540 + int64_t{lowbits} * Context.RawHeight * Context.RawWidth / 4);
    Context.ZeroAfterFF = true;
    get_bits(Context, -1);
    StartRowProgress(Context, Context.RawHeight);
    int32_t carry = 0;
    int32_t base[2] = {0, 0};
    int64_t pnum = 0;
    int64_t black = 0;
    for (int32_t row = 0; row < Context.RawHeight && !RawExhausted(Context); row += 8) {
        ReportRowProgress(Context, row);
        const int64_t blocks = int64_t{Context.RawWidth} / 8;
        for (int64_t block = 0; block < blocks; ++block) {
            int32_t diff[64];
            DecodeCanonBlock(Context, diff);
            diff[0] = Wrap(diff[0], carry);
            carry = diff[0];
            for (int32_t i = 0; i < 64; ++i) {
                if (pnum++ % Context.RawWidth == 0) base[0] = base[1] = 512;
                base[i & 1] = Wrap(base[i & 1], diff[i]);
                pixel[block * 64 + i] = static_cast<uint16_t>(base[i & 1]);
            }
        }
        if (lowbits != 0) AddCanonLowBits(Context, pixel, row);
        for (int32_t r = 0; r < 8; ++r) {
            const int64_t irow = int64_t{row} + r - Context.TopMargin;
            if (irow < 0 || irow >= Context.Height) continue;
            for (int64_t col = 0; col < Context.RawWidth; ++col) {
                const uint16_t v = pixel[r * int64_t{Context.RawWidth} + col];
                const int64_t icol = col - Context.LeftMargin;
                if (icol >= 0 && icol < Context.Width)
                    StoreRawSample(Context, irow, icol, uint32_t{v} << shift);
                else
                    black += v;
            }
        }
    }
    if (Context.RawWidth > Context.Width)
        SetBlack(Context, black << shift,
                 (int64_t{Context.RawWidth} - Context.Width) * Context.Height);
}

void powershot600_load_raw(TVLCameraRawContext& Context) {
    std::vector<uint8_t> data(1120);
    const int64_t width = std::min(Context.Width, 896);
    int64_t black = 0;
    StartRowProgress(Context, Context.Height);
    for (int64_t irow = 0, row = 0; irow < Context.Height; ++irow) {
        ReportRowProgress(Context, irow);
        const std::vector<uint16_t> pixel =
            ReadPackedRow(Context, data, 1120, 10, 8, UnpackPowerShot600);
        for (int64_t col = 0; col < width; ++col)
            StoreRawSample(Context, row, col, uint32_t{pixel[col]} << 4);
        for (int64_t col = std::max<int64_t>(Context.Width, 0); col < 896; ++col)
            black += pixel[col];
        if ((row += 2) >= Context.Height) row = 1;
    }
    SetBlack(Context, black * 16, (896 - int64_t{Context.Width}) * Context.Height);
}

void powershot_a5_load_raw(TVLCameraRawContext& Context) {
    if (Context.RawWidth <= 0) return;
    const int64_t bytes = int64_t{Context.RawWidth} * 10 / 8;
    std::vector<uint8_t> data = GroupBuffer(Context, bytes, 10, "powershot_a5_load_raw()");
    int64_t black = 0;
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        const std::vector<uint16_t> pixel = ReadPackedRow(Context, data, bytes, 10, 8, UnpackA5);
        const int64_t raw = std::min<int64_t>(Context.RawWidth, pixel.size());
        for (int64_t col = 0; col < std::min<int64_t>(Context.Width, raw); ++col)
            StoreRawSample(Context, row, col, uint32_t{pixel[col] & 0x3FFu} << 4);
        for (int64_t col = std::max<int64_t>(Context.Width, 0); col < raw; ++col)
            black += pixel[col] & 0x3FF;
    }
    if (Context.Width < Context.RawWidth)
        SetBlack(Context, black * 16, (int64_t{Context.RawWidth} - Context.Width) * Context.Height);
}

void jpeg_lossless_load_raw(TVLCameraRawContext& Context) {
    uint16_t curve[4096];
    read_kodak_curve(Context, curve);
    Context.Order = 0x4D4D;
    if (get_u16(Context) != 0xFFD8) return;
    int64_t jhigh = 0;
    int64_t jwide = 0;
    int32_t start[2] = {0, 0};
    uint8_t body[256];
    uint32_t tag = 0;
    do {
        tag = get_u16(Context);
        const int32_t len = get_u16(Context) - 2;
        if (tag <= 0xFF00 || len < 0 || len >= 256 || RawExhausted(Context)) return;
        std::memset(body, 0, sizeof(body));
        RawRead(Context, body, len);
        if (tag == 0xFFC3) {
            jhigh = body[1] << 8 | body[2];
            jwide = (body[3] << 8 | body[4]) * 2;
        }
        if (tag == 0xFFC4) {
            reset_decoders(Context);
            start[0] = start[1] = Context.FreeDecoder;
            for (int32_t dp = 0; dp < len && body[dp] < 2;) {
                start[body[dp]] = Context.FreeDecoder;
                dp += 1 + static_cast<int32_t>(
                              build_decoder(Context, body + dp + 1, len - dp - 1, 0));
            }
        }
    } while (tag != 0xFFDA);
    // A tree without a single code would decode every sample from no data at all.
    if (Context.RawWidth <= 0 || Context.Decoders[start[0]].Branch[0] == 0 ||
        Context.Decoders[start[1]].Branch[0] == 0)
        return;
    Context.ZeroAfterFF = true;
    get_bits(Context, -1);
    int32_t vpred[2] = {2048, 2048};
    int32_t hpred[2] = {0, 0};
    int64_t black = 0;
    int32_t least = 65536;
    StartRowProgress(Context, jhigh);
    // Past the image rows, positions only grow (outside the first two slices of the wide
    // sensor): the loop ends there.
    bool done = false;
    for (int64_t jrow = 0; jrow < jhigh && !done && !RawExhausted(Context); ++jrow) {
        ReportRowProgress(Context, jrow);
        for (int64_t jcol = 0; jcol < jwide; ++jcol) {
            const int32_t diff =
                get_signed_bits(Context, decode_symbol(Context, start[jcol & 1]));
            if (jcol < 2) {
                vpred[jcol] = Wrap(vpred[jcol], diff);
                hpred[jcol] = vpred[jcol];
            } else {
                hpred[jcol & 1] = Wrap(hpred[jcol & 1], diff);
            }
            const int32_t v = std::clamp(hpred[jcol & 1], 0, 4095);
            int64_t jidx = jrow * jwide + jcol;
            int64_t row = 0;
            int64_t col = 0;
            bool rising = true;
            if (Context.RawWidth == 5108) {
                const int64_t i = jidx / (1680 * jhigh);
                if (i <= 1) {
                    row = jidx / 1680 % jhigh;
                    col = jidx % 1680 + i * 1680;
                    rising = false;
                } else {
                    jidx -= 3360 * jhigh;
                    row = jidx / 1748;
                    col = jidx % 1748 + 3360;
                }
            } else {
                row = jidx / Context.RawWidth;
                col = jidx % Context.RawWidth;
            }
            const int64_t irow = row - Context.TopMargin;
            const int64_t icol = col - Context.LeftMargin;
            if (irow >= Context.Height) {
                done = rising;
                if (done) break;
                continue;
            }
            if (icol < Context.Width) {
                if (irow >= 0 && icol >= 0) {
                    StoreRawSample(Context, irow, icol, uint32_t{curve[v]} << 2);
                    least = std::min<int32_t>(least, curve[v]);
                }
            } else {
                black += curve[v];
            }
        }
    }
    if (Context.RawWidth > Context.Width)
        SetBlack(Context, black * 4, (int64_t{Context.RawWidth} - Context.Width) * Context.Height);
    if (IsMake(Context, "KODAK") && least < 65536) Context.Black = least * 4;
}

void nikon_compressed_load_raw(TVLCameraRawContext& Context) {
    reset_decoders(Context);
    build_decoder(Context, NikonTree, sizeof(NikonTree), 0);
    RawSeek(Context, Context.CurveOffset);
    int32_t vpred[4];
    for (int32_t& v : vpred) v = get_u16(Context);
    const int32_t csize = get_u16(Context);
    std::vector<uint16_t> curve = WorkBlock<uint16_t>(Context, std::max(csize, 1),
                                                      "nikon_compressed_load_raw()");
    for (int32_t i = 0; i < csize; ++i) curve[i] = get_u16(Context);
    RawSeek(Context, Context.DataOffset);
    get_bits(Context, -1);
    int32_t hpred[2] = {0, 0};
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        for (int64_t col = 0; col < Context.RawWidth; ++col) {
            const int32_t diff = get_signed_bits(Context, decode_symbol(Context, 0));
            if (col < 2) {
                int32_t& v = vpred[2 * (row & 1) + (col & 1)];
                v = Wrap(v, diff);
                hpred[col] = v;
            } else {
                hpred[col & 1] = Wrap(hpred[col & 1], diff);
            }
            const int64_t icol = col - Context.LeftMargin;
            if (icol >= 0 && icol < Context.Width)
                StoreRawSample(Context, row, icol,
                               uint32_t{curve[std::clamp(hpred[col & 1], 0, std::max(csize - 1, 0))]}
                                   << 2);
        }
    }
}

void nikon_packed_load_raw(TVLCameraRawContext& Context) {
    get_bits(Context, -1);
    const bool interlaced = Context.Model[0] == 'E';
    StartRowProgress(Context, Context.Height);
    for (int64_t irow = 0; irow < Context.Height && !RawExhausted(Context); ++irow) {
        ReportRowProgress(Context, irow);
        int64_t row = irow;
        if (interlaced) {
            row = InterlacedRow(irow, Context.Height);
            if (row == 1 && ModelNumber(Context) < 5000) {
                RawSeek(Context, RawStreamSize(Context) / 2);
                get_bits(Context, -1);
            }
        }
        for (int64_t col = 0; col < Context.RawWidth; ++col) {
            const uint32_t v = get_bits(Context, 12);
            const int64_t icol = col - Context.LeftMargin;
            if (icol >= 0 && icol < Context.Width) StoreRawSample(Context, row, icol, v << 2);
            if (Context.TiffCompression == 34713 && col % 10 == 9) get_bits(Context, 8);
        }
    }
}

void nikon_e2100_packed_load_raw(TVLCameraRawContext& Context) {
    if (Context.Width <= 0) return;
    const int64_t bytes = int64_t{Context.Width} * 3 / 2;
    std::vector<uint8_t> data = GroupBuffer(Context, bytes, 12, "nikon_e2100_packed_load_raw()");
    StartRowProgress(Context, Context.Height);
    for (int64_t irow = 0, row = 0; irow < Context.Height; ++irow) {
        ReportRowProgress(Context, irow);
        const std::vector<uint16_t> pixel = ReadPackedRow(Context, data, bytes, 12, 8, UnpackE2100);
        for (int64_t col = 0; col < std::min<int64_t>(Context.Width, pixel.size()); ++col)
            StoreRawSample(Context, row, col, uint32_t{pixel[col] & 0xFFFu} << 2);
        if ((row += 2) >= Context.Height) {
            RawSeek(Context, RawPosition(Context) + (Context.Width == 1616 ? 8792 : 424));
            row = 1;
        }
    }
}

void nikon_e950_packed_load_raw(TVLCameraRawContext& Context) {
    get_bits(Context, -1);
    StartRowProgress(Context, Context.Height);
    for (int64_t irow = 0; irow < Context.Height && !RawExhausted(Context); ++irow) {
        ReportRowProgress(Context, irow);
        const int64_t row = irow * 2 % Context.Height;
        for (int64_t col = 0; col < Context.Width; ++col)
            StoreRawSample(Context, row, col, get_bits(Context, 10) << 4);
        for (int32_t i = 0; i < 28; ++i) get_bits(Context, 8);
    }
}

void fuji_s2pro_load_raw(TVLCameraRawContext& Context) {
    RawSeek(Context, RawPosition(Context) + 141376);
    FujiRows(Context, 2144, 2944, true,
             [](TVLCameraRawContext& C, int32_t R, const std::vector<uint16_t>& W) {
                 for (int32_t col = 0; col < 2880; ++col)
                     StoreRawSample(C, R + (col + 1) / 2, 2143 - R + col / 2, uint32_t{W[col]} << 2);
             });
}

void fuji_s5000_diagonal_load_raw(TVLCameraRawContext& Context) {
    RawSeek(Context, RawPosition(Context) + 11824);
    fuji_diagonal_load_raw(Context, 1472, 1423, 2152);
}

void fuji_s7000_diagonal_load_raw(TVLCameraRawContext& Context) {
    fuji_diagonal_load_raw(Context, 2048, 2047, 3080);
}

void fuji_diagonal_load_raw(TVLCameraRawContext& Context, int32_t NCol, int32_t ICol,
                            int32_t NRow) {
    std::vector<uint16_t> words(static_cast<size_t>(std::max(NCol, 0)));
    ICol = std::min(ICol, NCol - 1);
    StartRowProgress(Context, NRow);
    for (int32_t r = 0; r < NRow && !RawExhausted(Context); ++r) {
        ReportRowProgress(Context, r);
        ReadWords(Context, words, NCol, false);
        for (int32_t col = 0; col <= ICol; ++col)
            StoreRawSample(Context, ICol - col + r / 2, col + (r + 1) / 2, uint32_t{words[col]} << 2);
    }
    Context.FujiRotated = true;
}

void fuji_f700s20_load_raw(TVLCameraRawContext& Context) {
    FujiRows(Context, 2168, 2944, false,
             [](TVLCameraRawContext& C, int32_t R, const std::vector<uint16_t>& W) {
                 for (int32_t col = 0; col < 1440; ++col)
                     StoreRawSample(C, 1439 - col + R / 2, col + (R + 1) / 2, W[col + 16]);
             });
}

void rollei_packed_load_raw(TVLCameraRawContext& Context) {
    if (Context.RawWidth <= 0) return;
    auto place = [&](int64_t N, uint32_t V) {
        StoreRawSample(Context, N / Context.RawWidth - Context.TopMargin,
                       N % Context.RawWidth - Context.LeftMargin, (V & 0x3FF) << 4);
    };
    const int64_t rowLimit = int64_t{Context.Height} + Context.TopMargin;
    int64_t todo = 0;
    int64_t extra = int64_t{Context.RawWidth} * Context.RawHeight * 5 / 8;
    StartRowProgress(Context, Context.RawHeight);
    int64_t reported = -1;
    uint8_t group[10];
    while (ReadUpTo(*Context.Stream, group, 10) == 10) {
        uint32_t accumulator = 0;
        for (int32_t i = 0; i < 5; ++i) {
            accumulator = (accumulator << 6 | group[i * 2] >> 2) & 0x3FFFFFFF;
            place(todo++, BigEndian16(&group[i * 2]));
        }
        for (int32_t k = 0; k < 3; ++k) place(extra++, accumulator >> (20 - 10 * k));
        const int64_t row = todo / Context.RawWidth;
        if (row != reported) {
            ReportRowProgress(Context, row);
            reported = row;
        }
        // Both running numbers past the last image row: nothing more can be stored.
        if (row >= rowLimit && extra / Context.RawWidth >= rowLimit) break;
    }
}

void phaseone_scrambled_load_raw(TVLCameraRawContext& Context) {
    if (Context.RawWidth <= 0) return;
    RawSeek(Context, int64_t{Context.DataOffset} + 8);
    const uint32_t skip = get_u32(Context);
    RawSeek(Context, RawPosition(Context) + skip + 296);
    const uint16_t akey = get_u16(Context);
    const uint16_t bkey = get_u16(Context);
    RawSeek(Context, int64_t{Context.DataOffset} + 12 +
                         int64_t{Context.TopMargin} * Context.RawWidth * 2);
    std::vector<uint16_t> pixel =
        WorkBlock<uint16_t>(Context, Context.RawWidth, "phaseone_scrambled_load_raw()");
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        ReadWords(Context, pixel, Context.RawWidth, true);
        for (int64_t col = 0; col + 1 < Context.RawWidth; col += 2) {
            const uint16_t a = pixel[col] ^ akey;
            const uint16_t b = pixel[col + 1] ^ bkey;
            pixel[col] = static_cast<uint16_t>((b & 0xAAAA) | (a & 0x5555));
            pixel[col + 1] = static_cast<uint16_t>((a & 0xAAAA) | (b & 0x5555));
        }
        for (int64_t col = 0; col < Context.Width; ++col) {
            const int64_t src = col + Context.LeftMargin;
            if (src >= 0 && src < Context.RawWidth) StoreRawSample(Context, row, col, pixel[src]);
        }
    }
}

void imacon_load_raw(TVLCameraRawContext& Context) {
    RawSeek(Context, 49384);
    std::vector<uint16_t> words(4090);
    StartRowProgress(Context, Context.Height);
    for (int64_t row = int64_t{Context.Height} - 1, i = 0; row >= 0 && !RawExhausted(Context);
         --row, ++i) {
        ReportRowProgress(Context, i);
        ReadWords(Context, words, 4090, false);
        for (int64_t col = 0; col < Context.Width; ++col) {
            const int64_t src = int64_t{Context.Width} - 1 - col;
            if (src < 4090) StoreRawSample(Context, row, col, words[src]);
        }
    }
}

void packed12_bits_load_raw(TVLCameraRawContext& Context) {
    get_bits(Context, -1);
    const int64_t skip = int64_t{Context.RawWidth} - int64_t{Context.Width} * 3 / 2;
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        for (int64_t col = 0; col < Context.Width; ++col)
            StoreRawSample(Context, row, col, get_bits(Context, 12) << 2);
        for (int64_t i = 0; i < skip && !RawExhausted(Context); ++i) get_bits(Context, 8);
    }
}

void unpacked_load_raw(TVLCameraRawContext& Context, uint16_t Order, int32_t Rsh) {
    if (Context.RawWidth <= 0) return;
    std::vector<uint16_t> pixel =
        WorkBlock<uint16_t>(Context, Context.RawWidth, "unpacked_load_raw()");
    const int64_t width = std::min(Context.Width, Context.RawWidth);
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        ReadWords(Context, pixel, Context.RawWidth, Order == 0x55AA);
        for (int64_t col = 0; col < width; ++col) {
            const uint32_t w = pixel[col];
            StoreRawSample(Context, row, col, Rsh >= 0 ? w >> Rsh : w << -Rsh);
        }
    }
}

void unpacked16_be_load_raw(TVLCameraRawContext& Context) {
    unpacked_load_raw(Context, 0x55AA, 0);
}

void unpacked_high12_be_load_raw(TVLCameraRawContext& Context) {
    unpacked_load_raw(Context, 0x55AA, 2);
}

void unpacked_low12_be_load_raw(TVLCameraRawContext& Context) {
    unpacked_load_raw(Context, 0x55AA, -2);
}

void unpacked_low10_be_load_raw(TVLCameraRawContext& Context) {
    unpacked_load_raw(Context, 0x55AA, -4);
}

void unpacked_high12_le_load_raw(TVLCameraRawContext& Context) {
    unpacked_load_raw(Context, 0xAA55, 2);
}

void olympus_c_interlaced_load_raw(TVLCameraRawContext& Context) {
    const int64_t second =
        (3 * int64_t{Context.Width} * Context.Height / 4 + 2047) / 2048 * 2048;
    StartRowProgress(Context, Context.Height);
    for (int64_t irow = 0; irow < Context.Height; ++irow) {
        ReportRowProgress(Context, irow);
        const int64_t row = InterlacedRow(irow, Context.Height);
        if (row < 2) {
            RawSeek(Context, int64_t{Context.DataOffset} + (row == 1 ? second : 0));
            get_bits(Context, -1);
        }
        if (RawExhausted(Context)) continue;
        for (int64_t col = 0; col < Context.Width; ++col)
            StoreRawSample(Context, row, col, get_bits(Context, 12) << 2);
    }
}

void eight_bit_load_raw(TVLCameraRawContext& Context) {
    if (Context.RawWidth <= 0) return;
    std::vector<uint8_t> pixel =
        WorkBlock<uint8_t>(Context, Context.RawWidth, "eight_bit_load_raw()");
    const int64_t width = std::min(Context.Width, Context.RawWidth);
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        RawRead(Context, pixel.data(), Context.RawWidth);
        for (int64_t col = 0; col < width; ++col)
            StoreRawSample(Context, row, col, uint32_t{pixel[col]} << 6);
    }
}

void qv5700_load_raw(TVLCameraRawContext& Context) {
    std::vector<uint8_t> data(3232);
    std::vector<uint16_t> pixel(3220 / 5 * 4);
    const int64_t width = std::min<int64_t>(Context.Width, pixel.size());
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        RawRead(Context, data.data(), 3232);
        for (size_t g = 0; g < 3220 / 5; ++g) UnpackQV5700(&data[g * 5], &pixel[g * 4]);
        for (int64_t col = 0; col < width; ++col)
            StoreRawSample(Context, row, col, uint32_t{pixel[col] & 0x3FFu} << 4);
    }
}

void nucore_load_raw(TVLCameraRawContext& Context) {
    if (Context.Width <= 0) return;
    std::vector<uint8_t> data =
        WorkBlock<uint8_t>(Context, int64_t{Context.Width} * 2, "nucore_load_raw()");
    const bool split = Context.Model[0] == 'B' && Context.Width == 2598;
    StartRowProgress(Context, Context.Height);
    for (int64_t irow = 0; irow < Context.Height && !RawExhausted(Context); ++irow) {
        ReportRowProgress(Context, irow);
        RawRead(Context, data.data(), int64_t{Context.Width} * 2);
        int64_t row = irow;
        if (split)
            row = Context.Height - 1 - irow / 2 - ((irow & 1) != 0 ? Context.Height / 2 : 0);
        for (int64_t col = 0; col < Context.Width; ++col)
            StoreRawSample(Context, row, col,
                           (uint32_t{data[col * 2]} << 2) + (uint32_t{data[col * 2 + 1]} << 10));
    }
}

void f828_decipher_init(TVLCameraRawContext& Context, uint32_t Key) {
    uint32_t* pad = Context.CipherPad;
    for (int32_t p = 0; p < 4; ++p) pad[p] = Key = Key * 48828125u + 1;
    pad[3] = pad[3] << 1 | (pad[0] ^ pad[2]) >> 31;
    for (int32_t p = 4; p < 127; ++p)
        pad[p] = (pad[p - 4] ^ pad[p - 2]) << 1 | (pad[p - 3] ^ pad[p - 1]) >> 31;
    pad[127] = 0;
    Context.CipherIndex = 0;
}

// The pad is kept in the words' own order and the data read as big-endian words, which gives
// the same bits as the byte-reversed pad against words in memory order.
void f828_decipher(TVLCameraRawContext& Context, uint8_t* Data, size_t Count) {
    uint32_t* pad = Context.CipherPad;
    for (size_t i = 0; i < Count; ++i) {
        const uint32_t p = Context.CipherIndex++;
        pad[p & 127] = pad[(p + 1) & 127] ^ pad[(p + 65) & 127];
        uint8_t* w = Data + i * 4;
        const uint32_t word = (uint32_t{w[0]} << 24 | uint32_t{w[1]} << 16 |
                               uint32_t{w[2]} << 8 | w[3]) ^
                              pad[p & 127];
        w[0] = static_cast<uint8_t>(word >> 24);
        w[1] = static_cast<uint8_t>(word >> 16);
        w[2] = static_cast<uint8_t>(word >> 8);
        w[3] = static_cast<uint8_t>(word);
    }
}

void dsc_f828_load_raw(TVLCameraRawContext& Context) {
    if (Context.RawWidth <= 0) return;
    RawSeek(Context, 200896);
    const int32_t n = get_byte(Context);
    RawSeek(Context, RawPosition(Context) + int64_t{n} * 4 - 1);
    Context.Order = 0x4D4D;
    uint32_t key = get_u32(Context);
    uint8_t head[40];
    RawSeek(Context, 164600);
    RawRead(Context, head, 40);
    f828_decipher_init(Context, key);
    f828_decipher(Context, head, 10);
    key = uint32_t{head[25]} << 24 | uint32_t{head[24]} << 16 | uint32_t{head[23]} << 8 | head[22];
    RawSeek(Context, 862144);
    f828_decipher_init(Context, key);
    const int64_t bytes = int64_t{Context.RawWidth} * 2;
    std::vector<uint8_t> data = WorkBlock<uint8_t>(Context, bytes + 4, "dsc_f828_load_raw()");
    int64_t black = 0;
    StartRowProgress(Context, Context.Height);
    for (int64_t row = 0; row < Context.Height && !RawExhausted(Context); ++row) {
        ReportRowProgress(Context, row);
        RawRead(Context, data.data(), bytes);
        f828_decipher(Context, data.data(), static_cast<size_t>(Context.RawWidth / 2));
        for (int64_t i = 0; i < std::min<int64_t>(3343, Context.RawWidth); ++i) {
            const uint16_t v = BigEndian16(&data[i * 2]);
            const int64_t icol = i - Context.LeftMargin;
            if (icol >= 0 && icol < Context.Width)
                StoreRawSample(Context, row, icol, v);
            else
                black += v;
        }
    }
    SetBlack(Context, black, int64_t{Context.Height} * (3343 - Context.Width));
}
