// The process-wide registry of file formats and the progress record's reporting.
#include "imaging/io/VLFileFormats.h"

#include "imaging/io/VistrelIO.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace {

// Rows in registry order: the first match of every lookup is the earliest registered row.
// Built and freed by the single-threaded unit start-up and shut-down; only read in between.
std::vector<std::unique_ptr<TVLFileFormatInfo>> Registry;

struct TBuiltInRow {
    TVLFileFormatId FormatId;
    std::u16string_view DisplayName;
    std::u16string_view ExtensionList;
    TIOPreviewsPages DialogPages;
    bool Readable;
    bool Writable;
};

// The library's own rows, in registry order, and whether the format can be read and written.
constexpr std::array<TBuiltInRow, 24> BuiltInRows = {{
    {ffTIFF, u"TIFF Bitmap", u"TIF;TIFF;FAX;G3N;G3F;XIF", ipTIFF, true, true},
    {ffGIF, u"CompuServe Bitmap", u"GIF", ipGIF, true, true},
    {ffJPEG, u"JPEG Bitmap", u"JPG;JPEG;JPE;JIF", ipJPEG, true, true},
    {ffPCX, u"PaintBrush", u"PCX", ipPCX, true, true},
    {ffBMP, u"Windows Bitmap", u"BMP;DIB;RLE", ipBMP, true, true},
    {ffICO, u"Windows Icon", u"ICO", 0, true, true},
    {ffCUR, u"Windows Cursor", u"CUR", 0, true, false},
    {ffPNG, u"Portable Network Graphics", u"PNG", ipPNG, true, true},
    {ffDICOM, u"DICOM Bitmap", u"DCM;DIC;DICOM", 0, true, false},
    {ffWMF, u"Windows Metafile", u"WMF", 0, true, false},
    {ffEMF, u"Enhanced Windows Metafile", u"EMF", 0, true, false},
    {ffTGA, u"Targa Bitmap", u"TGA;TARGA;VDA;ICB;VST;PIX", ipTGA, true, true},
    {ffPXM, u"Portable Pixmap, GrayMap, BitMap", u"PXM;PPM;PGM;PBM", 0, true, true},
    {ffWBMP, u"Wireless Bitmap", u"WBMP", 0, true, true},
    {ffJP2, u"JPEG2000", u"JP2", ipJPEG2000, true, true},
    {ffJ2K, u"JPEG2000 Code Stream", u"J2K;JPC;J2C", ipJPEG2000, true, true},
    {ffPS, u"PostScript Level 2", u"PS;EPS", 0, false, true},
    {ffPDF, u"Adobe PDF", u"PDF", 0, false, true},
    {ffDCX, u"Multipage PCX", u"DCX", 0, true, true},
    {ffCameraRAW, u"Camera RAW", u"CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", 0, true,
     false},
    {ffPSD, u"Photoshop PSD", u"PSD", 0, true, true},
    {ffVect, u"Vectorial objects", u"VLV", 0, true, true},
    {ffLayers, u"Layers", u"LYR", 0, true, true},
    {ffLayersObjects, u"Layers and objects", u"ALL", 0, true, true},
}};

// The functions of the built-in rows. They only record that a format can be read or written:
// the I/O component reaches the built-in codecs by id, and format detection never learns a
// built-in format from a row's probe.
void PlaceholderReader(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressRecord&, bool) {}
void PlaceholderWriter(TStream&, TVLBitmap&, TIOParamsVals&, TVLProgressRecord&) {}
bool PlaceholderProbe(TStream&, TVLFileFormatId) {
    return false;
}

// The Index-th piece of a ";"-separated list: Index + 1 pieces are cut off the front and the
// last one is returned; empty when the list runs out first.
String ExtensionAt(std::u16string_view List, int32_t Index) {
    std::u16string_view rest = List, piece;
    for (int32_t i = 0; i <= Index; ++i) {
        if (rest.empty()) return String();
        const size_t cut = rest.find(u';');
        piece = rest.substr(0, cut);
        rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut + 1);
    }
    return String(piece);
}

// Pieces before the first empty one.
int32_t ExtensionCount(std::u16string_view List) {
    int32_t count = 0;
    while (!ExtensionAt(List, count).empty())
        ++count;
    return count;
}

String LowerCaseAscii(String Text) {
    for (char16_t& c : Text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return Text;
}

} // namespace

void TVLProgressRecord::ReportProgress() const {
    if (Handler) Handler(Sender, static_cast<int32_t>(Trunc(StepCount * PercentPerStep)));
}

void TVLProgressRecord::ReportPercent(int32_t Per) const {
    if (Handler) Handler(Sender, Per);
}

void TVLProgressRecord::Abort() const {
    if (AbortFlag != nullptr) *AbortFlag = true;
}

TVLFileFormatInfo* FindFileFormatInfo(TVLFileFormatId FormatId) {
    for (const auto& row : Registry)
        if (row->FormatId == FormatId) return row.get();
    return nullptr;
}

// The extensions of every row are taken by its id, so a row added with the id of an earlier row
// answers with the earlier row's list: it is found by neither its id nor its own extensions.
TVLFileFormatInfo* FindFileFormatInfoByExtension(const String& Ext) {
    String wanted = LowerCaseAscii(Ext);
    if (!wanted.empty() && wanted.front() == u'.') wanted.erase(0, 1);
    for (const auto& row : Registry) {
        const int32_t count = GetFileFormatExtensionCount(row->FormatId);
        for (int32_t i = 0; i < count; ++i) {
            String ext;
            GetFileFormatExtension(row->FormatId, i, ext);
            if (LowerCaseAscii(ext) == wanted) return row.get();
        }
    }
    return nullptr;
}

int32_t GetFileFormatExtensionCount(TVLFileFormatId FormatId) {
    const TVLFileFormatInfo* row = FindFileFormatInfo(FormatId);
    return row != nullptr ? ExtensionCount(row->ExtensionList) : 0;
}

void GetFileFormatExtension(TVLFileFormatId FormatId, int32_t Index, String& Ext) {
    const TVLFileFormatInfo* row = FindFileFormatInfo(FormatId);
    Ext = row != nullptr ? ExtensionAt(row->ExtensionList, Index) : String();
}

int32_t RegisterFileFormat(std::unique_ptr<TVLFileFormatInfo> Info) {
    Registry.push_back(std::move(Info));
    return static_cast<int32_t>(Registry.size()) - 1;
}

void UnregisterFileFormat(TVLFileFormatId FormatId) {
    const auto it = std::find_if(Registry.begin(), Registry.end(),
                                 [FormatId](const auto& row) { return row->FormatId == FormatId; });
    if (it != Registry.end()) Registry.erase(it);
}

int32_t GetFileFormatCount() {
    return static_cast<int32_t>(Registry.size());
}

TVLFileFormatInfo* GetFileFormatInfo(int32_t Index) {
    if (Index < 0 || Index >= GetFileFormatCount()) return nullptr;
    return Registry[Index].get();
}

void BuildFileFormatRegistry() {
    // A component is made and freed once at start-up, before any row exists: making one must
    // never depend on the registry.
    { TVistrelIO component(nullptr); }
    Registry.clear();
    for (const TBuiltInRow& built : BuiltInRows) {
        auto row = std::make_unique<TVLFileFormatInfo>();
        row->FormatId = built.FormatId;
        row->DisplayName = String(built.DisplayName);
        row->ExtensionList = String(built.ExtensionList);
        row->BuiltIn = true;
        row->DialogPages = built.DialogPages;
        if (built.Readable) row->Reader = PlaceholderReader;
        if (built.Writable) row->Writer = PlaceholderWriter;
        row->Probe = PlaceholderProbe;
        RegisterFileFormat(std::move(row));
    }
}

void FreeFileFormatRegistry() {
    Registry.clear();
}
