// The fuzz targets of fuzz/targets.txt. Options a caller would choose (modes, page and frame
// indexes, decoder widths) come from the first bytes of the input, the rest is the data.
#include "fuzz/FuzzTargets.h"

#include "imaging/core/VLCanvas.h"
#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLDefs.h"
#include "imaging/core/VLDibbitmap.h"
#include "imaging/core/VLICC.h"
#include "imaging/core/VLImagingAnnot.h"
#include "imaging/core/VLMarkerList.h"
#include "imaging/core/VLMask.h"
#include "imaging/core/VLStreams.h"
#include "imaging/formats/VLBmp.h"
#include "imaging/formats/VLCCITT.h"
#include "imaging/formats/VLGif.h"
#include "imaging/formats/VLIco.h"
#include "imaging/formats/VLMetafileRaw.h"
#include "imaging/formats/VLPcx.h"
#include "imaging/formats/VLPnmWbmp.h"
#include "imaging/formats/cameraraw/VLCameraRaw.h"
#include "imaging/formats/cameraraw/VLKodakLoaders.h"
#include "imaging/formats/cameraraw/VLRawColour.h"
#include "imaging/formats/cameraraw/VLRawLoaders.h"
#include "imaging/formats/VLPsdReader.h"
#include "imaging/formats/VLTga.h"
#include "imaging/formats/tiff/VLTIFFReader.h"
#include "imaging/formats/tiff/VLTIFFTags.h"
#include "imaging/io/VLExif.h"
#include "imaging/io/VLGifLZW.h"
#include "imaging/io/VLInputBounds.h"
#include "imaging/io/VLJpeg.h"
#include "imaging/io/VLJpeg2000.h"
#include "imaging/io/VLPng.h"
#include "imaging/io/VLTiffLZW.h"
#include "imaging/io/VistrelIO.h"
#include "imaging/io/VistrelIOUnit.h"
#include "imaging/proc/VistrelProcUnit.h"
#include "imaging/view/VistrelView.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Metafile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <zlib.h>

namespace {

// A read-only stream over the input; the fuzzer's buffer is exactly the input's size, so any
// read past its end is reported.
class TInputStream : public TVLMemStream {
public:
    TInputStream(const uint8_t* Data, size_t Size)
        : TVLMemStream(const_cast<uint8_t*>(Data), static_cast<int64_t>(Size)) {}
};

// The progress record of one read with its abort flag.
struct TRead {
    bool Aborting = false;
    TVLProgressRecord Progress;
    TIOParamsVals Params;
    TVLBitmap Bitmap;
    TRead() { Progress.AbortFlag = &Aborting; }
};

int32_t Length32(size_t Size) {
    return static_cast<int32_t>(std::min<size_t>(Size, INT32_MAX));
}

uint32_t Word16(const uint8_t* Data) {
    return Data[0] | uint32_t{Data[1]} << 8;
}

// Byte 0: bits 0-1 the mode (full load, parameters only, the EXIF thumbnail instead, scaled
// decoding), bits 2-3 the scale of the scaled mode, bit 4 colour management by the embedded
// profile, bit 5 the native pixel format.
void FuzzJpeg(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    const uint8_t options = Data[0];
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    const int32_t mode = options & 3;
    read.Params.JpegLoadExifThumbnail = mode == 2;
    if (mode == 3) read.Params.JpegScale = static_cast<TVLJpegScale>(((options >> 2) & 3) + 1);
    UseICCProfiles = (options & 16) != 0;
    ReadJPEGStream(stream, nullptr, read.Bitmap, read.Params, read.Progress, mode == 1, false, true,
                   false, true, true, -1, (options & 32) != 0);
    UseICCProfiles = false;
}

uint32_t BigEndian32(const uint8_t* Data) {
    return uint32_t{Data[0]} << 24 | uint32_t{Data[1]} << 16 | uint32_t{Data[2]} << 8 | Data[3];
}

// The chunks' checksums are made right first, so that changed bytes reach the decoder instead of
// failing the checksum test.
void FuzzPng(const uint8_t* Data, size_t Size) {
    std::vector<uint8_t> png(Data, Data + Size);
    for (size_t pos = 8; pos + 12 <= png.size();) {
        const uint32_t length = BigEndian32(&png[pos]);
        if (length > png.size() - pos - 12) break;
        const uint32_t crc = static_cast<uint32_t>(crc32(0, &png[pos + 4], length + 4));
        for (int i = 0; i < 4; ++i)
            png[pos + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
        pos += 12 + size_t{length};
    }
    TInputStream stream(png.data(), png.size());
    TRead read;
    ReadPNGStream(stream, read.Bitmap, read.Params, read.Progress, false);
}

void FuzzJpeg2000(const uint8_t* Data, size_t Size) {
    TInputStream stream(Data, Size);
    TRead read;
    ReadJPEG2000Stream(stream, read.Bitmap, read.Params, read.Progress, false);
}

// Byte 0: the page (bits 0-2), parameters only (bit 3), the alpha channel ignored (bit 4).
void FuzzTiff(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    read.Params.TiffImageIndex = Data[0] & 7;
    std::unique_ptr<TVLMask> alpha;
    int32_t pages = 0;
    ReadTIFFStream(read.Bitmap, stream, pages, read.Params, read.Progress, (Data[0] & 8) != 0,
                   alpha, true, (Data[0] & 16) != 0, false);
}

void FuzzBmp(const uint8_t* Data, size_t Size) {
    TInputStream stream(Data, Size);
    TRead read;
    std::unique_ptr<TVLMask> alpha;
    ReadBMPStream(stream, read.Bitmap, Length32(Size), read.Params, read.Progress, false, alpha,
                  false);
}

// Byte 0: the cursor reader (bit 0), parameters only (bit 1), the alpha ignored (bit 2), the image
// index (bits 3-5).
void FuzzIco(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    read.Params.IcoImageIndex = read.Params.CurImageIndex = (Data[0] >> 3) & 7;
    std::unique_ptr<TVLMask> alpha;
    (Data[0] & 1 ? ReadCURStream : ReadICOStream)(stream, read.Bitmap, read.Params,
                                                  (Data[0] & 2) != 0, read.Progress, alpha,
                                                  (Data[0] & 4) != 0);
}

// Byte 0: NativePixelFormat (bit 0), parameters only (bit 1).
void FuzzPnm(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    read.Params.NativePixelFormat = (Data[0] & 1) != 0;
    ReadPNMStream(stream, read.Bitmap, read.Params, read.Progress, (Data[0] & 2) != 0);
}

// Byte 0: LoadLayers (bit 0), parameters only (bit 1), NativePixelFormat (bit 2), LoadThumbnail
// (bit 3).
void FuzzPsd(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    read.Params.NativePixelFormat = (Data[0] & 4) != 0;
    read.Params.LoadThumbnail = (Data[0] & 8) != 0;
    std::vector<std::unique_ptr<TVLLayer>> layers;
    const bool paramsOnly = (Data[0] & 2) != 0;
    ReadPSDStream(stream, paramsOnly ? nullptr : &read.Bitmap, read.Params, read.Progress,
                  (Data[0] & 1) != 0, paramsOnly ? nullptr : &layers);
}

void FuzzWbmp(const uint8_t* Data, size_t Size) {
    TInputStream stream(Data, Size);
    TRead read;
    ReadWBMPStream(stream, read.Bitmap, read.Params, read.Progress, false);
}

// Byte 0: the DCX reader instead of the PCX one (bit 0), the page (bits 1-3), parameters only
// (bit 4).
void FuzzPcx(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    const bool paramsOnly = (Data[0] & 16) != 0;
    read.Params.DcxImageIndex = (Data[0] >> 1) & 7;
    if ((Data[0] & 1) != 0)
        ReadDCXStream(stream, read.Bitmap, read.Params, read.Progress, paramsOnly);
    else
        ReadPCXStream(stream, read.Bitmap, read.Params, Length32(Size - 1), read.Progress,
                      paramsOnly);
}

// Byte 0: parameters only (bit 0), the alpha ignored (bit 1).
void FuzzTga(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    std::unique_ptr<TVLMask> alpha;
    ReadTGAStream(stream, read.Bitmap, read.Params, read.Progress, (Data[0] & 1) != 0, alpha,
                  (Data[0] & 2) != 0);
}

// The bitmap the caller prepares and the layout it states: byte 0 the pixel format, byte 1 the
// width and byte 2 the height (1 to 256 each), byte 3 the planar value (bits 0-1), RawPixelsBGR
// (bit 2) and the row alignment of 8 << (bits 3-5) bits, byte 4 the header size.
void FuzzRawPixels(const uint8_t* Data, size_t Size) {
    if (Size < 5) return;
    TInputStream stream(Data + 5, Size - 5);
    TRead read;
    const auto format = static_cast<TVLPixelFormat>(Data[0] % VLPixelFormatCount);
    if (format != TVLPixelFormat::vlNone && !read.Bitmap.Allocate(Data[1] + 1, Data[2] + 1, format))
        return;
    read.Params.RawPixelsPlanar = Data[3] & 3;
    read.Params.RawPixelsBGR = (Data[3] & 4) != 0;
    read.Params.RawPixelsRowAlign = 8 << ((Data[3] >> 3) & 7);
    read.Params.RawPixelsHeaderSize = Data[4];
    ReadRawPixelsStream(stream, read.Bitmap, read.Params, read.Progress);
}

// Byte 0: the frame (bits 0-3).
void FuzzGif(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TInputStream stream(Data + 1, Size - 1);
    TRead read;
    read.Params.GifImageIndex = Data[0] & 15;
    std::unique_ptr<TVLMask> alpha;
    int32_t frames = 0;
    ReadGIFStream(stream, read.Bitmap, frames, read.Params, read.Progress, false, alpha, false);
}

// Byte 0 bit 0: interlaced; bytes 1-2 and 3-4: width and height less one (up to 1024); then
// the code size and the sub-blocks as a GIF image holds them.
void FuzzGifLZW(const uint8_t* Data, size_t Size) {
    if (Size < 5) return;
    const int32_t width = static_cast<int32_t>(Word16(Data + 1) % 1024) + 1;
    const int32_t height = static_cast<int32_t>(Word16(Data + 3) % 1024) + 1;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    TInputStream stream(Data + 5, Size - 5);
    GifLZWDecode(stream, height, width, (Data[0] & 1) != 0, pixels.data());
}

// Byte 0 bit 0: fill order 2; bytes 1-2: the row size less one (up to 4096); then one strip.
// Rows are asked for until the decoder has none.
void FuzzTiffLZW(const uint8_t* Data, size_t Size) {
    if (Size < 3) return;
    const int32_t rowSize = static_cast<int32_t>(Word16(Data + 1) % 4096) + 1;
    const int32_t fillOrder = (Data[0] & 1) != 0 ? 2 : 1;
    const uint8_t* strip = Data + 3;
    const int32_t length = Length32(Size - 3);
    void* state = nullptr;
    for (int32_t row = 0; row < 65536; ++row)
        if (TiffLZWDecode(strip, length, rowSize, state, fillOrder) == nullptr) break;
    TiffLZWDecode(nullptr, 0, 0, state, fillOrder);
}

// Byte 0: the scheme (bits 0-1: Modified Huffman, Group 3 one-dimensional, Group 3
// two-dimensional, Group 4), fill order 2 (bit 2), end-of-line handling in two-dimensional rows
// (bit 3); bytes 1-2: the width less one; then one strip, decoded row by row as the TIFF reader
// does until its bits are used up.
void FuzzCCITT(const uint8_t* Data, size_t Size) {
    if (Size < 3) return;
    const int32_t scheme = Data[0] & 3;
    const int32_t fillOrder = (Data[0] & 4) != 0 ? 2 : 1;
    const bool eol = scheme == 2 || (Data[0] & 8) != 0;
    const int32_t width = static_cast<int32_t>(Word16(Data + 1)) + 1;
    const uint8_t* strip = Data + 3;
    const int32_t length = Length32(Size - 3);
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    std::vector<uint8_t> row(rowBytes);
    TCCITTReference reference;
    int64_t bit = 0;
    int32_t pos = 0;
    for (int32_t rows = 0; rows < 4096; ++rows) {
        if (scheme == 0) {
            if (pos >= length) break;
            pos += std::max(
                DecodeCCITTRowMH(row.data(), strip + pos, length - pos, width, fillOrder), 1);
            continue;
        }
        if (bit >= int64_t{length} * 8) break;
        bit = scheme == 1 ? DecodeCCITTRow1D(row.data(), strip, length, width, bit, fillOrder)
                          : DecodeCCITTRow2D(row.data(), strip, length, width, reference, bit,
                                             fillOrder, eol);
    }
}

void FuzzLayers(const uint8_t* Data, size_t Size) {
    TInputStream stream(Data, Size);
    TVistrelView view(nullptr);
    view.LoadLayersFromStream(stream);
}

void FuzzRawDump(const uint8_t* Data, size_t Size) {
    TVLBitmap bitmap;
    if (Size % 2 == 0) {
        bitmap.LoadRaw(Data, static_cast<int64_t>(Size), nullptr);
        return;
    }
    TInputStream stream(Data, Size);
    bitmap.LoadRaw(nullptr, 0, &stream);
}

// Byte 0 bit 0: the thumbnail is decoded too.
void FuzzExif(const uint8_t* Data, size_t Size) {
    if (Size < 1) return;
    TIOParamsVals params;
    params.SetLoadThumbnail((Data[0] & 1) != 0);
    ReadExifBlock(Data + 1, Length32(Size - 1), params);
}

void FuzzIPTC(const uint8_t* Data, size_t Size) {
    TVLIPTCInfoList list;
    if (list.LoadFromBuffer(Data, Length32(Size))) list.SaveToBuffer(true);
}

void FuzzXMP(const uint8_t* Data, size_t Size) {
    TIOParamsVals params;
    ReadXMPFromAPP1(Data, Length32(Size), params);
}

// Every directory of the chain with its metadata, EXIF and GPS directories and the maker note,
// as a TIFF file or an EXIF block holds them.
void FuzzTiffDirectories(const uint8_t* Data, size_t Size) {
    if (Size < 8 || (Data[0] != 'I' && Data[0] != 'M')) return;
    TInputStream stream(Data, Size);
    TVLTagsReadState ctx;
    ctx.Stream = &stream;
    ctx.IntelByteOrder = Data[0] == 'I';
    const uint32_t first =
        ctx.IntelByteOrder
            ? Data[4] | uint32_t{Data[5]} << 8 | uint32_t{Data[6]} << 16 | uint32_t{Data[7]} << 24
            : Data[7] | uint32_t{Data[6]} << 8 | uint32_t{Data[5]} << 16 | uint32_t{Data[4]} << 24;
    int32_t count = 0;
    for (int32_t index = 0; index < 64 && TIFFReadIFD(ctx, index, first, count); ++index) {
        TIOParamsVals params;
        ReadTIFFMetadataTags(ctx, params);
        ReadTIFFMainExifTags(ctx, params);
        for (const uint16_t pointer : {uint16_t{34665}, uint16_t{34853}}) {
            const int64_t offset = TIFFTagValue(ctx, pointer, 0);
            TVLTagsReadState sub;
            sub.Stream = &stream;
            sub.IntelByteOrder = ctx.IntelByteOrder;
            int32_t ignored = 0;
            if (offset <= 0 || offset >= 0x80000000LL || !TIFFReadIFD(sub, 0, offset, ignored))
                continue;
            if (pointer == 34665)
                ReadTIFFExifTags(sub, params);
            else
                ReadTIFFGPSTags(sub, params);
        }
        params.ExifMakerNote.ReadDirectory();
        if (index + 1 >= count) break;
    }
}

// A profile that opens converts a few pixels to sRGB, as the readers do with embedded profiles.
void FuzzICC(const uint8_t* Data, size_t Size) {
    TVLICC profile;
    profile.LoadFromBuffer(Data, Length32(Size));
    if (!profile.IsValid()) return;
    TVLICC srgb;
    srgb.LoadSystemSRGB();
    std::array<uint8_t, 32> input{}, output{};
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<uint8_t>(i * 37);
    for (const int32_t format : {ICCFormatRGB, ICCFormatCMYK, ICCFormatGray, ICCFormatLab})
        profile.TransformPixels(&srgb, format, 4, output.data(), input.data(), 0, 0, ICCFormatRGB);
}

// The marks read, written again and read back.
void FuzzAnnotations(const uint8_t* Data, size_t Size) {
    TVLImagingAnnot annot;
    annot.LoadFromBuffer(Data, Length32(Size));
    const std::vector<uint8_t> saved = annot.SaveToBuffer();
    TVLImagingAnnot again;
    again.LoadFromBuffer(saved.data(), static_cast<int32_t>(saved.size()));
}

// Markers as records of a code, a 16-bit length and the payload: the list is sorted as the
// writer sorts it, written into a small JPEG, which is read back with its metadata.
void FuzzMarkers(const uint8_t* Data, size_t Size) {
    TRead write;
    size_t pos = 0;
    while (pos + 3 <= Size) {
        const uint8_t code = Data[pos];
        const size_t length = std::min<size_t>(Word16(Data + pos + 1), Size - pos - 3);
        write.Params.JpegMarkers.AddMarker(code == 0xFE ? code : 0xE0 + (code & 15), Data + pos + 3,
                                           static_cast<uint16_t>(length));
        pos += 3 + length;
    }
    if (!write.Bitmap.Allocate(8, 8, TVLPixelFormat::vl24RGB)) return;
    TMemoryStream jpeg;
    WriteJPEGStream(jpeg, write.Bitmap, write.Params, write.Progress);
    jpeg.SetPosition(0);
    TRead read;
    ReadJPEGStream(jpeg, nullptr, read.Bitmap, read.Params, read.Progress, true, false, true, false,
                   true, true, -1, false);
}

// The viewer's road: the format detected from the content, then the reader it picks, into a
// single-image view.
void FuzzDetect(const uint8_t* Data, size_t Size) {
    TInputStream stream(Data, Size);
    TVistrelView view(nullptr);
    view.GetIO()->LoadFromStream(stream);
}

// The camera-raw loaders have no container of their own: a context is prepared as the camera
// identification would. Byte 0: the loader; byte 1: half size (bit 0), 16-bit output (bit 1),
// byte order "MM" (bit 2), FourColorRGB (bit 3), automatic (bit 4) and camera (bit 5) white
// balance, IsCMY (bit 7); bytes 2-3 and 4-5: width and height less one (up to 511); byte 6: the
// filter pattern (bits 0-2) and colours (bits 3-4); byte 7: the raw width beyond the width
// (bits 0-3), top (bits 4-5) and left (bits 6-7) margins; byte 8: make (bits 0-1) and model
// (bits 2-4); byte 9: Canon table set; bytes 10-11: the curve position. Then the data, from
// stream position 0.
void FuzzCameraRaw(const uint8_t* Data, size_t Size) {
    static const TVLRawLoadProc Loaders[] = {
        canon_compressed_load_raw, powershot600_load_raw, powershot_a5_load_raw,
        jpeg_lossless_load_raw, nikon_compressed_load_raw, nikon_packed_load_raw,
        nikon_e2100_packed_load_raw, nikon_e950_packed_load_raw, fuji_s2pro_load_raw,
        fuji_s5000_diagonal_load_raw, fuji_s7000_diagonal_load_raw, fuji_f700s20_load_raw,
        rollei_packed_load_raw, phaseone_scrambled_load_raw, imacon_load_raw,
        packed12_bits_load_raw, unpacked16_be_load_raw, unpacked_high12_be_load_raw,
        unpacked_low12_be_load_raw, unpacked_low10_be_load_raw, unpacked_high12_le_load_raw,
        olympus_c_interlaced_load_raw, eight_bit_load_raw, qv5700_load_raw, nucore_load_raw,
        dsc_f828_load_raw, kodak_easy_load_raw, kodak_dcr_load_raw, kodak_ycc_load_raw,
        dc40_load_raw, dc120_load_raw, dc120_jpeg_load_raw};
    static const uint32_t Filters[8] = {0x94949494, 0x61616161, 0x16161616, 0x49494949,
                                        0xe1e4e1e4, 0xb4b4b4b4, 0x1e1e1e1e, 0};
    static const char* const Makes[4] = {"", "KODAK", "FUJIFILM", "Canon"};
    static const char* const Models[8] = {"", "E950", "E5700", "DC40", "DC50", "DC25",
                                          "B2598", "C5050"};
    constexpr size_t Header = 12;
    if (Size < Header) return;
    auto context = std::make_unique<TVLCameraRawContext>();
    TVLCameraRawContext& c = *context;
    const uint8_t flags = Data[1];
    c.LoadRaw = Loaders[Data[0] % std::size(Loaders)];
    c.Width = static_cast<int32_t>(Word16(Data + 2) % 512) + 1;
    c.Height = static_cast<int32_t>(Word16(Data + 4) % 512) + 1;
    c.Filters = Filters[Data[6] & 7];
    c.Colors = c.Filters == 0 ? 3 : ((Data[6] >> 3 & 3) == 1 ? 4 : 3);
    c.RawWidth = c.Width + (Data[7] & 15);
    c.TopMargin = Data[7] >> 4 & 3;
    c.LeftMargin = Data[7] >> 6;
    c.RawHeight = c.Height + c.TopMargin;
    std::strcpy(c.Make, Makes[Data[8] & 3]);
    std::strcpy(c.Model, Models[Data[8] >> 2 & 7]);
    c.Order = (flags & 4) != 0 ? 0x4D4D : 0x4949;
    c.FourColorRGB = (flags & 8) != 0;
    c.AutoWB = (flags & 16) != 0;
    c.CameraWB = (flags & 32) != 0;
    c.IsCMY = (flags & 128) != 0;
    c.CurveOffset = Word16(Data + 10);
    c.CurveLength = 4096;
    c.White[1][1] = c.White[2][2] = 900;
    c.CameraRed = 1.5f;
    c.CameraBlue = 1.25f;
    TInputStream stream(Data + Header, Size - Header);
    TRead read;
    c.Stream = &stream;
    c.Progress = read.Progress;
    read.Params.RawHalfSize = (flags & 1) != 0;
    read.Params.NativePixelFormat = (flags & 2) != 0;
    try {
        build_crw_trees(c, Data[9]);
        finish_colour_setup(c);
        DevelopCameraRaw(c, read.Bitmap, read.Params, false);
    } catch (const Exception&) {
    }
}

// A WMF or EMF file through the metafile graphic, played into a 24-bit DIB at its natural size
// cut to fit 160 x 160 (a picture without a size at 64 x 48).
void FuzzMetafile(const uint8_t* Data, size_t Size) {
    TInputStream stream(Data, Size);
    TMetafile metafile;
    try {
        metafile.LoadFromStream(stream);
    } catch (const Exception&) {
        return;
    }
    int64_t w = metafile.Width(), h = metafile.Height();
    if (w <= 0 || h <= 0) {
        w = 64;
        h = 48;
    }
    const int64_t side = std::max(w, h);
    if (side > 160) {
        w = std::max<int64_t>(1, w * 160 / side);
        h = std::max<int64_t>(1, h * 160 / side);
    }
    TVLDibbitmap dib;
    if (!dib.AllocateBits(static_cast<int32_t>(w), static_cast<int32_t>(h), 24)) return;
    TCanvas canvas;
    canvas.SetHandle(dib.GetDC());
    metafile.Draw(canvas, TRect{0, 0, static_cast<int32_t>(w), static_cast<int32_t>(h)});
    canvas.SetHandle(nullptr);
}

struct TNamedTarget {
    std::string_view Name;
    TFuzzTarget Target;
};

constexpr std::array<TNamedTarget, 28> Targets = {{
    {"jpeg", FuzzJpeg},
    {"png", FuzzPng},
    {"jpeg2000", FuzzJpeg2000},
    {"tiff", FuzzTiff},
    {"bmp", FuzzBmp},
    {"gif", FuzzGif},
    {"pnm", FuzzPnm},
    {"wbmp", FuzzWbmp},
    {"psd", FuzzPsd},
    {"pcx", FuzzPcx},
    {"tga", FuzzTga},
    {"ico", FuzzIco},
    {"rawpixels", FuzzRawPixels},
    {"giflzw", FuzzGifLZW},
    {"tifflzw", FuzzTiffLZW},
    {"ccitt", FuzzCCITT},
    {"layers", FuzzLayers},
    {"rawdump", FuzzRawDump},
    {"exif", FuzzExif},
    {"iptc", FuzzIPTC},
    {"xmp", FuzzXMP},
    {"tiffdir", FuzzTiffDirectories},
    {"icc", FuzzICC},
    {"annotations", FuzzAnnotations},
    {"markers", FuzzMarkers},
    {"detect", FuzzDetect},
    {"cameraraw", FuzzCameraRaw},
    {"metafile", FuzzMetafile},
}};

} // namespace

void StartFuzzLibrary() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A picture within the allocation floor is made whatever the input holds; at the default
    // floor one such picture costs the instrumented reader minutes of filling and converting,
    // which the fuzzer reports as a timeout. A floor of 8 MiB keeps the fuzzer on the readers'
    // logic, and every larger picture goes through the input-bound check.
    PlausibleAllocationFloor = int64_t{8} << 20;
    RegisterCanvasUnit();
    RegisterVistrelIOUnit();
    RegisterJpeg2000Unit();
    RegisterCCITTUnit();
    RegisterVistrelProcUnit();
    RegisterVistrelViewUnit();
    InitializeLibrary();
}

TFuzzTarget FindFuzzTarget(std::string_view Name) {
    for (const TNamedTarget& target : Targets)
        if (target.Name == Name) return target.Target;
    return nullptr;
}
