// The class library's ordered list of strings.
#include "platform/rtl/StringList.h"

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/TextUtils.h"

#include <algorithm>
#include <fstream>
#include <iterator>

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

int32_t TStringList::IndexOfName(const String& Name) const {
    const String wanted = LowerCase(Name);
    for (int32_t i = 0; i < Count(); ++i) {
        const size_t eq = FItems[i].find(u'=');
        if (eq != String::npos && LowerCase(FItems[i].substr(0, eq)) == wanted) return i;
    }
    return -1;
}

String TStringList::ValueFromIndex(int32_t Index) const {
    const String& item = Get(Index);
    const size_t eq = item.find(u'=');
    return eq == String::npos ? String() : item.substr(eq + 1);
}

namespace {

// The text of a file's bytes by its byte-order mark, else by Encoding.
String DecodeText(const std::string& Bytes, TTextEncoding Encoding) {
    if (Bytes.size() >= 3 && Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return StrFromUtf8(std::string_view(Bytes).substr(3));
    size_t start = 0;
    if (Bytes.size() >= 2 && Bytes.compare(0, 2, "\xFF\xFE") == 0) {
        Encoding = TTextEncoding::Unicode;
        start = 2;
    }
    if (Encoding == TTextEncoding::UTF8) return StrFromUtf8(Bytes);
    String text;
    text.reserve((Bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < Bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<uint8_t>(Bytes[i]) |
                                             static_cast<uint8_t>(Bytes[i + 1]) << 8));
    return text;
}

} // namespace

void TStringList::LoadFromFile(const String& FileName, TTextEncoding Encoding) {
    std::ifstream in(FileSystemName(FileName), std::ios::binary);
    if (!in) throw EFOpenError(u"Cannot open file \"" + FileName + u"\"");
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw EFOpenError(u"Cannot read file \"" + FileName + u"\"");
    const String text = DecodeText(bytes, Encoding);
    FItems.clear();
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of(u"\r\n", start);
        if (end == String::npos) {
            FItems.push_back(text.substr(start));
            break;
        }
        FItems.push_back(text.substr(start, end - start));
        start = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
    }
}

void TStringList::SaveToFile(const String& FileName, TTextEncoding Encoding) const {
    String text;
    for (const String& item : FItems)
        text += item + u"\r\n";
    std::string bytes;
    if (Encoding == TTextEncoding::UTF8) {
        bytes = "\xEF\xBB\xBF" + Utf8FromStr(text);
    } else {
        bytes = "\xFF\xFE";
        for (char16_t c : text) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
    }
    TSafeFileStream file(FileName);
    file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    file.Commit();
}
