// Writing and reading the layers stream. Every length, count and position read is checked
// against the bytes the stream holds before it is used: a damaged stream gives false, never a
// read or an allocation outside it.
#include "imaging/view/ViewLayersStream.h"

#include "imaging/core/VLStreams.h"
#include "imaging/io/VLFileFormats.h"
#include "imaging/io/VLZLib.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/io/VistrelIOStream.h"
#include "imaging/view/VistrelView.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr char Magic[13] = {'D', 'E', 'R', 'O', 'Z', 'E', 'V', 'E', 'V', 'O', 'V', 'A', 'R'};
// The smallest record of any version is longer than this.
constexpr int64_t MinRecordSize = 38;

template <typename T> void Put(TStream& Stream, T Value) {
    Stream.WriteBuffer(&Value, sizeof(T));
}

void PutBool(TStream& Stream, bool Value) {
    Put<uint8_t>(Stream, Value ? 1 : 0);
}

// A reader that stops at the first field the stream does not hold.
class TFieldReader {
public:
    explicit TFieldReader(TStream& Stream) : FStream(Stream), FSize(Stream.GetSize()) {}
    template <typename T> bool Get(T& Value) {
        return FStream.Read(&Value, sizeof(T)) == static_cast<int32_t>(sizeof(T));
    }
    bool GetBool(bool& Value) {
        uint8_t byte = 0;
        if (!Get(byte)) return false;
        Value = byte != 0;
        return true;
    }
    int64_t Left() { return FSize - FStream.GetPosition(); }
    // Count bytes (0 to what is left) into Bytes.
    bool GetBytes(int32_t Count, std::vector<uint8_t>& Bytes) {
        if (Count < 0 || Count > Left()) return false;
        Bytes.resize(static_cast<size_t>(Count));
        return Count == 0 || FStream.Read(Bytes.data(), Count) == Count;
    }
    int64_t Size() const { return FSize; }

private:
    TStream& FStream;
    int64_t FSize;
};

// One record as read, applied to the view only once every record was read and checked.
struct TLayerRecord {
    bool Visible = false, VisibleBox = false, Cropped = false, Locked = false, Magnify = false;
    int32_t Transparency = 0, PosX = 0, PosY = 0, OwnWidth = 0, OwnHeight = 0;
    double MagnifyRatio = 0;
    uint8_t MagnifyShape = 0, MagnifySource = 0, Operation = 0, ResampleFilter = 0;
    bool UseResampleFilter = false, IsMask = false, Selectable = true, DrawOuter = false;
    std::vector<uint8_t> Name, UserData;
    int64_t ImagePosition = 0;
};

bool ReadRecord(TFieldReader& In, int32_t Version, TLayerRecord& R) {
    if (!In.GetBool(R.Visible) || !In.GetBool(R.VisibleBox) || !In.Get(R.Transparency) ||
        !In.Get(R.PosX) || !In.Get(R.PosY) || !In.GetBool(R.Cropped) || !In.GetBool(R.Locked) ||
        !In.GetBool(R.Magnify) || !In.Get(R.MagnifyRatio) || !In.Get(R.MagnifyShape))
        return false;
    if (Version > 2 && !In.Get(R.MagnifySource)) return false;
    if (!In.Get(R.Operation) || !In.Get(R.OwnWidth) || !In.Get(R.OwnHeight)) return false;
    if (Version > 2) {
        int32_t nameLength = 0, userLength = 0;
        if (!In.Get(R.ResampleFilter) || !In.GetBool(R.UseResampleFilter) ||
            !In.Get(nameLength) || !In.GetBytes(nameLength, R.Name) || !In.Get(userLength) ||
            !In.GetBytes(std::max(userLength, 0), R.UserData) || !In.GetBool(R.IsMask))
            return false;
        if (userLength < 0) return false;
    }
    if (Version > 3 && !In.GetBool(R.Selectable)) return false;
    if (Version > 5 && !In.GetBool(R.DrawOuter)) return false;
    return In.Get(R.ImagePosition) && R.ImagePosition >= 0 && R.ImagePosition < In.Size();
}

void ApplyRecord(const TLayerRecord& R, int32_t Version, TVLLayer& Layer) {
    Layer.Visible = R.Visible;
    Layer.VisibleBox = R.VisibleBox;
    Layer.Transparency = R.Transparency;
    Layer.PosX = R.PosX;
    Layer.PosY = R.PosY;
    Layer.Cropped = R.Cropped;
    Layer.Locked = R.Locked;
    Layer.Magnify = R.Magnify;
    Layer.MagnifyRatio = R.MagnifyRatio;
    Layer.MagnifyShape = R.MagnifyShape;
    Layer.Operation = R.Operation < VLRenderOperationCount
                          ? static_cast<TVLRenderOperation>(R.Operation)
                          : vlroCopy;
    Layer.OwnWidth = R.OwnWidth;
    Layer.OwnHeight = R.OwnHeight;
    Layer.ClientRect = TRect{0, 0, 0, 0};
    if (Version > 2) {
        Layer.MagnifySource = R.MagnifySource;
        Layer.ResampleFilter = R.ResampleFilter <= rfProjectWB
                                   ? static_cast<TResampleFilter>(R.ResampleFilter)
                                   : rfNone;
        Layer.UseResampleFilter = R.UseResampleFilter;
        Layer.Name.assign(R.Name.begin(), R.Name.end());
        Layer.SetUserData(R.UserData.data(), static_cast<int32_t>(R.UserData.size()));
        Layer.IsMask = R.IsMask;
    }
    if (Version > 3) Layer.Selectable = R.Selectable;
    if (Version > 5) Layer.DrawOuter = R.DrawOuter;
}

// A deflated raw dump at the position into Bitmap; false when it is damaged.
bool ReadRawImage(TFieldReader& In, TVLBitmap& Bitmap) {
    int32_t size = 0;
    std::vector<uint8_t> packed;
    if (!In.Get(size) || size <= 0 || !In.GetBytes(size, packed)) return false;
    void* raw = nullptr;
    int32_t rawSize = 0;
    try {
        ZDecompressBuffer(packed.data(), size, raw, 0, rawSize);
    } catch (const EZLibError&) {
        return false;
    }
    const bool ok = Bitmap.LoadRaw(raw, rawSize, nullptr);
    std::free(raw);
    return ok;
}

void WriteRecord(TStream& Stream, TVLLayer& Layer) {
    PutBool(Stream, Layer.Visible);
    PutBool(Stream, Layer.VisibleBox);
    Put<int32_t>(Stream, Layer.Transparency);
    Put<int32_t>(Stream, Layer.PosX);
    Put<int32_t>(Stream, Layer.PosY);
    PutBool(Stream, Layer.Cropped);
    PutBool(Stream, Layer.Locked);
    PutBool(Stream, Layer.Magnify);
    Put<double>(Stream, Layer.MagnifyRatio);
    Put<uint8_t>(Stream, Layer.MagnifyShape);
    Put<uint8_t>(Stream, Layer.MagnifySource);
    Put<uint8_t>(Stream, Layer.Operation);
    Put<int32_t>(Stream, Layer.OwnWidth);
    Put<int32_t>(Stream, Layer.OwnHeight);
    Put<uint8_t>(Stream, Layer.ResampleFilter);
    PutBool(Stream, Layer.UseResampleFilter);
    Put<int32_t>(Stream, static_cast<int32_t>(Layer.Name.size()));
    if (!Layer.Name.empty())
        Stream.WriteBuffer(Layer.Name.data(), static_cast<int64_t>(Layer.Name.size()));
    Put<int32_t>(Stream, Layer.UserDataLen());
    if (Layer.UserDataLen() > 0) Stream.WriteBuffer(Layer.UserData(), Layer.UserDataLen());
    PutBool(Stream, Layer.IsMask);
    PutBool(Stream, Layer.Selectable);
    PutBool(Stream, Layer.DrawOuter);
}

void WriteRawImage(TStream& Stream, TVLBitmap& Bitmap) {
    TMemoryStream packed;
    {
        TZCompressionStream deflate(packed, zcDefault);
        Bitmap.SaveRaw(nullptr, &deflate);
    }
    // The count is what the compression wrote, never a capacity reserved beforehand.
    const int64_t size = packed.GetSize();
    if (size > INT32_MAX) throw EWriteError(u"Layer image too large for the layers stream");
    Put<int32_t>(Stream, static_cast<int32_t>(size));
    Stream.WriteBuffer(packed.Memory(), size);
}

// Restores the current layer and the selectable-only switch however the operation ends.
class TLayerStateGuard {
public:
    explicit TLayerStateGuard(TVistrelView& View)
        : FView(View), FLayer(View.CurrentLayerIndex()),
          FSelectableOnly(View.LayersSelectableOnly) {
        View.LayersSelectableOnly = false;
    }
    ~TLayerStateGuard() {
        if (FLayer >= 0 && FLayer < FView.GetLayerCount()) FView.SetCurrentLayer(FLayer);
        FView.LayersSelectableOnly = FSelectableOnly;
    }
    TLayerStateGuard(const TLayerStateGuard&) = delete;
    TLayerStateGuard& operator=(const TLayerStateGuard&) = delete;
    void Forget() { FLayer = -1; }

private:
    TVistrelView& FView;
    int32_t FLayer;
    bool FSelectableOnly;
};

// Image formats a layers stream may hold: the raw dump or a format with a stream reader, so
// that every layer's load is a read of this stream that reports its own success. A layers or
// vector format would make a stream load itself again.
bool IsImageFormat(int32_t Format) {
    return Format == LayersRawFormat ||
           (Format != ffVect && Format != ffLayers && Format != ffLayersObjects &&
            CanLoadFromStreamFormat(Format));
}

} // namespace

bool IsLayersStream(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t header[LayersHeaderSize];
    const bool complete = Stream.Read(header, LayersHeaderSize) == LayersHeaderSize;
    Stream.SetPosition(start);
    if (!complete || std::memcmp(header, Magic, sizeof(Magic)) != 0) return false;
    int32_t version = 0;
    std::memcpy(&version, header + 13, 4);
    return version > 0;
}

void TVistrelView::SaveLayersToStream(TStream& Stream, int32_t Format) {
    TLayerStateGuard guard(*this);
    if (Format == ffTIFF) Format = ffPNG;
    Stream.WriteBuffer(Magic, sizeof(Magic));
    Put<int32_t>(Stream, LayersStreamVersion);
    Put<int32_t>(Stream, Format);
    Put<int32_t>(Stream, GetLayerCount());
    std::vector<int64_t> slots;
    for (int32_t i = 0; i < GetLayerCount(); ++i) {
        WriteRecord(Stream, *GetLayer(i));
        slots.push_back(Stream.GetPosition());
        Put<int64_t>(Stream, 0);
    }
    for (int32_t i = 0; i < GetLayerCount(); ++i) {
        const int64_t position = Stream.GetPosition();
        Stream.SetPosition(slots[static_cast<size_t>(i)]);
        Put<int64_t>(Stream, position);
        Stream.SetPosition(position);
        SetCurrentLayer(i);
        if (Format == LayersRawFormat) {
            WriteRawImage(Stream, *GetVLBitmap());
        } else {
            TVistrelIO* io = GetIO();
            const TVLPixelFormat pf = GetVLBitmap()->GetPixelFormat();
            io->IOParams().BitsPerSample = pf == TVLPixelFormat::vl1g ? 1 : 8;
            io->IOParams().SamplesPerPixel =
                pf == TVLPixelFormat::vl1g || pf == TVLPixelFormat::vl8g ? 1 : 3;
            io->SaveToStreamFormat(Stream, Format);
            if (io->AbortingFlag) throw EWriteError(u"Cannot write a layer image");
        }
        Stream.Seek(0, soEnd);
    }
}

bool TVistrelView::LoadLayersFromStream(TStream& Stream) {
    TFieldReader in(Stream);
    char magic[sizeof(Magic)];
    int32_t version = 0, format = 0, count = 0;
    if (Stream.Read(magic, sizeof(magic)) != static_cast<int32_t>(sizeof(magic)) ||
        !in.Get(version) || !in.Get(format) || !in.Get(count))
        return false;
    if (std::memcmp(magic, Magic, sizeof(Magic)) != 0 || version <= 0) return false;
    if (count < 1 || count > in.Left() / MinRecordSize || !IsImageFormat(format)) return false;
    std::vector<TLayerRecord> records(static_cast<size_t>(count));
    for (TLayerRecord& record : records)
        if (!ReadRecord(in, version, record)) return false;

    TLayerStateGuard guard(*this);
    guard.Forget();
    while (GetLayerCount() > 1)
        RemoveLayer(GetLayerCount() - 1);
    bool ok = true;
    for (int32_t i = 0; i < count && ok; ++i) {
        if (i > 0) AddLayer();
        SetCurrentLayer(i);
        const TLayerRecord& record = records[static_cast<size_t>(i)];
        ApplyRecord(record, version, *GetLayer(i));
        Stream.SetPosition(record.ImagePosition);
        if (format == LayersRawFormat) {
            ok = ReadRawImage(in, *GetVLBitmap());
        } else {
            TVistrelIO* io = GetIO();
            const bool native = io->GetNativePixelFormat();
            if (GetLayer(i)->IsMask) io->SetNativePixelFormat(true);
            io->LoadFromStreamFormat(Stream, format);
            io->SetNativePixelFormat(native);
            ok = !io->AbortingFlag;
        }
    }
    if (FIO != nullptr) {
        TIOParamsVals& params = FIO->IOParams();
        params.Width = params.OriginalWidth = GetLayer(0)->Bitmap()->GetWidth();
        params.Height = params.OriginalHeight = GetLayer(0)->Bitmap()->GetHeight();
    }
    Update();
    return ok;
}

bool TVistrelView::LoadLayersFromFile(const String& FileName) {
    TVLWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadLayersFromStream(file);
}
