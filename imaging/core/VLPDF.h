// A minimal PDF object model and the file structure around it: header, numbered objects,
// cross-reference table and trailer, catalog, page tree and pages. All output is single-byte text.
#pragma once

#include "platform/rtl/Classes.h"

#include <memory>
#include <utility>
#include <vector>

// An object that writes itself in PDF syntax. Containers own their direct children and free
// those whose Shared flag is false.
class TVLPDFObject : public TObject {
public:
    // Number in the document's list of indirect objects; 0 until registered.
    int32_t ObjectNumber = 0;
    // Where the object was last written: the start of its text, or of its "obj" line when it
    // was written as an indirect object.
    int64_t FilePosition = 0;
    bool Shared = false;

    void WriteToStream(TStream& Stream);

protected:
    virtual void WriteBody(TStream& Stream) = 0;
};

// "number generation R".
class TVLPDFRefObject : public TVLPDFObject {
public:
    TVLPDFRefObject(int32_t ObjectNumber, int32_t Generation)
        : RefObjectNumber(ObjectNumber), Generation(Generation) {}
    int32_t RefObjectNumber;
    int32_t Generation;

protected:
    void WriteBody(TStream& Stream) override;
};

class TVLPDFBooleanObject : public TVLPDFObject {
public:
    explicit TVLPDFBooleanObject(bool Value) : Value(Value) {}
    bool Value;

protected:
    void WriteBody(TStream& Stream) override;
};

// A number with a point as decimal separator, never in exponent form.
class TVLPDFNumericObject : public TVLPDFObject {
public:
    explicit TVLPDFNumericObject(double Value) : Value(Value) {}
    double Value;

protected:
    void WriteBody(TStream& Stream) override;
};

// A literal string in parentheses with its special bytes escaped.
class TVLPDFStringObject : public TVLPDFObject {
public:
    explicit TVLPDFStringObject(AnsiString Value) : Value(std::move(Value)) {}
    AnsiString Value;

protected:
    void WriteBody(TStream& Stream) override;
};

// "/Name" with blanks, control bytes, bytes above 126, "#" and the delimiters as "#XX".
class TVLPDFNameObject : public TVLPDFObject {
public:
    explicit TVLPDFNameObject(AnsiString Name) : Name(std::move(Name)) {}
    AnsiString Name;

protected:
    void WriteBody(TStream& Stream) override;
};

class TVLPDFArrayObject : public TVLPDFObject {
public:
    TVLPDFArrayObject() = default;
    ~TVLPDFArrayObject() override;
    TVLPDFArrayObject(const TVLPDFArrayObject&) = delete;
    TVLPDFArrayObject& operator=(const TVLPDFArrayObject&) = delete;

    // Appends Item and takes ownership of it unless it is Shared.
    void AddItem(TVLPDFObject* Item);
    int32_t GetCount() const { return static_cast<int32_t>(FItems.size()); }
    TVLPDFObject* GetItem(int32_t Index) const;

protected:
    void WriteBody(TStream& Stream) override;

private:
    std::vector<TVLPDFObject*> FItems;
};

// Entries in insertion order; values are owned unless Shared.
class TVLPDFDictionaryObject : public TVLPDFObject {
public:
    TVLPDFDictionaryObject() = default;
    ~TVLPDFDictionaryObject() override;
    TVLPDFDictionaryObject(const TVLPDFDictionaryObject&) = delete;
    TVLPDFDictionaryObject& operator=(const TVLPDFDictionaryObject&) = delete;

    void AddItem(const AnsiString& Key, TVLPDFObject* Value);
    void InsertItem(int32_t Index, const AnsiString& Key, TVLPDFObject* Value);
    // Replaces the value of Key (freeing the old one unless Shared), or appends the entry.
    void SetItem(const AnsiString& Key, TVLPDFObject* Value);
    // The value of Key, nil when absent.
    TVLPDFObject* GetItem(const AnsiString& Key) const;
    int32_t IndexOfKey(const AnsiString& Key) const;
    int32_t GetCount() const { return static_cast<int32_t>(FEntries.size()); }
    const AnsiString& GetKey(int32_t Index) const;
    TVLPDFObject* GetValue(int32_t Index) const;

protected:
    void WriteBody(TStream& Stream) override;

private:
    void CheckIndex(int32_t Index) const;
    std::vector<std::pair<AnsiString, TVLPDFObject*>> FEntries;
};

// A stream: its dictionary (written with a Length entry of the data's size), then its data.
class TVLPDFStreamObject : public TVLPDFObject {
public:
    TVLPDFStreamObject();
    // A private copy of Length bytes of Data.
    TVLPDFStreamObject(const void* Data, int32_t Length);

    std::vector<uint8_t>& Data() { return FData; }
    TVLPDFDictionaryObject& Dictionary() { return *FDictionary; }

protected:
    void WriteBody(TStream& Stream) override;

private:
    std::vector<uint8_t> FData;
    std::unique_ptr<TVLPDFDictionaryObject> FDictionary;
};

// Appends Obj to the document's indirect objects (a TList of TVLPDFObject*) and numbers it with
// the new count, so that numbers start at 1.
void AddPDFObject(TList& Objects, TVLPDFObject* Obj);

void WritePDFHeader(TStream& Stream);
// Every registered object as "n 0 obj", its text, "endobj"; each object's FilePosition becomes
// the offset of its "obj" line.
void WritePDFObjects(TStream& Stream, const TList& Objects);
// The cross-reference table of 20-byte entries and the trailer. Raises EWriteError when an
// offset does not fit the table's ten digits.
void WritePDFXrefAndTrailer(TStream& Stream, const TList& Objects,
                            const TVLPDFDictionaryObject* Info);

// The catalog, registered first so that it is object 1.
TVLPDFDictionaryObject* CreatePDFCatalog(TList& Objects);
// The page tree over Pages (a TList of page dictionaries): registers it, links every page to
// it and makes the catalog (object 1) point to it.
TVLPDFDictionaryObject* CreatePDFPages(TList& Objects, TList& Pages);
// A page with the given resources (an indirect object, or nil), media box (owned by the page
// from then on) and content stream number; registered and appended to Pages.
TVLPDFDictionaryObject* CreatePDFPage(TList& Objects, TList& Pages, TVLPDFObject* Resources,
                                      TVLPDFArrayObject* MediaBox, int32_t ContentsNumber);

void WriteLineA(TStream& Stream, const AnsiString& Text);
void WriteTextA(TStream& Stream, const AnsiString& Text);
// Text with Char put in front until it is Length characters long.
AnsiString PadLeftA(const AnsiString& Text, int32_t Length, char Char);
