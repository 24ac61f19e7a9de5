// The JPEG quality dialog's rules.
#include "app/formJPEG.h"

#include <algorithm>

namespace {

// Text of 1 to 9 decimal digits (so it fits 32 bits) as a number; false otherwise.
bool DecimalNumber(const String& Text, int32_t& Value) {
    if (Text.empty() || Text.size() > 9) return false;
    int32_t value = 0;
    for (char16_t c : Text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    Value = value;
    return true;
}

} // namespace

bool QualityKeyAllowed(char16_t Key) {
    return (Key >= u'0' && Key <= u'9') || Key == u'\b';
}

bool TrackPositionFromText(const String& Text, int32_t& Position) {
    int32_t value = 0;
    // Longer digit runs are above 9 too, and land on the top of the scale.
    const bool digits = !Text.empty() && std::all_of(Text.begin(), Text.end(), [](char16_t c) {
        return c >= u'0' && c <= u'9';
    });
    if (!digits) return false;
    if (!DecimalNumber(Text, value)) value = MaxJpegQuality;
    if (value < MinJpegQuality) return false;
    Position = std::min(value, MaxJpegQuality);
    return true;
}

bool QualityFromText(const String& Text, int32_t& Quality) {
    int32_t value = 0;
    if (!DecimalNumber(Text, value) || value < MinJpegQuality || value > MaxJpegQuality)
        return false;
    Quality = value;
    return true;
}
