// T.4 / T.6 row coding: the code tables, their decoding trees, the row decoders and encoders.
#include "imaging/formats/VLCCITT.h"

#include "imaging/core/VLDefs.h"
#include "imaging/core/VLStreams.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

namespace {

constexpr TCCITTCode C(const char* Bits, int16_t Run) {
    uint8_t length = 0;
    uint16_t code = 0;
    for (; Bits[length] != 0; ++length) code = static_cast<uint16_t>((code << 1) | (Bits[length] - '0'));
    return {length, code, Run};
}
// N zero bits and a 1.
constexpr TCCITTCode Z(uint8_t Zeros, int16_t Run) { return {static_cast<uint8_t>(Zeros + 1), 1, Run}; }

#define CCITT_TAIL                                                                                 \
    C("00000001000", 1792), C("00000001100", 1856), C("00000001101", 1920),                        \
        C("000000010010", 1984), C("000000010011", 2048), C("000000010100", 2112),                 \
        C("000000010101", 2176), C("000000010110", 2240), C("000000010111", 2304),                 \
        C("000000011100", 2368), C("000000011101", 2432), C("000000011110", 2496),                 \
        C("000000011111", 2560), Z(11, -3), Z(8, -1), Z(9, -1), Z(10, -1), Z(12, -3), Z(13, -3),   \
        Z(14, -3), Z(15, -3), Z(16, -3), Z(17, -3), Z(18, -3), Z(19, -3), Z(20, -3), Z(21, -3),    \
        Z(22, -3), Z(23, -3), Z(24, -3), Z(25, -3), Z(26, -3), Z(27, -3), Z(28, -3), Z(29, -3),    \
        Z(30, -3), Z(31, -3)

} // namespace

const TCCITTCode CCITTWhiteCodes[128] = {
    C("00110101", 0), C("000111", 1), C("0111", 2), C("1000", 3), C("1011", 4), C("1100", 5),
    C("1110", 6), C("1111", 7), C("10011", 8), C("10100", 9), C("00111", 10), C("01000", 11),
    C("001000", 12), C("000011", 13), C("110100", 14), C("110101", 15), C("101010", 16),
    C("101011", 17), C("0100111", 18), C("0001100", 19), C("0001000", 20), C("0010111", 21),
    C("0000011", 22), C("0000100", 23), C("0101000", 24), C("0101011", 25), C("0010011", 26),
    C("0100100", 27), C("0011000", 28), C("00000010", 29), C("00000011", 30), C("00011010", 31),
    C("00011011", 32), C("00010010", 33), C("00010011", 34), C("00010100", 35), C("00010101", 36),
    C("00010110", 37), C("00010111", 38), C("00101000", 39), C("00101001", 40), C("00101010", 41),
    C("00101011", 42), C("00101100", 43), C("00101101", 44), C("00000100", 45), C("00000101", 46),
    C("00001010", 47), C("00001011", 48), C("01010010", 49), C("01010011", 50), C("01010100", 51),
    C("01010101", 52), C("00100100", 53), C("00100101", 54), C("01011000", 55), C("01011001", 56),
    C("01011010", 57), C("01011011", 58), C("01001010", 59), C("01001011", 60), C("00110010", 61),
    C("00110011", 62), C("00110100", 63),
    C("11011", 64), C("10010", 128), C("010111", 192), C("0110111", 256), C("00110110", 320),
    C("00110111", 384), C("01100100", 448), C("01100101", 512), C("01101000", 576),
    C("01100111", 640), C("011001100", 704), C("011001101", 768), C("011010010", 832),
    C("011010011", 896), C("011010100", 960), C("011010101", 1024), C("011010110", 1088),
    C("011010111", 1152), C("011011000", 1216), C("011011001", 1280), C("011011010", 1344),
    C("011011011", 1408), C("010011000", 1472), C("010011001", 1536), C("010011010", 1600),
    C("011000", 1664), C("010011011", 1728),
    CCITT_TAIL};

const TCCITTCode CCITTBlackCodes[128] = {
    C("0000110111", 0), C("010", 1), C("11", 2), C("10", 3), C("011", 4), C("0011", 5),
    C("0010", 6), C("00011", 7), C("000101", 8), C("000100", 9), C("0000100", 10),
    C("0000101", 11), C("0000111", 12), C("00000100", 13), C("00000111", 14), C("000011000", 15),
    C("0000010111", 16), C("0000011000", 17), C("0000001000", 18), C("00001100111", 19),
    C("00001101000", 20), C("00001101100", 21), C("00000110111", 22), C("00000101000", 23),
    C("00000010111", 24), C("00000011000", 25), C("000011001010", 26), C("000011001011", 27),
    C("000011001100", 28), C("000011001101", 29), C("000001101000", 30), C("000001101001", 31),
    C("000001101010", 32), C("000001101011", 33), C("000011010010", 34), C("000011010011", 35),
    C("000011010100", 36), C("000011010101", 37), C("000011010110", 38), C("000011010111", 39),
    C("000001101100", 40), C("000001101101", 41), C("000011011010", 42), C("000011011011", 43),
    C("000001010100", 44), C("000001010101", 45), C("000001010110", 46), C("000001010111", 47),
    C("000001100100", 48), C("000001100101", 49), C("000001010010", 50), C("000001010011", 51),
    C("000000100100", 52), C("000000110111", 53), C("000000111000", 54), C("000000100111", 55),
    C("000000101000", 56), C("000001011000", 57), C("000001011001", 58), C("000000101011", 59),
    C("000000101100", 60), C("000001011010", 61), C("000001100110", 62), C("000001100111", 63),
    C("0000001111", 64), C("000011001000", 128), C("000011001001", 192), C("000001011011", 256),
    C("000000110011", 320), C("000000110100", 384), C("000000110101", 448),
    C("0000001101100", 512), C("0000001101101", 576), C("0000001001010", 640),
    C("0000001001011", 704), C("0000001001100", 768), C("0000001001101", 832),
    C("0000001110010", 896), C("0000001110011", 960), C("0000001110100", 1024),
    C("0000001110101", 1088), C("0000001110110", 1152), C("0000001110111", 1216),
    C("0000001010010", 1280), C("0000001010011", 1344), C("0000001010100", 1408),
    C("0000001010101", 1472), C("0000001011010", 1536), C("0000001011011", 1600),
    C("0000001100100", 1664), C("0000001100101", 1728),
    CCITT_TAIL};

namespace {

// Two-dimensional mode codes in lookup order.
constexpr TCCITTCode ModeCodes[13] = {
    C("000000000000", 0), C("0001", 0),       C("001", 0),    C("0000010", 0), C("000010", 0),
    C("010", 0),          C("1", 0),          C("011", 0),    C("000011", 0),  C("0000011", 0),
    C("0000001111", 0),   C("000000001111", 0), C("000000000001", 0)};
constexpr int32_t ModePass = 1;
constexpr int32_t ModeHorizontal = 2;
constexpr int32_t ModeEOL = 12;

// The mode index of every 12-bit string: the first mode code that starts it, 0 when none (all
// mode codes have at most 12 bits).
constexpr int32_t ModeBits = 12;
constexpr std::array<uint8_t, 1 << ModeBits> MakeModeTable() {
    std::array<uint8_t, 1 << ModeBits> table{};
    for (int32_t bits = 0; bits < (1 << ModeBits); ++bits)
        for (int32_t k = 0; k < 13; ++k)
            if ((bits >> (ModeBits - ModeCodes[k].Length)) == ModeCodes[k].Code) {
                table[bits] = static_cast<uint8_t>(k);
                break;
            }
    return table;
}
constexpr std::array<uint8_t, 1 << ModeBits> ModeTable = MakeModeTable();

struct TNode {
    uint8_t Value = 128;
    TNode* Child[2] = {nullptr, nullptr};
};

// A colour's tree and the table of its first LookupBits bits, flattened from the tree: the
// entry of a code no longer than that, 128 for bits no code starts, Deeper where the tree goes
// on (only strings of zeros, the start of the long EOL codes).
constexpr int32_t LookupBits = 13;
constexpr uint8_t Deeper = 255;
struct TDecoder {
    TNode* Tree = nullptr;
    std::array<uint8_t, 1 << LookupBits> Table{};
};
TDecoder WhiteDecoder;
TDecoder BlackDecoder;

TNode* BuildTree(const TCCITTCode (&Table)[128]) {
    auto* root = new TNode;
    for (int32_t i = 0; i < 128; ++i) {
        TNode* node = root;
        for (int32_t b = Table[i].Length - 1; b >= 0; --b) {
            const int bit = b < 16 ? (Table[i].Code >> b) & 1 : 0;
            if (node->Child[bit] == nullptr) node->Child[bit] = new TNode;
            node = node->Child[bit];
        }
        node->Value = static_cast<uint8_t>(i);
    }
    return root;
}

void FreeTree(TNode* Node) {
    if (Node == nullptr) return;
    FreeTree(Node->Child[0]);
    FreeTree(Node->Child[1]);
    delete Node;
}

// Walks Tree over the bits of Window from the most significant; 128 when Bits bits lead to no
// leaf and no further node, Deeper when they end on an inner node.
uint8_t WalkTree(const TNode* Tree, uint32_t Window, int32_t Bits) {
    const TNode* node = Tree;
    for (int32_t i = 31; i > 31 - Bits; --i) {
        node = node->Child[(Window >> i) & 1];
        if (node == nullptr) return 128;
        if (node->Value != 128) return node->Value;
    }
    return Bits < 32 ? Deeper : 128;
}

void BuildDecoder(TDecoder& Decoder, const TCCITTCode (&Codes)[128]) {
    Decoder.Tree = BuildTree(Codes);
    for (uint32_t bits = 0; bits < Decoder.Table.size(); ++bits)
        Decoder.Table[bits] = WalkTree(Decoder.Tree, bits << (32 - LookupBits), LookupBits);
}

void FreeDecoder(TDecoder& Decoder) {
    FreeTree(Decoder.Tree);
    Decoder.Tree = nullptr;
}

uint8_t Reverse(uint8_t B) {
    B = static_cast<uint8_t>((B & 0xF0) >> 4 | (B & 0x0F) << 4);
    B = static_cast<uint8_t>((B & 0xCC) >> 2 | (B & 0x33) << 2);
    return static_cast<uint8_t>((B & 0xAA) >> 1 | (B & 0x55) << 1);
}

// Reverses the bits of each byte of V.
uint64_t ReverseBytesBits(uint64_t V) {
    V = (V >> 4 & 0x0F0F0F0F0F0F0F0Full) | (V & 0x0F0F0F0F0F0F0F0Full) << 4;
    V = (V >> 2 & 0x3333333333333333ull) | (V & 0x3333333333333333ull) << 2;
    return (V >> 1 & 0x5555555555555555ull) | (V & 0x5555555555555555ull) << 1;
}

// 32 bits from bit position P, the next bit in the most significant place; bits past the data
// are 0. Eight bytes are loaded at once where the data holds them.
uint32_t Window(const uint8_t* Data, int32_t DataLength, int64_t P, int32_t FillOrder) {
    const int64_t first = P >> 3;
    uint64_t v = 0;
    if (first + 8 <= DataLength) {
        std::memcpy(&v, Data + first, 8);
        if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    } else {
        for (int64_t i = first; i < first + 8; ++i)
            v = (v << 8) | (i < DataLength ? Data[i] : 0);
    }
    if (FillOrder == 2) v = ReverseBytesBits(v);
    return static_cast<uint32_t>((v << (P & 7)) >> 32);
}

// In 64 bits: the widest row, INT32_MAX pixels, would overflow when rounded up.
int32_t RowBytes(int32_t Width) { return static_cast<int32_t>((int64_t{Width} + 7) / 8); }

bool PixelSet(const uint8_t* Row, int32_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }

// First pixel at or after From whose bit is Set, skipping whole words and bytes of the other
// value; Width when none.
inline int32_t FindPixel(const uint8_t* Row, int32_t Width, int32_t From, bool Set) {
    const int32_t x = std::max(From, 0);
    if (x >= Width) return Width;
    // Flipped so that the pixels looked for are the set bits.
    const uint8_t flip = Set ? 0x00 : 0xFF;
    const int32_t bytes = RowBytes(Width);
    int32_t i = x >> 3;
    uint32_t b = static_cast<uint8_t>(Row[i] ^ flip) & (0xFFu >> (x & 7));
    while (b == 0) {
        if (++i >= bytes) return Width;
        for (uint64_t w; i + 8 <= bytes; i += 8) {
            std::memcpy(&w, Row + i, 8);
            if (w != (Set ? 0 : ~uint64_t{0})) break;
        }
        if (i >= bytes) return Width;
        b = static_cast<uint8_t>(Row[i] ^ flip);
    }
    return std::min(Width, i * 8 + std::countl_zero(static_cast<uint8_t>(b)));
}

// Clears pixels From .. To - 1 within the row (black in decoded rows): masks for the partial
// bytes at either end, whole bytes between.
void ClearPixels(uint8_t* Row, int32_t Width, int32_t From, int32_t To) {
    From = std::max(From, 0);
    To = std::min(To, Width);
    if (From >= To) return;
    const int32_t first = From >> 3;
    const int32_t last = (To - 1) >> 3;
    const auto head = static_cast<uint8_t>(0xFF >> (From & 7));
    const auto tail = static_cast<uint8_t>(0xFF << (7 - ((To - 1) & 7)));
    if (first == last) {
        Row[first] &= static_cast<uint8_t>(~(head & tail));
        return;
    }
    Row[first] &= static_cast<uint8_t>(~head);
    if (last - first > 1) std::memset(Row + first + 1, 0, static_cast<size_t>(last - first - 1));
    Row[last] &= static_cast<uint8_t>(~tail);
}

} // namespace

void BuildCCITTDecodeTrees() {
    FreeCCITTDecodeTrees();
    BuildDecoder(WhiteDecoder, CCITTWhiteCodes);
    BuildDecoder(BlackDecoder, CCITTBlackCodes);
}

void FreeCCITTDecodeTrees() {
    FreeDecoder(WhiteDecoder);
    FreeDecoder(BlackDecoder);
}

void RegisterCCITTUnit() {
    RegisterLibraryUnit(TLibraryUnit::CCITTDecodeTrees, BuildCCITTDecodeTrees,
                        FreeCCITTDecodeTrees);
}

int32_t CCITTLookupCode(bool White, const uint8_t* Data, int32_t DataLength, int64_t Bit,
                        int32_t FillOrder) {
    if ((Bit >> 3) >= DataLength) return 127;
    const TDecoder& decoder = White ? WhiteDecoder : BlackDecoder;
    if (decoder.Tree == nullptr) return 128;
    const uint32_t window = Window(Data, DataLength, Bit, FillOrder);
    const uint8_t entry = decoder.Table[window >> (32 - LookupBits)];
    return entry != Deeper ? entry : WalkTree(decoder.Tree, window, 32);
}

namespace {

const TCCITTCode& CodeOf(bool White, int32_t Index) {
    return White ? CCITTWhiteCodes[Index] : CCITTBlackCodes[Index];
}

// The run of one colour: codes summed while they are make-up codes. Negative when a code that
// paints nothing (or no code) comes first or in between.
int32_t ReadRun(bool White, const uint8_t* Data, int32_t DataLength, int64_t& P,
                int32_t FillOrder) {
    int32_t run = 0;
    while (true) {
        const int32_t e = CCITTLookupCode(White, Data, DataLength, P, FillOrder);
        if (e >= 104) return -1;
        P += CodeOf(White, e).Length;
        run += CodeOf(White, e).Run;
        if (e < 64) return run;
    }
}

int32_t ModeAt(const uint8_t* Data, int32_t DataLength, int64_t P, int32_t FillOrder) {
    return ModeTable[Window(Data, DataLength, P, FillOrder) >> (32 - ModeBits)];
}

} // namespace

namespace {

// The one-dimensional row; with Changes, the end of every run (make-up codes joined to their
// terminating code) is added to it, zero-length runs included.
int64_t Decode1D(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                 int64_t StartBit, int32_t FillOrder, std::vector<int32_t>* Changes) {
    std::memset(Row, 0xFF, RowBytes(Width));
    int64_t x = 0;
    bool white = true;
    bool makeUp = false;
    bool anyRun = false;
    int64_t p = StartBit;
    while (x < Width || makeUp) {
        if ((p >> 3) >= DataLength) {
            // The data ends: a black run in progress reaches the end of the row.
            if (anyRun && !white) ClearPixels(Row, Width, static_cast<int32_t>(x), Width);
            return p;
        }
        const int32_t e = CCITTLookupCode(white, Data, DataLength, p, FillOrder);
        if (e == 128) {
            ++p;
            continue;
        }
        const TCCITTCode& code = CodeOf(white, e);
        p += code.Length;
        if (code.Run == -3) {
            if (!anyRun) continue;  // EOLs before the row's first code
            if (!white) ClearPixels(Row, Width, static_cast<int32_t>(x), Width);
            return p;
        }
        if (code.Run == -1) continue;
        anyRun = true;
        if (!white)
            ClearPixels(Row, Width, static_cast<int32_t>(std::min<int64_t>(x, Width)),
                        static_cast<int32_t>(std::min<int64_t>(x + code.Run, Width)));
        x += code.Run;
        makeUp = e >= 64;
        if (makeUp) continue;
        white = !white;
        if (Changes != nullptr)
            Changes->push_back(static_cast<int32_t>(std::min<int64_t>(x, Width)));
    }
    return p;
}

} // namespace

int64_t DecodeCCITTRow1D(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                         int64_t StartBit, int32_t FillOrder) {
    return Decode1D(Row, Data, DataLength, Width, StartBit, FillOrder, nullptr);
}

int32_t DecodeCCITTRowMH(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                         int32_t FillOrder) {
    const int64_t end = DecodeCCITTRow1D(Row, Data, DataLength, Width, 0, FillOrder);
    return static_cast<int32_t>(std::min<int64_t>((end + 7) / 8, DataLength));
}

namespace {

// b1 and b2 on the reference row's changing elements. b1 is the first element right of a0 that
// changes to the colour opposite a0's (a0 is -1, before the row, at its start), b2 the element
// after it; Width where the list ends. a0 only moves right, and so does the search.
class TReferenceCursor {
public:
    TReferenceCursor(const std::vector<int32_t>& Changes, int32_t Width)
        : FChanges(Changes), FWidth(Width) {}
    int32_t B1(int32_t A0, bool White) { return At(B1Index(A0, White)); }
    int32_t B2(int32_t A0, bool White) { return At(B1Index(A0, White) + 1); }

private:
    // Elements at even indexes change to black, the colour opposite white.
    size_t B1Index(int32_t A0, bool White) {
        while (FNext < FChanges.size() && FChanges[FNext] <= A0)
            ++FNext;
        return FNext + ((FNext & 1) != (White ? 0u : 1u) ? 1 : 0);
    }
    int32_t At(size_t I) const {
        return I < FChanges.size() ? std::min(FChanges[I], FWidth) : FWidth;
    }

    const std::vector<int32_t>& FChanges;
    int32_t FWidth;
    size_t FNext = 0;
};

// The changing elements of pixels From .. To - 1 of a decoded row, whose colour before From is
// White; returns the colour at To.
bool AddPixelChanges(const uint8_t* Row, int32_t From, int32_t To, bool White,
                     std::vector<int32_t>& Changes) {
    for (int32_t x = From; x < To; ++x)
        if (PixelSet(Row, x) != White) {
            Changes.push_back(x);
            White = !White;
        }
    return White;
}

// Uncompressed mode from a0; returns a0 and sets White for the run that follows.
int32_t Uncompressed(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                     int32_t A0, int64_t& P, int32_t FillOrder, bool& White) {
    const int64_t bits = int64_t{DataLength} * 8;
    while (P < bits && A0 < Width) {
        const uint32_t window = Window(Data, DataLength, P, FillOrder);
        int32_t n = 0;
        for (int32_t i = 1; i <= 11 && n == 0; ++i)
            if ((window >> (32 - i)) & 1) n = i;
        if (n == 0) return A0;
        P += n;
        if (n <= 5) {
            ClearPixels(Row, Width, A0 + n - 1, A0 + n);
            A0 += n;
        } else if (n == 6) {
            A0 += 5;
        } else {
            A0 += n - 7;
            White = ((Window(Data, DataLength, P, FillOrder) >> 31) & 1) == 0;
            ++P;
            return std::min(A0, Width);
        }
    }
    return std::min(A0, Width);
}

} // namespace

int64_t DecodeCCITTRow2D(uint8_t* Row, const uint8_t* Data, int32_t DataLength, int32_t Width,
                         TCCITTReference& Reference, int64_t StartBit, int32_t FillOrder,
                         bool EOLHandling) {
    std::memset(Row, 0xFF, RowBytes(Width));
    std::vector<int32_t>& changes = Reference.Coding;
    changes.clear();
    TReferenceCursor reference(Reference.Changes, Width);
    // Changes are kept in order: a position left of the last one counts as the last.
    auto change = [&changes](int32_t X) {
        changes.push_back(changes.empty() ? X : std::max(X, changes.back()));
    };
    int64_t p = StartBit;
    int32_t a0 = -1;
    bool white = true;
    const int64_t bits = int64_t{DataLength} * 8;
    while (a0 < Width && p < bits) {
        const int64_t codeStart = p;
        int32_t k = ModeAt(Data, DataLength, p, FillOrder);
        p += ModeCodes[k].Length;
        if (EOLHandling && k == 0) {
            while (p < bits && ((Window(Data, DataLength, p, FillOrder) >> 31) & 1) == 0) ++p;
            ++p;
            k = ModeEOL;
        }
        if (k == ModePass) {
            const int32_t b2 = reference.B2(a0, white);
            a0 = std::max(a0, 0);
            if (!white) ClearPixels(Row, Width, a0, b2);
            a0 = std::max(a0, b2);
        } else if (k == ModeHorizontal) {
            int32_t run1 = ReadRun(white, Data, DataLength, p, FillOrder);
            const int32_t run2 = run1 < 0 ? -1 : ReadRun(!white, Data, DataLength, p, FillOrder);
            if (run1 < 0 || run2 < 0) continue;
            a0 = std::max(a0, 0);
            run1 = std::min(run1, Width - a0);
            if (!white) ClearPixels(Row, Width, a0, a0 + run1);
            a0 += run1;
            change(a0);
            const int32_t second = std::min(run2, Width - a0);
            if (white) ClearPixels(Row, Width, a0, a0 + second);
            a0 += second;
            change(a0);
        } else if (k >= 3 && k <= 9) {
            const int32_t b1 = reference.B1(a0, white);
            a0 = std::max(a0, 0);
            // a1 lies right of a0; damaged data pointing further left gives a run of 0.
            const int32_t a1 = std::clamp(b1 + k - 6, a0, Width);
            if (!white) ClearPixels(Row, Width, a0, a1);
            a0 = a1;
            change(a0);
            white = !white;
        } else if (k == 10 || k == 11) {
            const int32_t from = std::max(a0, 0);
            const bool before = white;
            a0 = Uncompressed(Row, Data, DataLength, Width, from, p, FillOrder, white);
            if (AddPixelChanges(Row, from, a0, before, changes) != white) change(a0);
        } else if (k == ModeEOL) {
            if (codeStart == StartBit) {
                const bool oneD = ((Window(Data, DataLength, p, FillOrder) >> 31) & 1) != 0;
                ++p;
                if (oneD) {
                    p = Decode1D(Row, Data, DataLength, Width, p, FillOrder, &changes);
                    break;
                }
                continue;
            }
            if (!white) ClearPixels(Row, Width, std::max(a0, 0), Width);
            p = codeStart;
            break;
        }
    }
    std::swap(Reference.Changes, Reference.Coding);
    return p;
}

// Encoding.

namespace {

// Codes gathered most significant bit first, starting with the caller's pending bits.
class TBitWriter {
public:
    TBitWriter(uint8_t PendingByte, int32_t PendingBits) {
        if (PendingBits > 0) {
            FBytes.push_back(PendingByte);
            FBits = PendingBits;
        }
    }
    void Put(uint32_t Code, int32_t Length) {
        for (int32_t i = Length - 1; i >= 0; --i) {
            if (FBits == 0) FBytes.push_back(0);
            if (i < 32 && ((Code >> i) & 1)) FBytes.back() |= static_cast<uint8_t>(0x80 >> FBits);
            FBits = (FBits + 1) & 7;
        }
    }
    void PutCode(const TCCITTCode& C) { Put(C.Code, C.Length); }
    void Run(bool White, int32_t N) {
        const TCCITTCode* table = White ? CCITTWhiteCodes : CCITTBlackCodes;
        while (N >= 64) {
            const int32_t m = std::min(N / 64, 40);
            PutCode(table[63 + m]);
            N -= m * 64;
        }
        PutCode(table[N]);
    }
    void EOL() { Put(1, 12); }
    // Writes the whole bytes (and the last partial one when Flush) and keeps the rest pending.
    void Emit(TStream& Stream, uint8_t& PendingByte, int32_t& PendingBits, bool& Aborting,
              int32_t FillOrder, bool Flush) {
        size_t whole = FBytes.size();
        PendingBits = 0;
        PendingByte = 0;
        if (!Flush && FBits != 0) {
            --whole;
            PendingBits = FBits;
            PendingByte = FBytes.back();
        }
        if (FillOrder == 2)
            for (size_t i = 0; i < whole; ++i) FBytes[i] = Reverse(FBytes[i]);
        if (whole > 0) SafeStreamWrite(Stream, Aborting, FBytes.data(), static_cast<int32_t>(whole));
    }

private:
    std::vector<uint8_t> FBytes;
    int32_t FBits = 0;
};

// Encoder rows: a set bit is black.
bool Black(const uint8_t* Row, int32_t X) { return PixelSet(Row, X); }

void Code1D(TBitWriter& W, const uint8_t* Row, int32_t Width) {
    int32_t x = 0;
    bool white = true;
    while (x < Width) {
        const int32_t next = FindPixel(Row, Width, x, white);
        W.Run(white, next - x);
        x = next;
        white = !white;
    }
    // A row that ends black was closed by its black run; one of width 0 starts with white 0.
    if (Width == 0) W.Run(true, 0);
}

void Code2D(TBitWriter& W, const uint8_t* Row, const uint8_t* Ref, int32_t Width) {
    int32_t a0 = 0;
    bool a0White = true;
    int32_t a1 = FindPixel(Row, Width, 0, true);
    int32_t b1 = FindPixel(Ref, Width, 0, true);
    while (true) {
        const int32_t b2 = b1 >= Width ? Width : FindPixel(Ref, Width, b1, !Black(Ref, b1));
        if (b2 < a1) {
            W.Put(1, 4);  // pass
            a0 = b2;
        } else if (std::abs(a1 - b1) > 3) {
            const int32_t a2 = a1 >= Width ? Width : FindPixel(Row, Width, a1, !Black(Row, a1));
            W.Put(1, 3);  // horizontal
            W.Run(a0White, a1 - a0);
            W.Run(!a0White, a2 - a1);
            a0 = a2;
        } else {
            // Code and length by a1 - b1 + 3: VL3, VL2, VL1, V0, VR1, VR2, VR3.
            static constexpr int32_t vertical[7][2] = {{2, 7}, {2, 6}, {2, 3}, {1, 1},
                                                       {3, 3}, {3, 6}, {3, 7}};
            W.Put(vertical[a1 - b1 + 3][0], vertical[a1 - b1 + 3][1]);
            a0 = a1;
        }
        if (a0 >= Width) return;
        a0White = !Black(Row, a0);
        a1 = FindPixel(Row, Width, a0, a0White);
        const int32_t same = FindPixel(Ref, Width, a0, !a0White);
        b1 = FindPixel(Ref, Width, same, a0White);
    }
}

int32_t RefBytes(int32_t Width) { return (Width + 31) / 32 * 4; }

void KeepReference(uint8_t*& Ref, const uint8_t* Row, int32_t Width) {
    if (Ref == nullptr) Ref = new uint8_t[RefBytes(Width)]();
    std::memcpy(Ref, Row, RowBytes(Width));
}

} // namespace

void EncodeCCITTRowMH(const uint8_t* Row, int32_t Width, TStream& Stream, bool& Aborting,
                      int32_t FillOrder) {
    TBitWriter w(0, 0);
    Code1D(w, Row, Width);
    uint8_t byte = 0;
    int32_t bits = 0;
    w.Emit(Stream, byte, bits, Aborting, FillOrder, true);
}

void EncodeCCITTG3Row1D(const uint8_t* Row, int32_t Width, TStream& Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, bool& Aborting, int32_t FillOrder) {
    TBitWriter w(PendingByte, PendingBits);
    const bool finish = Row == nullptr && Width == 0;
    if (!finish) {
        w.EOL();
        Code1D(w, Row, Width);
    }
    w.Emit(Stream, PendingByte, PendingBits, Aborting, FillOrder, finish);
}

void EncodeCCITTG3Row2D(const uint8_t* Row, int32_t Width, TStream& Stream, uint8_t& PendingByte,
                        int32_t& PendingBits, uint8_t*& ReferenceRow, bool& Aborting,
                        int32_t FillOrder) {
    TBitWriter w(PendingByte, PendingBits);
    const bool finish = Row == nullptr && Width == 0;
    w.EOL();
    if (finish) {
        delete[] ReferenceRow;
        ReferenceRow = nullptr;
    } else if (ReferenceRow == nullptr) {
        w.Put(1, 1);
        Code1D(w, Row, Width);
        KeepReference(ReferenceRow, Row, Width);
    } else {
        w.Put(0, 1);
        Code2D(w, Row, ReferenceRow, Width);
        KeepReference(ReferenceRow, Row, Width);
    }
    w.Emit(Stream, PendingByte, PendingBits, Aborting, FillOrder, finish);
}

void EncodeCCITTG4Row(const uint8_t* Row, int32_t Width, TStream& Stream, uint8_t& PendingByte,
                      int32_t& PendingBits, uint8_t*& ReferenceRow, bool& Aborting,
                      int32_t FillOrder) {
    TBitWriter w(PendingByte, PendingBits);
    const bool finish = Row == nullptr && Width == 0;
    if (finish) {
        w.EOL();
        w.EOL();
        delete[] ReferenceRow;
        ReferenceRow = nullptr;
    } else {
        if (ReferenceRow == nullptr) ReferenceRow = new uint8_t[RefBytes(Width)]();
        Code2D(w, Row, ReferenceRow, Width);
        KeepReference(ReferenceRow, Row, Width);
    }
    w.Emit(Stream, PendingByte, PendingBits, Aborting, FillOrder, finish);
}
