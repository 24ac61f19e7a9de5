// Folder browsing: listing and ordering a folder's pictures.
#include "app/Browsing.h"

#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TextUtils.h"
#include "platform/shell/LogicalCompare.h"
#include "platform/shell/PathText.h"

#include <algorithm>

const std::vector<String>& PictureExtensions() {
    static const std::vector<String> extensions{u".jpg", u".jpeg", u".png", u".bmp", u".gif",
                                                u".ico", u".tiff", u".tif", u".wmf", u".emf",
                                                u".psd", u".jp2",  u".j2k"};
    return extensions;
}

bool IsListedExtension(const std::vector<String>& Extensions, const String& Path) {
    const String extension = LowerCase(ExtractFileExt(Path));
    return !extension.empty() &&
           std::any_of(Extensions.begin(), Extensions.end(),
                       [&](const String& e) { return LowerCase(e) == extension; });
}

int32_t CompareFileNamesLogical(const String& Path1, const String& Path2) {
    const String name1 = PathFindFileNameW(Path1), name2 = PathFindFileNameW(Path2);
    if (const int32_t c = StrCmpLogicalW(name1, name2)) return c;
    return name1 < name2 ? -1 : name1 > name2 ? 1 : 0;
}

std::vector<String> ListPictureFiles(const String& Folder, const std::vector<String>& Extensions) {
    std::vector<String> paths;
    for (const String& name : FindFiles(Folder, Extensions))
        paths.push_back(IncludeTrailingPathDelimiter(Folder) + name);
    std::sort(paths.begin(), paths.end(),
              [](const String& A, const String& B) { return CompareFileNamesLogical(A, B) < 0; });
    return paths;
}

namespace {

// Path made absolute, without empty or "." components and without a trailing separator.
String NormalizedPath(const String& Path) {
    const String full = ExpandFileName(Path);
    String out;
    size_t start = 0;
    while (start <= full.size()) {
        size_t end = full.find(PathDelim, start);
        if (end == String::npos) end = full.size();
        const String part = full.substr(start, end - start);
        if (!part.empty() && part != u".") out += PathDelim + part;
        start = end + 1;
    }
    return out.empty() ? String(1, PathDelim) : out;
}

// The folder holding the file at Path (absolute), without a trailing separator.
String FolderOf(const String& Path) {
    const String folder = ExtractFilePath(Path);
    return folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder;
}

// The entry of Files naming Path: the same name first, else one differing only in case.
int32_t IndexOfPath(const std::vector<String>& Files, const String& Path) {
    const auto exact = std::find(Files.begin(), Files.end(), Path);
    if (exact != Files.end()) return static_cast<int32_t>(exact - Files.begin());
    const String wanted = LowerCase(Path);
    for (size_t i = 0; i < Files.size(); ++i)
        if (LowerCase(Files[i]) == wanted) return static_cast<int32_t>(i);
    return -1;
}

// The first index from From, moving by Delta, whose file still exists; -1 when none.
int32_t ExistingFrom(const std::vector<String>& Files, int32_t From, int32_t Delta) {
    for (int32_t i = From; i >= 0 && i < static_cast<int32_t>(Files.size()); i += Delta)
        if (FileExists(Files[i])) return i;
    return -1;
}

} // namespace

std::optional<TFolderListing> ListOpenPath(const String& Path,
                                           const std::vector<String>& Extensions) {
    if (Path.empty()) return std::nullopt;
    const String path = NormalizedPath(Path);
    const bool folder = DirectoryExists(path);
    if (!folder && !FileExists(path)) return std::nullopt;
    TFolderListing listing;
    listing.Folder = folder ? path : FolderOf(path);
    listing.Files = ListPictureFiles(listing.Folder, Extensions);
    if (listing.Files.empty()) return listing;
    listing.Index = folder ? 0 : std::max(IndexOfPath(listing.Files, path), 0);
    return listing;
}

TStepTarget StepTarget(const std::vector<String>& Files, int32_t CurrentIndex, TBrowseStep Step) {
    const int32_t count = static_cast<int32_t>(Files.size());
    if (count == 0) return {};
    switch (Step) {
    case TBrowseStep::First:
        return {ExistingFrom(Files, 0, 1)};
    case TBrowseStep::Last:
        return {ExistingFrom(Files, count - 1, -1)};
    case TBrowseStep::Previous: {
        const int32_t index = CurrentIndex < 1 ? -1 : ExistingFrom(Files, CurrentIndex - 1, -1);
        if (index < 0) return {-1, TBrowseNotice::First};
        return {index};
    }
    case TBrowseStep::Next: {
        const int32_t index =
            CurrentIndex >= count - 1 ? -1 : ExistingFrom(Files, std::max(CurrentIndex + 1, 0), 1);
        if (index < 0) return {-1, TBrowseNotice::Last};
        return {index};
    }
    }
    return {};
}

String OpenDialogFilter(const std::vector<String>& Extensions) {
    String patterns;
    for (const String& extension : Extensions)
        patterns += (patterns.empty() ? u"*" : u";*") + extension;
    return u"All Images (" + patterns + u")|" + patterns;
}

std::optional<String> DroppedPath(const std::vector<String>& Files,
                                  const std::vector<String>& Extensions) {
    if (Files.empty() || DirectoryExists(Files.front()) ||
        !IsListedExtension(Extensions, Files.front()))
        return std::nullopt;
    return Files.front();
}

TWheelAction WheelAction(TShiftState Shift, bool WheelUp) {
    constexpr TShiftState Held = ssShift | ssAlt | ssCtrl | ssLeft | ssRight | ssMiddle;
    if ((Shift & Held) == 0) return WheelUp ? TWheelAction::PreviousImage : TWheelAction::NextImage;
    if ((Shift & ssCtrl) != 0) return WheelUp ? TWheelAction::ZoomIn : TWheelAction::ZoomOut;
    return TWheelAction::None;
}
