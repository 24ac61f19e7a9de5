// Streams that deflate what is written into another stream and inflate what another stream
// holds (zlib format), and the inflation of a block in memory.
#pragma once

#include "platform/rtl/Classes.h"

#include <functional>
#include <memory>

struct z_stream_s;

class EZLibError : public Exception {
public:
    using Exception::Exception;
};
class EZCompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};
class EZDecompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};

// Compression levels: zlib levels 0, 1, its default and 9.
enum TZCompressionLevel : uint8_t { zcNone = 0, zcFastest = 1, zcDefault = 2, zcMax = 3 };

// What the two stream classes share: the other stream (not owned), the position in it where this
// object goes on, zlib's state and a 64 KiB buffer.
class TCustomZStream : public TStream {
public:
    ~TCustomZStream() override;
    TCustomZStream(const TCustomZStream&) = delete;
    TCustomZStream& operator=(const TCustomZStream&) = delete;

    // Fired each time a buffer of the other stream has been written or read.
    std::function<void(TObject* Sender)> OnProgress;

protected:
    explicit TCustomZStream(TStream& Stream);
    virtual void DoProgress();
    // Puts the other stream back where this object left it, if someone moved it.
    void RestoreStreamPosition();

    static constexpr int32_t BufferSize = 65536;
    TStream& FStream;
    int64_t FStreamPos;
    std::unique_ptr<z_stream_s> FZStream;
    std::unique_ptr<uint8_t[]> FBuffer;
};

// Deflates everything written to it into Dest, from Dest's position at construction.
class TZCompressionStream : public TCustomZStream {
public:
    TZCompressionStream(TStream& Dest, TZCompressionLevel Level);
    // Finishes the compressed data unless Finish already did; errors are lost here, so a caller
    // that must know calls Finish first.
    ~TZCompressionStream() override;
    // Raises EZCompressionError.
    int32_t Read(void* Buffer, int32_t Count) override;
    int32_t Write(const void* Buffer, int32_t Count) override;
    // Any move reports the number of bytes written so far, so Position and Size are that count.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    // Writes the rest of the compressed data and its end; later writes raise. Raises on a zlib
    // error or when Dest takes fewer bytes than given.
    void Finish();

private:
    void WriteBufferOut(int32_t Count);
    bool FFinished = false;
};

// Delivers the inflated content of Source from Source's position at construction. Reading past
// the compressed data returns fewer bytes; once the end is read, Source stands right after it.
class TZDecompressionStream : public TCustomZStream {
public:
    explicit TZDecompressionStream(TStream& Source);
    ~TZDecompressionStream() override;
    int32_t Read(void* Buffer, int32_t Count) override;
    // Raises EZDecompressionError.
    int32_t Write(const void* Buffer, int32_t Count) override;
    // Position 0 restarts inflation where the data begins in Source; forward moves read and
    // discard; (0, soEnd) reads to the end. Any other move raises EZDecompressionError
    // "Invalid ZStream operation!". Returns the inflated position.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

private:
    void Skip(int64_t Count);
    int64_t FStartPos;
};

// Inflates InBytes of zlib data into a new block (free it with std::free). OutEstimate is the
// size the caller expects (0 = unknown); the block starts at that size and grows in steps of
// InBytes rounded up to 256. Output beyond OutEstimate plus one step, or beyond what deflate can
// produce from InBytes when there is no estimate, raises EZDecompressionError and frees the block,
// as any zlib error does.
void ZDecompressBuffer(const void* InBuf, int32_t InBytes, void*& OutBuf, int32_t OutEstimate,
                       int32_t& OutBytes);

// Code when it is 0 or more; a negative code raises with zlib's text for it.
int32_t ZCompressCheck(int32_t Code);
int32_t ZDecompressCheck(int32_t Code);
