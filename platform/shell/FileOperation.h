// The shell's file operations on lists of names: deleting to the desktop's trash (the
// freedesktop.org trash of the user's data folder) or for good.
#pragma once

#include "platform/rtl/System.h"
#include "platform/ui/Window.h"

using FILEOP_FLAGS = uint16_t;

constexpr uint32_t FO_MOVE = 0x0001;
constexpr uint32_t FO_COPY = 0x0002;
constexpr uint32_t FO_DELETE = 0x0003;
constexpr uint32_t FO_RENAME = 0x0004;

constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
constexpr FILEOP_FLAGS FOF_ALLOWUNDO = 0x0040;
constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;

// pFrom: names each ended by a zero character, the list ended by a second one.
struct SHFILEOPSTRUCTW {
    HWND hwnd = nullptr;
    uint32_t wFunc = 0;
    const char16_t* pFrom = nullptr;
    const char16_t* pTo = nullptr;
    FILEOP_FLAGS fFlags = 0;
    bool fAnyOperationsAborted = false;
    void* hNameMappings = nullptr;
    const char16_t* lpszProgressTitle = nullptr;
};

// Only FO_DELETE is carried out: with FOF_ALLOWUNDO each name goes to the trash
// (MoveFileToTrash), without it the file is removed. Nothing asks for confirmation here: the
// caller asks first. 0 when every name is gone; otherwise the errno of the first failure (the
// names before it are gone, the rest untouched), or EINVAL for another operation or an empty
// list.
int32_t SHFileOperationW(SHFILEOPSTRUCTW* FileOp);

// The trash folder of the user's files: $XDG_DATA_HOME/Trash when that variable is an absolute
// path, else ~/.local/share/Trash. Empty without a home folder.
String HomeTrashFolder();

// Moves the file FileName into the trash: the file to "files/<name>" and a "info/<name>.trashinfo"
// record with its original path (percent-encoded) and the local deletion time. A name already in
// the trash gets ".2", ".3" and so on before its extension. The file is renamed when the trash is
// on its file system, else copied and then removed. Returns 0, or the errno of the failure, in
// which case FileName is where it was and nothing is left in the trash. TrashedName receives the
// path in "files" when not nil.
int32_t MoveFileToTrash(const String& FileName, String* TrashedName = nullptr);
