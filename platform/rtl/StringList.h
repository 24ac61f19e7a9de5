// The class library's ordered list of strings.
#pragma once

#include "platform/rtl/Classes.h"

#include <vector>

// Text encodings of LoadFromFile and SaveToFile: UTF-8, and UTF-16 little-endian ("Unicode").
enum class TTextEncoding : uint8_t { UTF8, Unicode };

// Strings in insertion order; an index outside the list raises EListError.
class TStringList : public TPersistent {
public:
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    const String& Get(int32_t Index) const;
    void Put(int32_t Index, const String& S);
    const String& operator[](int32_t Index) const { return Get(Index); }

    // Appends S and returns its index.
    int32_t Add(const String& S);
    void Insert(int32_t Index, const String& S);
    void Delete(int32_t Index);
    void Clear() { FItems.clear(); }
    // Index of the first string equal to S, -1 when none.
    int32_t IndexOf(const String& S) const;
    // Replaces the list with a copy of Source's strings.
    void Assign(const TStringList& Source);
    // The strings in their order, for code that takes a plain sequence of them.
    const std::vector<String>& Strings() const { return FItems; }

    // Index of the first "name=value" string whose name (the text before its first "=") equals
    // Name without regard to case; -1 when none.
    int32_t IndexOfName(const String& Name) const;
    // The text after the first "=" of string Index; empty when it has none.
    String ValueFromIndex(int32_t Index) const;

    // Replaces the list with the lines of a text file, ended by CR LF, LF or CR. A byte-order mark
    // (UTF-8 or UTF-16 little-endian) decides the encoding and is skipped; without one the text is
    // read as Encoding. Raises EFOpenError when the file cannot be read.
    void LoadFromFile(const String& FileName, TTextEncoding Encoding);
    // Writes the strings as lines ended by CR LF, after the encoding's byte-order mark, replacing
    // the file only once the whole text is on the disk. Raises EFCreateError or EWriteError.
    void SaveToFile(const String& FileName, TTextEncoding Encoding) const;

    friend bool operator==(const TStringList& A, const TStringList& B) {
        return A.FItems == B.FItems;
    }

private:
    void CheckIndex(int32_t Index) const;
    std::vector<String> FItems;
};
