// Exceptions with their messages, and the file-system helpers the library uses.
#pragma once

#include "platform/rtl/System.h"

#include <exception>
#include <vector>

// Base of every exception the system raises; Message is the literal text.
class Exception : public std::exception {
public:
    explicit Exception(String Msg);
    const String& Message() const { return FMessage; }
    const char* what() const noexcept override { return FUtf8.c_str(); }

private:
    String FMessage;
    std::string FUtf8;
};

class EInOutError : public Exception {
public:
    using Exception::Exception;
};
class EOutOfMemory : public Exception {
public:
    using Exception::Exception;
};
class EOutOfResources : public Exception {
public:
    using Exception::Exception;
};
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};
class EListError : public Exception {
public:
    using Exception::Exception;
};
class EInvalidCast : public Exception {
public:
    using Exception::Exception;
};

// Upper-case hexadecimal digits of Value, at least Digits of them.
String IntToHex(uint64_t Value, int Digits);
String IntToStr(int64_t Value);

// The system's text for an error code (an errno value here).
String SysErrorMessage(int32_t Code);

// File names are UTF-16 in the library and UTF-8 on the file system.
std::string FileSystemName(const String& FileName);
// open(2) on FileName that never waits: a FIFO or device node carrying a picture's name opens at
// once (a FIFO without a writer then reads as empty) instead of stalling the caller for good.
int OpenFileHandle(const String& FileName, int Flags, int Mode = 0666);
// Writes all Size bytes of Data to the open file Handle, going on after short writes and
// interruptions; false (errno set) on any error.
bool WriteAll(int Handle, const char* Data, size_t Size);

bool FileExists(const String& FileName);
bool DirectoryExists(const String& Path);
bool DeleteFile(const String& FileName);
// Creates one folder (its parent must exist); false when it cannot be created.
bool CreateDir(const String& Path);
// Absolute form of a file name, relative names resolved against the working folder.
String ExpandFileName(const String& FileName);
// The folder part of FileName up to and including its last separator; "" without one.
String ExtractFilePath(const String& FileName);
// The name part of FileName after its last separator; all of it without one.
String ExtractFileName(const String& FileName);
// Names (without the folder) of the files in Folder, read in one pass, whose extension (from the
// last dot) is one of Extensions (".lang"), compared without regard to case. Folders are left
// out; links count by what they point to. In the folder's own order; empty when Folder cannot be
// read.
std::vector<String> FindFiles(const String& Folder, const std::vector<String>& Extensions);
String IncludeTrailingPathDelimiter(const String& Path);

constexpr char16_t PathDelim = u'/';

// Days since 30 December 1899, the time of day as the fraction.
using TDateTime = double;
// The local date and time, and the local date alone (no fraction).
TDateTime Now();
TDateTime Date();
