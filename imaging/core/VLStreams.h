// The library's own streams, the file and string helpers around them, and its memory blocks.
#pragma once

#include "platform/rtl/Classes.h"

#include <cstddef>
#include <memory>

// A stream that stores nothing: it only counts, so that an encoder can measure its output.
// Size is the largest position reached by reading, writing or seeking from the start or the
// current position.
class TNulStream : public TStream {
public:
    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
    void Advance(int64_t NewPosition);
    int64_t FPosition = 0;
    int64_t FSize = 0;
};

// A read-only stream over a block that stays the caller's: writes store nothing and return 0,
// SetSize does nothing.
class TVLMemStream : public TCustomMemoryStream {
public:
    TVLMemStream(void* Memory, int64_t Size);
    int32_t Write(const void* Buffer, int32_t Count) override;
    void SetSize(int64_t NewSize) override;
};

// A read-only stream that reads Source (not owned) through a buffer. With Relative, position 0
// is Source's position at construction, else Source's position 0; the size is Source's size at
// construction minus that base. Source's own position is left wherever the last fill put it.
class TVLBufferedReadStream : public TStream {
public:
    TVLBufferedReadStream(TStream& Source, int32_t BufferSize, bool Relative);
    int32_t Read(void* Buffer, int32_t Count) override;
    // Raises Exception: the stream is read-only.
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
    void Refill();
    TStream& FSource;
    int32_t FBufferSize;
    std::unique_ptr<uint8_t[]> FBuffer;
    int64_t FSourcePosition;
    int32_t FBufferIndex = 0;
    int32_t FBufferFill = 0;
    int64_t FSourceSize;
    int64_t FBasePosition;
};

// A file stream over a handle it opens with CreateFileWide (Mode fmCreate) or OpenFileWide (any
// other mode) and closes. Raises EFCreateError / EFOpenError naming the file and the cause.
class TVLWideFileStream : public THandleStream {
public:
    TVLWideFileStream(const String& FileName, uint16_t Mode);
    ~TVLWideFileStream() override;
    TVLWideFileStream(const TVLWideFileStream&) = delete;
    TVLWideFileStream& operator=(const TVLWideFileStream&) = delete;
};

// Opens or creates a file with the platform's file call (Access, Share, Disposition and Flags
// as CreateFileW takes them). INVALID_HANDLE_VALUE on failure.
THandle CreateFileWide(const String& FileName, uint32_t Access, uint32_t Share,
                       uint32_t Disposition, uint32_t Flags);
// Creates or empties a file for reading and writing.
THandle CreateFileForWriting(const String& FileName);
// Opens an existing file by a class-library file mode (fmOpenRead ... | fmShare...);
// INVALID_HANDLE_VALUE for an undefined access or sharing value, without touching the files.
THandle OpenFileWide(const String& FileName, uint8_t Mode);

// Reads up to Count bytes, in calls the 32-bit Read takes, until the stream gives no more;
// the bytes read.
int64_t ReadUpTo(TStream& Stream, void* Buffer, int64_t Count);

// Writes Count bytes and sets Aborting when fewer were written; never clears it.
void SafeStreamWrite(TStream& Stream, bool& Aborting, const void* Buffer, int32_t Count);

// A 32-bit little-endian length, then the bytes.
void SaveAnsiStringToStream(TStream& Stream, const AnsiString& S);
// Reads what SaveAnsiStringToStream wrote. A negative length, or one that runs past the end of
// the stream, raises EReadError and leaves S unchanged; memory grows only with bytes actually
// read, so a forged length cannot make it allocate.
void LoadAnsiStringFromStream(TStream& Stream, AnsiString& S);

// Folder + Prefix + "-" + 8 upper-case hexadecimal digits + ".tmp", a name that does not exist
// yet; a separator is added after a folder that lacks one.
String MakeTempFileName(const String& Prefix, const String& Folder);
bool FolderExists(const String& Path);
// Creates Path and every missing folder above it, outermost first. An empty path raises
// Exception "Cannot Create Directory"; a folder that cannot be created is not reported.
void CreateDirectoryPath(const String& Path);
// Opens the clipboard without an owner window: up to 10 attempts, 20 ms apart.
bool OpenClipboardRetry();

// Zero-filled memory; nil when it cannot be had. Freed with FreeGlobal.
void* AllocGlobalZeroed(size_t Bytes);
void FreeGlobal(void*& P);

// A zero-filled block from the heap (below 1 MiB) or from global memory (1 MiB and more, or when
// the heap is exhausted); the route is recorded in a header in front of the block, which keeps the
// block aligned for any type. nil when no memory can be had. Freed with FreeBlock.
void* AllocBlock(size_t Size);
void FreeBlock(void*& P);

// Heap allocation that leaves P nil instead of raising when memory is exhausted (free with
// std::free).
void TryGetMem(void*& P, size_t Size);
