// The tag directories of TIFF files: walking the chain of image file directories in either byte
// order, typed access to their entries, building and writing directories, and the mapping between
// the TIFF, EXIF and GPS tags and the metadata of the parameter record (with the IPTC, XMP, ICC,
// annotation and maker-note blocks that travel in tags).
//
// A directory is read into a TVLTagsReadState, the reading context shared with the maker-note
// store of TVLTagsHandler: its entries are in machine order (for "MM" files tag, type, count and
// value field are swapped as whole 16- and 32-bit numbers, so an inline SHORT of a big-endian
// file sits in the upper half of the value field), and every offset counts from its Base.
#pragma once

#include "imaging/core/VLTagsHandler.h"
#include "imaging/io/VLIOParams.h"

#include <vector>

// Field types and their sizes in bytes; 0 for a type outside 1..12.
enum : uint16_t {
    ttByte = 1,
    ttAscii = 2,
    ttShort = 3,
    ttLong = 4,
    ttRational = 5,
    ttSByte = 6,
    ttUndefined = 7,
    ttSShort = 8,
    ttSLong = 9,
    ttSRational = 10,
    ttFloat = 11,
    ttDouble = 12,
};
int32_t TIFFTypeSize(uint16_t Type);

// Follows the chain of directories from FirstOffset (relative to Ctx.Base), keeps the entries of
// directory number Index in Ctx and counts the directories into Count. A chain that comes back to
// any directory it has visited, points outside the stream or has a directory of no entries ends
// there. True when directory Index was found.
bool TIFFReadIFD(TVLTagsReadState& Ctx, int32_t Index, int64_t FirstOffset, int32_t& Count);

// Index of the first entry with that tag, or -1.
int32_t TIFFFindTag(const TVLTagsReadState& Ctx, uint16_t Tag);
// The value field read inline: a SHORT gives its value, a BYTE its first byte, any other type
// the whole field; Default when the tag is missing.
int64_t TIFFTagValue(const TVLTagsReadState& Ctx, uint16_t Tag, int64_t Default);
// Value number I of a RATIONAL (unsigned) or SRATIONAL (signed) tag, numerator / denominator,
// a denominator of 0 counting as 1; 0 when missing, of another type or I not below the count.
double TIFFRationalAt(const TVLTagsReadState& Ctx, uint16_t Tag, int32_t I);
inline double TIFFRational(const TVLTagsReadState& Ctx, uint16_t Tag) {
    return TIFFRationalAt(Ctx, Tag, 0);
}
// Value number I of a LONG or SHORT tag; 0 for other types, a missing tag or an I outside.
int64_t TIFFIntegerAt(const TVLTagsReadState& Ctx, uint16_t Tag, int32_t I);
// Every value of a LONG or SHORT tag; empty when missing, of another type or when the values
// do not lie within the stream.
std::vector<int64_t> TIFFIntegerArray(const TVLTagsReadState& Ctx, uint16_t Tag);
// The tag's count x type size bytes, inline or from their offset, whatever the type; empty when
// missing or when they do not lie within the stream.
std::vector<uint8_t> TIFFRawBytes(const TVLTagsReadState& Ctx, uint16_t Tag);
// Count above 4: the bytes from the offset with trailing NULs removed (nothing from 0x100000
// bytes on); up to 4: the inline bytes. Empty when missing.
AnsiString TIFFText(const TVLTagsReadState& Ctx, uint16_t Tag);
// Count 1..4: that many characters of the value field in file order; empty otherwise.
AnsiString TIFFInlineBytes(const TVLTagsReadState& Ctx, uint16_t Tag);
// The bytes as UTF-16 text of count div 2 characters, trailing NULs removed.
String TIFFWideText(const TVLTagsReadState& Ctx, uint16_t Tag);
// BitsPerSample: 1 when missing; false when two samples differ (Bits is then the last value).
bool TIFFBitsPerSample(const TVLTagsReadState& Ctx, int32_t& Bits);
// ColorMap: 2^BitsPerSample entries (at most 8 bits), red values first, then green, then blue;
// 16-bit values are taken by their high byte unless all of them are below 256.
std::vector<TVLRGB> TIFFColorMap(const TVLTagsReadState& Ctx, int32_t BitsPerSample);

// The entries of one directory being written, little-endian, with their out-of-line values
// written to the stream as they are added. Write failures set Aborting.
class TTIFFEntryList {
public:
    TTIFFEntryList(TStream& Stream, bool& Aborting) : FStream(Stream), FAborting(Aborting) {}

    void AddLong(uint16_t Tag, uint32_t Value);
    void AddShort(uint16_t Tag, uint16_t Value);
    void AddByte(uint16_t Tag, uint8_t Value);
    // Type ASCII, count = text length, at most the first 4 characters inline.
    void AddInlineAscii(uint16_t Tag, const AnsiString& Text);
    // Type BYTE, at most 4 bytes inline.
    void AddInlineBytes(uint16_t Tag, const std::vector<uint8_t>& Bytes);
    // Nothing for an empty text; inline up to 4 characters; else the text and a NUL.
    void AddAscii(uint16_t Tag, const AnsiString& Text);
    // Nothing for an empty text; type BYTE, the UTF-16 text and a NUL character.
    void AddWideText(uint16_t Tag, const String& Text);
    // Type RATIONAL (Signed false) or SRATIONAL, one value per pair.
    void AddRationals(uint16_t Tag, const std::vector<std::pair<int64_t, int64_t>>& Pairs,
                      bool Signed = false);
    void AddRational(uint16_t Tag, int64_t Numerator, int64_t Denominator) {
        AddRationals(Tag, {{Numerator, Denominator}});
    }
    // Doubles through TIFFDoubleToRational.
    void AddDoubles(uint16_t Tag, const std::vector<double>& Values, bool Signed = false);
    void AddLongs(uint16_t Tag, const std::vector<uint32_t>& Values);
    // One or two values inline (the first in the low half), more at an offset.
    void AddShorts(uint16_t Tag, const std::vector<uint16_t>& Values);
    // Count values of Type whose bytes are Bytes, inline when they fit in 4 bytes.
    void AddBlock(uint16_t Tag, uint16_t Type, uint32_t Count, const std::vector<uint8_t>& Bytes);
    // An entry whose values are already in place.
    void AddEntry(const TVLTagEntry& Entry);

    // Writes the directory at the next even position: count, entries by ascending tag, NextOffset.
    // Returns the directory's position.
    int64_t WriteIFD(uint32_t NextOffset);
    // Makes the stream position even with a zero byte.
    void Align();
    bool Contains(uint16_t Tag) const;
    const std::vector<TVLTagEntry>& Entries() const { return FEntries; }
    TStream& Stream() { return FStream; }
    bool& Aborting() { return FAborting; }

    // Stream position of the file's header: offsets are written relative to it.
    int64_t Base = 0;

private:
    void Write(const void* Buffer, int32_t Count);
    TStream& FStream;
    bool& FAborting;
    std::vector<TVLTagEntry> FEntries;
};

// Denominator 1000000, divided by 10 while denominator x |Value| exceeds 2147483640; numerator
// rounded with halves to even.
void TIFFDoubleToRational(double Value, int32_t& Numerator, int32_t& Denominator);

// IPTC (33723), XMP (700), annotations (32932) and the ICC profile (34675) into Params.
void ReadTIFFMetadataTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params);
// The EXIF fields of the main directory (without the resolutions, which the reader scales).
void ReadTIFFMainExifTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params);
// The fields of the EXIF directory and its maker note.
void ReadTIFFExifTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params);
// The fields of the GPS directory.
void ReadTIFFGPSTags(const TVLTagsReadState& Ctx, TIOParamsVals& Params);
// Copies the maker note (37500 of the EXIF directory) into Params.ExifMakerNote as a
// little-endian directory with its values; anything that does not look like a directory leaves
// the store empty.
void ReadTIFFMakerNote(const TVLTagsReadState& Ctx, TIOParamsVals& Params);

// Adds the EXIF tags of the main directory to Main and writes the EXIF directory (with the maker
// note) and, when ExifGPSVersionID is set, the GPS directory, adding their pointer entries.
// Only fields that differ from what ClearExif gives are written (ExifVersion defaults to "0220").
void WriteTIFFExifTags(TTIFFEntryList& Main, TIOParamsVals& Params);
// Adds IPTC, XMP, annotations and an unapplied valid ICC profile to Main.
void WriteTIFFMetadataTags(TTIFFEntryList& Main, TIOParamsVals& Params);
