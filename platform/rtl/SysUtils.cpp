// Exceptions and file-system helpers over POSIX.
#include "platform/rtl/SysUtils.h"

#include <climits>
#include <cstring>
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

String IncludeTrailingPathDelimiter(const String& Path) {
    if (Path.empty() || Path.back() == PathDelim) return Path;
    return Path + PathDelim;
}
