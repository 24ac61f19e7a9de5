// The user's special folders. Application data is the XDG configuration folder, where Linux
// programs keep their settings.
#pragma once

#include "platform/rtl/System.h"

constexpr int32_t CSIDL_APPDATA = 0x001A;

// Path of the special folder Folder (only CSIDL_APPDATA is known): $XDG_CONFIG_HOME when it is an
// absolute path, else the home folder's ".config". With Create the folder and its parents are
// made when missing. False when there is no such folder (no home folder, or it cannot be made).
bool SHGetSpecialFolderPathW(String& Path, int32_t Folder, bool Create);
