// The commands that act on the shown picture or its file: a quarter turn in memory, the picture
// on the clipboard, the file on the clipboard for copying or moving, and deleting the file to the
// trash or for good with the folder's list and captions kept in step. The main window calls
// these and then updates what it shows.
#pragma once

#include "platform/rtl/StringList.h"

#include <functional>
#include <vector>

class TComponent;
class TVistrelView;
class TVLBitmap;

// Turns the view's picture a quarter to the left (90 degrees) or right (270 degrees) with its
// processing component, in memory only. False when the turn did not happen; the picture is then
// as it was.
bool RotatePicture(TVistrelView& View, bool Left);

// Puts a copy of Picture on the clipboard as a bitmap (other programs read it as image/png).
// Picture itself is never converted: formats a device bitmap cannot hold are converted in the
// copy. False, with the clipboard untouched, when it cannot be opened or the picture is empty.
bool CopyPictureToClipboard(TVLBitmap& Picture);

// Puts the file Path on the clipboard as the shell's file list, for a paste that copies it or,
// with Cut, moves it. Owner owns the drop source for the call.
bool CopyFileToClipboard(TComponent* Owner, const String& Path, bool Cut);

// What DeletePicture did.
struct TDeleteOutcome {
    bool Deleted = false;         // the file is gone; nothing below changed otherwise
    bool Failed = false;          // confirmed, but the trash or the file system refused it
    int32_t DeletedIndex = -1;    // the list position it had
    int32_t NewIndex = -1;        // the picture to show now; -1 when the list is empty
    bool CaptionsChanged = false; // a caption line went: the caption file is to be saved
};

// The Delete command on FileList[CurrentIndex]: Confirm (given the path) asks the user first;
// then the file goes to the trash, or for good with Permanently. Only once the file is gone are
// its list entry and its caption line (found by file name without regard to case) removed, and
// the next picture (or the new last one) chosen. A refused confirmation, a failed delete (Failed)
// or a CurrentIndex outside the list changes nothing.
TDeleteOutcome DeletePicture(std::vector<String>& FileList, int32_t CurrentIndex,
                             TStringList& Captions, bool Permanently,
                             const std::function<bool(const String& Path)>& Confirm);
