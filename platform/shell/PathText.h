// The shell's light-weight text helpers for paths and sizes.
#pragma once

#include "platform/rtl/System.h"

// The last component of Path: the text after its last separator (the whole text without one).
String PathFindFileNameW(const String& Path);

// A byte count as a short text with three significant digits, truncated, in bytes, KB, MB, GB or
// TB (1024-based): "0 bytes", "999 bytes", "0.97 KB", "2.35 MB", "120 KB". A unit is left once the
// count reaches 1000 of it, as the shell does.
String StrFormatByteSizeW(int64_t Size);
