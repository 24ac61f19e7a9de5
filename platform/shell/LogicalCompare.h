// The shell's natural ("logical") ordering of names, as file managers sort them.
#pragma once

#include "platform/rtl/System.h"

// Compares two names without regard to case, runs of digits by their numeric value (img2 before
// img10; leading zeros do not count, so a2 and a02 compare equal). Letters compare first by their
// base letter (Ä with A, before B) and then with their accents (A before Ä). Negative, 0 or
// positive.
int32_t StrCmpLogicalW(const String& A, const String& B);
