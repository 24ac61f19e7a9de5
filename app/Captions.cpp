// Picture captions: the caption file of the open folder and the caption edit.
#include "app/Captions.h"

#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TextUtils.h"
#include "platform/shell/PathText.h"

String CaptionFileName(const String& Folder) {
    return IncludeTrailingPathDelimiter(Folder) + u".description";
}

int32_t IndexOfCaption(const TStringList& Lines, const String& FileName) {
    const String prefix = LowerCase(FileName) + u"=";
    for (int32_t i = 0; i < Lines.Count(); ++i)
        if (LowerCase(Lines[i].substr(0, prefix.size())) == prefix) return i;
    return -1;
}

bool TCaptions::LoadCaptions(const String& Folder) {
    Clear();
    if (Folder.empty()) return true;
    FFolder = Folder;
    const String fileName = CaptionFileName(Folder);
    if (DirectoryExists(fileName)) {
        FReadOnly = true;
        return false;
    }
    if (!FileExists(fileName)) return true;
    try {
        FLines.LoadFromFile(fileName, TTextEncoding::UTF8);
        return true;
    } catch (const Exception&) {
        FLines.Clear();
        FReadOnly = true;
        return false;
    }
}

void TCaptions::Clear() {
    EndEdit();
    FFolder.clear();
    FLines.Clear();
    FReadOnly = false;
}

void TCaptions::SaveCaptions() const {
    if (FFolder.empty() || FReadOnly) return;
    const String fileName = CaptionFileName(FFolder);
    if (FLines.Count() > 0)
        FLines.SaveToFile(fileName, TTextEncoding::UTF8);
    else if (FileExists(fileName))
        DeleteFile(fileName);
}

std::optional<String> TCaptions::CaptionOf(const String& Path) const {
    if (!InFolder(Path)) return std::nullopt;
    const int32_t index = IndexOfCaption(FLines, PathFindFileNameW(Path));
    if (index < 0) return std::nullopt;
    return FLines[index].substr(PathFindFileNameW(Path).size() + 1);
}

bool TCaptions::BeginCaptionEdit(const String& Path) {
    if (Path.empty() || FEditing) return false;
    FEditing = true;
    FEditCancelled = false;
    FEditPath = Path;
    return true;
}

std::optional<String> TCaptions::CommitCaptionEdit(const String& Text) {
    if (!FEditing) return std::nullopt;
    const String path = FEditPath;
    const bool cancelled = FEditCancelled;
    EndEdit();
    if (cancelled || FReadOnly || !InFolder(path)) return std::nullopt;

    // A line break in the text would start a line of its own in the file.
    String text = Text;
    for (char16_t& c : text)
        if (c == u'\r' || c == u'\n') c = u' ';
    const String name = PathFindFileNameW(path);
    const int32_t index = IndexOfCaption(FLines, name);
    std::optional<String> label = text;
    if (index < 0)
        FLines.Add(name + u"=" + text);
    else if (text.empty()) {
        FLines.Delete(index);
        label.reset();
    } else
        FLines.Put(index, name + u"=" + text);
    SaveCaptions();
    return label;
}

void TCaptions::RemoveCaption(const String& Path) {
    if (FReadOnly || !InFolder(Path)) return;
    const int32_t index = IndexOfCaption(FLines, PathFindFileNameW(Path));
    if (index < 0) return;
    FLines.Delete(index);
    SaveCaptions();
}

bool TCaptions::InFolder(const String& Path) const {
    return !FFolder.empty() && ExtractFilePath(Path) == IncludeTrailingPathDelimiter(FFolder);
}

void TCaptions::EndEdit() {
    FEditing = false;
    FEditCancelled = false;
    FEditPath.clear();
}
