// Exceptions and file-system helpers over POSIX.
#include "platform/rtl/SysUtils.h"

#include "platform/rtl/TextUtils.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Exception::Exception(String Msg) : FMessage(std::move(Msg)), FUtf8(Utf8FromStr(FMessage)) {}

String IntToHex(uint64_t Value, int Digits) {
    static const char16_t hex[] = u"0123456789ABCDEF";
    String out;
    do {
        out.insert(out.begin(), hex[Value & 0xF]);
        Value >>= 4;
    } while (Value != 0);
    while (static_cast<int>(out.size()) < Digits)
        out.insert(out.begin(), u'0');
    return out;
}

String IntToStr(int64_t Value) {
    return StrFromAnsi(std::to_string(Value));
}

String SysErrorMessage(int32_t Code) {
    return StrFromUtf8(std::strerror(Code));
}

std::string FileSystemName(const String& FileName) {
    return Utf8FromStr(FileName);
}

int OpenFileHandle(const String& FileName, int Flags, int Mode) {
    const int fd = ::open(FileSystemName(FileName).c_str(), Flags | O_NONBLOCK, Mode);
    if (fd >= 0 && (Flags & O_NONBLOCK) == 0)
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool WriteAll(int Handle, const char* Data, size_t Size) {
    while (Size > 0) {
        const ssize_t written = ::write(Handle, Data, Size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        Data += written;
        Size -= static_cast<size_t>(written);
    }
    return true;
}

bool FileExists(const String& FileName) {
    struct stat st {};
    return ::stat(FileSystemName(FileName).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const String& Path) {
    struct stat st {};
    return ::stat(FileSystemName(Path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const String& FileName) {
    return ::unlink(FileSystemName(FileName).c_str()) == 0;
}

bool CreateDir(const String& Path) {
    return ::mkdir(FileSystemName(Path).c_str(), 0777) == 0;
}

String ExpandFileName(const String& FileName) {
    if (!FileName.empty() && FileName[0] == PathDelim) return FileName;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return FileName;
    return IncludeTrailingPathDelimiter(StrFromUtf8(cwd)) + FileName;
}

String ExtractFilePath(const String& FileName) {
    const size_t slash = FileName.rfind(PathDelim);
    return slash == String::npos ? String() : FileName.substr(0, slash + 1);
}

String ExtractFileName(const String& FileName) {
    return FileName.substr(ExtractFilePath(FileName).size());
}

std::vector<String> FindFiles(const String& Folder, const std::vector<String>& Extensions) {
    std::vector<String> names;
    const String folder = IncludeTrailingPathDelimiter(Folder.empty() ? u"." : Folder);
    DIR* dir = ::opendir(FileSystemName(folder).c_str());
    if (dir == nullptr) return names;
    std::vector<String> wanted;
    for (const String& extension : Extensions)
        wanted.push_back(LowerCase(extension));
    while (const dirent* entry = ::readdir(dir)) {
        const String name = StrFromUtf8(entry->d_name);
        const size_t dot = name.rfind(u'.');
        if (dot == String::npos ||
            std::find(wanted.begin(), wanted.end(), LowerCase(name.substr(dot))) == wanted.end())
            continue;
        // Every entry but a folder or a pipe counts: special files such as sockets are listed
        // (their reading then fails), a pipe not, since opening it waits for a writer. The entry's
        // type saves a look-up unless it is a link or unknown to the filesystem.
        bool file = entry->d_type != DT_DIR && entry->d_type != DT_FIFO;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            file = ::stat(FileSystemName(folder + name).c_str(), &st) == 0 &&
                   !S_ISDIR(st.st_mode) && !S_ISFIFO(st.st_mode);
        }
        if (file) names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

String IncludeTrailingPathDelimiter(const String& Path) {
    if (Path.empty() || Path.back() == PathDelim) return Path;
    return Path + PathDelim;
}

namespace {
// Days from 30 December 1899 to the civil date (proleptic Gregorian calendar).
int64_t DaysSinceDelphiEpoch(int64_t Year, int64_t Month, int64_t Day) {
    const int64_t y = Month <= 2 ? Year - 1 : Year;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (Month + (Month > 2 ? -3 : 9)) + 2) / 5 + Day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    constexpr int64_t UnixDaysOfEpoch = -25569; // 1899-12-30 counted from 1970-01-01
    return era * 146097 + doe - 719468 - UnixDaysOfEpoch;
}
} // namespace

TDateTime Now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    return static_cast<double>(
               DaysSinceDelphiEpoch(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)) +
           seconds / 86400.0;
}

TDateTime Date() {
    return static_cast<double>(static_cast<int64_t>(Now()));
}
