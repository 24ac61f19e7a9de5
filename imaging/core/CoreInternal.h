// Helpers shared by the units of the imaging library that work on bitmaps, not part of the core's
// interface: access modes for a copy or a pass over rows, checked row access and progress
// reporting.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "imaging/core/VLThreadPool.h"
#include "platform/rtl/SysUtils.h"

#include <cstring>
#include <functional>
#include <vector>

namespace imaging_core::detail {

// Gives a variable a value for the length of a scope and restores the one it had, however the
// scope is left.
template <class T> class TValueScope {
public:
    TValueScope(T& Variable, T Value) : FVariable(Variable), FSaved(Variable) { Variable = Value; }
    ~TValueScope() { FVariable = FSaved; }
    TValueScope(const TValueScope&) = delete;
    TValueScope& operator=(const TValueScope&) = delete;

private:
    T& FVariable;
    T FSaved;
};

// Sets a bitmap's access bits for the length of a scope and restores them after.
class TAccessScope : public TValueScope<uint8_t> {
public:
    TAccessScope(TVLBaseBitmap& Bitmap, uint8_t Access) : TValueScope(Bitmap.Access, Access) {}
};

// Sets a bitmap's access bits for one pass over its rows. On exit the rows still mapped are
// released (a write-only row is written back to a file-located bitmap) and the bits restored.
class TRowPassScope {
public:
    TRowPassScope(TVLBitmap& Bitmap, uint8_t Access) : FBitmap(Bitmap), FSaved(Bitmap.Access) {
        Bitmap.Access = Access;
    }
    ~TRowPassScope() {
        FBitmap.UnmapAllScanlines();
        FBitmap.Access = FSaved;
    }
    TRowPassScope(const TRowPassScope&) = delete;
    TRowPassScope& operator=(const TRowPassScope&) = delete;

private:
    TVLBitmap& FBitmap;
    uint8_t FSaved;
};

// Row Row of Bitmap; a file-located row that cannot be mapped raises EOutOfMemory.
inline uint8_t* CheckedScanline(TVLBitmap& Bitmap, int32_t Row) {
    uint8_t* row = Bitmap.GetScanline(Row);
    if (row == nullptr) throw EOutOfMemory(u"Out of memory");
    return row;
}

// Reports progress to an optional event, either after every row or only on a changed value.
// The event must outlive the reporter.
class TProgressReporter {
public:
    TProgressReporter() = default;
    TProgressReporter(const TVLProgressEvent& Event, TObject* Sender)
        : FEvent(Event ? &Event : nullptr), FSender(Sender) {}
    void Report(int32_t Percent) const {
        if (FEvent != nullptr) (*FEvent)(FSender, Percent);
    }
    bool Active() const { return FEvent != nullptr; }
    void ReportChange(int32_t Percent) {
        if (FEvent == nullptr || Percent == FLast) return;
        FLast = Percent;
        (*FEvent)(FSender, Percent);
    }

private:
    const TVLProgressEvent* FEvent = nullptr;
    TObject* FSender = nullptr;
    int32_t FLast = -1;
};

// Formats a class-library bitmap holds as they are (vl16g it holds only as vl8g).
inline bool ClassBitmapHolds(TVLPixelFormat Format) {
    using enum TVLPixelFormat;
    return Format == vl1g || Format == vl8p || Format == vl8g || Format == vl24RGB ||
           Format == vl32RGB;
}

// Whether a resampler may run its rows in bands on the library's threads: both bitmaps' rows
// can be reached from any thread (neither lives in a temporary file) and nobody follows the
// progress, which is reported row by row in order.
inline bool RowBandsAllowed(TVLBitmap& Source, TVLBitmap& Dest, const TProgressReporter& Progress) {
    return !Progress.Active() && Source.GetLocation() != TVLLocation::vlFile &&
           Dest.GetLocation() != TVLLocation::vlFile;
}

// Work(First, Last) over rows 0 .. Count - 1: in bands on the pool when Bands, else at once.
inline void RunRows(bool Bands, int32_t Count, const std::function<void(int32_t, int32_t)>& Work) {
    if (Bands)
        RunInBands(Count, 16, Work);
    else
        Work(0, Count);
}

inline int32_t TruncInt(double Value) {
    return static_cast<int32_t>(Trunc(Value));
}

inline void AllocateOrThrow(TVLBitmap& Bitmap, int32_t Width, int32_t Height,
                            TVLPixelFormat Format) {
    if (!Bitmap.Allocate(Width, Height, Format)) throw EOutOfMemory(u"Out of memory");
}

// Writes Bytes bytes to a destination row and clears its padding, so that a write-only row of a
// file-located bitmap carries no stale bytes.
inline void StoreRow(TVLBitmap& Dest, int32_t Y, const uint8_t* Pixels, size_t Bytes) {
    uint8_t* row = CheckedScanline(Dest, Y);
    std::memcpy(row, Pixels, Bytes);
    std::memset(row + Bytes, 0, Dest.GetRowLen() - Bytes);
}

// Writes Count grey levels as blue = green = red to a vl24RGB destination row.
inline void StoreGrayAs24(TVLBitmap& Dest, int32_t Y, const uint8_t* Gray, int32_t Count) {
    uint8_t* row = CheckedScanline(Dest, Y);
    for (int32_t x = 0; x < Count; ++x)
        row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = Gray[x];
    std::memset(row + 3 * static_cast<size_t>(Count), 0,
                Dest.GetRowLen() - 3 * static_cast<size_t>(Count));
}

// The intermediate image of a two-pass resampler: destination width by source height, packed
// rows of bytes.
struct TIntermediate {
    TIntermediate(int32_t Width, int32_t Height, int32_t Channels)
        : RowBytes(static_cast<size_t>(Width) * Channels),
          Pixels(RowBytes * static_cast<size_t>(Height)) {}
    uint8_t* Row(int32_t Y) { return Pixels.data() + RowBytes * Y; }
    size_t RowBytes;
    std::vector<uint8_t> Pixels;
};

// Exact Alpha / 255 blend of S over D, rounded to the nearest: alpha 0 gives D, 255 gives S.
template <typename T> T Blend255(T S, T D, uint32_t Alpha) {
    return static_cast<T>(
        (static_cast<uint64_t>(S) * Alpha + static_cast<uint64_t>(D) * (255 - Alpha) + 127) / 255);
}

// Unaligned load and store of a sample of type T.
template <typename T> T Load(const uint8_t* P) {
    T value;
    std::memcpy(&value, P, sizeof(T));
    return value;
}
template <typename T> void Store(uint8_t* P, const T& Value) {
    std::memcpy(P, &Value, sizeof(T));
}

// A grey pixel: the level in blue, green and red.
inline TVLRGB Grey(uint8_t Level) {
    return {Level, Level, Level};
}

} // namespace imaging_core::detail
