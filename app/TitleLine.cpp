// Title and status line texts.
#include "app/TitleLine.h"

#include "platform/rtl/SysUtils.h"

#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <system_error>

namespace {

const String StatusSeparator = u" <c333333>|</c> ";

// The first of Candidates whose width is at most Room; Name when none fits.
String WidestFitting(std::initializer_list<String> Candidates, const String& Name,
                     const std::function<int32_t(const String&)>& Measure, int32_t Room) {
    for (const String& title : Candidates)
        if (Measure(title) <= Room) return title;
    return Name;
}

String Counter(int32_t Index, int32_t Count) {
    return u"<c999999>" + IntToStr(Index + 1) + u" / " + IntToStr(Count) + u"</c>" +
           StatusSeparator;
}

} // namespace

String TitleText(const String& Folder, const String& Name, int32_t Width, int32_t Height,
                 const String& Size, const std::function<int32_t(const String&)>& Measure,
                 int32_t Room) {
    const String pixels = IntToStr(Width) + u" x " + IntToStr(Height);
    return WidestFitting({Folder + u" - " + Name + u"   [" + pixels + u"  |  " + Size + u"]",
                          Name + u"   [" + pixels + u"  |  " + Size + u"]",
                          Name + u"   [" + pixels + u"]"},
                         Name, Measure, Room);
}

String UnreadTitleText(const String& Folder, const String& Name, const String& Size,
                       const std::function<int32_t(const String&)>& Measure, int32_t Room) {
    return WidestFitting(
        {Folder + u" - " + Name + u"   [" + Size + u"]", Name + u"   [" + Size + u"]"}, Name,
        Measure, Room);
}

String StatusText(int32_t Index, int32_t Count, double Zoom) {
    return Counter(Index, Count) + IntToStr(static_cast<int64_t>(std::trunc(Zoom))) + u" %" +
           StatusSeparator;
}

String UnreadStatusText(int32_t Index, int32_t Count, const String& Message) {
    return Counter(Index, Count) + Message;
}

int64_t GetFileSize64(const String& Path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(FileSystemName(Path), error);
    return error ? 0 : static_cast<int64_t>(size);
}
