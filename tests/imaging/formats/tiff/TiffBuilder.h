// Hand-built TIFF files for the tests: a header and directories of entries whose values are given
// as numbers, laid out in either byte order with the out-of-line values after each directory.
#pragma once

#include "platform/rtl/Classes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TTestEntry {
    TTestEntry(uint16_t ATag, uint16_t AType, std::vector<int64_t> AValues, std::string ABytes = {},
               int64_t ACount = -1)
        : Tag(ATag), Type(AType), Values(std::move(AValues)), Bytes(std::move(ABytes)),
          Count(ACount) {}
    uint16_t Tag = 0;
    uint16_t Type = 0;
    // Numbers of the entry's type (two per RATIONAL); ignored when Bytes is set.
    std::vector<int64_t> Values;
    // Raw value bytes in file order (ASCII, BYTE, UNDEFINED blocks).
    std::string Bytes;
    // Count written in the entry; -1 = the true count.
    int64_t Count = -1;
};

class TTestTiff {
public:
    explicit TTestTiff(bool Intel) : FIntel(Intel) {}

    // Adds a directory; they are chained in the order added.
    TTestTiff& IFD(std::vector<TTestEntry> Entries) {
        FIFDs.push_back(std::move(Entries));
        return *this;
    }

    // The file; NextOverride[i], when given, replaces directory i's next offset.
    std::string Build(const std::vector<int64_t>& NextOverride = {}) {
        std::string out = FIntel ? "II" : "MM";
        Put(out, 42, 2);
        Put(out, 8, 4);
        out += Data;
        if (out.size() % 2) out += '\0';
        Patch(out, 4, out.size());
        FOffsets.clear();
        std::vector<size_t> nextFields;
        for (const auto& entries : FIFDs) {
            FOffsets.push_back(out.size());
            Put(out, entries.size(), 2);
            std::vector<std::pair<size_t, std::string>> later;
            for (const TTestEntry& e : entries) {
                const std::string bytes = ValueBytes(e);
                const int size = TypeSize(e.Type);
                const int64_t count =
                    e.Count >= 0 ? e.Count
                                 : (size == 0 ? 0 : static_cast<int64_t>(bytes.size()) / size);
                Put(out, e.Tag, 2);
                Put(out, e.Type, 2);
                Put(out, static_cast<uint64_t>(count), 4);
                if (bytes.size() <= 4) {
                    std::string field = bytes;
                    field.resize(4, '\0');
                    out += field;
                } else {
                    later.emplace_back(out.size(), bytes);
                    Put(out, 0, 4);
                }
            }
            nextFields.push_back(out.size());
            Put(out, 0, 4);
            for (auto& [field, bytes] : later) {
                if (out.size() % 2) out += '\0';
                Patch(out, field, out.size());
                out += bytes;
            }
        }
        for (size_t i = 0; i < nextFields.size(); ++i) {
            int64_t next = i + 1 < FOffsets.size() ? static_cast<int64_t>(FOffsets[i + 1]) : 0;
            if (i < NextOverride.size() && NextOverride[i] >= 0) next = NextOverride[i];
            Patch(out, nextFields[i], static_cast<uint64_t>(next));
        }
        return out;
    }
    // Bytes placed right after the header (strip data), at offset 8.
    std::string Data;
    // Offsets of the directories in the last Build.
    const std::vector<size_t>& Offsets() const { return FOffsets; }

    static int TypeSize(uint16_t Type) {
        static const int sizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
        return Type <= 12 ? sizes[Type] : 1;
    }

private:
    std::string ValueBytes(const TTestEntry& E) const {
        if (!E.Bytes.empty() || E.Values.empty()) return E.Bytes;
        std::string out;
        const int size = E.Type == 5 || E.Type == 10 ? 4 : TypeSize(E.Type);
        for (int64_t v : E.Values) Put(out, static_cast<uint64_t>(v), size);
        return out;
    }
    void Put(std::string& Out, uint64_t V, int Size) const {
        for (int i = 0; i < Size; ++i) {
            const int shift = FIntel ? 8 * i : 8 * (Size - 1 - i);
            Out += static_cast<char>((V >> shift) & 0xFF);
        }
    }
    void Patch(std::string& Out, size_t At, uint64_t V) const {
        std::string four;
        Put(four, V, 4);
        Out.replace(At, 4, four);
    }

    bool FIntel;
    std::vector<std::vector<TTestEntry>> FIFDs;
    std::vector<size_t> FOffsets;
};

// A memory stream holding Bytes, at position 0.
inline std::unique_ptr<TMemoryStream> StreamOf(const std::string& Bytes) {
    auto stream = std::make_unique<TMemoryStream>();
    stream->Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
    stream->SetPosition(0);
    return stream;
}
