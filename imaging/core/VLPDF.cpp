// PDF object model and file writer.
#include "imaging/core/VLPDF.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

AnsiString IntToStrA(int64_t Value) {
    return std::to_string(Value);
}

// The shortest text that reads back as Value (15 significant digits at most), with a point as
// decimal separator whatever the locale, and an exponent ("1E-5") for very small or very large
// values.
AnsiString FloatToStrDotA(double Value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), Value, std::chars_format::general, 15);
    AnsiString text(buffer, result.ptr);
    const size_t e = text.find('e');
    if (e == AnsiString::npos) return text;
    // "1e-05" -> "1E-5", "1.5e+20" -> "1.5E20".
    AnsiString exponent = text.substr(e + 1);
    const bool negative = exponent[0] == '-';
    exponent.erase(0, exponent.find_first_not_of("+-0"));
    return text.substr(0, e) + "E" + (negative ? "-" : "") + exponent;
}

// PDF has no exponent form: such values are written in plain decimals instead.
AnsiString PdfNumberText(double Value) {
    if (!std::isfinite(Value)) return "0";
    const AnsiString text = FloatToStrDotA(Value);
    if (text.find('E') == AnsiString::npos) return text;
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), Value, std::chars_format::fixed);
    return AnsiString(buffer, result.ptr);
}

constexpr std::string_view NameDelimiters = "#()<>[]{}/%";
constexpr char HexDigits[] = "0123456789ABCDEF";
// An xref entry holds its offset in ten digits.
constexpr int64_t MaxXrefOffset = 9999999999;

const char* StringEscape(char C) {
    switch (C) {
    case '\b':
        return "\\b";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\f':
        return "\\f";
    case '\r':
        return "\\r";
    case '(':
        return "\\(";
    case ')':
        return "\\)";
    case '\\':
        return "\\\\";
    default:
        return nullptr;
    }
}

void FreeUnlessShared(TVLPDFObject* Obj) {
    if (Obj != nullptr && !Obj->Shared) delete Obj;
}

TVLPDFObject* ObjectAt(const TList& Objects, int32_t Index) {
    return static_cast<TVLPDFObject*>(Objects.Get(Index));
}

// A missing value is written as the null object.
void WriteValue(TStream& Stream, TVLPDFObject* Value) {
    if (Value != nullptr)
        Value->WriteToStream(Stream);
    else
        WriteTextA(Stream, "null");
}

TVLPDFRefObject* RefTo(const TVLPDFObject& Obj) {
    return new TVLPDFRefObject(Obj.ObjectNumber, 0);
}

} // namespace

void TVLPDFObject::WriteToStream(TStream& Stream) {
    FilePosition = Stream.GetPosition();
    WriteBody(Stream);
}

void TVLPDFRefObject::WriteBody(TStream& Stream) {
    WriteTextA(Stream, IntToStrA(RefObjectNumber) + " " + IntToStrA(Generation) + " R");
}

void TVLPDFBooleanObject::WriteBody(TStream& Stream) {
    WriteTextA(Stream, Value ? "true" : "false");
}

void TVLPDFNumericObject::WriteBody(TStream& Stream) {
    WriteTextA(Stream, PdfNumberText(Value));
}

void TVLPDFStringObject::WriteBody(TStream& Stream) {
    AnsiString text = "(";
    for (const char c : Value) {
        const char* escape = StringEscape(c);
        if (escape != nullptr)
            text += escape;
        else
            text += c;
    }
    WriteTextA(Stream, text + ")");
}

void TVLPDFNameObject::WriteBody(TStream& Stream) {
    AnsiString text = "/";
    for (const char c : Name) {
        const auto b = static_cast<uint8_t>(c);
        // Besides the bytes outside the printable range, "#" and the delimiters are written as
        // hexadecimal codes: a reader would otherwise end the name there or misread it.
        if (b <= 32 || b > 126 || NameDelimiters.find(c) != std::string_view::npos) {
            text += '#';
            text += HexDigits[b >> 4];
            text += HexDigits[b & 15];
        } else {
            text += c;
        }
    }
    WriteTextA(Stream, text);
}

TVLPDFArrayObject::~TVLPDFArrayObject() {
    for (TVLPDFObject* item : FItems)
        FreeUnlessShared(item);
}

void TVLPDFArrayObject::AddItem(TVLPDFObject* Item) {
    FItems.push_back(Item);
}

TVLPDFObject* TVLPDFArrayObject::GetItem(int32_t Index) const {
    if (Index < 0 || Index >= GetCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    return FItems[Index];
}

void TVLPDFArrayObject::WriteBody(TStream& Stream) {
    WriteTextA(Stream, "[");
    for (TVLPDFObject* item : FItems) {
        WriteValue(Stream, item);
        WriteTextA(Stream, " ");
    }
    WriteTextA(Stream, "]");
}

TVLPDFDictionaryObject::~TVLPDFDictionaryObject() {
    for (auto& entry : FEntries)
        FreeUnlessShared(entry.second);
}

void TVLPDFDictionaryObject::CheckIndex(int32_t Index) const {
    if (Index < 0 || Index >= GetCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
}

void TVLPDFDictionaryObject::AddItem(const AnsiString& Key, TVLPDFObject* Value) {
    FEntries.emplace_back(Key, Value);
}

void TVLPDFDictionaryObject::InsertItem(int32_t Index, const AnsiString& Key, TVLPDFObject* Value) {
    if (Index < 0 || Index > GetCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    FEntries.emplace(FEntries.begin() + Index, Key, Value);
}

void TVLPDFDictionaryObject::SetItem(const AnsiString& Key, TVLPDFObject* Value) {
    const int32_t index = IndexOfKey(Key);
    if (index < 0) {
        AddItem(Key, Value);
        return;
    }
    if (FEntries[index].second != Value) FreeUnlessShared(FEntries[index].second);
    FEntries[index].second = Value;
}

TVLPDFObject* TVLPDFDictionaryObject::GetItem(const AnsiString& Key) const {
    const int32_t index = IndexOfKey(Key);
    return index < 0 ? nullptr : FEntries[index].second;
}

int32_t TVLPDFDictionaryObject::IndexOfKey(const AnsiString& Key) const {
    const auto it = std::find_if(FEntries.begin(), FEntries.end(),
                                 [&](const auto& entry) { return entry.first == Key; });
    return it == FEntries.end() ? -1 : static_cast<int32_t>(it - FEntries.begin());
}

const AnsiString& TVLPDFDictionaryObject::GetKey(int32_t Index) const {
    CheckIndex(Index);
    return FEntries[Index].first;
}

TVLPDFObject* TVLPDFDictionaryObject::GetValue(int32_t Index) const {
    CheckIndex(Index);
    return FEntries[Index].second;
}

void TVLPDFDictionaryObject::WriteBody(TStream& Stream) {
    WriteTextA(Stream, "<< ");
    for (auto& [key, value] : FEntries) {
        WriteTextA(Stream, "/" + key + " ");
        WriteValue(Stream, value);
        WriteLineA(Stream, "");
    }
    WriteTextA(Stream, ">>");
}

TVLPDFStreamObject::TVLPDFStreamObject() : FDictionary(std::make_unique<TVLPDFDictionaryObject>()) {
    FDictionary->AddItem("Length", new TVLPDFNumericObject(0));
}

TVLPDFStreamObject::TVLPDFStreamObject(const void* Data, int32_t Length) : TVLPDFStreamObject() {
    if (Data != nullptr && Length > 0) {
        const auto* bytes = static_cast<const uint8_t*>(Data);
        FData.assign(bytes, bytes + Length);
    }
}

void TVLPDFStreamObject::WriteBody(TStream& Stream) {
    FDictionary->SetItem("Length", new TVLPDFNumericObject(static_cast<double>(FData.size())));
    FDictionary->WriteToStream(Stream);
    WriteLineA(Stream, "");
    WriteLineA(Stream, "stream");
    if (!FData.empty()) Stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
    WriteLineA(Stream, "");
    WriteTextA(Stream, "endstream");
}

void AddPDFObject(TList& Objects, TVLPDFObject* Obj) {
    Objects.Add(Obj);
    Obj->ObjectNumber = Objects.Count();
}

void WritePDFHeader(TStream& Stream) {
    WriteLineA(Stream, "%PDF-1.4");
    // Bytes above 127 in a comment tell transfer programs that the file is binary.
    WriteLineA(Stream, "%\xC8\xD2\xF0\xFE");
}

void WritePDFObjects(TStream& Stream, const TList& Objects) {
    for (int32_t i = 0; i < Objects.Count(); ++i) {
        TVLPDFObject* obj = ObjectAt(Objects, i);
        const int64_t start = Stream.GetPosition();
        WriteLineA(Stream, IntToStrA(obj->ObjectNumber) + " 0 obj");
        obj->WriteToStream(Stream);
        WriteLineA(Stream, "");
        WriteLineA(Stream, "endobj");
        // WriteToStream recorded where the object's own text starts; the cross-reference
        // table needs the "obj" line.
        obj->FilePosition = start;
    }
}

void WritePDFXrefAndTrailer(TStream& Stream, const TList& Objects,
                            const TVLPDFDictionaryObject* Info) {
    const int64_t xref = Stream.GetPosition();
    const AnsiString size = IntToStrA(int64_t{Objects.Count()} + 1);
    WriteLineA(Stream, "xref");
    WriteLineA(Stream, "0 " + size);
    WriteLineA(Stream, "0000000000 65535 f ");
    for (int32_t i = 0; i < Objects.Count(); ++i) {
        const int64_t offset = ObjectAt(Objects, i)->FilePosition;
        if (offset < 0 || offset > MaxXrefOffset)
            throw EWriteError(u"PDF object offset does not fit the cross-reference table");
        WriteLineA(Stream, PadLeftA(IntToStrA(offset), 10, '0') + " 00000 n ");
    }
    WriteLineA(Stream, "trailer");
    WriteLineA(Stream, "<< /Size " + size);
    WriteLineA(Stream, "/Root 1 0 R");
    if (Info != nullptr) WriteLineA(Stream, "/Info " + IntToStrA(Info->ObjectNumber) + " 0 R");
    WriteLineA(Stream, ">>");
    WriteLineA(Stream, "startxref");
    WriteLineA(Stream, IntToStrA(xref));
    WriteLineA(Stream, "%%EOF");
}

TVLPDFDictionaryObject* CreatePDFCatalog(TList& Objects) {
    auto* catalog = new TVLPDFDictionaryObject();
    catalog->AddItem("Type", new TVLPDFNameObject("Catalog"));
    AddPDFObject(Objects, catalog);
    return catalog;
}

TVLPDFDictionaryObject* CreatePDFPages(TList& Objects, TList& Pages) {
    auto* tree = new TVLPDFDictionaryObject();
    AddPDFObject(Objects, tree);
    tree->AddItem("Type", new TVLPDFNameObject("Pages"));
    auto* kids = new TVLPDFArrayObject();
    tree->AddItem("Kids", kids);
    for (int32_t i = 0; i < Pages.Count(); ++i) {
        auto* page = static_cast<TVLPDFDictionaryObject*>(Pages.Get(i));
        kids->AddItem(RefTo(*page));
        page->SetItem("Parent", RefTo(*tree));
    }
    tree->AddItem("Count", new TVLPDFNumericObject(Pages.Count()));
    auto* catalog = dynamic_cast<TVLPDFDictionaryObject*>(ObjectAt(Objects, 0));
    if (catalog != nullptr && catalog != tree) catalog->SetItem("Pages", RefTo(*tree));
    return tree;
}

TVLPDFDictionaryObject* CreatePDFPage(TList& Objects, TList& Pages, TVLPDFObject* Resources,
                                      TVLPDFArrayObject* MediaBox, int32_t ContentsNumber) {
    auto* page = new TVLPDFDictionaryObject();
    page->AddItem("Type", new TVLPDFNameObject("Page"));
    if (Resources != nullptr) page->AddItem("Resources", RefTo(*Resources));
    if (MediaBox != nullptr) page->AddItem("MediaBox", MediaBox);
    page->AddItem("Contents", new TVLPDFRefObject(ContentsNumber, 0));
    AddPDFObject(Objects, page);
    Pages.Add(page);
    return page;
}

void WriteLineA(TStream& Stream, const AnsiString& Text) {
    WriteTextA(Stream, Text + "\n");
}

void WriteTextA(TStream& Stream, const AnsiString& Text) {
    if (!Text.empty()) Stream.WriteBuffer(Text.data(), static_cast<int64_t>(Text.size()));
}

AnsiString PadLeftA(const AnsiString& Text, int32_t Length, char Char) {
    if (static_cast<int64_t>(Text.size()) >= Length) return Text;
    return AnsiString(static_cast<size_t>(Length) - Text.size(), Char) + Text;
}
