// The library's own streams, file and string helpers, and memory blocks.
#include "imaging/core/VLStreams.h"

#include "platform/rtl/SysUtils.h"
#include "platform/rtl/WinApi.h"
#include "platform/ui/Clipboard.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

int32_t TNulStream::Read(void*, int32_t Count) {
    if (Count <= 0) return 0;
    Advance(FPosition + Count);
    return Count;
}

int32_t TNulStream::Write(const void*, int32_t Count) {
    if (Count <= 0) return 0;
    Advance(FPosition + Count);
    return Count;
}

int64_t TNulStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case soBeginning:
        Advance(Offset);
        break;
    case soCurrent:
        Advance(FPosition + Offset);
        break;
    case soEnd:
        FPosition = FSize + Offset;
        break;
    }
    return FPosition;
}

void TNulStream::Advance(int64_t NewPosition) {
    FPosition = NewPosition;
    FSize = std::max(FSize, FPosition);
}

TVLMemStream::TVLMemStream(void* Memory, int64_t Size) {
    SetPointer(Memory, Memory == nullptr ? 0 : std::max<int64_t>(Size, 0));
}

int32_t TVLMemStream::Write(const void*, int32_t) {
    return 0;
}

void TVLMemStream::SetSize(int64_t) {}

TVLBufferedReadStream::TVLBufferedReadStream(TStream& Source, int32_t BufferSize, bool Relative)
    : FSource(Source), FBufferSize(std::max(BufferSize, 1)),
      FBuffer(std::make_unique<uint8_t[]>(FBufferSize)), FSourcePosition(Source.GetPosition()),
      FSourceSize(Source.GetSize()), FBasePosition(Relative ? FSourcePosition : 0) {
    Refill();
}

void TVLBufferedReadStream::Refill() {
    FBufferIndex = 0;
    FBufferFill = 0;
    if (FSourcePosition < 0 || FSourcePosition >= FSourceSize) return;
    FSource.SetPosition(FSourcePosition);
    FBufferFill = std::max(FSource.Read(FBuffer.get(), FBufferSize), 0);
}

int32_t TVLBufferedReadStream::Read(void* Buffer, int32_t Count) {
    int64_t wanted = std::min<int64_t>(Count, FSourceSize - FSourcePosition);
    auto* dst = static_cast<uint8_t*>(Buffer);
    int32_t done = 0;
    while (wanted > 0) {
        if (FBufferIndex >= FBufferFill && wanted >= FBufferSize) {
            // A read of a buffer or more goes straight into the caller's memory: one call on
            // the source instead of one per buffer, and no copy through the buffer.
            FSource.SetPosition(FSourcePosition);
            const int32_t n = std::max(FSource.Read(dst + done, static_cast<int32_t>(wanted)), 0);
            FBufferIndex = FBufferFill = 0;
            FSourcePosition += n;
            done += n;
            wanted -= n;
            if (n == 0) break;
            continue;
        }
        if (FBufferIndex >= FBufferFill) {
            Refill();
            if (FBufferFill == 0) break;
        }
        const auto n = static_cast<int32_t>(std::min<int64_t>(wanted, FBufferFill - FBufferIndex));
        std::memcpy(dst + done, FBuffer.get() + FBufferIndex, n);
        FBufferIndex += n;
        FSourcePosition += n;
        done += n;
        wanted -= n;
    }
    return done;
}

int32_t TVLBufferedReadStream::Write(const void*, int32_t) {
    throw Exception(u"TVLBufferedReadStream cannot write!");
}

int64_t TVLBufferedReadStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    int64_t target = FSourcePosition;
    switch (Origin) {
    case soBeginning:
        target = FBasePosition + Offset;
        break;
    case soCurrent:
        target = FSourcePosition + Offset;
        break;
    case soEnd:
        target = FSourceSize + Offset;
        break;
    }
    if (target != FSourcePosition) {
        FSourcePosition = target;
        Refill();
    }
    return FSourcePosition - FBasePosition;
}

namespace {
THandle OpenWideFile(const String& FileName, uint16_t Mode) {
    const bool creating = Mode == fmCreate;
    const THandle handle = creating ? CreateFileForWriting(FileName)
                                    : OpenFileWide(FileName, static_cast<uint8_t>(Mode));
    if (handle != INVALID_HANDLE_VALUE) return handle;
    const String reason = SysErrorMessage(static_cast<int32_t>(GetLastError()));
    String name = u"\"";
    name.append(ExpandFileName(FileName)).append(u"\". ");
    if (creating) throw EFCreateError(u"Cannot create file " + name + reason);
    throw EFOpenError(u"Cannot open file " + name + reason);
}
} // namespace

TVLWideFileStream::TVLWideFileStream(const String& FileName, uint16_t Mode)
    : THandleStream(OpenWideFile(FileName, Mode)) {}

TVLWideFileStream::~TVLWideFileStream() {
    CloseHandle(FHandle);
}

THandle CreateFileWide(const String& FileName, uint32_t Access, uint32_t Share,
                       uint32_t Disposition, uint32_t Flags) {
    // File names are Unicode all the way down here: there is no single-byte variant to fall back
    // to.
    return CreateFileW(FileName, Access, Share, Disposition, Flags);
}

THandle CreateFileForWriting(const String& FileName) {
    return CreateFileWide(FileName, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                          FILE_ATTRIBUTE_NORMAL);
}

THandle OpenFileWide(const String& FileName, uint8_t Mode) {
    if ((Mode & 3) > 2 || (Mode & 0xF0) > 0x40) {
        errno = EINVAL;
        return INVALID_HANDLE_VALUE;
    }
    static const uint32_t access[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
    // The sharing part of the mode is decoded as the class library defines it, but it cannot be
    // enforced: Linux has no mandatory file locks, so other processes open the file regardless.
    static const uint32_t share[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE};
    return CreateFileWide(FileName, access[Mode & 3], share[(Mode & 0xF0) >> 4], OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL);
}

int64_t ReadUpTo(TStream& Stream, void* Buffer, int64_t Count) {
    auto* bytes = static_cast<uint8_t*>(Buffer);
    int64_t got = 0;
    while (got < Count) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(Count - got, 1 << 30));
        const int32_t n = Stream.Read(bytes + got, chunk);
        if (n <= 0) break;
        got += n;
    }
    return got;
}

void SafeStreamWrite(TStream& Stream, bool& Aborting, const void* Buffer, int32_t Count) {
    if (Count <= 0) return;
    if (Stream.Write(Buffer, Count) < Count) Aborting = true;
}

void SaveAnsiStringToStream(TStream& Stream, const AnsiString& S) {
    if (S.size() > static_cast<size_t>(INT32_MAX))
        throw EWriteError(u"String too long for a stream");
    const auto length = static_cast<uint32_t>(S.size());
    const uint8_t prefix[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                               static_cast<uint8_t>(length >> 16),
                               static_cast<uint8_t>(length >> 24)};
    Stream.WriteBuffer(prefix, 4);
    Stream.WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

void LoadAnsiStringFromStream(TStream& Stream, AnsiString& S) {
    uint8_t prefix[4];
    Stream.ReadBuffer(prefix, 4);
    const auto length = static_cast<int32_t>(prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) |
                                             (static_cast<uint32_t>(prefix[3]) << 24));
    if (length < 0) throw EReadError(u"Invalid string length in stream");
    // Read in pieces so that the string only grows by what the stream really holds.
    constexpr int32_t piece = 65536;
    AnsiString text;
    for (int32_t left = length; left > 0;) {
        const int32_t n = std::min(left, piece);
        const size_t old = text.size();
        text.resize(old + n);
        if (Stream.Read(text.data() + old, n) != n)
            throw EReadError(u"Invalid string length in stream");
        left -= n;
    }
    S = std::move(text);
}

String MakeTempFileName(const String& Prefix, const String& Folder) {
    static std::mutex lock;
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<uint32_t> pick(0, 0x7FFFFFFE);
    const String folder = Folder.empty() ? Folder : IncludeTrailingPathDelimiter(Folder);
    for (;;) {
        uint32_t value;
        {
            std::lock_guard guard(lock);
            value = pick(random);
        }
        String name = folder + Prefix + u"-" + IntToHex(value, 8) + u".tmp";
        if (!FileExists(name) && !DirectoryExists(name)) return name;
    }
}

bool FolderExists(const String& Path) {
    return DirectoryExists(Path);
}

void CreateDirectoryPath(const String& Path) {
    if (Path.empty()) throw Exception(u"Cannot Create Directory");
    String path = Path;
    if (path.back() == PathDelim) path.pop_back();
    // What is left of the root folder is empty; a drive letter does not exist here.
    if (path.empty() || FolderExists(path)) return;
    const size_t separator = path.rfind(PathDelim);
    if (separator != String::npos && separator > 0) CreateDirectoryPath(path.substr(0, separator));
    CreateDir(path);
}

bool OpenClipboardRetry() {
    constexpr int attempts = 10;
    for (int i = 0; i < attempts; ++i) {
        if (OpenClipboard()) return true;
        if (i + 1 < attempts) Sleep(20);
    }
    return false;
}

void* AllocGlobalZeroed(size_t Bytes) {
    // A large block comes fresh from the system, untouched: the advice still reaches all of it.
    void* block = std::calloc(Bytes == 0 ? 1 : Bytes, 1);
    AdviseLargePages(block, Bytes);
    return block;
}

void FreeGlobal(void*& P) {
    std::free(P);
    P = nullptr;
}

namespace {
// The header keeps the caller's bytes aligned like anything malloc returns.
constexpr size_t BlockHeader = alignof(std::max_align_t);
constexpr uint8_t TagHeap = 0;
constexpr uint8_t TagGlobal = 1;
constexpr size_t HeapBlockLimit = 0x100000;
} // namespace

void* AllocBlock(size_t Size) {
    if (Size > SIZE_MAX - BlockHeader) return nullptr;
    uint8_t* block = nullptr;
    uint8_t tag = TagGlobal;
    if (Size < HeapBlockLimit) {
        // Zeroed like the large blocks, so that bytes a writer never sets (the fourth byte of a
        // background, row padding) never carry what the heap held before into a picture or a file.
        block = static_cast<uint8_t*>(std::calloc(1, Size + BlockHeader));
        tag = TagHeap;
    }
    if (block == nullptr) {
        block = static_cast<uint8_t*>(AllocGlobalZeroed(Size + BlockHeader));
        tag = TagGlobal;
    }
    if (block == nullptr) return nullptr;
    block[0] = tag;
    return block + BlockHeader;
}

void FreeBlock(void*& P) {
    if (P == nullptr) return;
    void* block = static_cast<uint8_t*>(P) - BlockHeader;
    // Both routes end in the C heap here; the tag is kept so the block layout stays one.
    if (*static_cast<uint8_t*>(block) == TagGlobal)
        FreeGlobal(block);
    else
        std::free(block);
    P = nullptr;
}

void TryGetMem(void*& P, size_t Size) {
    P = std::malloc(Size == 0 ? 1 : Size);
}
