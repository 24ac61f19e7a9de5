// The LZW coding of GIF image data.
#include "imaging/io/VLGifLZW.h"

#include "platform/rtl/Classes.h"

#include <algorithm>
#include <array>
#include <exception>
#include <memory>
#include <vector>

namespace {

constexpr int32_t TableSize = 4096;
constexpr int32_t MaxCodeSize = 12;
constexpr int32_t MaxPacket = 254;
constexpr int32_t HashSize = 5003;
constexpr int32_t HashShift = 4;

// Row order of one image: top to bottom, or the four GIF passes (rows 0, 8, 16, ..., then 4, 12,
// ..., then 2, 6, ..., then 1, 3, 5, ...). After the last pass it starts again at row 0, so
// surplus pixels can never leave the image.
class TRowOrder {
public:
    TRowOrder(int32_t Height, bool Interlaced) : FHeight(Height), FInterlaced(Interlaced) {}
    int32_t Row() const { return FRow; }
    // False when a plain image has passed its last row.
    bool Inside() const { return FRow < FHeight; }
    void Next() {
        if (!FInterlaced) {
            ++FRow;
            return;
        }
        FRow += PassStep[FPass];
        while (FRow >= FHeight) {
            FPass = (FPass + 1) % 4;
            FRow = PassStart[FPass];
        }
    }

private:
    static constexpr std::array<int32_t, 4> PassStart = {0, 4, 2, 1};
    static constexpr std::array<int32_t, 4> PassStep = {8, 8, 4, 2};
    int32_t FHeight;
    bool FInterlaced;
    int32_t FRow = 0;
    int32_t FPass = 0;
};

// LSB-first codes out of the collected data bytes.
class TCodeReader {
public:
    explicit TCodeReader(const std::vector<uint8_t>& Data) : FData(Data) {}
    // The bits not yet read cannot make a code of Size bits.
    bool UsedUp(int32_t Size) const {
        return static_cast<int64_t>(FData.size() - FPos) * 8 + FBits < Size;
    }
    int32_t Read(int32_t Size) {
        while (FBits < Size) {
            FReservoir |= static_cast<uint32_t>(FData[FPos++]) << FBits;
            FBits += 8;
        }
        const auto code = static_cast<int32_t>(FReservoir & ((1u << Size) - 1));
        FReservoir >>= Size;
        FBits -= Size;
        return code;
    }

private:
    const std::vector<uint8_t>& FData;
    size_t FPos = 0;
    uint32_t FReservoir = 0;
    int32_t FBits = 0;
};

// The sub-blocks of one image appended to Data; the stream ends after the terminator (or where
// the data ran out). The array grows with the blocks that actually arrive.
void CollectSubBlocks(TStream& Stream, std::vector<uint8_t>& Data) {
    uint8_t length = 0;
    while (Stream.Read(&length, 1) == 1 && length != 0) {
        const size_t old = Data.size();
        Data.resize(old + length);
        const int32_t got = std::max(Stream.Read(Data.data() + old, length), 0);
        if (got < length) {
            Data.resize(old + got);
            return;
        }
    }
}

class TGifDecoder {
public:
    TGifDecoder(int32_t MinCodeSize, const std::vector<uint8_t>& Data, int32_t Height,
                int32_t Width, bool Interlaced, uint8_t* Dest)
        : FMinCodeSize(MinCodeSize), FClear(1 << MinCodeSize), FEnd(FClear + 1), FCodes(Data),
          FRows(Height, Interlaced), FWidth(Width), FDest(Dest) {
        ResetTable();
    }

    // False on data that cannot be decoded.
    bool Run() {
        // Data whose first code is not a clear code starts from the table state after one.
        bool afterClear = true;
        if (FCodes.UsedUp(FCodeSize)) return true;
        int32_t code = FCodes.Read(FCodeSize);
        while (code != FEnd) {
            if (code == FClear || afterClear) {
                if (code == FClear) {
                    ResetTable();
                    do {
                        if (FCodes.UsedUp(FCodeSize)) return true;
                        code = FCodes.Read(FCodeSize);
                    } while (code == FClear);
                    if (code == FEnd) return FCodes.UsedUp(FCodeSize);
                }
                if (code >= FNextFree) code = 0;
                FStack[FStackCount++] = static_cast<uint8_t>(code);
                afterClear = false;
            } else if (code < FNextFree) {
                const uint8_t first = PushString(code);
                AddEntry(FPrevious, first);
            } else if (code == FNextFree && FNextFree < TableSize) {
                // The string being defined: the previous string and its own first byte.
                AddEntry(FPrevious, FirstByte(FPrevious));
                PushString(code);
            } else {
                return false;
            }
            FPrevious = code;
            WriteStack();
            if (FCodes.UsedUp(FCodeSize)) return true;
            code = FCodes.Read(FCodeSize);
        }
        return true;
    }

private:
    void ResetTable() {
        FCodeSize = FMinCodeSize + 1;
        FNextFree = FEnd + 1;
        FLimit = 1 << FCodeSize;
    }

    uint8_t FirstByte(int32_t Code) const {
        while (Code >= FClear)
            Code = FPrefix[Code];
        return static_cast<uint8_t>(Code);
    }

    // Pushes the string of Code (last byte first) and returns its first byte.
    uint8_t PushString(int32_t Code) {
        while (Code >= FClear) {
            FStack[FStackCount++] = FSuffix[Code];
            Code = FPrefix[Code];
        }
        FStack[FStackCount++] = static_cast<uint8_t>(Code);
        return static_cast<uint8_t>(Code);
    }

    // A full table takes no entry until the next clear code ("deferred clear"); the codes stay
    // 12 bits wide meanwhile.
    void AddEntry(int32_t Prefix, uint8_t Suffix) {
        if (FNextFree >= TableSize) return;
        FPrefix[FNextFree] = Prefix;
        FSuffix[FNextFree] = Suffix;
        ++FNextFree;
        if (FNextFree == FLimit && FCodeSize < MaxCodeSize) {
            ++FCodeSize;
            FLimit <<= 1;
        }
    }

    void WriteStack() {
        while (FStackCount > 0) {
            const uint8_t value = FStack[--FStackCount];
            if (FRows.Inside()) {
                FDest[static_cast<int64_t>(FRows.Row()) * FWidth + FColumn] = value;
                if (++FColumn == FWidth) {
                    FColumn = 0;
                    FRows.Next();
                }
            }
        }
    }

    int32_t FMinCodeSize;
    int32_t FClear;
    int32_t FEnd;
    int32_t FCodeSize = 0;
    int32_t FNextFree = 0;
    int32_t FLimit = 0;
    int32_t FPrevious = 0;
    TCodeReader FCodes;
    TRowOrder FRows;
    int32_t FWidth;
    uint8_t* FDest;
    int32_t FColumn = 0;
    std::array<int32_t, TableSize> FPrefix{};
    std::array<uint8_t, TableSize> FSuffix{};
    std::array<uint8_t, TableSize> FStack{};
    int32_t FStackCount = 0;
};

class TGifEncoder {
public:
    TGifEncoder(TStream& Stream, int32_t InitialBits) : FStream(Stream), FInitBits(InitialBits) {
        FClear = 1 << (InitialBits - 1);
        FEnd = FClear + 1;
        FNextFree = FClear + 2;
        FCodeSize = InitialBits;
        FMaxCode = (1 << FCodeSize) - 1;
    }

    void Encode(const uint8_t* Pixels, int32_t Width, int32_t Height, bool Interlaced) {
        const uint8_t pixelMask = static_cast<uint8_t>(FClear - 1);
        ClearHash();
        Output(FClear);
        const int64_t total = static_cast<int64_t>(Width) * Height;
        if (total > 0) {
            TRowOrder rows(Height, Interlaced);
            const uint8_t* row = Pixels;
            int32_t current = row[0] & pixelMask;
            int32_t column = 1;
            for (int64_t n = 1; n < total; ++n) {
                if (column == Width) {
                    column = 0;
                    rows.Next();
                    row = Pixels + static_cast<int64_t>(rows.Row()) * Width;
                }
                current = Step(current, row[column++] & pixelMask);
            }
            Output(current);
        }
        Output(FEnd);
        while (FBitCount > 0) {
            Put(static_cast<uint8_t>(FAccumulator));
            FAccumulator >>= 8;
            FBitCount = std::max(FBitCount - 8, 0);
        }
        FlushPacket();
        const uint8_t terminator = 0;
        FStream.WriteBuffer(&terminator, 1);
    }

private:
    // One more pixel after the string Current; returns the new current string.
    int32_t Step(int32_t Current, int32_t Pixel) {
        const int32_t key = (Pixel << 12) + Current;
        int32_t i = (Pixel << HashShift) ^ Current;
        if (FKeys[i] == key) return FCodes[i];
        if (FKeys[i] >= 0) {
            const int32_t step = i == 0 ? 1 : HashSize - i;
            do {
                i -= step;
                if (i < 0) i += HashSize;
                if (FKeys[i] == key) return FCodes[i];
            } while (FKeys[i] > 0);
        }
        Output(Current);
        if (FNextFree < TableSize) {
            FCodes[i] = FNextFree++;
            FKeys[i] = key;
        } else {
            ClearHash();
            FNextFree = FClear + 2;
            FClearFlag = true;
            Output(FClear);
        }
        return Pixel;
    }

    void ClearHash() { FKeys.fill(-1); }

    void Output(int32_t Code) {
        FAccumulator |= static_cast<uint32_t>(Code) << FBitCount;
        FBitCount += FCodeSize;
        while (FBitCount >= 8) {
            Put(static_cast<uint8_t>(FAccumulator));
            FAccumulator >>= 8;
            FBitCount -= 8;
        }
        if (FNextFree > FMaxCode || FClearFlag) {
            if (FClearFlag) {
                FCodeSize = FInitBits;
                FClearFlag = false;
            } else {
                ++FCodeSize;
            }
            FMaxCode = FCodeSize == MaxCodeSize ? TableSize : (1 << FCodeSize) - 1;
        }
    }

    void Put(uint8_t Value) {
        FPacket[FPacketCount++] = Value;
        if (FPacketCount == MaxPacket) FlushPacket();
    }

    void FlushPacket() {
        if (FPacketCount == 0) return;
        const auto length = static_cast<uint8_t>(FPacketCount);
        FStream.WriteBuffer(&length, 1);
        FStream.WriteBuffer(FPacket.data(), FPacketCount);
        FPacketCount = 0;
    }

    TStream& FStream;
    int32_t FInitBits;
    int32_t FClear = 0;
    int32_t FEnd = 0;
    int32_t FNextFree = 0;
    int32_t FCodeSize = 0;
    int32_t FMaxCode = 0;
    bool FClearFlag = false;
    uint32_t FAccumulator = 0;
    int32_t FBitCount = 0;
    std::array<int32_t, HashSize> FKeys{};
    std::array<int32_t, HashSize> FCodes{};
    std::array<uint8_t, MaxPacket> FPacket{};
    int32_t FPacketCount = 0;
};

} // namespace

void GifLZWDecode(TStream& Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Dest) {
    const int64_t start = Stream.GetPosition();
    bool decoded = false;
    try {
        uint8_t minCodeSize = 0;
        if (Stream.Read(&minCodeSize, 1) == 1 && minCodeSize >= 2 && minCodeSize <= 9) {
            std::vector<uint8_t> data;
            CollectSubBlocks(Stream, data);
            const bool writable = Dest != nullptr && Width > 0 && Height > 0;
            auto decoder = std::make_unique<TGifDecoder>(minCodeSize, data, writable ? Height : 0,
                                                         writable ? Width : 1, Interlaced, Dest);
            decoded = data.empty() || decoder->Run();
        }
    } catch (const std::exception&) {
        decoded = false;
    }
    if (!decoded) Stream.Seek(start, soBeginning);
}

void GifLZWEncode(TStream& Stream, int32_t Height, int32_t Width, bool Interlaced,
                  const uint8_t* Pixels, int32_t BitsPerPixel) {
    const auto codeSize = static_cast<uint8_t>(std::clamp(BitsPerPixel, 2, 8));
    Stream.WriteBuffer(&codeSize, 1);
    auto encoder = std::make_unique<TGifEncoder>(Stream, codeSize + 1);
    if (Pixels == nullptr) Width = 0;
    encoder->Encode(Pixels, std::max(Width, 0), std::max(Height, 0), Interlaced);
}
