// The class library's ordered list of strings.
#include "platform/rtl/StringList.h"

#include <algorithm>

void TStringList::CheckIndex(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
}

const String& TStringList::Get(int32_t Index) const {
    CheckIndex(Index);
    return FItems[Index];
}

void TStringList::Put(int32_t Index, const String& S) {
    CheckIndex(Index);
    FItems[Index] = S;
}

int32_t TStringList::Add(const String& S) {
    FItems.push_back(S);
    return Count() - 1;
}

void TStringList::Insert(int32_t Index, const String& S) {
    if (Index < 0 || Index > Count())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    FItems.insert(FItems.begin() + Index, S);
}

void TStringList::Delete(int32_t Index) {
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
}

int32_t TStringList::IndexOf(const String& S) const {
    const auto it = std::find(FItems.begin(), FItems.end(), S);
    return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
}

void TStringList::Assign(const TStringList& Source) {
    if (&Source != this) FItems = Source.FItems;
}
