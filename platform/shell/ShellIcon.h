// The desktop's icon of a file, as the shell's file-information call gives it: the icon of the
// file's type in the desktop's icon theme, else its generic type's, else the toolkit's file icon.
#pragma once

#include "platform/gfx/Icon.h"
#include "platform/rtl/System.h"

constexpr uint32_t SHGFI_ICON = 0x100;
constexpr uint32_t SHGFI_LARGEICON = 0x0;
// Pixels of a side of the large icon.
constexpr int32_t ShellLargeIconSize = 32;

struct SHFILEINFOW {
    HICON hIcon = nullptr;
    int32_t iIcon = 0;
    uint32_t dwAttributes = 0;
    char16_t szDisplayName[260] = {};
    char16_t szTypeName[80] = {};
};

// With SHGFI_ICON: Info->hIcon becomes a new 32 x 32 icon with alpha that the caller destroys,
// and the result is non-zero. 0 for a file that does not exist, other flags and a nil or too
// small Info. Without a desktop theme (a headless session) the icons come from Adwaita, then
// hicolor.
uintptr_t SHGetFileInfoW(const char16_t* Path, uint32_t FileAttributes, SHFILEINFOW* Info,
                         uint32_t InfoSize, uint32_t Flags);
