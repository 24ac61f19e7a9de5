// Compression stream classes over the system zlib.
#include "imaging/io/VLZLib.h"

#define ZLIB_CONST
#include <zlib.h>

#include <algorithm>
#include <cstdlib>

namespace {
const char16_t* const ZErrorTexts[10] = {u"need dictionary",
                                         u"stream end",
                                         u"",
                                         u"file error",
                                         u"stream error",
                                         u"data error",
                                         u"insufficient memory",
                                         u"buffer error",
                                         u"incompatible version",
                                         u""};

String ZErrorText(int32_t Code) {
    const int32_t index = 2 - Code;
    return index >= 0 && index < 10 ? String(ZErrorTexts[index]) : String();
}

const char16_t* const InvalidOperation = u"Invalid ZStream operation!";

int ZLevel(TZCompressionLevel Level) {
    switch (Level) {
    case zcNone:
        return 0;
    case zcFastest:
        return 1;
    case zcMax:
        return 9;
    default:
        return Z_DEFAULT_COMPRESSION;
    }
}
} // namespace

int32_t ZCompressCheck(int32_t Code) {
    if (Code < 0) throw EZCompressionError(ZErrorText(Code));
    return Code;
}

int32_t ZDecompressCheck(int32_t Code) {
    if (Code < 0) throw EZDecompressionError(ZErrorText(Code));
    return Code;
}

TCustomZStream::TCustomZStream(TStream& Stream)
    : FStream(Stream), FStreamPos(Stream.GetPosition()), FZStream(std::make_unique<z_stream>()),
      FBuffer(std::make_unique<uint8_t[]>(BufferSize)) {}

TCustomZStream::~TCustomZStream() = default;

void TCustomZStream::DoProgress() {
    if (OnProgress) OnProgress(this);
}

void TCustomZStream::RestoreStreamPosition() {
    if (FStream.GetPosition() != FStreamPos) FStream.SetPosition(FStreamPos);
}

TZCompressionStream::TZCompressionStream(TStream& Dest, TZCompressionLevel Level)
    : TCustomZStream(Dest) {
    FZStream->next_out = FBuffer.get();
    FZStream->avail_out = BufferSize;
    ZCompressCheck(deflateInit(FZStream.get(), ZLevel(Level)));
}

TZCompressionStream::~TZCompressionStream() {
    if (!FFinished) {
        try {
            Finish();
        } catch (const std::exception&) {
            // A destructor cannot raise; callers that must know the outcome call Finish.
        }
    }
    deflateEnd(FZStream.get());
}

int32_t TZCompressionStream::Read(void*, int32_t) {
    throw EZCompressionError(InvalidOperation);
}

void TZCompressionStream::WriteBufferOut(int32_t Count) {
    FStream.WriteBuffer(FBuffer.get(), Count);
    FZStream->next_out = FBuffer.get();
    FZStream->avail_out = BufferSize;
    FStreamPos = FStream.GetPosition();
    DoProgress();
}

int32_t TZCompressionStream::Write(const void* Buffer, int32_t Count) {
    if (FFinished) throw EZCompressionError(InvalidOperation);
    if (Count <= 0) return 0;
    FZStream->next_in = static_cast<const Bytef*>(Buffer);
    FZStream->avail_in = static_cast<uInt>(Count);
    RestoreStreamPosition();
    while (FZStream->avail_in > 0) {
        ZCompressCheck(deflate(FZStream.get(), Z_NO_FLUSH));
        if (FZStream->avail_out == 0) WriteBufferOut(BufferSize);
    }
    return Count;
}

int64_t TZCompressionStream::Seek(int64_t, TSeekOrigin) {
    return static_cast<int64_t>(FZStream->total_in);
}

void TZCompressionStream::Finish() {
    if (FFinished) return;
    FFinished = true;
    FZStream->next_in = nullptr;
    FZStream->avail_in = 0;
    RestoreStreamPosition();
    while (ZCompressCheck(deflate(FZStream.get(), Z_FINISH)) != Z_STREAM_END)
        WriteBufferOut(BufferSize - static_cast<int32_t>(FZStream->avail_out));
    if (FZStream->avail_out < static_cast<uInt>(BufferSize))
        WriteBufferOut(BufferSize - static_cast<int32_t>(FZStream->avail_out));
}

TZDecompressionStream::TZDecompressionStream(TStream& Source)
    : TCustomZStream(Source), FStartPos(FStreamPos) {
    FZStream->next_in = FBuffer.get();
    FZStream->avail_in = 0;
    ZDecompressCheck(inflateInit(FZStream.get()));
}

TZDecompressionStream::~TZDecompressionStream() {
    inflateEnd(FZStream.get());
}

int32_t TZDecompressionStream::Read(void* Buffer, int32_t Count) {
    if (Count <= 0) return 0;
    FZStream->next_out = static_cast<Bytef*>(Buffer);
    FZStream->avail_out = static_cast<uInt>(Count);
    RestoreStreamPosition();
    int32_t code = Z_OK;
    while (FZStream->avail_out > 0 && code != Z_STREAM_END) {
        if (FZStream->avail_in == 0) {
            const int32_t got = FStream.Read(FBuffer.get(), BufferSize);
            if (got <= 0) return Count - static_cast<int32_t>(FZStream->avail_out);
            FZStream->next_in = FBuffer.get();
            FZStream->avail_in = static_cast<uInt>(got);
            FStreamPos = FStream.GetPosition();
            DoProgress();
        }
        code = ZDecompressCheck(inflate(FZStream.get(), Z_NO_FLUSH));
        // Data that asks for a preset dictionary cannot be inflated here; inflating again would
        // only repeat the request.
        if (code == Z_NEED_DICT) throw EZDecompressionError(ZErrorText(Z_NEED_DICT));
    }
    if (code == Z_STREAM_END && FZStream->avail_in > 0) {
        FStream.SetPosition(FStream.GetPosition() - FZStream->avail_in);
        FStreamPos = FStream.GetPosition();
        FZStream->avail_in = 0;
    }
    return Count - static_cast<int32_t>(FZStream->avail_out);
}

int32_t TZDecompressionStream::Write(const void*, int32_t) {
    throw EZDecompressionError(InvalidOperation);
}

void TZDecompressionStream::Skip(int64_t Count) {
    uint8_t scrap[8192];
    for (; Count > 0; Count -= std::min<int64_t>(Count, sizeof scrap))
        ReadBuffer(scrap, std::min<int64_t>(Count, sizeof scrap));
}

int64_t TZDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
    const auto position = static_cast<int64_t>(FZStream->total_out);
    if (Offset == 0 && Origin == soBeginning) {
        ZDecompressCheck(inflateReset(FZStream.get()));
        FZStream->next_in = FBuffer.get();
        FZStream->avail_in = 0;
        // Back to where the compressed data began, which need not be the start of Source.
        FStream.SetPosition(FStartPos);
        FStreamPos = FStartPos;
    } else if (Origin == soCurrent && Offset >= 0) {
        Skip(Offset);
    } else if (Origin == soBeginning && Offset > position) {
        Skip(Offset - position);
    } else if (Origin == soEnd && Offset == 0) {
        uint8_t scrap[8192];
        while (Read(scrap, sizeof scrap) > 0) {
        }
    } else {
        throw EZDecompressionError(InvalidOperation);
    }
    return static_cast<int64_t>(FZStream->total_out);
}

void ZDecompressBuffer(const void* InBuf, int32_t InBytes, void*& OutBuf, int32_t OutEstimate,
                       int32_t& OutBytes) {
    OutBuf = nullptr;
    OutBytes = 0;
    const int64_t in = std::max(InBytes, 0);
    const int64_t delta = std::max<int64_t>((in + 255) / 256 * 256, 256);
    // Deflate cannot expand data more than 1032 times, so nothing valid exceeds that bound.
    const int64_t limit = std::min<int64_t>(
        OutEstimate > 0 ? int64_t{OutEstimate} + delta : in * 1032 + delta, INT32_MAX);
    int64_t size = std::min(OutEstimate > 0 ? int64_t{OutEstimate} : delta, limit);
    auto* out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (out == nullptr) throw EZDecompressionError(ZErrorText(Z_MEM_ERROR));
    z_stream z{};
    z.next_in = static_cast<const Bytef*>(InBuf);
    z.avail_in = static_cast<uInt>(in);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(size);
    try {
        ZDecompressCheck(inflateInit(&z));
    } catch (...) {
        std::free(out);
        throw;
    }
    try {
        for (;;) {
            const int32_t code = ZDecompressCheck(inflate(&z, Z_NO_FLUSH));
            if (code == Z_STREAM_END) break;
            if (code == Z_NEED_DICT) throw EZDecompressionError(ZErrorText(Z_NEED_DICT));
            if (z.avail_out > 0) continue; // input used up: the next call reports it
            if (size >= limit)
                throw EZDecompressionError(u"Decompressed data exceed the expected size");
            size = std::min(size + delta, limit);
            auto* grown = static_cast<uint8_t*>(std::realloc(out, static_cast<size_t>(size)));
            if (grown == nullptr) throw EZDecompressionError(ZErrorText(Z_MEM_ERROR));
            out = grown;
            z.next_out = out + z.total_out;
            z.avail_out = static_cast<uInt>(size - static_cast<int64_t>(z.total_out));
        }
        ZDecompressCheck(inflateEnd(&z));
    } catch (...) {
        inflateEnd(&z);
        std::free(out);
        throw;
    }
    const auto total = static_cast<int32_t>(z.total_out);
    if (auto* fitted = static_cast<uint8_t*>(std::realloc(out, std::max(total, 1)))) out = fitted;
    OutBuf = out;
    OutBytes = total;
}
