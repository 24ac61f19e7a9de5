// Persistent objects, the stream family and the pointer list of the class library.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <functional>
#include <vector>

class TPersistent : public TObject {};

// An event without arguments beyond its sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TSeekOrigin : uint16_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// File-open modes: the access in the low two bits, the sharing in bits 4 to 6.
constexpr uint16_t fmCreate = 0xFFFF;
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;

class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A sequence of bytes with a position. Seeking from the end places the position at
// size + offset. Read and Write move at most Count bytes and return how many moved.
class TStream : public TObject {
public:
    virtual int32_t Read(void* Buffer, int32_t Count) = 0;
    virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
    virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
    virtual int64_t GetSize();
    virtual void SetSize(int64_t NewSize);

    int64_t GetPosition() { return Seek(0, soCurrent); }
    void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }

    // Move exactly Count bytes or raise EReadError / EWriteError.
    void ReadBuffer(void* Buffer, int64_t Count);
    void WriteBuffer(const void* Buffer, int64_t Count);
    // Copies Count bytes from Source's position (the whole of Source when Count is 0).
    int64_t CopyFrom(TStream& Source, int64_t Count);
};

// Handle of an open file: a POSIX descriptor, -1 when invalid.
using THandle = int;
constexpr THandle INVALID_HANDLE_VALUE = -1;

// A stream over a file handle it does not own.
class THandleStream : public TStream {
public:
    explicit THandleStream(THandle AHandle) : FHandle(AHandle) {}
    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void SetSize(int64_t NewSize) override;
    THandle Handle() const { return FHandle; }

protected:
    THandle FHandle;
};

// A stream over a named file; it opens the file (or creates it with fmCreate) and closes it.
class TFileStream : public THandleStream {
public:
    TFileStream(const String& FileName, uint16_t Mode);
    ~TFileStream() override;
    const String& FileName() const { return FFileName; }

private:
    String FFileName;
};

// A read/seek stream over a memory block set by the descendant.
class TCustomMemoryStream : public TStream {
public:
    int32_t Read(void* Buffer, int32_t Count) override;
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    void* Memory() const { return FMemory; }

protected:
    void SetPointer(void* Ptr, int64_t Size);
    void* FMemory = nullptr;
    int64_t FSize = 0;
    int64_t FPosition = 0;
};

// A growable stream in heap memory.
class TMemoryStream : public TCustomMemoryStream {
public:
    int32_t Write(const void* Buffer, int32_t Count) override;
    void SetSize(int64_t NewSize) override;
    void Clear();
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream);
    void LoadFromFile(const String& FileName);
    void SaveToFile(const String& FileName);

private:
    std::vector<uint8_t> FData;
};

// The class library's list of untyped pointers.
class TList : public TObject {
public:
    int32_t Add(void* Item);
    void Insert(int32_t Index, void* Item);
    void Delete(int32_t Index);
    int32_t Remove(void* Item);
    int32_t IndexOf(void* Item) const;
    void Clear() { FItems.clear(); }
    void Exchange(int32_t Index1, int32_t Index2);
    int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
    void* Get(int32_t Index) const;
    void Put(int32_t Index, void* Item);
    void* First() const { return Get(0); }
    void* Last() const { return Get(Count() - 1); }

private:
    void CheckIndex(int32_t Index) const;
    std::vector<void*> FItems;
};
