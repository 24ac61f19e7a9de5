// Folder browsing: listing a folder's pictures in natural order, opening a path and stepping
// through the list.
#pragma once

#include "platform/rtl/System.h"
#include "platform/ui/Controls.h"

#include <optional>
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

// A folder opened for browsing: its pictures and the one to show first.
struct TFolderListing {
    String Folder;             // absolute, without a trailing separator (except the root)
    std::vector<String> Files; // full paths in natural order
    int32_t Index = -1;        // the picture to show; -1 when the folder holds none
};

// What opening Path lists: a folder lists its pictures and shows the first; a file lists its
// folder and shows itself (the entry of the same name, else one differing only in case), or the
// folder's first picture when it is not listed. A relative Path counts from the working folder.
// No value when Path does not exist.
std::optional<TFolderListing> ListOpenPath(const String& Path,
                                           const std::vector<String>& Extensions);

enum class TBrowseStep { Previous, Next, First, Last };
enum class TBrowseNotice { None, First, Last };
// Where a step goes: the index of the nearest picture in the step's direction that still exists
// (entries whose files vanished are passed over), or a notice at the list's first or last
// picture. Nothing for an empty list.
struct TStepTarget {
    int32_t Index = -1;
    TBrowseNotice Notice = TBrowseNotice::None;
};
TStepTarget StepTarget(const std::vector<String>& Files, int32_t CurrentIndex, TBrowseStep Step);

// The open dialog's filter: one entry "All Images (*.jpg;...)" listing every extension.
String OpenDialogFilter(const std::vector<String>& Extensions);

// The path a drop opens: the first dropped name, when it is a file with a listed extension.
std::optional<String> DroppedPath(const std::vector<String>& Files,
                                  const std::vector<String>& Extensions);

enum class TWheelAction { None, NextImage, PreviousImage, ZoomIn, ZoomOut };
// A wheel turn with no key or button held steps through the folder (down: next); with Ctrl held
// it zooms (up: in); any other combination does nothing.
TWheelAction WheelAction(TShiftState Shift, bool WheelUp);
