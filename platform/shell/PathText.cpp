// The shell's path and size texts.
#include "platform/shell/PathText.h"

#include "platform/rtl/SysUtils.h"

#include <array>
#include <cmath>

String PathFindFileNameW(const String& Path) {
    String path = Path;
    // A trailing separator belongs to the folder: "/a/b/" names b.
    while (path.size() > 1 && path.back() == PathDelim)
        path.pop_back();
    const size_t slash = path.rfind(PathDelim);
    return slash == String::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

String StrFormatByteSizeW(int64_t Size) {
    if (Size < 1000) return IntToStr(Size < 0 ? 0 : Size) + u" bytes";
    static const std::array<const char16_t*, 4> units{u" KB", u" MB", u" GB", u" TB"};
    double value = static_cast<double>(Size);
    size_t unit = 0;
    value /= 1024;
    while (value >= 1000 && unit + 1 < units.size()) {
        value /= 1024;
        ++unit;
    }
    // Three significant digits, the rest cut off.
    const int decimals = value >= 100 ? 0 : value >= 10 ? 1 : 2;
    const double scale = std::pow(10.0, decimals);
    const int64_t digits = static_cast<int64_t>(std::floor(value * scale + 1e-9));
    String text = IntToStr(digits / static_cast<int64_t>(scale));
    if (decimals > 0) {
        String fraction = IntToStr(digits % static_cast<int64_t>(scale));
        while (static_cast<int>(fraction.size()) < decimals)
            fraction.insert(fraction.begin(), u'0');
        text += u"." + fraction;
    }
    return text + units[unit];
}
