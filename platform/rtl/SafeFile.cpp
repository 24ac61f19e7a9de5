// Safe file replacement over POSIX: mkstemp in the target's folder, fsync, fchmod, then a rename
// over the target or a copy into it.
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
    throw EFCreateError(u"Cannot create file \"" + FileName + u"\". " + SysErrorMessage(Error));
}

// True when replacing the file by a rename would change what protects it: other names (hard
// links) would keep the old content, and a new inode would belong to the saver, not to the
// file's owner and group.
bool KeepsIdentity(const struct stat& Target) {
    return Target.st_nlink > 1 || Target.st_uid != ::geteuid() || Target.st_gid != ::getegid();
}

// Copies the whole of From into the existing file Target, which keeps its inode. The space is
// reserved before the first byte is written, so that a full disk or a size limit is met while
// the old content is still whole. False (errno set) on any failure.
bool CopyInto(int From, const std::string& Target) {
    struct stat source {};
    if (::fstat(From, &source) != 0 || ::lseek(From, 0, SEEK_SET) != 0) return false;
    const int to = ::open(Target.c_str(), O_WRONLY | O_CLOEXEC);
    if (to < 0) return false;
    const int reserved = source.st_size > 0 ? ::posix_fallocate(to, 0, source.st_size) : 0;
    bool ok = reserved == 0 || reserved == EOPNOTSUPP || reserved == EINVAL;
    if (!ok) errno = reserved;
    char buffer[65536];
    while (ok) {
        const ssize_t got = ::read(From, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = WriteAll(to, buffer, static_cast<size_t>(got));
    }
    ok = ok && ::ftruncate(to, source.st_size) == 0 && ::fsync(to) == 0;
    const int error = errno;
    ok = ::close(to) == 0 && ok;
    if (!ok) errno = error;
    return ok;
}

} // namespace

TSafeFileStream::TSafeFileStream(const String& FileName) : THandleStream(INVALID_HANDLE_VALUE) {
    const std::string name = FileSystemName(FileName);
    if (name.empty()) RaiseCreate(FileName, ENOENT);
    FTarget = FollowLinks(name);
    if (FTarget.empty()) RaiseCreate(FileName, ELOOP);
    struct stat st {};
    const bool exists = ::stat(FTarget.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) RaiseCreate(FileName, EISDIR);
    // A file the saver may not write is refused, as opening it for writing would be.
    if (exists && ::faccessat(AT_FDCWD, FTarget.c_str(), W_OK, AT_EACCESS) != 0)
        RaiseCreate(FileName, errno);
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
    const bool exists = ::stat(FTarget.c_str(), &st) == 0;
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
    bool ok = ::fchmod(FHandle, mode) == 0 && ::fsync(FHandle) == 0;
    if (ok && exists && KeepsIdentity(st)) {
        // The flushed new content goes into the target itself; the new file then goes.
        ok = CopyInto(FHandle, FTarget);
        const int error = errno;
        Discard();
        if (!ok) RaiseReplace(error);
        FCommitted = true;
        return;
    }
    const int closeResult = ::close(FHandle);
    FHandle = INVALID_HANDLE_VALUE;
    if (!ok || closeResult != 0 || ::rename(FTemporary.c_str(), FTarget.c_str()) != 0) {
        const int error = errno;
        Discard();
        RaiseReplace(error);
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

void TSafeFileStream::RaiseReplace(int Error) const {
    throw EWriteError(u"Cannot replace file \"" + StrFromUtf8(FTarget) + u"\". " +
                      SysErrorMessage(Error));
}
