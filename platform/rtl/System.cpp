// Base object, string conversions and rounding.
#include "platform/rtl/System.h"

#include <cmath>

String StrFromUtf8(std::string_view Text) {
    String out;
    out.reserve(Text.size());
    size_t i = 0;
    while (i < Text.size()) {
        const auto c = static_cast<unsigned char>(Text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 0x6) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c >> 4) == 0xE) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c >> 3) == 0x1E) {
            len = 4;
            cp = c & 0x07;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool valid = i + len <= Text.size();
        for (size_t k = 1; valid && k < len; ++k) {
            const auto cc = static_cast<unsigned char>(Text[i + k]);
            if ((cc >> 6) != 0x2)
                valid = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (!valid) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

std::string Utf8FromStr(std::u16string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i) {
        uint32_t cp = Text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 &&
            Text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (Text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD; // unpaired surrogate
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

String StrFromAnsi(std::string_view Text) {
    String out(Text.size(), u'\0');
    for (size_t i = 0; i < Text.size(); ++i)
        out[i] = static_cast<unsigned char>(Text[i]);
    return out;
}

namespace {
// Windows-1252's characters for 0x80 to 0x9F; 0 where the code page leaves the byte undefined.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
} // namespace

String StrFromWindows1252(std::string_view Text) {
    String out(Text.size(), u'\0');
    for (size_t i = 0; i < Text.size(); ++i) {
        const auto b = static_cast<unsigned char>(Text[i]);
        const char16_t high = b >= 0x80 && b < 0xA0 ? Windows1252High[b - 0x80] : 0;
        out[i] = high != 0 ? high : b;
    }
    return out;
}

AnsiString Windows1252FromStr(std::u16string_view Text) {
    AnsiString out(Text.size(), '?');
    for (size_t i = 0; i < Text.size(); ++i) {
        const char16_t c = Text[i];
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out[i] = static_cast<char>(c);
            continue;
        }
        for (int32_t k = 0; k < 32; ++k)
            if (Windows1252High[k] == c || (Windows1252High[k] == 0 && c == 0x80 + k))
                out[i] = static_cast<char>(0x80 + k);
    }
    return out;
}

AnsiString AnsiFromStr(std::u16string_view Text) {
    AnsiString out(Text.size(), '\0');
    for (size_t i = 0; i < Text.size(); ++i)
        out[i] = Text[i] < 256 ? static_cast<char>(Text[i]) : '?';
    return out;
}

namespace {
// Out-of-range and NaN inputs saturate instead of being undefined behaviour.
int64_t SaturatedInt64(double Value) {
    if (std::isnan(Value)) return 0;
    if (Value >= 9223372036854775807.0) return INT64_MAX;
    if (Value <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(Value);
}
} // namespace

// The process never changes the floating-point rounding mode, so nearbyint rounds halves to even.
int64_t Round(double Value) {
    return SaturatedInt64(std::nearbyint(Value));
}

int64_t Trunc(double Value) {
    return SaturatedInt64(std::trunc(Value));
}
