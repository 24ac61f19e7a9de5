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
    std::sort(paths.begin(), paths.end(), [](const String& A, const String& B) {
        return CompareFileNamesLogical(A, B) < 0;
    });
    return paths;
}
