// Text and number-text routines of the class library.
#include "platform/rtl/TextUtils.h"

#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

TFormatSettings FormatSettings;

String Trim(const String& S) {
    size_t first = 0;
    size_t last = S.size();
    while (first < last && S[first] <= u' ')
        ++first;
    while (last > first && S[last - 1] <= u' ')
        --last;
    return S.substr(first, last - first);
}

String UpperCase(const String& S) {
    String out = S;
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return out;
}

String LowerCase(const String& S) {
    String out = S;
    for (char16_t& c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
}

String Copy(const String& S, int32_t Index, int32_t Count) {
    const int64_t from = std::max<int64_t>(Index, 1) - 1;
    if (Count < 1 || from >= static_cast<int64_t>(S.size())) return String();
    return S.substr(static_cast<size_t>(from), static_cast<size_t>(Count));
}

int32_t Pos(const String& SubStr, const String& S) {
    if (SubStr.empty()) return 0;
    const size_t at = S.find(SubStr);
    return at == String::npos ? 0 : static_cast<int32_t>(at + 1);
}

String ExtractFileExt(const String& FileName) {
    const size_t at = FileName.find_last_of(String(1, u'.') + PathDelim);
    if (at == String::npos || FileName[at] != u'.') return String();
    return FileName.substr(at);
}

int32_t StrToIntDef(const String& S, int32_t Default) {
    size_t i = 0;
    while (i < S.size() && S[i] == u' ')
        ++i;
    bool negative = false;
    if (i < S.size() && (S[i] == u'+' || S[i] == u'-')) negative = S[i++] == u'-';
    uint32_t base = 10;
    if (i < S.size() && S[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < S.size() && S[i] == u'0' && (S[i + 1] == u'x' || S[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i >= S.size()) return Default;
    uint64_t value = 0;
    for (; i < S.size(); ++i) {
        const char16_t c = S[i];
        uint32_t digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return Default;
        if (digit >= base) return Default;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return Default;
    }
    // Hexadecimal text covers all 32 bits; decimal text the signed range.
    if (base == 10 && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return Default;
    const auto bits = static_cast<uint32_t>(negative ? 0u - static_cast<uint32_t>(value)
                                                     : static_cast<uint32_t>(value));
    return static_cast<int32_t>(bits);
}

namespace {

// A positive finite value as decimal digits d1 d2 ... dn (no trailing zeros) with
// value = 0.d1d2...dn x 10^Exponent, rounded to Precision significant digits.
struct Decimal {
    std::string Digits;
    int32_t Exponent = 0;
};

Decimal ToDecimal(double value, int32_t precision) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", precision - 1, value);
    Decimal d;
    const char* p = text;
    for (; *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') d.Digits.push_back(*p);
    d.Exponent = std::atoi(p + 1) + 1;
    while (d.Digits.size() > 1 && d.Digits.back() == '0')
        d.Digits.pop_back();
    if (d.Digits == "0") d.Exponent = 0;
    return d;
}

String Ascii(const std::string& text) {
    return StrFromAnsi(text);
}

std::string ExponentText(int32_t exponent, int32_t digits, bool plusSign) {
    std::string out = exponent < 0 ? "-" : (plusSign ? "+" : "");
    std::string number = std::to_string(std::abs(exponent));
    while (static_cast<int32_t>(number.size()) < digits)
        number.insert(number.begin(), '0');
    return out + number;
}

// d.ddd with the mantissa's digits and the decimal separator.
String Mantissa(const std::string& digits) {
    String out = Ascii(digits.substr(0, 1));
    if (digits.size() > 1) out += FormatSettings.DecimalSeparator + Ascii(digits.substr(1));
    return out;
}

String GeneralText(double value, int32_t precision, int32_t digits) {
    const Decimal d = ToDecimal(value, precision);
    if (d.Exponent > precision || d.Exponent < -3)
        return Mantissa(d.Digits) + u'E' + Ascii(ExponentText(d.Exponent - 1, digits, false));
    if (d.Exponent <= 0)
        return u'0' + String(1, FormatSettings.DecimalSeparator) +
               Ascii(std::string(static_cast<size_t>(-d.Exponent), '0') + d.Digits);
    std::string whole = d.Digits.substr(0, std::min<size_t>(d.Digits.size(), d.Exponent));
    whole.resize(static_cast<size_t>(d.Exponent), '0');
    const std::string fraction =
        d.Digits.size() > static_cast<size_t>(d.Exponent) ? d.Digits.substr(d.Exponent) : "";
    return Ascii(whole) +
           (fraction.empty() ? String() : FormatSettings.DecimalSeparator + Ascii(fraction));
}

String ExponentFormat(double value, int32_t precision, int32_t digits) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", precision - 1, value);
    const std::string s(text);
    const size_t e = s.find('e');
    std::string mantissaDigits;
    for (size_t i = 0; i < e; ++i)
        if (s[i] != '.') mantissaDigits.push_back(s[i]);
    return Mantissa(mantissaDigits) + u'E' +
           Ascii(ExponentText(std::atoi(s.c_str() + e + 1), digits, true));
}

// Fixed text with Decimals decimals of the value rounded to Precision significant digits; the
// integer part grouped by thousands when asked.
String FixedText(double value, int32_t precision, int32_t decimals, bool thousands) {
    char text[400];
    std::snprintf(text, sizeof text, "%.*e", precision - 1, value);
    const double rounded = std::strtod(text, nullptr);
    std::snprintf(text, sizeof text, "%.*f", decimals, rounded);
    std::string s(text);
    const size_t dot = s.find('.');
    std::string whole = s.substr(0, dot);
    String out;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (thousands && i > 0 && (whole.size() - i) % 3 == 0)
            out += FormatSettings.ThousandSeparator;
        out += static_cast<char16_t>(whole[i]);
    }
    if (dot != std::string::npos) out += FormatSettings.DecimalSeparator + Ascii(s.substr(dot + 1));
    return out;
}

bool AllZero(const String& text) {
    return std::none_of(text.begin(), text.end(),
                        [](char16_t c) { return c >= u'1' && c <= u'9'; });
}

} // namespace

String FloatToStrF(double Value, TFloatFormat Format, int32_t Precision, int32_t Digits) {
    if (std::isnan(Value)) return u"NAN";
    if (std::isinf(Value)) return Value > 0 ? u"INF" : u"-INF";
    Precision = std::clamp(Precision, 1, 18);
    const bool negative = std::signbit(Value);
    const double magnitude = std::fabs(Value);
    String text;
    switch (Format) {
    case ffExponent:
        text = ExponentFormat(magnitude, Precision, std::clamp(Digits, 0, 4));
        break;
    case ffFixed:
    case ffNumber:
    case ffCurrency:
        if (magnitude != 0 && ToDecimal(magnitude, Precision).Exponent > Precision) {
            text = GeneralText(magnitude, Precision, 0);
            break;
        }
        text = FixedText(magnitude, Precision, std::clamp(Digits, 0, 18), Format != ffFixed);
        break;
    default:
        text = magnitude == 0 ? u"0" : GeneralText(magnitude, Precision, std::clamp(Digits, 0, 4));
        break;
    }
    const bool showSign = negative && !AllZero(text);
    if (Format == ffCurrency)
        return showSign ? u'(' + FormatSettings.CurrencyString + text + u')'
                        : FormatSettings.CurrencyString + text;
    return showSign ? u'-' + text : text;
}

String FloatToStr(double Value) {
    return FloatToStrF(Value, ffGeneral, 15, 0);
}

bool TryStrToFloat(const String& S, double& Value) {
    const String text = Trim(S);
    std::string ascii;
    size_t i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ascii.push_back(static_cast<char>(text[i++]));
    int mantissaDigits = 0;
    bool separator = false;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            ascii.push_back(static_cast<char>(c));
            ++mantissaDigits;
        } else if (c == FormatSettings.DecimalSeparator && !separator) {
            ascii.push_back('.');
            separator = true;
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            ascii.push_back(static_cast<char>(text[i++]));
        int exponentDigits = 0;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++exponentDigits)
            ascii.push_back(static_cast<char>(text[i]));
        if (exponentDigits == 0) return false;
    }
    if (i != text.size()) return false;
    const char* first = ascii.data() + (ascii[0] == '+' ? 1 : 0);
    double parsed = 0;
    const auto [end, error] = std::from_chars(first, ascii.data() + ascii.size(), parsed);
    if (error != std::errc() || end != ascii.data() + ascii.size()) return false;
    Value = parsed;
    return true;
}
