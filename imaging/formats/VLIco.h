// Windows icon and cursor files (ICO, CUR): 1, 4, 8, 24 and 32 bits per pixel with their AND
// masks, bare bitmaps and PNG images stored as entries; icon handles written out as one-image
// icon streams and read back as bitmaps with alpha, and the desktop's icon of any file.
#pragma once

#include "imaging/io/VLFileFormats.h"
#include "platform/gfx/Icon.h"

#include <memory>

class TVLMask;

// True when the stream holds a directory of type 1 (icon) or 2 (cursor) whose every entry has a
// zero reserved byte, a non-zero size and an offset past itself; the position is restored.
bool IsICOStream(TStream& Stream);
bool IsCURStream(TStream& Stream);

// Reads image IcoImageIndex of the icon at the stream position. The directory's sizes and bit
// counts go to IcoSizes and IcoBitCounts. Transparent pixels take IcoBackground and, unless
// IgnoreAlpha, alpha 0 in AlphaMask (made when nil; nil again when every pixel is opaque). A
// stream that begins with "BM" is read as a bare bitmap. An index outside the directory, an
// image outside the stream, sizes no bitmap can have, a bit count without a decoder (2, 16) or
// a bitmap that cannot be had set the abort flag; rows the data does not reach stay black and
// set it too.
void ReadICOStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TVLProgressRecord& Progress, std::unique_ptr<TVLMask>& AlphaMask,
                   bool IgnoreAlpha);
// Reads image CurImageIndex of the cursor at the stream position (1, 4 and 8 bits; a deeper
// cursor sets the abort flag); its hot spot goes to CurHotSpotX and CurHotSpotY, transparent
// pixels take CurBackground. Unless IgnoreAlpha the mask is returned also when it is opaque.
void ReadCURStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TVLProgressRecord& Progress, std::unique_ptr<TVLMask>& AlphaMask,
                   bool IgnoreAlpha);

// The header of one of an icon's bitmaps as it is written out: the DIB section's own header or
// one made from the bitmap's size, with the bit count for Colors colours (2: 1 bit, up to 16:
// 4 bits, up to 256: 32 bits) and the image size of its rows.
void FillIconBitmapInfo(HBITMAP Bitmap, BITMAPINFOHEADER& Info, int32_t Colors);
// Bytes of the header with its colour table, and of the rows, of a header FillIconBitmapInfo made.
void GetIconDIBSizes(HBITMAP Bitmap, int32_t Colors, int32_t& InfoSize, int32_t& ImageSize);
// The header and table into Info (InfoSize bytes) and the rows into Bits (ImageSize bytes).
bool GetIconDIBBits(HBITMAP Bitmap, int32_t Colors, void* Info, void* Bits);
// Writes the icon as a one-image icon file; nothing for a handle that is not an icon.
void WriteIconHandleToStream(TStream& Stream, HICON Icon);
// False instead of an exception when the icon cannot be written.
bool TryWriteIconHandleToStream(TStream& Stream, HICON Icon);
// The icon's picture with its alpha channel; Bitmap is left without pixels for a handle that is
// not an icon.
void IconHandleToBitmap(HICON Icon, TVLBitmap& Bitmap);
// The desktop's large icon of the file (0 when there is none, also for a missing file); the
// caller destroys it.
HICON GetShellFileIconHandle(const String& FileName);
// The desktop's large icon of the file as a picture with alpha; empty for a missing file.
void LoadShellFileIcon(const String& FileName, TVLBitmap& Bitmap);
