// The rules of the JPEG quality dialog: which keys the quality field takes, where its text moves
// the track bar, and the quality OK accepts.
#pragma once

#include "platform/rtl/System.h"

constexpr int32_t MinJpegQuality = 10;
constexpr int32_t MaxJpegQuality = 100;

// Digits and backspace are typed into the field; every other character is dropped.
bool QualityKeyAllowed(char16_t Key);
// The track bar position the field's text moves it to: a decimal number above 9, clamped to
// 10..100 (so "150" moves it to 100 and the field then reads "100"). False, moving nothing,
// for any other text.
bool TrackPositionFromText(const String& Text, int32_t& Position);
// The quality OK takes: the field's text as a decimal number from 10 to 100. False for anything
// else ("", "5", "150", letters, a number too long for 32 bits); the dialog then stays open with
// the invalid-quality message.
bool QualityFromText(const String& Text, int32_t& Quality);
