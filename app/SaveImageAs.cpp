// Save As by extension, with the outcome checked before anything is reported.
#include "app/SaveImageAs.h"

#include "app/SVLangManager.h"
#include "imaging/io/VistrelIO.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TextUtils.h"
#include "platform/ui/Forms.h"

namespace {

// Shows the hourglass for its lifetime and then puts the screen's cursor back.
class THourGlass {
public:
    THourGlass() : FSaved(Screen->Cursor()) { Screen->SetCursor(crHourGlass); }
    ~THourGlass() { Screen->SetCursor(FSaved); }
    THourGlass(const THourGlass&) = delete;
    THourGlass& operator=(const THourGlass&) = delete;

private:
    TCursor FSaved;
};

String LastDotExtension(const String& FileName) {
    const size_t dot = FileName.find_last_of(u'.');
    const size_t slash = FileName.find_last_of(PathDelim);
    if (dot == String::npos || (slash != String::npos && dot < slash)) return {};
    return LowerCase(FileName.substr(dot));
}

} // namespace

String SaveFormatName(const String& FileName) {
    const String ext = LastDotExtension(FileName);
    if (ext == u".jpg" || ext == u".jpeg") return u"JPEG";
    if (ext == u".bmp") return u"BMP";
    if (ext == u".gif") return u"GIF";
    if (ext == u".png") return u"PNG";
    if (ext == u".tif" || ext == u".tiff") return u"TIFF";
    return {};
}

String ReplaceFirstPlaceholder(const String& Pattern, const String& Value) {
    const size_t at = Pattern.find(u"%s");
    if (at == String::npos) return Pattern;
    String text = Pattern;
    text.replace(at, 2, Value);
    return text;
}

TSaveAsResult SaveImageAs(TVistrelIO& IO, const String& FileName, int32_t& Quality,
                          const TAskQualityEvent& AskQuality) {
    TSaveAsResult result;
    const String format = SaveFormatName(FileName);
    if (format.empty()) {
        result.Error =
            ReplaceFirstPlaceholder(LangStr(u"SVSTR_SAVEFORMAT"), ExtractFileName(FileName));
        return result;
    }
    if (format == u"JPEG") {
        int32_t chosen = Quality;
        if (!AskQuality || !AskQuality(chosen)) return result;
        Quality = chosen;
        IO.IOParams().JpegQuality = chosen;
    }
    THourGlass hourGlass;
    String failure;
    try {
        if (format == u"JPEG")
            IO.SaveToFileJPEG(FileName);
        else if (format == u"BMP")
            IO.SaveToFileBMP(FileName);
        else if (format == u"GIF")
            IO.SaveToFileGIF(FileName);
        else if (format == u"PNG")
            IO.SaveToFilePNG(FileName);
        else
            IO.SaveToFileTIFF(FileName);
    } catch (const Exception& E) {
        failure = E.Message();
        IO.AbortingFlag = true;
    }
    if (IO.AbortingFlag) {
        result.Error = ReplaceFirstPlaceholder(LangStr(u"SVSTR_SAVEFAILED"), FileName);
        if (!failure.empty()) result.Error += u"\n" + failure;
        return result;
    }
    result.Saved = true;
    result.Message = ReplaceFirstPlaceholder(LangStr(u"SVSTR_SAVEDAS"), format);
    return result;
}
