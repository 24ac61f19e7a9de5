// Safe file replacement over POSIX: mkstemp in the target's folder, fsync, fchmod, rename.
#include "platform/rtl/SafeFile.h"

#include "platform/rtl/SysUtils.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string FolderOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return Path.substr(0, slash);
}

// Follows a chain of symbolic links (relative links count from their own folder); a link to a
// file that does not exist yet names that file. Gives up after 40 links, as the kernel does.
std::string FollowLinks(std::string Path) {
    for (int hops = 0; hops < 40; ++hops) {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(Path.c_str(), target, sizeof(target) - 1);
        if (length < 0) return Path;
        std::string next(target, static_cast<size_t>(length));
        if (next.empty() || next[0] != '/') next = FolderOf(Path) + "/" + next;
        Path = next;
    }
    errno = ELOOP;
    return {};
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

[[noreturn]] void RaiseCreate(const String& FileName, int Error) {
    throw EFCreateError(u"Cannot create file \"" + FileName + u"\". " +
                        SysErrorMessage(Error));
}

} // namespace

TSafeFileStream::TSafeFileStream(const String& FileName) : THandleStream(INVALID_HANDLE_VALUE) {
    const std::string name = FileSystemName(FileName);
    if (name.empty()) RaiseCreate(FileName, ENOENT);
    FTarget = FollowLinks(name);
    if (FTarget.empty()) RaiseCreate(FileName, ELOOP);
    struct stat st {};
    if (::stat(FTarget.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) RaiseCreate(FileName, EISDIR);
    std::string pattern = FolderOf(FTarget) + "/.sv-save-XXXXXX";
    FHandle = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (FHandle < 0) RaiseCreate(FileName, errno);
    FTemporary = pattern;
}

TSafeFileStream::~TSafeFileStream() {
    if (!FCommitted) Discard();
}

void TSafeFileStream::Discard() {
    if (FHandle >= 0) ::close(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
    if (!FTemporary.empty()) ::unlink(FTemporary.c_str());
    FTemporary.clear();
}

void TSafeFileStream::Commit() {
    if (FCommitted || FHandle < 0) return;
    struct stat st {};
    const mode_t mode = ::stat(FTarget.c_str(), &st) == 0 ? (st.st_mode & 07777)
                                                         : (0666 & ~CurrentUmask());
    const bool ok = ::fchmod(FHandle, mode) == 0 && ::fsync(FHandle) == 0;
    const int closeResult = ::close(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
    if (!ok || closeResult != 0 || ::rename(FTemporary.c_str(), FTarget.c_str()) != 0) {
        const int error = errno;
        Discard();
        throw EWriteError(u"Cannot replace file \"" + StrFromUtf8(FTarget) + u"\". " +
                          SysErrorMessage(error));
    }
    FCommitted = true;
    FTemporary.clear();
    // The rename is made durable by flushing the folder that holds it.
    const int folder = ::open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}
