// File operations of the shell over the file system and the freedesktop.org trash.
#include "platform/shell/FileOperation.h"

#include "platform/rtl/SysUtils.h"
#include "platform/shell/ShellInternal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

using platform::detail::HomeFolder;

namespace {

std::string TrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && *data == '/') return std::string(data) + "/Trash";
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + "/.local/share/Trash";
}

// Makes Path and its missing parents; the folders made get Mode.
bool MakeFolders(const std::string& Path, mode_t Mode) {
    struct stat st {};
    if (::stat(Path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = Path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(Path.substr(0, slash), 0700))
        return false;
    return ::mkdir(Path.c_str(), Mode) == 0 || errno == EEXIST;
}

// The path as the trash record keeps it: bytes outside the unreserved characters and "/" as %XX.
std::string PercentEncoded(const std::string& Path) {
    static const char Hex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : Path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
                           c == '~';
        if (plain) {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += Hex[c >> 4];
            text += Hex[c & 15];
        }
    }
    return text;
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// "name.ext" as the Nth name tried: "name.ext", "name.2.ext", "name.3.ext"...
std::string CandidateName(const std::string& Name, int N) {
    if (N == 1) return Name;
    const size_t dot = Name.find_last_of('.');
    const std::string suffix = "." + std::to_string(N);
    if (dot == std::string::npos || dot == 0) return Name + suffix;
    return Name.substr(0, dot) + suffix + Name.substr(dot);
}

// A new record "info/<name>.trashinfo" for a name free in both "files" and "info"; the record
// is created exclusively, so two deletions never take the same name. 0 or an errno.
int32_t ReserveTrashName(const std::string& Trash, const std::string& Name,
                         const std::string& Source, std::string& InfoPath, std::string& FilesPath) {
    const std::string record = "[Trash Info]\nPath=" + PercentEncoded(Source) +
                               "\nDeletionDate=" + LocalTimeStamp() + "\n";
    for (int n = 1; n < 100000; ++n) {
        const std::string candidate = CandidateName(Name, n);
        InfoPath = Trash + "/info/" + candidate + ".trashinfo";
        FilesPath = Trash + "/files/" + candidate;
        const int fd = ::open(InfoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return errno;
        }
        struct stat st {};
        const bool taken = ::lstat(FilesPath.c_str(), &st) == 0;
        const bool written = !taken && WriteAll(fd, record.data(), record.size());
        const int error = written ? 0 : errno;
        ::close(fd);
        if (written) return 0;
        ::unlink(InfoPath.c_str());
        if (!taken) return error != 0 ? error : EIO;
    }
    return EEXIST;
}

// Copies a regular file to a new file Dest with the source's permission bits and times. 0 or an
// errno; a failed copy leaves no Dest.
int32_t CopyRegularFile(const std::string& Source, const std::string& Dest) {
    const int in = ::open(Source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return errno;
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = ::fstat(in, &st) != 0 ? errno : EISDIR;
        ::close(in);
        return error;
    }
    const int out =
        ::open(Dest.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error;
    }
    std::vector<char> buffer(1 << 16);
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error = errno;
        if (got <= 0) break;
        if (!WriteAll(out, buffer.data(), static_cast<size_t>(got))) {
            error = errno != 0 ? errno : EIO;
            break;
        }
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (error == 0) ::futimens(out, times);
    if (error == 0 && ::fsync(out) != 0) error = errno;
    if (::close(out) != 0 && error == 0) error = errno;
    ::close(in);
    if (error != 0) ::unlink(Dest.c_str());
    return error;
}

int32_t DeleteOne(const String& Name, bool ToTrash) {
    if (ToTrash) return MoveFileToTrash(Name);
    struct stat st {};
    const std::string path = FileSystemName(Name);
    if (::lstat(path.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) return ::rmdir(path.c_str()) == 0 ? 0 : errno;
    return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

} // namespace

String HomeTrashFolder() {
    return StrFromUtf8(TrashFolder());
}

int32_t MoveFileToTrash(const String& FileName, String* TrashedName) {
    const std::string source = FileSystemName(ExpandFileName(FileName));
    struct stat st {};
    if (::lstat(source.c_str(), &st) != 0) return errno;
    const std::string trash = TrashFolder();
    if (trash.empty()) return ENOENT;
    if (!MakeFolders(trash, 0700) || !MakeFolders(trash + "/files", 0700) ||
        !MakeFolders(trash + "/info", 0700))
        return errno != 0 ? errno : EACCES;
    const size_t slash = source.find_last_of('/');
    const std::string name = source.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return EINVAL;

    std::string infoPath, filesPath;
    if (const int32_t error = ReserveTrashName(trash, name, source, infoPath, filesPath))
        return error;
    int32_t error = 0;
    if (::rename(source.c_str(), filesPath.c_str()) != 0) {
        error = errno;
        // Another file system: a copy, and the original goes only once the copy is complete.
        if (error == EXDEV) {
            error = CopyRegularFile(source, filesPath);
            if (error == 0 && ::unlink(source.c_str()) != 0) {
                error = errno;
                ::unlink(filesPath.c_str());
            }
        }
    }
    if (error != 0) {
        ::unlink(infoPath.c_str());
        return error;
    }
    if (TrashedName != nullptr) *TrashedName = StrFromUtf8(filesPath);
    return 0;
}

int32_t SHFileOperationW(SHFILEOPSTRUCTW* FileOp) {
    if (FileOp == nullptr || FileOp->wFunc != FO_DELETE || FileOp->pFrom == nullptr) return EINVAL;
    FileOp->fAnyOperationsAborted = false;
    std::vector<String> names;
    for (const char16_t* at = FileOp->pFrom; *at != 0;) {
        String name(at);
        at += name.size() + 1;
        names.push_back(std::move(name));
    }
    if (names.empty()) return EINVAL;
    const bool toTrash = (FileOp->fFlags & FOF_ALLOWUNDO) != 0;
    for (const String& name : names)
        if (const int32_t error = DeleteOne(name, toTrash)) return error;
    return 0;
}
