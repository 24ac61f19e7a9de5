// The class library's ordered list of strings.
#pragma once

#include "platform/rtl/Classes.h"

#include <vector>

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

    friend bool operator==(const TStringList& A, const TStringList& B) {
        return A.FItems == B.FItems;
    }

private:
    void CheckIndex(int32_t Index) const;
    std::vector<String> FItems;
};
