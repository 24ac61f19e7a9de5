// PDF object model and file writer, the written file checked with qpdf where it is installed.
#include "imaging/core/VLPDF.h"

#include "tests/ExternalTool.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::string Text(TVLPDFObject& Obj) {
    TMemoryStream stream;
    Obj.WriteToStream(stream);
    return {static_cast<const char*>(stream.Memory()), static_cast<size_t>(stream.GetSize())};
}

std::string Text(TMemoryStream& Stream) {
    return {static_cast<const char*>(Stream.Memory()), static_cast<size_t>(Stream.GetSize())};
}

// The document list owns its indirect objects.
struct Document {
    TList Objects;
    TList Pages;
    ~Document() {
        for (int32_t i = 0; i < Objects.Count(); ++i)
            delete static_cast<TVLPDFObject*>(Objects.Get(i));
    }
};

const std::vector<uint8_t> ImagePixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

// Catalog, resources, a 2 x 2 RGB image, its content stream, the page, the page tree and the
// information dictionary, written the way the PDF codec builds a one-page document.
std::string OnePageDocument(Document& Doc) {
    CreatePDFCatalog(Doc.Objects);
    auto* resources = new TVLPDFDictionaryObject();
    AddPDFObject(Doc.Objects, resources);
    auto* image = new TVLPDFStreamObject(ImagePixels.data(), 12);
    image->Dictionary().InsertItem(0, "Type", new TVLPDFNameObject("XObject"));
    image->Dictionary().InsertItem(1, "Subtype", new TVLPDFNameObject("Image"));
    image->Dictionary().AddItem("ColorSpace", new TVLPDFNameObject("DeviceRGB"));
    image->Dictionary().AddItem("BitsPerComponent", new TVLPDFNumericObject(8));
    image->Dictionary().AddItem("Width", new TVLPDFNumericObject(2));
    image->Dictionary().AddItem("Height", new TVLPDFNumericObject(2));
    AddPDFObject(Doc.Objects, image);
    auto* xobjects = new TVLPDFDictionaryObject();
    xobjects->AddItem("lm1", new TVLPDFRefObject(image->ObjectNumber, 0));
    resources->AddItem("XObject", xobjects);
    const std::string drawing = "q\n595 0 0 595 0 247 cm\n/lm1 Do\nQ";
    auto* content = new TVLPDFStreamObject(drawing.data(), static_cast<int32_t>(drawing.size()));
    AddPDFObject(Doc.Objects, content);
    auto* box = new TVLPDFArrayObject();
    for (double v : {0.0, 0.0, 595.0, 842.0})
        box->AddItem(new TVLPDFNumericObject(v));
    CreatePDFPage(Doc.Objects, Doc.Pages, resources, box, content->ObjectNumber);
    CreatePDFPages(Doc.Objects, Doc.Pages);
    auto* info = new TVLPDFDictionaryObject();
    info->AddItem("Title", new TVLPDFStringObject("A (test) \\ title"));
    info->AddItem("CreationDate", new TVLPDFStringObject("D:20240102030405"));
    AddPDFObject(Doc.Objects, info);

    TMemoryStream stream;
    WritePDFHeader(stream);
    WritePDFObjects(stream, Doc.Objects);
    WritePDFXrefAndTrailer(stream, Doc.Objects, info);
    return Text(stream);
}

// A stream that only counts, as if it were written far into a very large file.
class TFarStream : public TStream {
public:
    explicit TFarStream(int64_t Start) : FPosition(Start) {}
    int32_t Read(void*, int32_t) override { return 0; }
    int32_t Write(const void*, int32_t Count) override {
        FPosition += Count;
        return Count;
    }
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
        if (Origin == soBeginning) FPosition = Offset;
        if (Origin == soCurrent) FPosition += Offset;
        return FPosition;
    }

private:
    int64_t FPosition;
};

} // namespace

TEST(VLPDFObjects, WriteTheirSyntax) {
    struct Case {
        std::unique_ptr<TVLPDFObject> object;
        std::string text;
    };
    std::vector<Case> cases;
    cases.push_back({std::make_unique<TVLPDFRefObject>(12, 0), "12 0 R"});
    cases.push_back({std::make_unique<TVLPDFBooleanObject>(true), "true"});
    cases.push_back({std::make_unique<TVLPDFBooleanObject>(false), "false"});
    cases.push_back({std::make_unique<TVLPDFNumericObject>(0.5), "0.5"});
    cases.push_back({std::make_unique<TVLPDFNumericObject>(595), "595"});
    cases.push_back({std::make_unique<TVLPDFNumericObject>(-1.25), "-1.25"});
    cases.push_back({std::make_unique<TVLPDFNumericObject>(1.0 / 3), "0.333333333333333"});
    cases.push_back({std::make_unique<TVLPDFNumericObject>(1e-7), "0.0000001"});
    cases.push_back({std::make_unique<TVLPDFNumericObject>(1e20), "100000000000000000000"});
    cases.push_back({std::make_unique<TVLPDFStringObject>("a(b)c\\"), "(a\\(b\\)c\\\\)"});
    cases.push_back(
        {std::make_unique<TVLPDFStringObject>("\b\t\n\f\r x\xE9"), "(\\b\\t\\n\\f\\r x\xE9)"});
    cases.push_back({std::make_unique<TVLPDFNameObject>("A B"), "/A#20B"});
    cases.push_back({std::make_unique<TVLPDFNameObject>("a#b/c\x7F\xE9"), "/a#23b#2Fc#7F#E9"});
    auto array = std::make_unique<TVLPDFArrayObject>();
    array->AddItem(new TVLPDFNumericObject(1));
    array->AddItem(new TVLPDFNameObject("X"));
    cases.push_back({std::move(array), "[1 /X ]"});
    auto dictionary = std::make_unique<TVLPDFDictionaryObject>();
    dictionary->AddItem("Count", new TVLPDFNumericObject(2));
    dictionary->InsertItem(0, "Type", new TVLPDFNameObject("Pages"));
    cases.push_back({std::move(dictionary), "<< /Type /Pages\n/Count 2\n>>"});
    for (Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Text(*c.object), c.text);
    }
}

TEST(VLPDFObjects, StreamWritesTheLengthOfItsData) {
    const std::vector<uint8_t> data(1000, 'z');
    TVLPDFStreamObject stream(data.data(), 1000);
    stream.Dictionary().SetItem("Length", new TVLPDFNumericObject(5));
    stream.Dictionary().AddItem("Filter", new TVLPDFNameObject("RunLengthDecode"));
    EXPECT_EQ(Text(stream), "<< /Length 1000\n/Filter /RunLengthDecode\n>>\nstream\n" +
                                std::string(1000, 'z') + "\nendstream");
    TVLPDFStreamObject empty;
    EXPECT_EQ(Text(empty), "<< /Length 0\n>>\nstream\n\nendstream");
}

TEST(VLPDFObjects, SharedChildrenAreNotFreedByTheirContainer) {
    auto shared = std::make_unique<TVLPDFNameObject>("Kept");
    shared->Shared = true;
    {
        TVLPDFArrayObject array;
        array.AddItem(shared.get());
        TVLPDFDictionaryObject dictionary;
        dictionary.AddItem("K", shared.get());
        dictionary.SetItem("K", new TVLPDFNumericObject(1));
    }
    EXPECT_EQ(Text(*shared), "/Kept");
}

TEST(VLPDFObjects, WriteToStreamRecordsWhereTheTextStarts) {
    TMemoryStream stream;
    WriteTextA(stream, "abc");
    TVLPDFBooleanObject value(true);
    value.WriteToStream(stream);
    EXPECT_EQ(value.FilePosition, 3);
    EXPECT_EQ(PadLeftA("42", 5, '0'), "00042");
    EXPECT_EQ(PadLeftA("123456", 5, '0'), "123456");
}

TEST(VLPDFFile, NumbersObjectsAndPointsTheCrossReferencesAtTheirObjLines) {
    Document doc;
    const std::string file = OnePageDocument(doc);
    ASSERT_EQ(doc.Objects.Count(), 7);
    for (int32_t i = 0; i < 7; ++i)
        EXPECT_EQ(static_cast<TVLPDFObject*>(doc.Objects.Get(i))->ObjectNumber, i + 1);
    EXPECT_EQ(file.substr(0, 15), "%PDF-1.4\n%\xC8\xD2\xF0\xFE\n");

    const size_t xref = file.rfind("xref\n0 8\n");
    ASSERT_NE(xref, std::string::npos);
    const size_t entries = xref + 9;
    EXPECT_EQ(file.substr(entries, 20), "0000000000 65535 f \n");
    for (int k = 1; k <= 7; ++k) {
        SCOPED_TRACE(k);
        const std::string entry = file.substr(entries + 20 * k, 20);
        ASSERT_EQ(entry.substr(10), " 00000 n \n");
        const size_t offset = std::stoul(entry.substr(0, 10));
        EXPECT_EQ(file.substr(offset, std::to_string(k).size() + 7),
                  std::to_string(k) + " 0 obj\n");
    }
    const std::string trailer = file.substr(entries + 20 * 8);
    EXPECT_EQ(trailer, "trailer\n<< /Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\nstartxref\n" +
                           std::to_string(xref) + "\n%%EOF\n");
    EXPECT_NE(file.find("1 0 obj\n<< /Type /Catalog\n/Pages 6 0 R\n>>\nendobj\n"),
              std::string::npos);
    EXPECT_NE(file.find("<< /Type /Pages\n/Kids [5 0 R ]\n/Count 1\n>>"), std::string::npos);
    EXPECT_NE(file.find("<< /Type /Page\n/Resources 2 0 R\n/MediaBox [0 0 595 842 ]\n"
                        "/Contents 4 0 R\n/Parent 6 0 R\n>>"),
              std::string::npos);
}

TEST(VLPDFFile, OffsetsBeyondTenDigitsAreRefused) {
    Document doc;
    CreatePDFCatalog(doc.Objects);
    TFarStream near(9999999000);
    WritePDFObjects(near, doc.Objects);
    EXPECT_EQ(static_cast<TVLPDFObject*>(doc.Objects.Get(0))->FilePosition, 9999999000);
    EXPECT_NO_THROW(WritePDFXrefAndTrailer(near, doc.Objects, nullptr));
    TFarStream far(10000000000);
    WritePDFObjects(far, doc.Objects);
    EXPECT_THROW(WritePDFXrefAndTrailer(far, doc.Objects, nullptr), EWriteError);
}

TEST(VLPDFTools, QpdfAcceptsTheDocument) {
    if (!ToolExists("qpdf")) SV_SKIP_WITHOUT_REFERENCE("qpdf missing");
    ScratchFolder scratch;
    Document doc;
    const std::string file = OnePageDocument(doc);
    scratch.Write("doc.pdf", {file.begin(), file.end()});
    const std::string path = scratch.File("doc.pdf");
    std::string output;
    EXPECT_TRUE(scratch.Run("qpdf --check " + path, output)) << output;
    EXPECT_NE(output.find("No syntax or stream encoding errors"), std::string::npos) << output;
    ASSERT_TRUE(scratch.Run("qpdf --show-npages " + path, output));
    EXPECT_EQ(output, "1\n");
    ASSERT_TRUE(scratch.Run("qpdf --show-object=3 --raw-stream-data " + path, output));
    EXPECT_EQ(output, std::string(ImagePixels.begin(), ImagePixels.end()));
    ASSERT_TRUE(scratch.Run("qpdf --show-object=7 " + path, output));
    EXPECT_NE(output.find("/Title (A \\(test\\) \\\\ title)"), std::string::npos) << output;
}
