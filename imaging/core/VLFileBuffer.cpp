// The temporary-file store.
#include "imaging/core/VLFileBuffer.h"

#include "imaging/core/VLDefs.h"
#include "imaging/core/VLStreams.h"
#include "platform/rtl/WinApi.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>

bool TempFileFits(int64_t FreeBytes, int64_t Size) {
    return FreeBytes >= 0 && Size >= 0 && FreeBytes - TempFileDiskReserve >= Size;
}

TVLTemporaryFileStream::TVLTemporaryFileStream(const String& FileName)
    : THandleStream(CreateDeleteOnCloseFile(FileName)) {
    if (FHandle == INVALID_HANDLE_VALUE) throw EInOutError(u"Unable to create " + FileName);
}

TVLTemporaryFileStream::~TVLTemporaryFileStream() {
    CloseHandle(FHandle);
}

TVLFileBuffer::~TVLFileBuffer() {
    try {
        Close();
    } catch (const Exception&) {
        // A block that could not be written back is lost with the file it belonged to.
    }
    for (Block& block : FBlocks)
        std::free(block.Buffer);
}

bool TVLFileBuffer::AllocateFile(const String& Prefix, int64_t Size) {
    Close();
    const String folder = DefaultTempFolder.empty() ? GetTempPath() : DefaultTempFolder;
    // The free space is that of the filesystem the file will be made on.
    if (!TempFileFits(GetDiskFreeSpace(folder), Size)) return false;
    try {
        const String name = MakeTempFileName(Prefix, folder);
        auto stream = std::make_unique<TVLTemporaryFileStream>(name);
        if (!ReserveFileSpace(stream->Handle(), Size)) return false;
        FStream = std::move(stream);
        FFileName = name;
        return true;
    } catch (const Exception&) {
        return false;
    }
}

void TVLFileBuffer::SetSize(int64_t Size) {
    if (FStream) FStream->SetSize(Size);
}

void* TVLFileBuffer::MapBlock(uint8_t Access, int64_t Size, int64_t Offset) {
    if (Size < 0) return nullptr;
    auto* buffer =
        static_cast<uint8_t*>(std::malloc(static_cast<size_t>(std::max<int64_t>(Size, 1))));
    if (buffer == nullptr) return nullptr;
    if (FStream && (Access & VLAccessRead)) {
        FStream->Seek(Offset, soBeginning);
        int64_t done = 0;
        while (done < Size) {
            const auto chunk = static_cast<int32_t>(std::min<int64_t>(Size - done, 1 << 30));
            const int32_t got = FStream->Read(buffer + done, chunk);
            if (got <= 0) break;
            done += got;
        }
    }
    FBlocks.push_back({Offset, Size, buffer, Access});
    return buffer;
}

void TVLFileBuffer::UnmapBlock(void* Buffer) {
    const int32_t index = IndexOfBlock(Buffer);
    if (index < 0) return;
    const Block block = FBlocks[index];
    // The block is given up whether or not its bytes reach the file.
    FBlocks.erase(FBlocks.begin() + index);
    std::unique_ptr<uint8_t, decltype(&std::free)> buffer(block.Buffer, &std::free);
    if (FStream && (block.Access & VLAccessWrite)) {
        FStream->Seek(block.Offset, soBeginning);
        // Blocks of 2 GiB and more go in several writes; a short one raises EWriteError.
        FStream->WriteBuffer(block.Buffer, block.Size);
    }
}

void TVLFileBuffer::UnmapAll() {
    if (!FStream) return;
    // Every block is released even when one cannot be written back; the first failure is
    // raised at the end.
    std::exception_ptr failure;
    while (!FBlocks.empty()) {
        try {
            UnmapBlock(FBlocks.back().Buffer);
        } catch (const Exception&) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

int32_t TVLFileBuffer::IndexOfBlock(const void* Buffer) const {
    for (size_t i = 0; i < FBlocks.size(); ++i)
        if (FBlocks[i].Buffer == Buffer) return static_cast<int32_t>(i);
    return -1;
}

void TVLFileBuffer::CopyTo(TVLFileBuffer& Dest, int64_t Size, int64_t Offset) {
    if (!FStream || !Dest.FStream) return;
    UnmapAll();
    Dest.UnmapAll();
    FStream->Seek(Offset, soBeginning);
    Dest.FStream->Seek(Offset, soBeginning);
    constexpr int64_t ChunkSize = 1048576;
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min(Size, ChunkSize)));
    while (Size > 0) {
        const auto n = static_cast<int32_t>(std::min(Size, ChunkSize));
        const int32_t got = FStream->Read(chunk.data(), n);
        if (got <= 0) break;
        Dest.FStream->WriteBuffer(chunk.data(), got);
        Size -= got;
    }
}

void TVLFileBuffer::Close() {
    if (!FStream) return;
    std::exception_ptr failure;
    try {
        UnmapAll();
    } catch (const Exception&) {
        failure = std::current_exception();
    }
    // The name was removed when the file was made; closing the handle frees the file. Nothing is
    // deleted by name, so a file of the same name made since by someone else stays.
    FStream.reset();
    FFileName.clear();
    if (failure) std::rethrow_exception(failure);
}

int64_t GetPhysicalMemory(bool Available) {
    MEMORYSTATUSEX status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return static_cast<int64_t>(Available ? status.ullAvailPhys : status.ullTotalPhys);
}
