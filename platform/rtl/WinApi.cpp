// Operating-system services over Linux.
#include "platform/rtl/WinApi.h"

#include "platform/rtl/SafeFile.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TextUtils.h"

#include <QStringView>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <thread>
#include <unistd.h>

bool GlobalMemoryStatusEx(MEMORYSTATUSEX* Status) {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long avail = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (Status == nullptr || pages <= 0 || pageSize <= 0) return false;
    Status->ullTotalPhys = static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
    Status->ullAvailPhys = avail > 0 ? static_cast<uint64_t>(avail) * pageSize : 0;
    return true;
}

uint32_t GetTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool GetVersionExW(OSVERSIONINFOW*) {
    return false;
}

String GetTempPath() {
    const char* dir = std::getenv("TMPDIR");
    String path = StrFromUtf8(dir != nullptr && *dir != '\0' ? dir : "/tmp");
    return IncludeTrailingPathDelimiter(path);
}

int64_t GetDiskFreeSpace(const String& Folder) {
    struct statvfs st {};
    if (::statvfs(FileSystemName(Folder).c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
}

THandle CreateDeleteOnCloseFile(const String& FileName) {
    const std::string name = FileSystemName(FileName);
    const THandle fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) ::unlink(name.c_str());
    return fd;
}

bool ReserveFileSpace(THandle Handle, int64_t Size) {
    if (Size <= 0) return ::ftruncate(Handle, 0) == 0;
    return ::posix_fallocate(Handle, 0, Size) == 0;
}

void CloseHandle(THandle Handle) {
    if (Handle != INVALID_HANDLE_VALUE) ::close(Handle);
}

namespace {
int OpenFlags(uint32_t Access, uint32_t Disposition) {
    const bool read = (Access & GENERIC_READ) != 0;
    const bool write = (Access & GENERIC_WRITE) != 0;
    int flags = write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (Disposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        flags |= O_TRUNC;
        break;
    default:
        break;
    }
    return flags | O_CLOEXEC;
}
} // namespace

THandle CreateFileW(const String& FileName, uint32_t Access, uint32_t, uint32_t Disposition,
                    uint32_t) {
    if (Disposition < CREATE_NEW || Disposition > TRUNCATE_EXISTING) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    const THandle fd = OpenFileHandle(FileName, OpenFlags(Access, Disposition));
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return INVALID_HANDLE_VALUE;
    }
    return fd;
}

uint32_t GetLastError() {
    return static_cast<uint32_t>(errno);
}

void Sleep(uint32_t Milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

void AdviseLargePages(void* Block, size_t Bytes) {
    constexpr uintptr_t LargePage = uintptr_t{2} << 20;
    if (Block == nullptr) return;
    const auto start = reinterpret_cast<uintptr_t>(Block);
    const uintptr_t first = (start + LargePage - 1) & ~(LargePage - 1);
    const uintptr_t last = (start + Bytes) & ~(LargePage - 1);
    // Only a hint: where the kernel has no large pages the block keeps its small ones.
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

int32_t MulDiv(int32_t Number, int32_t Numerator, int32_t Denominator) {
    if (Denominator == 0) return -1;
    const int64_t product = static_cast<int64_t>(Number) * Numerator;
    const int64_t d = Denominator;
    const bool negative = (product < 0) != (d < 0);
    const int64_t magnitude =
        ((product < 0 ? -product : product) + (d < 0 ? -d : d) / 2) / (d < 0 ? -d : d);
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return static_cast<int32_t>(result);
}

const char16_t* StrStrIW(const char16_t* First, const char16_t* Srch) {
    if (First == nullptr || Srch == nullptr || *Srch == 0) return nullptr;
    const qsizetype at = QStringView(First).indexOf(QStringView(Srch), 0, Qt::CaseInsensitive);
    return at < 0 ? nullptr : First + at;
}

bool StrToIntExW(const String& Text, uint32_t Flags, int32_t* Value) {
    size_t i = 0;
    while (i < Text.size() && (Text[i] == u' ' || Text[i] == u'\t'))
        ++i;
    const bool negative = i < Text.size() && Text[i] == u'-';
    if (negative) ++i;
    int base = 10;
    if ((Flags & STIF_SUPPORT_HEX) != 0 && i + 1 < Text.size() && Text[i] == u'0' &&
        (Text[i + 1] == u'x' || Text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    int64_t result = 0;
    size_t digits = 0;
    for (; i < Text.size(); ++i, ++digits) {
        const char16_t c = Text[i];
        int d = -1;
        if (c >= u'0' && c <= u'9') d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
        if (d < 0) break;
        result = result * base + d;
        if (result > (base == 16 ? int64_t{0xFFFFFFFF} : int64_t{0x80000000})) return false;
    }
    if (digits == 0) return false;
    if (negative) result = -result;
    if (base == 10 && result > INT32_MAX) return false;
    *Value = static_cast<int32_t>(static_cast<uint32_t>(result));
    return true;
}

bool CopyFileW(const String& ExistingFileName, const String& NewFileName, bool FailIfExists) {
    if (FailIfExists && FileExists(NewFileName)) return false;
    std::ifstream in(FileSystemName(ExistingFileName), std::ios::binary);
    if (!in) return false;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    try {
        TSafeFileStream out(NewFileName);
        out.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        out.Commit();
    } catch (const EStreamError&) {
        return false;
    }
    return true;
}

String GetModuleFileNameW() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? StrFromUtf8(std::string_view(path, static_cast<size_t>(n))) : String();
}

std::vector<String> CommandLineToArgvW() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<String> arguments;
    std::string argument;
    while (std::getline(in, argument, '\0'))
        arguments.push_back(StrFromUtf8(argument));
    return arguments;
}

String GetLocaleInfoW(uint32_t, uint32_t Type) {
    if (Type != LOCALE_SISO639LANGNAME) return String();
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    locale = locale.substr(0, locale.find_first_of("_.@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") return u"en";
    return LowerCase(StrFromUtf8(locale));
}
