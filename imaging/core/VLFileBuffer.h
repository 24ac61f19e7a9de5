// The temporary-file store: one delete-on-close file per store, sized up front, whose byte
// ranges are handed out as heap copies and written back when released.
#pragma once

#include "platform/rtl/Classes.h"

#include <memory>
#include <vector>

// Bytes the filesystem must keep free beyond a temporary file.
constexpr int64_t TempFileDiskReserve = 128000000;
// A file of Size bytes may be created where FreeBytes are free (FreeBytes -1 = unknown).
bool TempFileFits(int64_t FreeBytes, int64_t Size);

// A handle stream on a new file that disappears when the stream is closed, even after a crash.
class TVLTemporaryFileStream : public THandleStream {
public:
    // Creates FileName exclusively; raises EInOutError "Unable to create <name>" when the file
    // exists or cannot be created.
    explicit TVLTemporaryFileStream(const String& FileName);
    ~TVLTemporaryFileStream() override;
};

// Access bits of a mapped block.
constexpr uint8_t VLAccessRead = 1;  // read from the file when mapped
constexpr uint8_t VLAccessWrite = 2; // written back when unmapped

class TVLFileBuffer : public TObject {
public:
    ~TVLFileBuffer() override;

    // Creates and sizes the file in DefaultTempFolder (or the system temporary folder) when its
    // filesystem keeps TempFileDiskReserve bytes free beyond Size; false, creating nothing,
    // otherwise. A file already open is closed first.
    bool AllocateFile(const String& Prefix, int64_t Size);
    bool IsAllocated() const { return FStream != nullptr; }
    void SetSize(int64_t Size);

    // A heap copy of Size bytes at Offset (read from the file when Access has VLAccessRead;
    // undefined bytes otherwise); nil when the memory cannot be had.
    void* MapBlock(uint8_t Access, int64_t Size, int64_t Offset);
    // Releases a mapped block, writing it back first when it was mapped with VLAccessWrite.
    // A write that does not complete raises EWriteError; the block is released all the same.
    void UnmapBlock(void* Buffer);
    // Releases every block; the first failed write-back is raised after all are released.
    void UnmapAll();
    int32_t IndexOfBlock(const void* Buffer) const;
    int32_t BlockCount() const { return static_cast<int32_t>(FBlocks.size()); }

    // Copies Size bytes at Offset from this file to Dest's file, in chunks of at most 1 MiB.
    void CopyTo(TVLFileBuffer& Dest, int64_t Size, int64_t Offset);
    // Writes back what is mapped for writing and closes (and so deletes) the file; a failed
    // write-back is raised once the file is closed.
    void Close();
    const String& FileName() const { return FFileName; }

private:
    struct Block {
        int64_t Offset;
        int64_t Size;
        uint8_t* Buffer;
        uint8_t Access;
    };

    std::unique_ptr<TVLTemporaryFileStream> FStream;
    String FFileName;
    std::vector<Block> FBlocks;
};

// Bytes of physical memory: the available amount when Available, else the total; 0 when unknown.
int64_t GetPhysicalMemory(bool Available);
