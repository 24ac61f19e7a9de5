// Save As: the picture as it is in memory (turned, if it was turned) written in the format its
// new file name's extension names, JPEG after asking for a quality.
#pragma once

#include "platform/rtl/System.h"

#include <functional>

class TVistrelIO;

// The format name of FileName's extension (from its last dot, case aside): "JPEG" for ".jpg" and
// ".jpeg", "BMP", "GIF", "PNG", "TIFF" for ".tif" and ".tiff"; empty for any other extension,
// which Save As refuses.
String SaveFormatName(const String& FileName);

// Pattern with its first "%s" replaced by Value, taken literally (the rest of Pattern, other
// "%" signs included, stays as it is); Pattern itself without one.
String ReplaceFirstPlaceholder(const String& Pattern, const String& Value);

// Asks for the JPEG quality: gets the quality offered, returns with the one chosen; false when
// the user cancelled.
using TAskQualityEvent = std::function<bool(int32_t& Quality)>;

struct TSaveAsResult {
    bool Saved = false; // the new file is complete under FileName
    String Message;     // the on-screen message after a save: "SVSTR_SAVEDAS" with the format
    String Error;       // the text of a message box after a failed save; empty otherwise
};

// Writes IO's working bitmap to FileName with the parameters IO's record holds, the JPEG quality
// asked through AskQuality (starting from Quality, which receives the chosen one). The target is
// replaced only by a complete new file; a write that stopped (the I/O abort flag) or raised
// reports the failure in Error and no message. The hourglass shows while it works and the
// cursor is restored on every way out. An extension without a writer writes nothing and says so
// in Error; a cancelled quality dialog writes nothing and reports nothing.
TSaveAsResult SaveImageAs(TVistrelIO& IO, const String& FileName, int32_t& Quality,
                          const TAskQualityEvent& AskQuality);
