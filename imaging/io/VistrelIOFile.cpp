// Loading by file name, extension or content, and saving by extension; every file save
// replaces its target only with a complete new file.
#include "imaging/io/VistrelIOFile.h"

#include "imaging/core/VLStreams.h"
#include "imaging/core/VLWindowHelpers.h"
#include "imaging/io/VLIOThread.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/io/VistrelIOStream.h"
#include "imaging/view/VistrelView.h"
#include "platform/rtl/SafeFile.h"

#include <algorithm>
#include <cctype>

namespace {

struct TSaverExtensions {
    const char* Extensions;
    TVLFileFormatId FormatId;
};

// In the order they are tested; each list is ";"-separated and ends with ";".
constexpr TSaverExtensions SaverTable[] = {
    {"jpg;jpeg;jpe;jif;", ffJPEG}, {"jp2;", ffJP2},
    {"j2k;jpc;j2c;", ffJ2K},       {"pcx;", ffPCX},
    {"dcx;", ffDCX},               {"gif;", ffGIF},
    {"tif;tiff;fax;g3f;g3n;", ffTIFF}, {"png;", ffPNG},
    {"bmp;dib;rle;", ffBMP},       {"tga;targa;vda;icb;vst;win;", ffTGA},
    {"pxm;pbm;pgm;ppm;", ffPXM},   {"ico;", ffICO},
    {"wbmp;", ffWBMP},             {"ps;eps;", ffPS},
    {"pdf;", ffPDF},               {"psd;", ffPSD},
};

std::string LowerAscii(const String& Ext) {
    std::string text;
    for (char16_t c : Ext)
        text.push_back(c < 128 ? static_cast<char>(std::tolower(static_cast<int>(c))) : '?');
    if (!text.empty() && text[0] == '.') text.erase(0, 1);
    return text;
}

} // namespace

TVLFileFormatId SaverFormatOfExtension(const String& Ext) {
    const std::string ext = LowerAscii(Ext);
    if (ext.empty()) return 0;
    const std::string key = ext + ";";
    for (const TSaverExtensions& entry : SaverTable) {
        const std::string list = entry.Extensions;
        for (size_t at = 0; (at = list.find(key, at)) != std::string::npos; at += key.size())
            if (at == 0 || list[at - 1] == ';') return entry.FormatId;
    }
    const TVLFileFormatInfo* row = FindFileFormatInfoByExtension(Ext);
    return row != nullptr && row->BuiltIn ? row->FormatId : 0;
}

// ---- Loading --------------------------------------------------------------------------------

void TVistrelIO::LoadFileById(const String& FileName, TVLFileFormatId FormatId) {
    switch (FormatId) {
    case ffTIFF: LoadFromFileTIFF(FileName); break;
    case ffJPEG: LoadFromFileJPEG(FileName); break;
    case ffPNG: LoadFromFilePNG(FileName); break;
    case ffBMP: LoadFromFileBMP(FileName); break;
    case ffGIF: LoadFromFileGIF(FileName); break;
    case ffJP2: LoadFromFileJP2(FileName); break;
    case ffJ2K: LoadFromFileJ2K(FileName); break;
    case ffPXM: LoadFromFilePNM(FileName); break;
    case ffWBMP: LoadFromFileWBMP(FileName); break;
    case ffPSD: LoadFromFilePSD(FileName); break;
    case ffPCX: LoadFromFilePCX(FileName); break;
    case ffDCX: LoadFromFileDCX(FileName); break;
    case ffTGA: LoadFromFileTGA(FileName); break;
    case ffWMF:
    case ffEMF: ImportMetafile(FileName, -1, -1, true); break;
    case ffICO: LoadFromFileICO(FileName); break;
    case ffCUR: LoadFromFileCUR(FileName); break;
    case ffVect:
    case ffLayers:
    case ffLayersObjects: LoadFromFileLayersObjects(FileName, FormatId); break;
    // Formats whose file reader is not built in.
    default: RefuseFormat(); break;
    }
}

void TVistrelIO::LoadFileWithRow(const String& FileName, TVLFileFormatInfo& Row,
                                 bool ReaderFailureAborts) {
    FIOParams->ResetInfo();
    FIOParams->FileName.clear();
    FIOParams->FileType = 0;
    if (Row.Reader == nullptr) {
        RefuseFormat();
        return;
    }
    AbortingFlag = true;
    TVLProgressRecord progress = MakeProgressRecord();
    if (!CheckWorkingBitmap()) {
        DoFinishWork();
        return;
    }
    TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    try {
        AbortingFlag = false;
        FIOParams->FileName = FileName;
        FIOParams->FileType = Row.FormatId;
        try {
            Row.Reader(file, *FBitmap, *FIOParams, progress, false);
        } catch (const Exception&) {
            if (!ReaderFailureAborts) throw;
            AbortingFlag = true;
        }
        if (!AbortingFlag) {
            if (AutoAdjustDPI) AdjustDPI();
            ApplyDPIToView(FIOParams->DpiX, FIOParams->DpiY);
        }
        UpdateAttached();
    } catch (...) {
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::LoadFromFile(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFile, FileName)) return;
    if (FBitmap == nullptr) return;
    if (FileName.empty()) {
        RefuseFormat();
        return;
    }
    if (GetURLType(FileName) != 0) {
        LoadFromURL(FileName);
        return;
    }
    // AVI files need a reader that is not built in.
    const String ext = GetFileExtensionW(FileName, true);
    if (ext == u".avi") {
        RefuseFormat();
        return;
    }
    TVLFileFormatInfo* row = FindFileFormatInfoByExtension(ext);
    if (row == nullptr) {
        RefuseFormat();
        return;
    }
    if (row->BuiltIn)
        LoadFileById(FileName, row->FormatId);
    else
        LoadFileWithRow(FileName, *row, true);
}

void TVistrelIO::LoadFromFileFormat(const String& FileName, TVLFileFormatId FormatId) {
    if (Reissued(&TVistrelIO::LoadFromFileFormat, FileName, FormatId)) return;
    TVLFileFormatInfo* row = FindFileFormatInfo(FormatId);
    if (row == nullptr) return;
    if (!row->BuiltIn)
        LoadFileWithRow(FileName, *row, false);
    else if (FormatId == ffPS || FormatId == ffPDF) // write-only: the extension decides
        LoadFromFile(FileName);
    else
        LoadFileById(FileName, FormatId);
}

void TVistrelIO::LoadFromFileAuto(const String& FileName) {
    if (Reissued(&TVistrelIO::LoadFromFileAuto, FileName)) return;
    const TVLFileFormatId id = DetectFileFormat(FileName, false);
    if (id != 0)
        LoadFromFileFormat(FileName, id);
    else
        LoadFromFile(FileName);
}

// ---- Saving ---------------------------------------------------------------------------------

void TVistrelIO::SaveFileLayers(const String& FileName) {
    auto* view = dynamic_cast<TVistrelView*>(FAttachedVistrel);
    if (view == nullptr) {
        RefuseFormat();
        return;
    }
    try {
        AbortingFlag = true;
        TSafeFileStream file(FileName);
        view->SaveLayersToStream(file, -1);
        file.Commit();
        AbortingFlag = false;
        FIOParams->FileName = FileName;
        FIOParams->FileType = ffLayers;
    } catch (...) {
        AbortingFlag = true;
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::SaveFileWithRow(const String& FileName, TVLFileFormatInfo& Row) {
    TVLFormatWriter writer = Row.Writer;
    FileSaver(FileName, Row.FormatId, {TVLPixelFormat::vl24RGB, TVLPixelFormat::vl1g},
              [this, writer](TStream& Stream, TVLBitmap& Bitmap, TVLProgressRecord& Progress) {
                  writer(Stream, Bitmap, *FIOParams, Progress);
              });
}

void TVistrelIO::SaveToFile(const String& FileName) {
    if (Reissued(&TVistrelIO::SaveToFile, FileName)) return;
    if (FileName.empty()) return;
    const String ext = GetFileExtensionW(FileName, true);
    const TVLFileFormatId id = SaverFormatOfExtension(ext);
    switch (id) {
    case 0: {
        // A row registered at run time; without one, or without its writer, the save is
        // refused before anything is created.
        TVLFileFormatInfo* row = FindFileFormatInfoByExtension(ext);
        if (row == nullptr || row->Writer == nullptr)
            AbortingFlag = true;
        else
            SaveFileWithRow(FileName, *row);
        break;
    }
    case ffJPEG: SaveToFileJPEG(FileName); break;
    case ffTIFF: SaveToFileTIFF(FileName); break;
    case ffPNG: SaveToFilePNG(FileName); break;
    case ffBMP: SaveToFileBMP(FileName); break;
    case ffGIF: SaveToFileGIF(FileName); break;
    case ffJP2: SaveToFileJP2(FileName); break;
    case ffJ2K: SaveToFileJ2K(FileName); break;
    case ffPXM: SaveToFilePNM(FileName); break;
    case ffWBMP: SaveToFileWBMP(FileName); break;
    case ffPSD: SaveToFilePSD(FileName); break;
    case ffPS: SaveToFilePS(FileName); break;
    case ffPDF: SaveToFilePDF(FileName); break;
    case ffPCX: SaveToFilePCX(FileName); break;
    case ffDCX: SaveToFileDCX(FileName); break;
    case ffTGA: SaveToFileTGA(FileName); break;
    case ffICO: SaveToFileICO(FileName); break;
    case ffLayers: SaveFileLayers(FileName); break;
    // Formats whose writer is not built in: nothing is created.
    default: RefuseFormat(); break;
    }
}
