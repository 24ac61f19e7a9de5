// Replacing a file without risking it: the new content goes to a fresh file in the target's
// folder, is flushed to the disk and then renamed over the target in one step, so that a
// failed or interrupted save leaves the old file as it was. A target whose identity a rename
// would change (other hard links, another owner or group) instead receives the flushed content
// by a copy into itself, with its space reserved first.
#pragma once

#include "platform/rtl/Classes.h"

// A write stream onto a new file beside FileName. Nothing touches FileName until Commit; without
// Commit (a failed save, an exception) the destructor removes the new file. A symbolic link is
// written through: the file it points to is replaced and the link stays. The replaced file's
// permission bits are kept; a new file gets the usual ones (0666 less the umask).
class TSafeFileStream : public THandleStream {
public:
    // Raises EFCreateError naming FileName when the new file cannot be created (a read-only
    // folder, a missing folder, a target that is a folder) or the target exists and the saver
    // may not write it; nothing is created then.
    explicit TSafeFileStream(const String& FileName);
    ~TSafeFileStream() override;
    TSafeFileStream(const TSafeFileStream&) = delete;
    TSafeFileStream& operator=(const TSafeFileStream&) = delete;

    // Flushes the new file, gives it the permissions and renames it over the target, or copies
    // it into the target (see above). Raises EWriteError (and removes the new file) when any of
    // that fails.
    void Commit();
    // The file the rename replaces: FileName with its symbolic links followed.
    const std::string& TargetPath() const { return FTarget; }

private:
    void Discard();
    [[noreturn]] void RaiseReplace(int Error) const;
    std::string FTarget;
    std::string FTemporary;
    bool FCommitted = false;
};
