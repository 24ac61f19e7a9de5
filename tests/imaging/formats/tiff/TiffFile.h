// The first directory of a TIFF file on disk and its strips, read through the directory layer,
// for tests that compare decoded rows with what the libtiff tools write.
#pragma once

#include "imaging/formats/tiff/VLTIFFTags.h"
#include "tests/imaging/formats/tiff/TiffBuilder.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct TTiffFile {
    std::string Bytes;
    std::unique_ptr<TMemoryStream> Stream;
    TVLTagsReadState Ctx;
    bool Valid = false;

    int64_t Tag(uint16_t Number, int64_t Default) const {
        return TIFFTagValue(Ctx, Number, Default);
    }
    // The bytes of strip (or tile) I; empty when the file does not hold it.
    std::string Strip(size_t I, uint16_t OffsetsTag = 273, uint16_t CountsTag = 279) const {
        const auto offsets = TIFFIntegerArray(Ctx, OffsetsTag);
        const auto counts = TIFFIntegerArray(Ctx, CountsTag);
        if (I >= offsets.size() || I >= counts.size()) return {};
        if (offsets[I] < 0 || offsets[I] + counts[I] > static_cast<int64_t>(Bytes.size()))
            return {};
        return Bytes.substr(offsets[I], counts[I]);
    }
    // Every strip, joined.
    std::string AllStrips() const {
        std::string out;
        for (size_t i = 0; i < TIFFIntegerArray(Ctx, 273).size(); ++i) out += Strip(i);
        return out;
    }
};

inline TTiffFile ReadTiffBytes(const std::string& Bytes) {
    TTiffFile f;
    f.Bytes = Bytes;
    if (Bytes.size() < 8) return f;
    f.Stream = StreamOf(Bytes);
    f.Ctx.Stream = f.Stream.get();
    f.Ctx.IntelByteOrder = Bytes[0] == 'I';
    uint32_t first = 0;
    for (int i = 0; i < 4; ++i)
        first |= static_cast<uint32_t>(static_cast<uint8_t>(Bytes[4 + i]))
                 << (f.Ctx.IntelByteOrder ? 8 * i : 8 * (3 - i));
    int32_t count = 0;
    f.Valid = TIFFReadIFD(f.Ctx, 0, first, count);
    return f;
}

inline TTiffFile ReadTiffFile(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return ReadTiffBytes(std::string((std::istreambuf_iterator<char>(in)), {}));
}
