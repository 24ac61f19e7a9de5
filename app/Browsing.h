// Folder browsing: the picture files of a folder in natural file-name order.
#pragma once

#include "platform/rtl/StringList.h"

#include <vector>

// The extensions the viewer lists, in order.
const std::vector<String>& PictureExtensions();

// True when Path's extension, from its last dot, is one of Extensions (case aside).
bool IsListedExtension(const std::vector<String>& Extensions, const String& Path);

// The natural comparison of the file-name parts of two paths: case aside, digit runs by value;
// names equal that way are ordered by their exact text, so the order is always the same.
int32_t CompareFileNamesLogical(const String& Path1, const String& Path2);

// The full paths of Folder's files with a listed extension, read in one pass and sorted by
// CompareFileNamesLogical. Empty when the folder cannot be read.
std::vector<String> ListPictureFiles(const String& Folder, const std::vector<String>& Extensions);
