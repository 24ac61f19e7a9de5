// Base object, string types and the rounding rules every unit of the system relies on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Root of every class that is passed around as "any object" (Assign sources, senders).
class TObject {
public:
    virtual ~TObject() = default;
};

// UTF-16 text, as every user-visible string and file name of the system is kept.
using String = std::u16string;
// Single-byte text for file magics and header fields.
using AnsiString = std::string;

String StrFromUtf8(std::string_view Text);
std::string Utf8FromStr(std::u16string_view Text);
// Latin-1 widening of a single-byte string (each byte becomes one UTF-16 unit).
String StrFromAnsi(std::string_view Text);
// Windows-1252 text (the single-byte code page of files written on Western systems): 0x80 to
// 0x9F are its typographic characters, the five bytes it leaves undefined keep their own code.
String StrFromWindows1252(std::string_view Text);
// Windows-1252 bytes of Text; characters outside the code page become "?".
AnsiString Windows1252FromStr(std::u16string_view Text);
// Latin-1 narrowing: units above 255 become "?".
AnsiString AnsiFromStr(std::u16string_view Text);

// Round to the nearest integer, halves to even (0.5 -> 0, 1.5 -> 2, -2.5 -> -2).
int64_t Round(double Value);
// Truncate toward zero.
int64_t Trunc(double Value);
