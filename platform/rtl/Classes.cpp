// Streams over POSIX descriptors and memory, and the pointer list.
#include "platform/rtl/Classes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int64_t TStream::GetSize() {
    const int64_t pos = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
    auto* dst = static_cast<uint8_t*>(Buffer);
    while (Count > 0) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(Count, 1 << 30));
        const int32_t got = Read(dst, chunk);
        if (got != chunk) throw EReadError(u"Stream read error");
        dst += got;
        Count -= got;
    }
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
    const auto* src = static_cast<const uint8_t*>(Buffer);
    while (Count > 0) {
        const auto chunk = static_cast<int32_t>(std::min<int64_t>(Count, 1 << 30));
        const int32_t put = Write(src, chunk);
        if (put != chunk) throw EWriteError(u"Stream write error");
        src += put;
        Count -= put;
    }
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
    if (Count == 0) {
        Source.SetPosition(0);
        Count = Source.GetSize();
    }
    const int64_t total = Count;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(Count, 1 << 20)));
    while (Count > 0) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(Count, buffer.size()));
        Source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        Count -= n;
    }
    return total;
}

int32_t THandleStream::Read(void* Buffer, int32_t Count) {
    if (Count <= 0) return 0;
    int32_t done = 0;
    while (done < Count) {
        const ssize_t n = ::read(FHandle, static_cast<uint8_t*>(Buffer) + done, Count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int32_t THandleStream::Write(const void* Buffer, int32_t Count) {
    if (Count <= 0) return 0;
    int32_t done = 0;
    while (done < Count) {
        const ssize_t n =
            ::write(FHandle, static_cast<const uint8_t*>(Buffer) + done, Count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(FHandle, Offset, whence);
}

void THandleStream::SetSize(int64_t NewSize) {
    const int64_t pos = GetPosition();
    if (::ftruncate(FHandle, NewSize) != 0) throw EStreamError(u"Stream write error");
    if (pos > NewSize) Seek(NewSize, soBeginning);
}

namespace {
THandle OpenFileByMode(const String& FileName, uint16_t Mode) {
    if (Mode == fmCreate) return OpenFileHandle(FileName, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC);
    // Sharing (bits 4 to 6) cannot be enforced by POSIX file locks without the cooperation of
    // every other program, so only the access bits decide how the file is opened.
    static const int access[] = {O_RDONLY, O_WRONLY, O_RDWR, O_RDONLY};
    return OpenFileHandle(FileName, access[Mode & 3] | O_CLOEXEC);
}
} // namespace

TFileStream::TFileStream(const String& FileName, uint16_t Mode)
    : THandleStream(OpenFileByMode(FileName, Mode)), FFileName(FileName) {
    if (FHandle == INVALID_HANDLE_VALUE) {
        const String reason = StrFromUtf8(std::strerror(errno));
        const String full = ExpandFileName(FileName);
        if (Mode == fmCreate)
            throw EFCreateError(u"Cannot create file \"" + full + u"\". " + reason);
        throw EFOpenError(u"Cannot open file \"" + full + u"\". " + reason);
    }
}

TFileStream::~TFileStream() {
    if (FHandle != INVALID_HANDLE_VALUE) ::close(FHandle);
}

int32_t TCustomMemoryStream::Read(void* Buffer, int32_t Count) {
    if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
    const auto n = static_cast<int32_t>(std::min<int64_t>(Count, FSize - FPosition));
    std::memcpy(Buffer, static_cast<uint8_t*>(FMemory) + FPosition, n);
    FPosition += n;
    return n;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
    case soBeginning:
        FPosition = Offset;
        break;
    case soCurrent:
        FPosition += Offset;
        break;
    case soEnd:
        FPosition = FSize + Offset;
        break;
    }
    return FPosition;
}

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
    FMemory = Ptr;
    FSize = Size;
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
    if (Count <= 0 || FPosition < 0) return 0;
    const int64_t end = FPosition + Count;
    if (end > FSize) {
        if (end > static_cast<int64_t>(FData.capacity()))
            FData.reserve(static_cast<size_t>(std::max<int64_t>(end, FData.capacity() * 3 / 2)));
        SetSize(end);
    }
    std::memcpy(FData.data() + FPosition, Buffer, Count);
    FPosition = end;
    return Count;
}

void TMemoryStream::SetSize(int64_t NewSize) {
    const int64_t pos = FPosition;
    FData.resize(static_cast<size_t>(std::max<int64_t>(NewSize, 0)));
    SetPointer(FData.data(), static_cast<int64_t>(FData.size()));
    if (pos > NewSize) FPosition = NewSize;
}

void TMemoryStream::Clear() {
    FData.clear();
    SetPointer(nullptr, 0);
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
    Stream.SetPosition(0);
    const int64_t size = Stream.GetSize();
    SetSize(size);
    if (size > 0) Stream.ReadBuffer(FData.data(), size);
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& Stream) {
    if (FSize > 0) Stream.WriteBuffer(FData.data(), FSize);
}

void TMemoryStream::LoadFromFile(const String& FileName) {
    TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const String& FileName) {
    TFileStream file(FileName, fmCreate);
    SaveToStream(file);
}

void TList::CheckIndex(int32_t Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
}

int32_t TList::Add(void* Item) {
    FItems.push_back(Item);
    return Count() - 1;
}

void TList::Insert(int32_t Index, void* Item) {
    if (Index < 0 || Index > Count())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    FItems.insert(FItems.begin() + Index, Item);
}

void TList::Delete(int32_t Index) {
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
}

int32_t TList::Remove(void* Item) {
    const int32_t index = IndexOf(Item);
    if (index >= 0) Delete(index);
    return index;
}

int32_t TList::IndexOf(void* Item) const {
    const auto it = std::find(FItems.begin(), FItems.end(), Item);
    return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
}

void TList::Exchange(int32_t Index1, int32_t Index2) {
    CheckIndex(Index1);
    CheckIndex(Index2);
    std::swap(FItems[Index1], FItems[Index2]);
}

void* TList::Get(int32_t Index) const {
    CheckIndex(Index);
    return FItems[Index];
}

void TList::Put(int32_t Index, void* Item) {
    CheckIndex(Index);
    FItems[Index] = Item;
}
