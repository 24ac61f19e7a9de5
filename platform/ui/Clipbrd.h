// The class library's clipboard object: blocks of global memory by format, over the desktop's
// clipboard (see the MIME mapping in MimeFormats.h).
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/ui/Ole.h"

#include <map>
#include <vector>

class TClipboard : public TPersistent {
public:
    TClipboard() = default;
    ~TClipboard();
    TClipboard(const TClipboard&) = delete;
    TClipboard& operator=(const TClipboard&) = delete;

    // Opens and closes with a count; raises Exception "Cannot open clipboard" when the clipboard
    // cannot be had. What was put since the first Open reaches the desktop at the last Close.
    void Open();
    void Close();
    // Puts Data under Format; the clipboard takes the handle. The first call between an Open and
    // its Close empties the clipboard, later ones add to it.
    void SetAsHandle(uint16_t Format, HGLOBAL Data);
    bool HasFormat(uint16_t Format);
    // A block the clipboard keeps: the caller neither frees nor keeps it beyond the next
    // GetAsHandle of the same format. Nil when the clipboard has no such data.
    HGLOBAL GetAsHandle(uint16_t Format);

    // Puts a bitmap, or the graphic of a picture drawn into a bitmap, on the clipboard as a
    // packed device-independent bitmap (CF_DIB; 32-bit pixels keep their fourth bytes). Any
    // other object raises EInvalidGraphic.
    void Assign(TPersistent* Source);
    // The clipboard's packed bitmap into a bitmap or a picture (as its bitmap). EInvalidGraphic
    // when the clipboard holds no bitmap or the block is not a valid one.
    void AssignTo(TPersistent* Dest);

private:
    void Publish();

    int32_t FOpenCount = 0;
    bool FEmptied = false;
    std::vector<std::pair<uint16_t, HGLOBAL>> FPending;
    std::map<uint16_t, HGLOBAL> FRendered;
};

// The process's clipboard object (main thread).
TClipboard* Clipboard();
