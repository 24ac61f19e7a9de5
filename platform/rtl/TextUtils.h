// The class library's routines on text and on numbers as text: trimming, case, copying and
// searching (1-based), file extensions, integer parsing, and float formatting and parsing with
// the process's format settings.
#pragma once

#include "platform/rtl/System.h"

// Separators and currency of number text. The defaults are the system's own; a program may
// change them (the decimal separator of a user's locale, say) and every routine below follows.
struct TFormatSettings {
    char16_t DecimalSeparator = u'.';
    char16_t ThousandSeparator = u',';
    String CurrencyString = u"$";
};
extern TFormatSettings FormatSettings;

// Removes the characters up to the space (controls included) from both ends.
String Trim(const String& S);
// Changes the case of the ASCII letters only.
String UpperCase(const String& S);
String LowerCase(const String& S);
// Count characters from position Index (1-based); an Index below 1 counts from 1, an Index past
// the end or a Count below 1 gives an empty string.
String Copy(const String& S, int32_t Index, int32_t Count);
// Position (1-based) of the first occurrence of SubStr in S; 0 when absent or SubStr is empty.
int32_t Pos(const String& SubStr, const String& S);
// The extension of the name after its folders, with its dot; empty when there is none.
String ExtractFileExt(const String& FileName);

// Decimal with optional leading blanks and sign, or hexadecimal after "$" or "0x"; Default when
// the text is anything else or does not fit 32 bits.
int32_t StrToIntDef(const String& S, int32_t Default);

enum TFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
// Precision: significant digits (1 to 18). Digits: with ffGeneral and ffExponent the least number
// of exponent digits (0 to 4), with the others the decimals (0 to 18). Not-a-number and the
// infinities give "NAN", "INF" and "-INF".
String FloatToStrF(double Value, TFloatFormat Format, int32_t Precision, int32_t Digits);
// The general format with 15 significant digits.
String FloatToStr(double Value);
// Digits with the decimal separator, an optional exponent, blanks around; false otherwise.
bool TryStrToFloat(const String& S, double& Value);
