// The few operating-system services the library asks of Windows, answered from Linux:
// memory status, tick count, version, temporary folder, free disk space and temporary files.
#pragma once

#include "platform/rtl/Classes.h"

#include <vector>

struct MEMORYSTATUSEX {
    uint32_t dwLength = sizeof(MEMORYSTATUSEX);
    uint64_t ullTotalPhys = 0;
    uint64_t ullAvailPhys = 0;
};
// Fills the physical-memory counts; false when they cannot be read.
bool GlobalMemoryStatusEx(MEMORYSTATUSEX* Status);

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows counter.
uint32_t GetTickCount();

constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;
struct OSVERSIONINFOW {
    uint32_t dwOSVersionInfoSize = 276;
    uint32_t dwMajorVersion = 0;
    uint32_t dwMinorVersion = 0;
    uint32_t dwBuildNumber = 0;
    uint32_t dwPlatformId = 0;
};
// There is no Windows version to report here: always false, so callers take their
// "not recognised" branch.
bool GetVersionExW(OSVERSIONINFOW* Info);

// The system temporary folder ($TMPDIR or /tmp), with a trailing separator.
String GetTempPath();

// Bytes available to this user on the filesystem that holds Folder; -1 when unknown.
int64_t GetDiskFreeSpace(const String& Folder);

// Creates FileName exclusively (never opening or truncating an existing file), removes its name
// at once so the file disappears when the handle closes, and returns the handle, or
// INVALID_HANDLE_VALUE when the file cannot be created.
THandle CreateDeleteOnCloseFile(const String& FileName);
// Reserves Size bytes for the file so later writes inside that size cannot fail for lack of
// space; false when the space cannot be reserved.
bool ReserveFileSpace(THandle Handle, int64_t Size);
void CloseHandle(THandle Handle);

// Opening files by the Windows rules, over POSIX descriptors.
constexpr uint32_t GENERIC_READ = 0x80000000;
constexpr uint32_t GENERIC_WRITE = 0x40000000;
constexpr uint32_t FILE_SHARE_READ = 0x00000001;
constexpr uint32_t FILE_SHARE_WRITE = 0x00000002;
constexpr uint32_t CREATE_NEW = 1;
constexpr uint32_t CREATE_ALWAYS = 2;
constexpr uint32_t OPEN_EXISTING = 3;
constexpr uint32_t OPEN_ALWAYS = 4;
constexpr uint32_t TRUNCATE_EXISTING = 5;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x00000080;

// Opens or creates FileName with the access bits and creation disposition given; folders are
// refused as Windows refuses them. Share is accepted and not enforced: Linux has no mandatory
// locks, so another process may open the file whatever Share says. Flags other than the
// attributes are not used. INVALID_HANDLE_VALUE on failure, with the cause in GetLastError.
THandle CreateFileW(const String& FileName, uint32_t Access, uint32_t Share, uint32_t Disposition,
                    uint32_t Flags);
// The error code of the calling thread's last failed call (an errno value).
uint32_t GetLastError();
void Sleep(uint32_t Milliseconds);

// Asks the kernel to back the block's whole 2 MB spans with large pages where it can. A fresh
// block is otherwise touched one 4 KB page at a time, each page a fault of its own: for the
// rows of a large picture that costs more than decoding it on a virtual machine. Call it before
// the block is first written; a block without a whole span is left as it is.
void AdviseLargePages(void* Block, size_t Bytes);

// Number * Numerator / Denominator, computed in 64 bits and rounded half away from zero; -1 when
// Denominator is 0 or the result does not fit in 32 bits.
int32_t MulDiv(int32_t Number, int32_t Numerator, int32_t Denominator);

// Integer parsing of the shell's light-weight utilities: leading blanks, an optional minus sign,
// then decimal digits, or with STIF_SUPPORT_HEX also "0x" and hexadecimal digits; parsing stops at
// the first other character. False (Value untouched) without a digit or beyond 32 bits.
constexpr uint32_t STIF_DEFAULT = 0;
constexpr uint32_t STIF_SUPPORT_HEX = 1;
bool StrToIntExW(const String& Text, uint32_t Flags, int32_t* Value);

// The first place in First where Srch stands, compared without regard to case (Unicode case
// folding); nil when it is not there or Srch is empty.
const char16_t* StrStrIW(const char16_t* First, const char16_t* Srch);

// Copies a file. With FailIfExists an existing NewFileName is kept and false returned; the copy
// appears under its name only once it is whole.
bool CopyFileW(const String& ExistingFileName, const String& NewFileName, bool FailIfExists);

// The full path of the running program ("" when it cannot be found).
String GetModuleFileNameW();

// The process's command line split into its elements, the program first (each argument as the
// process received it, decoded from UTF-8); empty when it cannot be read.
std::vector<String> CommandLineToArgvW();

// The user's language as a lower-case ISO 639 code ("de"), from the locale of messages
// (LC_ALL, LC_MESSAGES, LANG in that order); "en" for the C and POSIX locales or none. Only
// LOCALE_SISO639LANGNAME is answered; other types give "".
constexpr uint32_t LOCALE_USER_DEFAULT = 0x0400;
constexpr uint32_t LOCALE_SISO639LANGNAME = 0x0059;
String GetLocaleInfoW(uint32_t Locale, uint32_t Type);
