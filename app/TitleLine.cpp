// Title and status line texts.
#include "app/TitleLine.h"

#include "platform/rtl/SysUtils.h"

#include <cmath>
#include <filesystem>
#include <system_error>

String TitleText(const String& Folder, const String& Name, int32_t Width, int32_t Height,
                 const String& Size, const std::function<int32_t(const String&)>& Measure,
                 int32_t Room) {
    const String pixels = IntToStr(Width) + u" x " + IntToStr(Height);
    const String candidates[] = {
        Folder + u" - " + Name + u"   [" + pixels + u"  |  " + Size + u"]",
        Name + u"   [" + pixels + u"  |  " + Size + u"]",
        Name + u"   [" + pixels + u"]",
    };
    for (const String& title : candidates)
        if (Measure(title) <= Room) return title;
    return Name;
}

String StatusText(int32_t Index, int32_t Count, double Zoom) {
    const String bar = u" <c333333>|</c> ";
    return u"<c999999>" + IntToStr(Index + 1) + u" / " + IntToStr(Count) + u"</c>" + bar +
           IntToStr(static_cast<int64_t>(std::trunc(Zoom))) + u" %" + bar;
}

int64_t GetFileSize64(const String& Path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(FileSystemName(Path), error);
    return error ? 0 : static_cast<int64_t>(size);
}
