// The texts of the main window's title and status line: the title names the folder, the file,
// the picture's size in pixels and the file's size, and gives up parts while it does not fit; the
// status line shows the position in the folder and the zoom with coloured separators (mark-up
// label tags).
#pragma once

#include "platform/rtl/System.h"

#include <functional>

// The title while nothing is open.
inline const String IdleTitle = u"Solvaneview";

// The widest of "Folder - Name   [W x H  |  Size]", "Name   [W x H  |  Size]", "Name   [W x H]"
// and Name whose width, as Measure gives it, is at most Room; Name when none fits.
String TitleText(const String& Folder, const String& Name, int32_t Width, int32_t Height,
                 const String& Size, const std::function<int32_t(const String&)>& Measure,
                 int32_t Room);

// The title of a file that gave no picture: the widest of "Folder - Name   [Size]" and
// "Name   [Size]" that fits Room, else Name.
String UnreadTitleText(const String& Folder, const String& Name, const String& Size,
                       const std::function<int32_t(const String&)>& Measure, int32_t Room);

// "<c999999>5 / 12</c> <c333333>|</c> 41 % <c333333>|</c> ": Index counts from 0, the zoom is
// truncated towards zero.
String StatusText(int32_t Index, int32_t Count, double Zoom);
// The status of a file that gave no picture: "<c999999>5 / 12</c> <c333333>|</c> " and Message.
String UnreadStatusText(int32_t Index, int32_t Count, const String& Message);

// Size of the file in bytes; 0 when it cannot be had.
int64_t GetFileSize64(const String& Path);
