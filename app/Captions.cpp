// Picture captions: the caption file of the open folder and the caption edit.
#include "app/Captions.h"

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TextUtils.h"
#include "platform/shell/PathText.h"

#include <algorithm>
#include <string_view>

namespace {

const std::string_view Utf8Mark = "\xEF\xBB\xBF";
const std::string_view Utf16Mark = "\xFF\xFE";

// True when Bytes is well-formed UTF-8: every sequence complete, in its shortest form, no
// surrogate and nothing above U+10FFFF.
bool IsUtf8(std::string_view Bytes) {
    size_t i = 0;
    while (i < Bytes.size()) {
        const auto lead = static_cast<uint8_t>(Bytes[i]);
        size_t tail = 0;
        uint32_t code = 0, least = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            tail = 1, code = lead & 0x1Fu, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            tail = 2, code = lead & 0x0Fu, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            tail = 3, code = lead & 0x07u, least = 0x10000;
        } else {
            return false;
        }
        if (Bytes.size() - i <= tail) return false;
        for (size_t k = 1; k <= tail; ++k) {
            const auto next = static_cast<uint8_t>(Bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3Fu);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += tail + 1;
    }
    return true;
}

std::string ReadFileBytes(const String& FileName) {
    TFileStream in(FileName, fmOpenRead);
    std::string bytes(static_cast<size_t>(in.GetSize()), '\0');
    in.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return bytes;
}

} // namespace

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
        ReadCaptionFile(fileName);
        return true;
    } catch (const Exception&) {
        FLines.Clear();
        FBytes.clear();
        FReadOnly = true;
        return false;
    }
}

void TCaptions::ReadCaptionFile(const String& FileName) {
    const std::string bytes = ReadFileBytes(FileName);
    std::string_view text = bytes;
    if (text.starts_with(Utf16Mark)) {
        FLines.LoadFromFile(FileName, TTextEncoding::UTF8);
        FBytes.assign(static_cast<size_t>(FLines.Count()), std::nullopt);
        FHadMark = true;
        return;
    }
    FHadMark = text.starts_with(Utf8Mark);
    if (FHadMark) text.remove_prefix(Utf8Mark.size());
    // Lines end with CR LF, LF or CR.
    while (!text.empty()) {
        const size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        if (IsUtf8(line)) {
            AddLine(StrFromUtf8(line));
        } else {
            FLines.Add(StrFromWindows1252(line));
            FBytes.emplace_back(line);
        }
        size_t next = end;
        if (next < text.size()) next += text.compare(next, 2, "\r\n") == 0 ? 2 : 1;
        text.remove_prefix(next);
    }
}

void TCaptions::Clear() {
    EndEdit();
    FFolder.clear();
    FLines.Clear();
    FBytes.clear();
    FHadMark = false;
    FReadOnly = false;
}

void TCaptions::SaveCaptions() const {
    if (FFolder.empty() || FReadOnly) return;
    const String fileName = CaptionFileName(FFolder);
    if (FLines.Count() == 0) {
        if (FileExists(fileName)) DeleteFile(fileName);
        return;
    }
    // A file that still holds lines of another code page gets no mark that would call it UTF-8.
    const bool singleByte = std::any_of(FBytes.begin(), FBytes.end(),
                                        [](const auto& Bytes) { return Bytes.has_value(); });
    std::string bytes(FHadMark || !singleByte ? Utf8Mark : std::string_view());
    for (int32_t i = 0; i < FLines.Count(); ++i) {
        const auto& kept = FBytes[static_cast<size_t>(i)];
        bytes += kept ? *kept : Utf8FromStr(FLines[i]);
        bytes += "\r\n";
    }
    TSafeFileStream file(fileName);
    file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    file.Commit();
}

void TCaptions::AddLine(const String& Line) {
    FLines.Add(Line);
    FBytes.emplace_back(std::nullopt);
}

void TCaptions::PutLine(int32_t Index, const String& Line) {
    FLines.Put(Index, Line);
    FBytes[static_cast<size_t>(Index)].reset();
}

void TCaptions::DeleteLine(int32_t Index) {
    FLines.Delete(Index);
    FBytes.erase(FBytes.begin() + Index);
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
        AddLine(name + u"=" + text);
    else if (text.empty()) {
        DeleteLine(index);
        label.reset();
    } else
        PutLine(index, name + u"=" + text);
    SaveCaptions();
    return label;
}

void TCaptions::RemoveCaption(const String& Path) {
    if (FReadOnly || !InFolder(Path)) return;
    const int32_t index = IndexOfCaption(FLines, PathFindFileNameW(Path));
    if (index < 0) return;
    DeleteLine(index);
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
