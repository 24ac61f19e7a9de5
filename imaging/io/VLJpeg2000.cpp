// The JPEG 2000 adapter over OpenJPEG. OpenJPEG's stream callbacks read, write and seek the
// caller's TStream directly; offsets OpenJPEG gives are counted from where the stream stood when
// the adapter was called.
#include "imaging/io/VLJpeg2000.h"

#include "imaging/core/VLColorHelpers.h"
#include "imaging/io/VLInputBounds.h"

#include <openjpeg.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <memory>
#include <vector>

using enum TVLPixelFormat;

std::array<int32_t, 256> J2KCrToR{};
std::array<int32_t, 256> J2KCbToB{};
std::array<int32_t, 256> J2KCrToG{};
std::array<int32_t, 256> J2KCbToG{};

namespace {

// ---- Stream callbacks ----

// The caller's stream and where OpenJPEG's offset 0 lies in it.
struct TJ2KStreamIO {
    TStream* Stream = nullptr;
    int64_t Base = 0;
};

constexpr OPJ_SIZE_T StreamFailure = static_cast<OPJ_SIZE_T>(-1);

OPJ_SIZE_T J2KStreamRead(void* Buffer, OPJ_SIZE_T Count, void* Data) {
    auto* io = static_cast<TJ2KStreamIO*>(Data);
    try {
        const auto wanted = static_cast<int32_t>(std::min<OPJ_SIZE_T>(Count, INT32_MAX));
        const int32_t got = io->Stream->Read(Buffer, wanted);
        return got > 0 ? static_cast<OPJ_SIZE_T>(got) : StreamFailure;
    } catch (const std::exception&) {
        return StreamFailure;
    }
}

OPJ_SIZE_T J2KStreamWrite(void* Buffer, OPJ_SIZE_T Count, void* Data) {
    auto* io = static_cast<TJ2KStreamIO*>(Data);
    try {
        if (Count > INT32_MAX) return StreamFailure;
        const auto wanted = static_cast<int32_t>(Count);
        return io->Stream->Write(Buffer, wanted) == wanted ? Count : StreamFailure;
    } catch (const std::exception&) {
        return StreamFailure;
    }
}

// Moves the position Count bytes on; when reading, never past the end of the stream.
OPJ_OFF_T J2KStreamSkip(OPJ_OFF_T Count, void* Data, bool Reading) {
    auto* io = static_cast<TJ2KStreamIO*>(Data);
    try {
        const int64_t from = io->Stream->GetPosition();
        int64_t to = from + Count;
        if (Reading) to = std::clamp<int64_t>(to, io->Base, io->Stream->GetSize());
        io->Stream->SetPosition(to);
        return to - from == Count ? Count : -1;
    } catch (const std::exception&) {
        return -1;
    }
}

OPJ_OFF_T J2KStreamReadSkip(OPJ_OFF_T Count, void* Data) {
    return J2KStreamSkip(Count, Data, true);
}

OPJ_OFF_T J2KStreamWriteSkip(OPJ_OFF_T Count, void* Data) {
    return J2KStreamSkip(Count, Data, false);
}

OPJ_BOOL J2KStreamSeek(OPJ_OFF_T Offset, void* Data) {
    auto* io = static_cast<TJ2KStreamIO*>(Data);
    try {
        return io->Stream->Seek(io->Base + Offset, soBeginning) == io->Base + Offset;
    } catch (const std::exception&) {
        return OPJ_FALSE;
    }
}

struct TOpjStreamDeleter {
    void operator()(opj_stream_t* Stream) const { opj_stream_destroy(Stream); }
};
struct TOpjCodecDeleter {
    void operator()(opj_codec_t* Codec) const { opj_destroy_codec(Codec); }
};
struct TOpjImageDeleter {
    void operator()(opj_image_t* Image) const { opj_image_destroy(Image); }
};
using TOpjStream = std::unique_ptr<opj_stream_t, TOpjStreamDeleter>;
using TOpjCodec = std::unique_ptr<opj_codec_t, TOpjCodecDeleter>;
using TOpjImage = std::unique_ptr<opj_image_t, TOpjImageDeleter>;

TOpjStream OpenStream(TJ2KStreamIO& IO, bool Reading) {
    TOpjStream stream(opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, Reading ? OPJ_TRUE : OPJ_FALSE));
    if (!stream) return stream;
    opj_stream_set_user_data(stream.get(), &IO, nullptr);
    opj_stream_set_seek_function(stream.get(), J2KStreamSeek);
    if (Reading) {
        opj_stream_set_read_function(stream.get(), J2KStreamRead);
        opj_stream_set_skip_function(stream.get(), J2KStreamReadSkip);
        opj_stream_set_user_data_length(stream.get(), static_cast<OPJ_UINT64>(std::max<int64_t>(
                                                          IO.Stream->GetSize() - IO.Base, 0)));
    } else {
        opj_stream_set_write_function(stream.get(), J2KStreamWrite);
        opj_stream_set_skip_function(stream.get(), J2KStreamWriteSkip);
    }
    return stream;
}

// OpenJPEG's messages are not shown; an error only marks the operation as failed.
void J2KQuiet(const char*, void*) {}

void J2KError(const char*, void* Data) {
    *static_cast<bool*>(Data) = true;
}

void SetHandlers(opj_codec_t* Codec, bool& Failed) {
    opj_set_info_handler(Codec, J2KQuiet, nullptr);
    opj_set_warning_handler(Codec, J2KQuiet, nullptr);
    opj_set_error_handler(Codec, J2KError, &Failed);
}

// Reads Count bytes at the stream position and puts the position back.
bool PeekBytes(TStream& Stream, uint8_t* Buffer, int32_t Count) {
    const int32_t got = std::max(Stream.Read(Buffer, Count), 0);
    Stream.Seek(-got, soCurrent);
    return got == Count;
}

// ---- Reading ----

enum class TJ2KColor { Gray, RGB, YCbCr };

// How the components of the image are read; false for an image the reader does not take.
bool ChooseColor(const opj_image_t& Image, TJ2KColor& Color) {
    const OPJ_UINT32 count = Image.numcomps;
    switch (Image.color_space) {
    case OPJ_CLRSPC_GRAY:
        Color = TJ2KColor::Gray;
        return count >= 1;
    case OPJ_CLRSPC_SRGB:
        Color = TJ2KColor::RGB;
        return count >= 3;
    case OPJ_CLRSPC_SYCC:
        Color = TJ2KColor::YCbCr;
        return count >= 3;
    case OPJ_CLRSPC_UNKNOWN:
    case OPJ_CLRSPC_UNSPECIFIED:
        // Bare codestreams say nothing: one or two components are grey (and opacity), more are
        // red, green and blue.
        Color = count >= 3 ? TJ2KColor::RGB : TJ2KColor::Gray;
        return count >= 1;
    default:
        return false;
    }
}

// One component as 8-bit samples: its samples, a column and a row map from image coordinates
// (nearest sample, so that subsampled components cover the image) and its reduction to 8 bits.
struct TJ2KChannel {
    const OPJ_INT32* Data = nullptr;
    OPJ_UINT32 Width = 0;
    std::vector<OPJ_UINT32> Columns;
    std::vector<OPJ_UINT32> Rows;
    OPJ_UINT32 Precision = 8;
    int64_t Offset = 0;

    // The 8-bit value of a sample: signed samples shifted to unsigned first, precisions above 8
    // keep their top 8 bits, lower ones are scaled so that the largest value is 255.
    uint8_t Reduce(OPJ_INT32 Sample) const {
        const int64_t v = Sample + Offset;
        int64_t reduced;
        if (Precision >= 8) {
            reduced = v >> (Precision - 8);
        } else {
            const int64_t max = (int64_t{1} << Precision) - 1;
            reduced = (v * 255 * 2 + max) / (2 * max);
        }
        return static_cast<uint8_t>(std::clamp<int64_t>(reduced, 0, 255));
    }
    uint8_t At(int32_t X, int32_t Y) const {
        return Reduce(Data[static_cast<size_t>(Rows[Y]) * Width + Columns[X]]);
    }
};

// Map of image positions 0..Count-1 to the component's samples: a component sample covers Step
// positions of the reference grid; positions outside the component take its first sample.
std::vector<OPJ_UINT32> SampleMap(OPJ_UINT32 Count, OPJ_UINT32 ImageOrigin, OPJ_UINT32 Origin,
                                  OPJ_UINT32 Step, OPJ_UINT32 Size) {
    std::vector<OPJ_UINT32> map(Count);
    for (OPJ_UINT32 i = 0; i < Count; ++i) {
        const int64_t index =
            static_cast<int64_t>((static_cast<uint64_t>(ImageOrigin) + i) / Step) - Origin;
        map[i] = index < 0 || index >= Size ? 0 : static_cast<OPJ_UINT32>(index);
    }
    return map;
}

bool MakeChannel(const opj_image_t& Image, OPJ_UINT32 Component, TJ2KChannel& Channel) {
    const opj_image_comp_t& comp = Image.comps[Component];
    if (comp.data == nullptr || comp.w == 0 || comp.h == 0 || comp.dx == 0 || comp.dy == 0 ||
        comp.prec < 1 || comp.prec > 31)
        return false;
    Channel.Data = comp.data;
    Channel.Width = comp.w;
    Channel.Precision = comp.prec;
    Channel.Offset = comp.sgnd != 0 ? int64_t{1} << (comp.prec - 1) : 0;
    Channel.Columns = SampleMap(Image.x1 - Image.x0, Image.x0, comp.x0, comp.dx, comp.w);
    Channel.Rows = SampleMap(Image.y1 - Image.y0, Image.y0, comp.y0, comp.dy, comp.h);
    return true;
}

uint8_t ClampByte(int32_t Value) {
    return static_cast<uint8_t>(std::clamp(Value, 0, 255));
}

void FillRow(TVLBitmap& Bitmap, TJ2KColor Color, const TJ2KChannel* Channels, int32_t Y) {
    uint8_t* row = Bitmap.GetScanline(Y);
    const int32_t width = Bitmap.GetWidth();
    if (Bitmap.GetPixelFormat() == vl1g) {
        for (int32_t x = 0; x < width; ++x)
            SetRowBit(row, x, Channels[0].At(x, Y) != 0);
        return;
    }
    for (int32_t x = 0; x < width; ++x, row += 3) {
        switch (Color) {
        case TJ2KColor::Gray:
            row[0] = row[1] = row[2] = Channels[0].At(x, Y);
            break;
        case TJ2KColor::RGB:
            row[0] = Channels[2].At(x, Y);
            row[1] = Channels[1].At(x, Y);
            row[2] = Channels[0].At(x, Y);
            break;
        case TJ2KColor::YCbCr: {
            const int32_t luma = Channels[0].At(x, Y);
            const uint8_t cb = Channels[1].At(x, Y), cr = Channels[2].At(x, Y);
            row[0] = ClampByte(luma + J2KCbToB[cb]);
            row[1] = ClampByte(luma + J2KCbToG[cb] + J2KCrToG[cr]);
            row[2] = ClampByte(luma + J2KCrToR[cr]);
            break;
        }
        }
    }
}

void SetReadParams(const opj_image_t& Image, TJ2KColor Color, TIOParamsVals& Params) {
    Params.BitsPerSample = static_cast<int32_t>(Image.comps[0].prec);
    Params.SamplesPerPixel = Color == TJ2KColor::Gray ? 1 : 3;
    Params.SetDpiX(DefaultDpiX);
    Params.SetDpiY(DefaultDpiY);
    Params.FreePalette();
    Params.Width = Params.OriginalWidth = static_cast<int32_t>(Image.x1 - Image.x0);
    Params.Height = Params.OriginalHeight = static_cast<int32_t>(Image.y1 - Image.y0);
}

// ---- The codestream's size, read before OpenJPEG ----

// OpenJPEG builds the structures of every tile while it reads the main header, so a header of a
// few bytes declaring tens of thousands of tiles costs it gigabytes before the first check of the
// adapter could run. The SIZ marker segment is therefore read here first, and the stream is
// refused unless it can hold every tile and the declared picture.

// Every tile has at least one tile-part: its SOT marker segment (12 bytes) and SOD marker (2).
constexpr int64_t LeastTileBytes = 14;

uint32_t BigEndian32(const uint8_t* P) {
    return uint32_t{P[0]} << 24 | uint32_t{P[1]} << 16 | uint32_t{P[2]} << 8 | P[3];
}

uint16_t BigEndian16(const uint8_t* P) {
    return static_cast<uint16_t>(P[0] << 8 | P[1]);
}

bool ReadAt(TStream& Stream, int64_t Position, uint8_t* Buffer, int32_t Count) {
    Stream.SetPosition(Position);
    return Stream.Read(Buffer, Count) == Count;
}

// Where the codestream begins: at Start for a bare codestream, at the contents of the first
// top-level "jp2c" box for a JP2 file; -1 when there is none.
int64_t CodestreamStart(TStream& Stream, int64_t Start, bool JP2) {
    if (!JP2) return Start;
    const int64_t size = Stream.GetSize();
    for (int64_t at = Start; at <= size - 8;) {
        uint8_t head[16];
        if (!ReadAt(Stream, at, head, 8)) return -1;
        int64_t length = BigEndian32(head), header = 8;
        if (length == 1) {
            if (!ReadAt(Stream, at + 8, head + 8, 8)) return -1;
            const uint64_t wide = uint64_t{BigEndian32(head + 8)} << 32 | BigEndian32(head + 12);
            if (wide > static_cast<uint64_t>(size)) return -1;
            length = static_cast<int64_t>(wide);
            header = 16;
        } else if (length == 0) {
            length = size - at; // the last box runs to the end of the file
        }
        if (length < header) return -1;
        if (BigEndian32(head + 4) == 0x6A703263) return at + header; // "jp2c"
        at += length;
    }
    return -1;
}

// The sizes the SIZ marker segment declares, and what decoding them would store.
struct TSizSegment {
    int64_t Width = 0, Height = 0, TilesAcross = 0, TilesDown = 0;
    // Bytes of OpenJPEG's samples (four a sample of each component) and of the bitmap.
    int64_t Storage = 0;
};

bool ReadSiz(TStream& Stream, int64_t At, TSizSegment& Siz) {
    // SOC, the SIZ marker and its length, Rsiz, eight sizes and offsets, Csiz.
    uint8_t b[42];
    if (!ReadAt(Stream, At, b, 42) || BigEndian16(b) != 0xFF4F || BigEndian16(b + 2) != 0xFF51)
        return false;
    const int64_t xsiz = BigEndian32(b + 8), ysiz = BigEndian32(b + 12);
    const int64_t xo = BigEndian32(b + 16), yo = BigEndian32(b + 20);
    const int64_t xt = BigEndian32(b + 24), yt = BigEndian32(b + 28);
    const int64_t xto = BigEndian32(b + 32), yto = BigEndian32(b + 36);
    const int32_t components = BigEndian16(b + 40);
    if (BigEndian16(b + 4) != 38 + 3 * components || components == 0 || xsiz <= xo || ysiz <= yo ||
        xt == 0 || yt == 0 || xto > xo || yto > yo || xto + xt <= xo || yto + yt <= yo)
        return false;
    std::vector<uint8_t> sampling(static_cast<size_t>(components) * 3);
    if (Stream.Read(sampling.data(), static_cast<int32_t>(sampling.size())) !=
        static_cast<int32_t>(sampling.size()))
        return false;
    Siz.Width = xsiz - xo;
    Siz.Height = ysiz - yo;
    Siz.TilesAcross = (xsiz - xto + xt - 1) / xt;
    Siz.TilesDown = (ysiz - yto + yt - 1) / yt;
    // Sides of up to 2^32 make products beyond 64 bits: the storage is summed in floating point.
    double storage = static_cast<double>(PlannedBitmapBytes(Siz.Width, Siz.Height, vl24RGB, false));
    for (int32_t c = 0; c < components; ++c) {
        const double dx = sampling[3 * c + 1], dy = sampling[3 * c + 2];
        if (dx == 0 || dy == 0) return false;
        storage += std::ceil(Siz.Width / dx) * std::ceil(Siz.Height / dy) * 4;
    }
    Siz.Storage =
        storage < 9e18 ? static_cast<int64_t>(storage) : std::numeric_limits<int64_t>::max();
    return true;
}

// True when the data from Start on can hold every tile of the codestream and the picture it
// declares. JPEG 2000 can mark a whole precinct empty with one bit, so no bound per byte holds
// its samples: beyond the allocation floor only the storage for each byte of input limits them.
bool PlausibleCodestream(TStream& Stream, int64_t Start, bool JP2) {
    const int64_t codestream = CodestreamStart(Stream, Start, JP2);
    TSizSegment siz;
    const bool read = codestream >= 0 && ReadSiz(Stream, codestream, siz);
    Stream.SetPosition(Start);
    const int64_t bytes = Stream.GetSize() - codestream;
    return read && siz.TilesAcross <= bytes / LeastTileBytes / siz.TilesDown &&
           IsPlausibleDeclaredSize(siz.Storage, 0, 1, bytes);
}

// The image of the JP2 file or codestream at the stream position: its header alone, or with
// Decode its samples too; nil when the data cannot be read. A JP2 file's colour space and
// palette come into the image only as it is decoded.
TOpjImage DecodeStream(TStream& Stream, bool Decode) {
    const bool jp2 = IsJP2Stream(Stream);
    if (!jp2 && !IsJ2KStream(Stream)) return nullptr;
    if (!PlausibleCodestream(Stream, Stream.GetPosition(), jp2)) return nullptr;
    TJ2KStreamIO io{&Stream, Stream.GetPosition()};
    const TOpjStream stream = OpenStream(io, true);
    const TOpjCodec codec(opj_create_decompress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!stream || !codec) return nullptr;
    bool failed = false;
    SetHandlers(codec.get(), failed);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    opj_image_t* header = nullptr;
    // Strict mode: a codestream that ends early is an error, not a partial picture.
    const bool headerRead = opj_setup_decoder(codec.get(), &parameters) &&
                            opj_decoder_set_strict_mode(codec.get(), OPJ_TRUE) &&
                            opj_read_header(stream.get(), codec.get(), &header);
    TOpjImage image(header);
    if (!headerRead || !image || failed) return nullptr;
    if (Decode && (!opj_decode(codec.get(), stream.get(), image.get()) ||
                   !opj_end_decompress(codec.get(), stream.get()) || failed))
        return nullptr;
    return image;
}

// Reads the stream into Bitmap and Params; false when the data cannot be read.
bool RunRead(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params, TVLProgressRecord& Progress,
             bool ParamsOnly) {
    const TOpjImage image = DecodeStream(Stream, !ParamsOnly);
    TJ2KColor color = TJ2KColor::Gray;
    if (!image || image->x1 <= image->x0 || image->y1 <= image->y0 ||
        image->x1 - image->x0 > INT32_MAX || image->y1 - image->y0 > INT32_MAX ||
        !ChooseColor(*image, color))
        return false;
    if (ParamsOnly) {
        SetReadParams(*image, color, Params);
        return true;
    }
    TJ2KChannel channels[3];
    const OPJ_UINT32 used = color == TJ2KColor::Gray ? 1 : 3;
    for (OPJ_UINT32 c = 0; c < used; ++c)
        if (!MakeChannel(*image, c, channels[c])) return false;
    const auto width = static_cast<int32_t>(image->x1 - image->x0);
    const auto height = static_cast<int32_t>(image->y1 - image->y0);
    const TVLPixelFormat format =
        color == TJ2KColor::Gray && image->comps[0].prec == 1 ? vl1g : vl24RGB;
    if (!Bitmap.Allocate(width, height, format)) return false;
    if (Bitmap.HasAlphaChannel()) Bitmap.RemoveAlphaChannel(false, 0);
    SetReadParams(*image, color, Params);
    const double factor = 100.0 / height;
    for (int32_t y = 0; y < height; ++y) {
        FillRow(Bitmap, color, channels, y);
        Progress.ReportPercent(static_cast<int32_t>(Trunc((y + 1) * factor)));
        if (Progress.Aborting()) break;
    }
    return true;
}

// ---- Writing ----

// Number of resolution levels: OpenJPEG's default of 6, fewer for an image too small for them.
OPJ_UINT32 ResolutionCount(int32_t Width, int32_t Height) {
    OPJ_UINT32 levels = 1;
    while (levels < 6 && (std::min(Width, Height) >> levels) > 0)
        ++levels;
    return levels;
}

void SetEncoderParameters(opj_cparameters_t& Parameters, const TIOParamsVals& Params, int32_t Width,
                          int32_t Height, OPJ_UINT32 Components) {
    opj_set_default_encoder_parameters(&Parameters);
    Parameters.irreversible = 0;
    Parameters.tcp_numlayers = 1;
    Parameters.cp_disto_alloc = 1;
    // A rate below 1 is the share of the raw size to keep; 1 and above (and anything that is
    // not a positive rate) is lossless.
    const double rate = Params.J2000Rate;
    Parameters.tcp_rates[0] = rate > 0 && rate < 1 ? static_cast<float>(1 / rate) : 0;
    Parameters.prog_order = Params.J2000Progression == j2RLCP ? OPJ_RLCP : OPJ_LRCP;
    Parameters.numresolution = static_cast<int>(ResolutionCount(Width, Height));
    Parameters.tcp_mct = Components >= 3 ? 1 : 0;
}

// Samples of the bitmap scaled to MaxValue, into the components of Image. False when the abort
// flag stopped it.
bool FillImage(opj_image_t& Image, TVLBitmap& Bitmap, int32_t MaxValue,
               TVLProgressRecord& Progress) {
    const int32_t width = Bitmap.GetWidth(), height = Bitmap.GetHeight();
    const bool gray1 = Bitmap.GetPixelFormat() == vl1g;
    const auto scale = [MaxValue](uint8_t V) {
        return static_cast<OPJ_INT32>(Trunc(V / 255.0 * MaxValue));
    };
    const double factor = 100.0 / height;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = Bitmap.GetScanline(y);
        const uint8_t* alpha =
            Image.numcomps == 4 ? Bitmap.GetAlphaChannel()->GetScanline(y) : nullptr;
        const size_t base = static_cast<size_t>(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            if (gray1) {
                Image.comps[0].data[base + x] = GetRowBit(row, x) != 0 ? 1 : 0;
                continue;
            }
            const TVLRGB& c = reinterpret_cast<const TVLRGB*>(row)[x];
            if (Image.numcomps == 1) {
                const int32_t level =
                    (c.r * GrayWeightRed + c.g * GrayWeightGreen + c.b * GrayWeightBlue) / 100;
                Image.comps[0].data[base + x] =
                    static_cast<OPJ_INT32>(Trunc(level / 255.0 * MaxValue));
                continue;
            }
            Image.comps[0].data[base + x] = scale(c.r);
            Image.comps[1].data[base + x] = scale(c.g);
            Image.comps[2].data[base + x] = scale(c.b);
            if (alpha != nullptr) Image.comps[3].data[base + x] = scale(alpha[x]);
        }
        Progress.ReportPercent(static_cast<int32_t>(Trunc((y + 1) * factor)));
        if (Progress.Aborting()) return false;
    }
    return true;
}

TOpjImage CreateImage(TVLBitmap& Bitmap, const TIOParamsVals& Params) {
    const bool gray = Params.J2000ColorSpace == j2GrayScale;
    const bool opacity = !gray && Bitmap.HasAlphaChannel() && !Bitmap.GetAlphaChannel()->Full;
    const OPJ_UINT32 count = gray ? 1 : opacity ? 4 : 3;
    opj_image_cmptparm_t parameters[4] = {};
    for (OPJ_UINT32 c = 0; c < count; ++c) {
        parameters[c].dx = parameters[c].dy = 1;
        parameters[c].w = static_cast<OPJ_UINT32>(Bitmap.GetWidth());
        parameters[c].h = static_cast<OPJ_UINT32>(Bitmap.GetHeight());
        parameters[c].prec = static_cast<OPJ_UINT32>(Params.BitsPerSample);
        parameters[c].sgnd = 0;
    }
    TOpjImage image(opj_image_create(count, parameters, gray ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB));
    if (!image) return image;
    image->x1 = parameters[0].w;
    image->y1 = parameters[0].h;
    if (opacity) image->comps[3].alpha = 1;
    return image;
}

bool Encode(opj_image_t& Image, TStream& Stream, const TIOParamsVals& Params, int32_t Format) {
    opj_cparameters_t parameters;
    SetEncoderParameters(parameters, Params, static_cast<int32_t>(Image.x1),
                         static_cast<int32_t>(Image.y1), Image.numcomps);
    TJ2KStreamIO io{&Stream, Stream.GetPosition()};
    const TOpjStream stream = OpenStream(io, false);
    const TOpjCodec codec(opj_create_compress(Format == 0 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K));
    if (!stream || !codec) return false;
    bool failed = false;
    SetHandlers(codec.get(), failed);
    return opj_setup_encoder(codec.get(), &parameters, &Image) &&
           opj_start_compress(codec.get(), &Image, stream.get()) &&
           opj_encode(codec.get(), stream.get()) && opj_end_compress(codec.get(), stream.get()) &&
           !failed;
}

// The bitmap the samples come from: vl1g and vl24RGB as they are, other formats as a vl24RGB
// copy.
TVLBitmap& WriteSource(TVLBitmap& Bitmap, std::unique_ptr<TVLBitmap>& Copy) {
    const TVLPixelFormat format = Bitmap.GetPixelFormat();
    if (format == vl1g || format == vl24RGB) return Bitmap;
    Copy = std::make_unique<TVLBitmap>();
    Copy->AssignImage(Bitmap);
    Copy->SetPixelFormat(vl24RGB);
    return *Copy;
}

bool RunWrite(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
              TVLProgressRecord& Progress, int32_t Format) {
    if ((Format != 0 && Format != 1) || Bitmap.GetWidth() <= 0 || Bitmap.GetHeight() <= 0)
        return false;
    std::unique_ptr<TVLBitmap> copy;
    TVLBitmap& source = WriteSource(Bitmap, copy);
    if (source.GetPixelFormat() == vl1g) {
        Params.BitsPerSample = 1;
        Params.J2000ColorSpace = j2GrayScale;
    }
    // Colour spaces past YCbCr make no image, and nothing is written.
    if (Params.J2000ColorSpace > j2YCbCr) return false;
    // Samples of 1 to 16 bits; any other depth is written with 8.
    if (Params.BitsPerSample < 1 || Params.BitsPerSample > 16) Params.BitsPerSample = 8;
    const TOpjImage image = CreateImage(source, Params);
    if (!image) return false;
    const int32_t maxValue = (1 << Params.BitsPerSample) - 1;
    return FillImage(*image, source, maxValue, Progress) && Encode(*image, Stream, Params, Format);
}

} // namespace

void ReadJPEG2000Stream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                        TVLProgressRecord& Progress, bool ParamsOnly) {
    try {
        if (!RunRead(Stream, Bitmap, Params, Progress, ParamsOnly)) Progress.Abort();
    } catch (const std::exception&) {
        Progress.Abort();
    }
}

void WriteJPEG2000Stream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                         TVLProgressRecord& Progress, int32_t Format) {
    try {
        if (!RunWrite(Stream, Bitmap, Params, Progress, Format)) Progress.Abort();
    } catch (const std::exception&) {
        Progress.Abort();
    }
}

bool IsJP2Stream(TStream& Stream) {
    static constexpr uint8_t Signature[12] = {0,   0,   0,    12,   'j',  'P',
                                              ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    uint8_t head[12];
    return PeekBytes(Stream, head, 12) && std::equal(head, head + 12, Signature);
}

bool IsJ2KStream(TStream& Stream) {
    static constexpr uint8_t Markers[4] = {0xFF, 0x4F, 0xFF, 0x51};
    uint8_t head[4];
    return PeekBytes(Stream, head, 4) && std::equal(head, head + 4, Markers);
}

void InitializeJpeg2000Unit() {
    // Luma weights and the factors derived from them, in single precision.
    const float kr = 0.299F, kg = 0.587F, kb = 0.114F;
    const float crToR = 2 - 2 * kr, cbToB = 2 - 2 * kb;
    const float crToG = kr * crToR / kg, cbToG = kb * cbToB / kg;
    for (int32_t i = 0; i < 256; ++i) {
        const int32_t d = i - 128;
        J2KCrToR[i] = static_cast<int32_t>(Round(double{crToR} * d));
        J2KCbToB[i] = static_cast<int32_t>(Round(double{cbToB} * d));
        J2KCrToG[i] = -static_cast<int32_t>(Round(double{crToG} * d));
        J2KCbToG[i] = -static_cast<int32_t>(Round(double{cbToG} * d));
    }
}

void RegisterJpeg2000Unit() {
    RegisterLibraryUnit(TLibraryUnit::Jpeg2000, InitializeJpeg2000Unit, nullptr);
}
