// The LZW coding of TIFF strips.
#include "imaging/io/VLTiffLZW.h"

#include "imaging/core/VLHelpers.h"
#include "platform/rtl/Classes.h"

#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace {

constexpr int32_t ClearCode = 256;
constexpr int32_t EndCode = 257;
constexpr int32_t FirstFree = 258;
constexpr int32_t MinWidth = 9;
// The table holds codes 0 to 4096; a 12-bit code can name entries up to 4095 only.
constexpr int32_t TableEntries = 4097;
constexpr int32_t LongestString = TableEntries - FirstFree + 1;
constexpr int32_t MaxPacket = 254;
constexpr int32_t HashSize = 5003;
constexpr int32_t HashShift = 4;

// A string of the table as its prefix code and last byte; single bytes are their own codes.
struct TTiffEntry {
    int32_t Prefix = -1;
    int32_t Length = 1;
    uint8_t First = 0;
    uint8_t Last = 0;
};

class TTiffDecoder {
public:
    TTiffDecoder(const uint8_t* Data, int32_t DataSize, int32_t RowSize, int32_t FillOrder)
        : FData(Data), FDataBits(static_cast<int64_t>(DataSize) * 8), FDataSize(DataSize),
          FRowSize(RowSize), FReverse(FillOrder == 2),
          // Room for a whole row plus the longest string that can start before its end.
          FBuffer(static_cast<size_t>(RowSize) + LongestString) {
        for (int32_t i = 0; i < 256; ++i) {
            FTable[i].First = static_cast<uint8_t>(i);
            FTable[i].Last = static_cast<uint8_t>(i);
        }
    }

    uint8_t* NextRow() {
        if (FError) return nullptr;
        if (FLength > FRowSize) {
            std::memmove(FBuffer.data(), FBuffer.data() + FRowSize, FLength - FRowSize);
            FLength -= FRowSize;
        } else {
            FLength = 0;
        }
        while (FLength < FRowSize && !FError) {
            int32_t code = ReadCode();
            if (code == ClearCode) {
                FNextFree = FirstFree;
                FWidth = MinWidth;
                do {
                    code = ReadCode();
                } while (code == ClearCode);
                if (code == EndCode) break;
                Output(code);
            } else if (code == EndCode) {
                break;
            } else if (FPrevious < 0) {
                // A strip that does not open with a clear code starts from the cleared table.
                Output(code);
            } else if (code < FNextFree) {
                Output(code);
                AddEntry(FPrevious, FTable[code].First);
            } else if (code == FNextFree) {
                AddEntry(FPrevious, FTable[FPrevious].First);
                Output(code);
            } else {
                FError = true;
            }
            FPrevious = code;
        }
        return FError ? nullptr : FBuffer.data();
    }

private:
    // The next code; the end code once the strip's bytes cannot make one.
    int32_t ReadCode() {
        if (FBitPos + FWidth > FDataBits) return EndCode;
        const int64_t index = FBitPos >> 3;
        uint32_t bits = 0;
        for (int64_t i = index; i < index + 3; ++i) {
            uint8_t value = i < FDataSize ? FData[i] : 0;
            if (FReverse) ReverseBitOrder8(value);
            bits = (bits << 8) | value;
        }
        const auto shift = static_cast<int32_t>(24 - (FBitPos & 7) - FWidth);
        FBitPos += FWidth;
        return static_cast<int32_t>((bits >> shift) & ((1u << FWidth) - 1));
    }

    void Output(int32_t Code) {
        if (Code >= FNextFree || Code == ClearCode || Code == EndCode) {
            FError = true;
            return;
        }
        const TTiffEntry* entry = &FTable[Code];
        uint8_t* out = FBuffer.data() + FLength + entry->Length;
        FLength += entry->Length;
        for (;;) {
            *--out = entry->Last;
            if (entry->Prefix < 0) break;
            entry = &FTable[entry->Prefix];
        }
    }

    void AddEntry(int32_t Previous, uint8_t Byte) {
        if (Previous >= FNextFree || FNextFree >= TableEntries) {
            FError = true;
            return;
        }
        const TTiffEntry& prefix = FTable[Previous];
        FTable[FNextFree] = {Previous, prefix.Length + 1, prefix.First, Byte};
        ++FNextFree;
        // One code early, as TIFF writers change the width.
        if (FNextFree == 511 || FNextFree == 1023 || FNextFree == 2047) ++FWidth;
    }

    const uint8_t* FData;
    int64_t FDataBits;
    int64_t FDataSize;
    int32_t FRowSize;
    bool FReverse;
    int64_t FBitPos = 0;
    int32_t FWidth = MinWidth;
    int32_t FPrevious = -1;
    int32_t FNextFree = FirstFree;
    bool FError = false;
    std::vector<uint8_t> FBuffer;
    int32_t FLength = 0;
    std::array<TTiffEntry, TableEntries> FTable{};
};

class TTiffEncoder {
public:
    explicit TTiffEncoder(TStream& Stream) {
        FKeys.fill(-1);
        Output(Stream, ClearCode);
    }

    void Encode(TStream& Stream, const uint8_t* Data, int32_t Count) {
        for (int32_t n = 0; n < Count; ++n) {
            const int32_t c = Data[n];
            FCurrent = FCurrent < 0 ? c : Step(Stream, FCurrent, c);
        }
    }

    void Finish(TStream& Stream) {
        if (FCurrent >= 0) Output(Stream, FCurrent);
        Output(Stream, EndCode);
        if (FBitCount > 0) Put(Stream, static_cast<uint8_t>(FAccumulator >> 24));
        Flush(Stream);
    }

private:
    int32_t Step(TStream& Stream, int32_t Current, int32_t Byte) {
        const int32_t key = (Byte << 12) + Current;
        int32_t i = (Byte << HashShift) ^ Current;
        if (FKeys[i] == key) return FCodes[i];
        if (FKeys[i] >= 0) {
            const int32_t step = i == 0 ? 1 : HashSize - i;
            do {
                i -= step;
                if (i < 0) i += HashSize;
                if (FKeys[i] == key) return FCodes[i];
            } while (FKeys[i] > 0);
        }
        Output(Stream, Current);
        if (FNextFree > 4093) {
            FKeys.fill(-1);
            FNextFree = FirstFree;
            FClearFlag = true;
            Output(Stream, ClearCode);
        } else {
            FKeys[i] = key;
            FCodes[i] = static_cast<uint16_t>(FNextFree++);
        }
        return Byte;
    }

    void Output(TStream& Stream, int32_t Code) {
        FAccumulator |= static_cast<uint32_t>(Code) << (32 - FBitCount - FWidth);
        FBitCount += FWidth;
        while (FBitCount >= 8) {
            Put(Stream, static_cast<uint8_t>(FAccumulator >> 24));
            FAccumulator <<= 8;
            FBitCount -= 8;
        }
        if (FNextFree > FMaxCode - 1 || FClearFlag) {
            if (FClearFlag) {
                FWidth = MinWidth;
                FClearFlag = false;
            } else {
                ++FWidth;
            }
            FMaxCode = FWidth == 12 ? 4095 : (1 << FWidth) - 1;
        }
    }

    void Put(TStream& Stream, uint8_t Value) {
        FPacket[FPacketCount++] = Value;
        if (FPacketCount == MaxPacket) Flush(Stream);
    }

    void Flush(TStream& Stream) {
        Stream.WriteBuffer(FPacket.data(), FPacketCount);
        FPacketCount = 0;
    }

    int32_t FWidth = MinWidth;
    int32_t FMaxCode = 511;
    int32_t FNextFree = FirstFree;
    bool FClearFlag = false;
    uint32_t FAccumulator = 0;
    int32_t FBitCount = 0;
    int32_t FCurrent = -1;
    std::array<int32_t, HashSize> FKeys{};
    std::array<uint16_t, HashSize> FCodes{};
    std::array<uint8_t, MaxPacket> FPacket{};
    int32_t FPacketCount = 0;
};

} // namespace

uint8_t* TiffLZWDecode(const uint8_t* Data, int32_t DataSize, int32_t RowSize, void*& State,
                       int32_t FillOrder) {
    if (Data == nullptr) {
        delete static_cast<TTiffDecoder*>(State);
        State = nullptr;
        return nullptr;
    }
    if (State == nullptr) {
        if (RowSize < 1 || DataSize < 0) return nullptr;
        try {
            State = new TTiffDecoder(Data, DataSize, RowSize, FillOrder);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return static_cast<TTiffDecoder*>(State)->NextRow();
}

void TiffLZWEncode(const uint8_t* Data, int32_t Count, TStream& Stream, void*& State) {
    auto* encoder = static_cast<TTiffEncoder*>(State);
    if (Data == nullptr) {
        if (encoder == nullptr) return;
        std::unique_ptr<TTiffEncoder> owned(encoder);
        State = nullptr;
        owned->Finish(Stream);
        return;
    }
    if (encoder == nullptr) {
        auto made = std::make_unique<TTiffEncoder>(Stream);
        encoder = made.get();
        State = made.release();
    }
    encoder->Encode(Stream, Data, Count);
}
