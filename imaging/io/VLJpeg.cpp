// The JPEG adapter over the system's JPEG library (libjpeg version 62 interface, with the
// blue-green-red pixel layout of libjpeg-turbo).
//
// Library errors end in JPEGErrorExit, which jumps back (longjmp) to the guard that made the
// library call. Everything alive between a guard and the library is plain data: the C++
// objects a read or write needs (temporary bitmap, markers, exceptions) live outside the guarded
// steps, and the source and destination callbacks catch every exception of the streams.
#include "imaging/io/VLJpeg.h"

#include "imaging/core/VLColorSpace.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/core/VLStreams.h"
#include "imaging/io/VLExif.h"
#include "imaging/io/VLInputBounds.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace {

constexpr int32_t StreamBufferSize = 65536;
// Rows handed to the library per call when the bitmap's rows stay where they are.
constexpr int32_t RowsPerCall = 16;
// The last code of the library's standard message list; higher codes are libjpeg-turbo's own.
constexpr int32_t LastStandardMessage = 123;

// The library's error manager followed by the adapter's own fields.
struct TJpegErrorManager {
    jpeg_error_mgr Pub;
    bool* AbortFlag;
    std::jmp_buf Jump;
};

TJpegErrorManager& ErrorManagerOf(j_common_ptr Info) {
    return *reinterpret_cast<TJpegErrorManager*>(Info->err);
}

[[noreturn]] void JPEGErrorExit(j_common_ptr Info) {
    TJpegErrorManager& error = ErrorManagerOf(Info);
    if (error.AbortFlag != nullptr) *error.AbortFlag = true;
    std::longjmp(error.Jump, 1);
}

void JPEGEmitMessage(j_common_ptr Info, int Level) {
    if (Level == -1) ++Info->err->num_warnings;
}

void JPEGOutputMessage(j_common_ptr) {}

void JPEGFormatMessage(j_common_ptr, char*) {}

void JPEGResetErrorManager(j_common_ptr Info) {
    Info->err->num_warnings = 0;
    Info->err->msg_code = 0;
}

void InitErrorManager(TJpegErrorManager& Error, bool* AbortFlag) {
    jpeg_std_error(&Error.Pub);
    Error.Pub.error_exit = JPEGErrorExit;
    Error.Pub.emit_message = JPEGEmitMessage;
    Error.Pub.output_message = JPEGOutputMessage;
    Error.Pub.format_message = JPEGFormatMessage;
    Error.Pub.reset_error_mgr = JPEGResetErrorManager;
    Error.AbortFlag = AbortFlag;
}

// The text of a message code: the library's own message with each format placeholder written
// as "?"; empty for its two version entries, "Corrupted" beyond the standard list.
String JpegMessageText(const jpeg_error_mgr& Error, int32_t Code) {
    if (Code < 0 || Code > LastStandardMessage || Code > Error.last_jpeg_message ||
        Error.jpeg_message_table == nullptr)
        return u"Corrupted";
    if (Code == JMSG_COPYRIGHT || Code == JMSG_VERSION) return String();
    const char* message = Error.jpeg_message_table[Code];
    std::string text;
    for (const char* p = message; p != nullptr && *p != 0; ++p) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        ++p;
        while (*p != 0 && std::strchr("-+ #0123456789.", *p) != nullptr)
            ++p;
        while (*p != 0 && std::strchr("hlLqjzt", *p) != nullptr)
            ++p;
        text += '?';
        if (*p == 0) break;
    }
    return StrFromUtf8(text);
}

// ---- Source manager over a TStream ----

struct TJpegStreamSource {
    jpeg_source_mgr Pub;
    TStream* Stream;
    bool StartOfFile;
    bool* AbortFlag;
    JOCTET* Buffer;
};

void JPEGInitSource(j_decompress_ptr Info) {
    reinterpret_cast<TJpegStreamSource*>(Info->src)->StartOfFile = true;
}

// The end of the stream gives the library an end-of-image marker, so it finishes the image with
// what it has. A stream that raises has failed: the read is aborted as well.
boolean JPEGFillInputBuffer(j_decompress_ptr Info) {
    auto* source = reinterpret_cast<TJpegStreamSource*>(Info->src);
    int32_t count = 0;
    try {
        count = source->Stream->Read(source->Buffer, StreamBufferSize);
    } catch (...) {
        if (source->AbortFlag != nullptr) *source->AbortFlag = true;
        count = 0;
    }
    if (count <= 0) {
        if (source->StartOfFile && source->AbortFlag != nullptr) *source->AbortFlag = true;
        source->Buffer[0] = 0xFF;
        source->Buffer[1] = JPEG_EOI;
        count = 2;
    }
    source->Pub.next_input_byte = source->Buffer;
    source->Pub.bytes_in_buffer = static_cast<size_t>(count);
    source->StartOfFile = false;
    return TRUE;
}

void JPEGSkipInputData(j_decompress_ptr Info, long Count) {
    if (Count <= 0) return;
    jpeg_source_mgr* source = Info->src;
    auto n = static_cast<size_t>(Count);
    while (n > source->bytes_in_buffer) {
        n -= source->bytes_in_buffer;
        // Through the installed routine: the camera-raw wrappers replace it.
        (*source->fill_input_buffer)(Info);
    }
    source->next_input_byte += n;
    source->bytes_in_buffer -= n;
}

void JPEGTermSource(j_decompress_ptr) {}

// Installs the stream source, made on first use from the library's permanent pool (freed with
// the decompressor) and kept when the source is switched to another stream.
void SetStreamSource(j_decompress_ptr Info, TStream* Stream, bool* AbortFlag) {
    auto* source = reinterpret_cast<TJpegStreamSource*>(Info->src);
    if (source == nullptr) {
        source = static_cast<TJpegStreamSource*>((*Info->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(Info), JPOOL_PERMANENT, sizeof(TJpegStreamSource)));
        source->Buffer = static_cast<JOCTET*>((*Info->mem->alloc_large)(
            reinterpret_cast<j_common_ptr>(Info), JPOOL_PERMANENT, StreamBufferSize));
        source->Pub.init_source = JPEGInitSource;
        source->Pub.fill_input_buffer = JPEGFillInputBuffer;
        source->Pub.skip_input_data = JPEGSkipInputData;
        source->Pub.resync_to_restart = jpeg_resync_to_restart;
        source->Pub.term_source = JPEGTermSource;
        Info->src = &source->Pub;
    }
    source->Stream = Stream;
    source->AbortFlag = AbortFlag;
    source->StartOfFile = true;
    source->Pub.next_input_byte = nullptr;
    source->Pub.bytes_in_buffer = 0;
}

// ---- Destination manager over a TStream ----

struct TJpegStreamDestination {
    jpeg_destination_mgr Pub;
    TStream* Stream;
    bool* AbortFlag;
    JOCTET* Buffer;
};

void WriteOut(TJpegStreamDestination& Destination, int32_t Count) {
    int32_t written = 0;
    try {
        written = Destination.Stream->Write(Destination.Buffer, Count);
    } catch (...) {
        written = 0;
    }
    if (written < Count && Destination.AbortFlag != nullptr) *Destination.AbortFlag = true;
}

void JPEGInitDestination(j_compress_ptr Info) {
    auto* destination = reinterpret_cast<TJpegStreamDestination*>(Info->dest);
    destination->Buffer = static_cast<JOCTET*>((*Info->mem->alloc_large)(
        reinterpret_cast<j_common_ptr>(Info), JPOOL_IMAGE, StreamBufferSize));
    destination->Pub.next_output_byte = destination->Buffer;
    destination->Pub.free_in_buffer = StreamBufferSize;
}

boolean JPEGEmptyOutputBuffer(j_compress_ptr Info) {
    auto* destination = reinterpret_cast<TJpegStreamDestination*>(Info->dest);
    WriteOut(*destination, StreamBufferSize);
    destination->Pub.next_output_byte = destination->Buffer;
    destination->Pub.free_in_buffer = StreamBufferSize;
    return TRUE;
}

void JPEGTermDestination(j_compress_ptr Info) {
    auto* destination = reinterpret_cast<TJpegStreamDestination*>(Info->dest);
    const auto held = static_cast<int32_t>(StreamBufferSize - destination->Pub.free_in_buffer);
    if (held > 0) WriteOut(*destination, held);
}

// ---- Guarded steps ----

// Runs Step with the library's errors caught: false when the library raised an error or the
// step raised an exception. Step and everything it calls hold plain data only.
template <class StateT> bool Guard(TJpegErrorManager& Error, StateT& State, void (*Step)(StateT&)) {
    if (setjmp(Error.Jump) != 0) return false;
    try {
        Step(State);
    } catch (...) {
        return false;
    }
    return true;
}

J_DCT_METHOD DctMethodOf(TVLJpegDCTMethod Method, J_DCT_METHOD Default) {
    switch (Method) {
    case dmISlow:
        return JDCT_ISLOW;
    case dmIFast:
        return JDCT_IFAST;
    case dmFloat:
        return JDCT_FLOAT;
    }
    return Default;
}

// Reports Trunc(Count x Factor) when it differs from the last report.
struct TJpegProgress {
    TVLProgressRecord* Record;
    double Factor;
    int32_t Count;
    int32_t Last;

    void Step(int32_t Rows) {
        Count += Rows;
        if (!Record->Handler) return;
        const auto per = static_cast<int32_t>(Count * Factor);
        if (per == Last) return;
        Last = per;
        Record->Handler(Record->Sender, per);
    }
};

// ---- Reading ----

// More scans than any encoder writes (libjpeg-turbo's own tools stop at 500). Each scan of a
// progressive file passes over every coefficient of the picture, so a file repeating one scan
// thousands of times keeps the library busy for minutes before the first row.
constexpr int MaxScans = 500;

struct TJpegRead;

// The library's progress monitor, called while it reads scans and rows.
struct TJpegMonitor {
    jpeg_progress_mgr Pub;
    TJpegRead* Read;
    int LastScan;
};

struct TJpegRead {
    jpeg_decompress_struct Info;
    TJpegErrorManager Error;
    TJpegMonitor Monitor;
    TStream* Stream;
    TStream* TablesStream;
    TVLBitmap* Bitmap;
    TIOParamsVals* Params;
    TVLProgressRecord* Progress;
    bool KeepYCbCr;
    bool InvertCMYK;
    bool NativePixelFormat;
    bool ProfileConversion;
    int32_t MaxLines;
    int32_t Rows;
    JSAMPROW RowBuffer;
    TJpegProgress Report;
    // Bytes of the stream from the start of the JPEG data.
    int64_t InputBytes;
};

bool Aborting(const TJpegRead& R) {
    return R.Progress->Aborting();
}

// Stops the library through its error exit past the scan limit or once the abort flag is set
// (by bad data or by a progress handler that cancels), and gives the progress handler a call at
// every new scan, so that a caller can give up while a many-scan file is read before its rows.
void JPEGProgressMonitor(j_common_ptr Info) {
    TJpegMonitor& monitor = *reinterpret_cast<TJpegMonitor*>(Info->progress);
    TJpegRead& read = *monitor.Read;
    const int scan = read.Info.input_scan_number;
    if (scan != monitor.LastScan && scan <= MaxScans && !Aborting(read)) {
        monitor.LastScan = scan;
        read.Progress->ReportPercent(std::max(read.Report.Last, 0));
    }
    if (scan > MaxScans || Aborting(read)) (*Info->err->error_exit)(Info);
}

void CreateDecompressStep(TJpegRead& R) {
    jpeg_CreateDecompress(&R.Info, JPEG_LIB_VERSION, sizeof(R.Info));
    R.Monitor.Pub.progress_monitor = JPEGProgressMonitor;
    R.Monitor.Read = &R;
    R.Info.progress = &R.Monitor.Pub;
}

void ReadTablesStep(TJpegRead& R) {
    SetStreamSource(&R.Info, R.TablesStream, R.Progress->AbortFlag);
    jpeg_read_header(&R.Info, FALSE);
}

void ReadHeaderStep(TJpegRead& R) {
    SetStreamSource(&R.Info, R.Stream, R.Progress->AbortFlag);
    jpeg_save_markers(&R.Info, JPEG_COM, 0xFFFF);
    for (int m = 0; m < 16; ++m)
        jpeg_save_markers(&R.Info, JPEG_APP0 + m, 0xFFFF);
    jpeg_read_header(&R.Info, TRUE);
}

// The image's facts into the record and the output colour space into the decompressor. Rows
// of colour come out blue, green, red: the bitmap's own order.
void ApplyHeader(TJpegRead& R) {
    jpeg_decompress_struct& info = R.Info;
    TIOParamsVals& params = *R.Params;
    params.BitsPerSample = 8;
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        params.JpegColorSpace = jcGrayScale;
        params.SamplesPerPixel = 1;
        // Grey levels into 24-bit rows are repeated into blue, green and red by the library.
        info.out_color_space = R.NativePixelFormat ? JCS_GRAYSCALE : JCS_EXT_BGR;
        break;
    case JCS_RGB:
    case JCS_YCbCr:
        params.JpegColorSpace = info.jpeg_color_space == JCS_RGB ? jcRGB : jcYCbCr;
        params.SamplesPerPixel = 3;
        info.out_color_space = JCS_EXT_BGR;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        params.JpegColorSpace = info.jpeg_color_space == JCS_CMYK ? jcCMYK : jcYCbCrK;
        params.SamplesPerPixel = 4;
        info.out_color_space = JCS_CMYK;
        break;
    default:
        info.out_color_space = JCS_UNKNOWN;
        break;
    }
    if (R.KeepYCbCr) info.out_color_space = JCS_YCbCr;
    info.dct_method = DctMethodOf(params.JpegDCTMethod, info.dct_method);
    info.do_fancy_upsampling = TRUE;

    if (info.density_unit == 0 || info.density_unit == 1) {
        params.SetDpiX(info.X_density);
        params.SetDpiY(info.Y_density);
    } else if (info.density_unit == 2) {
        params.SetDpiX(static_cast<int32_t>(Trunc(info.X_density * 2.54)));
        params.SetDpiY(static_cast<int32_t>(Trunc(info.Y_density * 2.54)));
    }
    params.FreePalette();
    params.JpegProgressive = info.progressive_mode != 0;
    params.OriginalWidth = static_cast<int32_t>(info.image_width);
    params.OriginalHeight = static_cast<int32_t>(info.image_height);
}

// jsAuto takes the largest reduction that still covers the wanted size.
uint32_t ScaleDenominator(const TJpegRead& R) {
    const TIOParamsVals& params = *R.Params;
    switch (params.JpegScale) {
    case jsFull:
        return 1;
    case jsHalf:
        return 2;
    case jsQuarter:
        return 4;
    case jsEighth:
        return 8;
    case jsAuto:
        if (params.Width <= 0 || params.Height <= 0) return 1;
        for (int n = 3; n >= 0; --n)
            if (static_cast<int64_t>(R.Info.image_width >> n) >= params.Width &&
                static_cast<int64_t>(R.Info.image_height >> n) >= params.Height)
                return 1u << n;
        return 1;
    }
    return R.Info.scale_denom;
}

void StartDecompressStep(TJpegRead& R) {
    jpeg_start_decompress(&R.Info);
    R.RowBuffer = (*R.Info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&R.Info), JPOOL_IMAGE,
                                              R.Info.output_width * 4, 1)[0];
}

TVLPixelFormat OutputPixelFormat(const TJpegRead& R) {
    if (!R.NativePixelFormat) return TVLPixelFormat::vl24RGB;
    switch (R.Info.out_color_space) {
    case JCS_GRAYSCALE:
        return TVLPixelFormat::vl8g;
    case JCS_CMYK:
        return TVLPixelFormat::vlCMYK;
    default:
        return TVLPixelFormat::vl24RGB;
    }
}

// The library writes the rows straight into the bitmap: several at once where the bitmap's
// rows stay put between calls (memory and class-library bitmaps).
uint32_t ReadRowsDirect(TJpegRead& R) {
    TVLBitmap& bitmap = *R.Bitmap;
    const bool stable = bitmap.GetLocation() != TVLLocation::vlFile;
    const uint32_t left = std::min<uint32_t>(R.Info.output_height - R.Info.output_scanline,
                                             static_cast<uint32_t>(R.MaxLines - R.Rows));
    const uint32_t count = stable ? std::min<uint32_t>(left, RowsPerCall) : 1;
    JSAMPROW rows[RowsPerCall];
    for (uint32_t i = 0; i < count; ++i)
        rows[i] = bitmap.GetScanline(R.Rows + static_cast<int32_t>(i));
    return jpeg_read_scanlines(&R.Info, rows, count);
}

// One row through the row buffer, converted into the 24-bit bitmap row.
uint32_t ReadRowConverted(TJpegRead& R) {
    JSAMPROW buffer = R.RowBuffer;
    if (jpeg_read_scanlines(&R.Info, &buffer, 1) != 1) return 0;
    uint8_t* row = R.Bitmap->GetScanline(R.Rows);
    const auto width = static_cast<int32_t>(R.Info.output_width);
    if (R.Info.out_color_space == JCS_CMYK) {
        if (R.InvertCMYK)
            for (int32_t i = 0; i < width * 4; ++i)
                buffer[i] = static_cast<JSAMPLE>(255 - buffer[i]);
        ColorConversionHook(buffer, ColorLayoutCMYK, row, R.Params, width, ColorTargetBGR);
    } else {
        ColorConversionHook(buffer, ColorLayoutBGR, row, R.Params, width, ColorTargetBGR);
    }
    return 1;
}

// Rows go straight into the bitmap unless they need the colour-conversion hook: CMYK into
// 24-bit, and colour through an embedded profile.
bool ReadsDirect(const TJpegRead& R) {
    switch (R.Info.out_color_space) {
    case JCS_CMYK:
        return R.Bitmap->GetPixelFormat() == TVLPixelFormat::vlCMYK;
    case JCS_EXT_BGR:
        return !R.ProfileConversion || R.Info.jpeg_color_space == JCS_GRAYSCALE;
    default:
        return true;
    }
}

void ReadRowsStep(TJpegRead& R) {
    const bool direct = ReadsDirect(R);
    while (R.Info.output_scanline < R.Info.output_height && R.Rows < R.MaxLines) {
        const uint32_t read = direct ? ReadRowsDirect(R) : ReadRowConverted(R);
        if (read == 0) break;
        R.Rows += static_cast<int32_t>(read);
        R.Report.Step(static_cast<int32_t>(read));
        if (Aborting(R)) break;
    }
}

void FinishDecompressStep(TJpegRead& R) {
    // Reading stopped before the last row (MaxLines): the library refuses to finish then.
    if (R.Info.output_scanline < R.Info.output_height)
        jpeg_abort_decompress(&R.Info);
    else
        jpeg_finish_decompress(&R.Info);
}

void CopySavedMarkers(TJpegRead& R) {
    TVLMarkerList& markers = R.Params->JpegMarkers;
    markers.Clear();
    bool firstApp0 = true;
    for (jpeg_saved_marker_ptr m = R.Info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 && firstApp0) {
            firstApp0 = false;
            continue;
        }
        markers.AddMarker(m->marker, m->data, static_cast<uint16_t>(m->data_length));
    }
}

void ReleaseAppliedProfile(TIOParamsVals& Params) {
    TVLICC* profile = Params.EmbeddedICC.get();
    if (profile == nullptr || !profile->HasTransform()) return;
    profile->FreeTransform();
    for (int32_t i = Params.JpegMarkers.GetCount() - 1; i >= 0; --i)
        if (Params.JpegMarkers.GetMarkerType(i) == JPEG_APP0 + 2)
            Params.JpegMarkers.DeleteMarker(i);
}

// The first EXIF block fills the EXIF fields. Its resolution counts only when the JFIF density
// gave none (1:1); with JpegAdjustOrientation the picture is turned upright and then says so, so
// that nothing turns it again.
void ReadExifMarker(TIOParamsVals& Params, TVLBitmap& Bitmap, bool ParamsOnly) {
    TVLMarkerList& markers = Params.JpegMarkers;
    for (int32_t i = 0; i < markers.GetCount(); ++i) {
        if (markers.GetMarkerType(i) != JPEG_APP0 + 1) continue;
        const int32_t dpiX = Params.DpiX;
        const int32_t dpiY = Params.DpiY;
        if (!ReadExifBlock(markers.GetMarkerData(i), markers.GetMarkerLength(i), Params)) continue;
        // The EXIF resolution is already in inches.
        const bool fromExif = dpiX == 1 && dpiY == 1;
        Params.SetDpiX(fromExif ? static_cast<int32_t>(Trunc(Params.ExifXResolution)) : dpiX);
        Params.SetDpiY(fromExif ? static_cast<int32_t>(Trunc(Params.ExifYResolution)) : dpiY);
        if (Params.JpegAdjustOrientation && !ParamsOnly && !Bitmap.IsEmpty() &&
            Params.ExifOrientation > 1) {
            ApplyExifOrientation(Bitmap, Params.ExifOrientation);
            Params.SetExifOrientation(1);
        }
        return;
    }
}

void ReadMarkerMetadata(TIOParamsVals& Params, TVLBitmap& Bitmap, bool ParamsOnly) {
    TVLMarkerList& markers = Params.JpegMarkers;
    for (int32_t i = 0; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i) == JPEG_APP0 + 13 &&
            Params.IPTCInfo.LoadFromBuffer(markers.GetMarkerData(i), markers.GetMarkerLength(i)))
            break;
    ReadExifMarker(Params, Bitmap, ParamsOnly);
    for (int32_t i = 0; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i) == JPEG_APP0 + 1 &&
            ReadXMPFromAPP1(markers.GetMarkerData(i), markers.GetMarkerLength(i), Params))
            break;
}

// False when the coded data cannot hold the picture the frame header declares: a Huffman-coded
// scan spends at least one bit on every block of each component it holds, so the input must
// reach the block count of the component with the fewest blocks. Arithmetic coding can spend far
// less than a bit on a block: only the storage bound for each input byte holds it. A multi-scan
// file also keeps every coefficient (two bytes a sample) while it decodes.
bool PlausibleForInput(const TJpegRead& R) {
    int64_t fewest = std::numeric_limits<int64_t>::max(), coefficients = 0;
    for (int c = 0; c < R.Info.num_components; ++c) {
        const jpeg_component_info& comp = R.Info.comp_info[c];
        const int64_t blocks = int64_t{comp.width_in_blocks} * comp.height_in_blocks;
        fewest = std::min(fewest, blocks);
        coefficients += blocks * DCTSIZE2 * 2;
    }
    const int64_t denom = std::max<int64_t>(R.Info.scale_denom, 1);
    const int64_t bitmap = PlannedBitmapBytes((int64_t{R.Info.image_width} + denom - 1) / denom,
                                              (int64_t{R.Info.image_height} + denom - 1) / denom,
                                              OutputPixelFormat(R), false);
    const bool multiScan = R.Info.progressive_mode || R.Info.comps_in_scan < R.Info.num_components;
    const int64_t storage = bitmap + (multiScan ? coefficients : 0);
    return IsPlausibleDeclaredSize(storage, R.Info.arith_code ? 0 : fewest, ExpansionBlocksJPEG,
                                   R.InputBytes);
}

// Rows of the image into the bitmap; the abort flag tells a failure.
void Decode(TJpegRead& R) {
    // No conversion for the file's components, or too little data for its size: nothing is read.
    if (R.Info.out_color_space == JCS_UNKNOWN || !PlausibleForInput(R)) {
        R.Progress->Abort();
        return;
    }
    if (!Guard(R.Error, R, StartDecompressStep)) {
        R.Progress->Abort();
        return;
    }
    const auto width = static_cast<int32_t>(R.Info.output_width);
    const auto height = static_cast<int32_t>(R.Info.output_height);
    R.Params->Width = width;
    R.Params->Height = height;
    bool allocated = false;
    try {
        allocated = R.Bitmap->Allocate(width, height, OutputPixelFormat(R));
    } catch (...) {
        allocated = false;
    }
    if (!allocated) {
        R.Progress->Abort();
        return;
    }
    if (R.MaxLines < 0) R.MaxLines = height;
    R.Report = {R.Progress, height > 0 ? 100.0 / height : 0.0, 0, -1};
    if (!Guard(R.Error, R, ReadRowsStep) || R.Rows < R.MaxLines) R.Progress->Abort();
}

// Fills the record and, unless ParamsOnly, the bitmap; the library's state ends in Finish.
void ReadImage(TJpegRead& R, bool ParamsOnly) {
    if (!Guard(R.Error, R, ReadHeaderStep) || Aborting(R)) {
        R.Progress->Abort();
        return;
    }
    ApplyHeader(R);
    R.Info.scale_num = 1;
    R.Info.scale_denom = ScaleDenominator(R);
    R.Params->JpegScaleUsed = static_cast<int32_t>(R.Info.scale_denom);
    if (ParamsOnly) {
        R.Params->Width = static_cast<int32_t>(R.Info.image_width);
        R.Params->Height = static_cast<int32_t>(R.Info.image_height);
        return;
    }
    Decode(R);
}

void FinishRead(TJpegRead& R, bool ParamsOnly, bool ReleaseProfile) {
    CopySavedMarkers(R);
    if (ReleaseProfile && R.ProfileConversion) ReleaseAppliedProfile(*R.Params);
    if (!Aborting(R) && !ParamsOnly && R.Info.global_state != 0) {
        R.Error.AbortFlag = nullptr;
        Guard(R.Error, R, FinishDecompressStep);
    }
    if (R.Error.Pub.num_warnings != 0) {
        R.Params->JpegWarningCount = static_cast<int32_t>(R.Error.Pub.num_warnings);
        R.Params->JpegLastMessageCode = R.Error.Pub.msg_code;
    }
    jpeg_destroy_decompress(&R.Info);
}

// ---- Writing ----

struct TJpegWrite {
    jpeg_compress_struct Info;
    TJpegErrorManager Error;
    TJpegStreamDestination Destination;
    TStream* Stream;
    TVLBitmap* Bitmap;
    TIOParamsVals* Params;
    TVLProgressRecord* Progress;
    bool CMYKOutput;
    JSAMPROW RowBuffer;
    TJpegProgress Report;
};

void CreateCompressStep(TJpegWrite& W) {
    jpeg_CreateCompress(&W.Info, JPEG_LIB_VERSION, sizeof(W.Info));
    W.Destination.Pub.init_destination = JPEGInitDestination;
    W.Destination.Pub.empty_output_buffer = JPEGEmptyOutputBuffer;
    W.Destination.Pub.term_destination = JPEGTermDestination;
    W.Destination.Stream = W.Stream;
    W.Destination.AbortFlag = W.Progress->AbortFlag;
    W.Info.dest = &W.Destination.Pub;
}

J_COLOR_SPACE JpegColorSpaceOf(TVLJpegColorSpace Value) {
    switch (Value) {
    case jcGrayScale:
        return JCS_GRAYSCALE;
    case jcYCbCr:
        return JCS_YCbCr;
    case jcCMYK:
        return JCS_CMYK;
    case jcYCbCrK:
        return JCS_YCCK;
    default:
        return JCS_RGB;
    }
}

void SetSampling(jpeg_compress_struct& Info, TVLJpegSubsampling Value) {
    switch (Value) {
    case ss422:
        Info.comp_info[0].h_samp_factor = 2;
        Info.comp_info[0].v_samp_factor = 1;
        break;
    case ss420:
        Info.comp_info[0].h_samp_factor = 2;
        Info.comp_info[0].v_samp_factor = 2;
        break;
    case ss444:
        Info.comp_info[0].h_samp_factor = 1;
        Info.comp_info[0].v_samp_factor = 1;
        break;
    default:
        return;
    }
    for (int c = 1; c < 3; ++c)
        Info.comp_info[c].h_samp_factor = Info.comp_info[c].v_samp_factor = 1;
}

void SetupCompressStep(TJpegWrite& W) {
    jpeg_compress_struct& info = W.Info;
    const TIOParamsVals& params = *W.Params;
    info.image_width = static_cast<JDIMENSION>(W.Bitmap->GetWidth());
    info.image_height = static_cast<JDIMENSION>(W.Bitmap->GetHeight());
    const J_COLOR_SPACE target = JpegColorSpaceOf(params.JpegColorSpace);
    W.CMYKOutput = target == JCS_CMYK || target == JCS_YCCK;
    // Colour rows go in as stored, blue first; CMYK rows are converted first.
    info.input_components = W.CMYKOutput ? 4 : 3;
    info.in_color_space = W.CMYKOutput ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, target);
    info.density_unit = 1;
    info.X_density = static_cast<UINT16>(params.DpiX != 0 ? params.DpiX : DefaultDpiX);
    info.Y_density = static_cast<UINT16>(params.DpiY != 0 ? params.DpiY : DefaultDpiY);
    info.dct_method = DctMethodOf(params.JpegDCTMethod, info.dct_method);
    info.optimize_coding = params.JpegOptimalHuffman ? TRUE : FALSE;
    info.smoothing_factor = std::clamp(params.JpegSmoothing, 0, 100);
    jpeg_set_quality(&info, params.JpegQuality, TRUE);
    if (target == JCS_YCbCr) SetSampling(info, params.JpegChromaSubsampling);
    if (target == JCS_CMYK) info.write_JFIF_header = TRUE;
    if (params.JpegProgressive) jpeg_simple_progression(&info);
    if (W.CMYKOutput)
        W.RowBuffer = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                info.image_width * 4, 1)[0];
}

// Every marker of the record except APP14, which the library writes itself when needed.
void StartCompressStep(TJpegWrite& W) {
    jpeg_start_compress(&W.Info, TRUE);
    const TVLMarkerList& markers = W.Params->JpegMarkers;
    for (int32_t i = 0; i < markers.GetCount(); ++i)
        if (markers.GetMarkerType(i) != JPEG_APP0 + 14)
            jpeg_write_marker(&W.Info, markers.GetMarkerType(i), markers.GetMarkerData(i),
                              static_cast<unsigned>(markers.GetMarkerLength(i)));
}

uint32_t WriteRows(TJpegWrite& W) {
    TVLBitmap& bitmap = *W.Bitmap;
    const auto y = static_cast<int32_t>(W.Info.next_scanline);
    if (W.CMYKOutput) {
        ColorConversionHook(bitmap.GetScanline(y), ColorLayoutBGR, W.RowBuffer, nullptr,
                            bitmap.GetWidth(), ColorTargetCMYK);
        return jpeg_write_scanlines(&W.Info, &W.RowBuffer, 1);
    }
    const bool stable = bitmap.GetLocation() != TVLLocation::vlFile;
    const uint32_t left = W.Info.image_height - W.Info.next_scanline;
    const uint32_t count = stable ? std::min<uint32_t>(left, RowsPerCall) : 1;
    JSAMPROW rows[RowsPerCall];
    for (uint32_t i = 0; i < count; ++i)
        rows[i] = bitmap.GetScanline(y + static_cast<int32_t>(i));
    return jpeg_write_scanlines(&W.Info, rows, count);
}

void WriteRowsStep(TJpegWrite& W) {
    while (W.Info.next_scanline < W.Info.image_height) {
        const uint32_t written = WriteRows(W);
        if (written == 0) break;
        W.Report.Step(static_cast<int32_t>(written));
        if (W.Progress->Aborting()) break;
    }
}

void FinishCompressStep(TJpegWrite& W) {
    jpeg_finish_compress(&W.Info);
}

// Sets the abort flag and raises the library's error after the compressor is gone.
[[noreturn]] void RaiseWriteError(TJpegWrite& W) {
    const String text = JpegMessageText(W.Error.Pub, W.Error.Pub.msg_code);
    W.Progress->Abort();
    jpeg_destroy_compress(&W.Info);
    throw EVLJpegException(text);
}

// The library's default error exit would end the program: every wrapper guards its call and
// raises the library's error as an exception.
template <class Result, class Call> Result Wrapped(TVLJpegDecompressor* Decompressor, Call&& Body) {
    TJpegErrorManager& error = ErrorManagerOf(reinterpret_cast<j_common_ptr>(Decompressor));
    if (setjmp(error.Jump) != 0)
        throw EVLJpegException(JpegMessageText(error.Pub, error.Pub.msg_code));
    return Body();
}

// Reads a big-endian segment length at the position; -1 at the end of the stream.
int32_t ReadSegmentLength(TStream& Stream) {
    uint8_t bytes[2];
    if (Stream.Read(bytes, 2) != 2) return -1;
    return (bytes[0] << 8) | bytes[1];
}

// Reads bytes up to the next FF and the marker byte after it; false at the end of the stream.
bool NextMarker(TStream& Stream, uint8_t& Marker) {
    uint8_t byte = 0;
    do {
        if (Stream.Read(&byte, 1) != 1) return false;
    } while (byte != 0xFF);
    return Stream.Read(&Marker, 1) == 1;
}

struct TIccChunk {
    bool Present = false;
    std::vector<uint8_t> Payload;
};

// The EXIF thumbnail pass: the markers are read for parameters only and an EXIF thumbnail,
// when there is one, becomes the picture (upright, so its orientation is 1). False when the
// file has none; the stream and the requested size are then as they were.
bool ReadExifThumbnailInstead(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap,
                              TIOParamsVals& Params, TVLProgressRecord& Progress, bool KeepYCbCr,
                              bool InvertCMYK, bool ReleaseProfile) {
    if (Params.ExifThumbnail) Params.ExifThumbnail->FreeImage(true);
    Params.SetLoadThumbnail(false);
    const int32_t width = Params.Width;
    const int32_t height = Params.Height;
    const int64_t start = Stream.GetPosition();
    ReadJPEGStream(Stream, TablesStream, Bitmap, Params, Progress, true, KeepYCbCr, true,
                   InvertCMYK, ReleaseProfile, false, -1, Params.NativePixelFormat);
    Stream.SetPosition(start);
    Params.SetLoadThumbnail(true);
    if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty()) {
        Bitmap.Assign(Params.ExifThumbnail.get());
        Params.SetExifOrientation(1);
        return true;
    }
    Params.Width = width;
    Params.Height = height;
    Params.OriginalWidth = width;
    Params.OriginalHeight = height;
    return false;
}

} // namespace

int32_t ReadJPEGStream(TStream& Stream, TStream* TablesStream, TVLBitmap& Bitmap,
                       TIOParamsVals& Params, TVLProgressRecord& Progress, bool ParamsOnly,
                       bool KeepYCbCr, bool ReadMetadata, bool InvertCMYK,
                       bool ReleaseAppliedProfile, bool ReadICCProfile, int32_t MaxLines,
                       bool NativePixelFormat) {
    if (Params.JpegLoadExifThumbnail &&
        ReadExifThumbnailInstead(Stream, TablesStream, Bitmap, Params, Progress, KeepYCbCr,
                                 InvertCMYK, ReleaseAppliedProfile))
        return 0;
    Params.JpegWarningCount = 0;
    Params.JpegLastMessageCode = 0;
    const int64_t start = FindJPEGStart(Stream);
    if (start < 0) {
        Progress.Abort();
        return 0;
    }
    Stream.SetPosition(start);
    if (ReadICCProfile) ReadJPEGICCProfile(Stream, Params);

    TJpegRead read{};
    read.Stream = &Stream;
    read.TablesStream = TablesStream;
    read.Bitmap = &Bitmap;
    read.Params = &Params;
    read.Progress = &Progress;
    read.KeepYCbCr = KeepYCbCr;
    read.InvertCMYK = InvertCMYK;
    read.NativePixelFormat = NativePixelFormat;
    read.ProfileConversion = UseICCProfiles && Params.EmbeddedICC != nullptr;
    read.MaxLines = MaxLines;
    read.InputBytes = Stream.GetSize() - start;
    InitErrorManager(read.Error, Progress.AbortFlag);
    read.Info.err = &read.Error.Pub;
    if (!Guard(read.Error, read, CreateDecompressStep)) {
        Progress.Abort();
        return 0;
    }

    if (TablesStream != nullptr && TablesStream != &Stream && !Aborting(read) &&
        !Guard(read.Error, read, ReadTablesStep)) {
        const String text = JpegMessageText(read.Error.Pub, read.Error.Pub.msg_code);
        jpeg_destroy_decompress(&read.Info);
        throw EVLJpegException(text);
    }
    if (!Aborting(read)) ReadImage(read, ParamsOnly);
    FinishRead(read, ParamsOnly, ReleaseAppliedProfile);
    if (ReadMetadata) ReadMarkerMetadata(Params, Bitmap, ParamsOnly);
    return read.Rows;
}

void WriteJPEGStream(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                     TVLProgressRecord& Progress) {
    std::unique_ptr<TVLBitmap> converted;
    TVLBitmap* source = &Bitmap;
    if (Bitmap.GetPixelFormat() != TVLPixelFormat::vl24RGB) {
        converted = std::make_unique<TVLBitmap>();
        converted->Assign(&Bitmap);
        converted->SetPixelFormat(TVLPixelFormat::vl24RGB);
        source = converted.get();
    }
    if (source->GetWidth() == 0 || source->GetHeight() == 0) {
        Progress.Abort();
        return;
    }
    Params.JpegMarkers.Sort();

    TJpegWrite write{};
    write.Stream = &Stream;
    write.Bitmap = source;
    write.Params = &Params;
    write.Progress = &Progress;
    InitErrorManager(write.Error, Progress.AbortFlag);
    write.Info.err = &write.Error.Pub;
    if (!Guard(write.Error, write, CreateCompressStep)) RaiseWriteError(write);
    if (Progress.Aborting()) {
        jpeg_destroy_compress(&write.Info);
        return;
    }
    if (!Guard(write.Error, write, SetupCompressStep) ||
        !Guard(write.Error, write, StartCompressStep))
        RaiseWriteError(write);
    write.Report = {&Progress, 100.0 / source->GetHeight(), 0, -1};
    if (!Guard(write.Error, write, WriteRowsStep)) RaiseWriteError(write);
    if (!Progress.Aborting() && !Guard(write.Error, write, FinishCompressStep))
        RaiseWriteError(write);
    jpeg_destroy_compress(&write.Info);
}

int64_t FindJPEGStart(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    uint8_t bytes[150 + 2];
    const int32_t count = std::max(Stream.Read(bytes, sizeof(bytes)), 0);
    Stream.SetPosition(start);
    for (int32_t i = 0; i + 2 < count; ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD8 && bytes[i + 2] == 0xFF) return start + i;
    return -1;
}

int32_t GetJPEGStreamLength(TStream& Stream) {
    const int64_t start = Stream.GetPosition();
    const int64_t size = Stream.GetSize();
    TVLBufferedReadStream reader(Stream, 8192, false);
    int32_t result = -1;
    uint8_t marker = 0;
    while (NextMarker(reader, marker)) {
        if (marker == 0xD9) {
            result = static_cast<int32_t>(reader.GetPosition() - start);
            break;
        }
        if ((marker >= 0xC0 && marker <= 0xCF) || (marker >= 0xDA && marker <= 0xFE)) {
            const int32_t length = ReadSegmentLength(reader);
            if (length < 2) break;
            if (reader.Seek(length - 2, soCurrent) >= size) break;
        }
    }
    Stream.SetPosition(start);
    return result;
}

void ReadJPEGICCProfile(TStream& Stream, TIOParamsVals& Params) {
    static const char IccSignature[] = "ICC_PROFILE";
    const int64_t start = Stream.GetPosition();
    std::vector<TIccChunk> chunks;
    int32_t found = 0;
    int32_t declared = -1;
    bool consistent = true;
    {
        TVLBufferedReadStream reader(Stream, 8192, false);
        uint8_t marker = 0;
        while (NextMarker(reader, marker)) {
            if (marker <= 0xBF || (marker >= 0xD0 && marker <= 0xD8) || marker == 0xFF) continue;
            const bool segment = marker == 0xC4 || marker == 0xC8 || marker == 0xCC ||
                                 (marker >= 0xDA && marker <= 0xFE);
            if (!segment) break;
            const int32_t length = ReadSegmentLength(reader);
            if (length < 2) break;
            if (marker != 0xE2) {
                reader.Seek(length - 2, soCurrent);
                continue;
            }
            std::vector<uint8_t> data(static_cast<size_t>(length - 2));
            if (reader.Read(data.data(), length - 2) != length - 2) break;
            if (data.size() < 14 || std::memcmp(data.data(), IccSignature, 12) != 0) continue;
            const auto index = static_cast<uint8_t>(data[12] - 1);
            const int32_t count = data[13];
            if (chunks.size() <= index) chunks.resize(index + 1u);
            if (chunks[index].Present || (declared >= 0 && declared != count)) consistent = false;
            declared = count;
            chunks[index].Present = true;
            chunks[index].Payload.assign(data.begin() + 14, data.end());
            ++found;
            if (found == count) break;
        }
    }
    Stream.SetPosition(start);
    // Every chunk 1 to the declared count exactly once, or no profile.
    if (!consistent || found == 0 || found != declared ||
        chunks.size() != static_cast<size_t>(declared))
        return;
    std::vector<uint8_t> profile;
    for (const TIccChunk& chunk : chunks)
        profile.insert(profile.end(), chunk.Payload.begin(), chunk.Payload.end());
    if (!profile.empty())
        Params.GetEmbeddedICCProfile()->LoadFromBuffer(profile.data(),
                                                       static_cast<int32_t>(profile.size()));
}

// ---- Camera-raw wrappers ----

TVLJpegDecompressor* JPEGAllocDecompress() {
    return static_cast<TVLJpegDecompressor*>(std::calloc(1, sizeof(jpeg_decompress_struct)));
}

void JPEGFreeDecompress(TVLJpegDecompressor* Decompressor) {
    std::free(Decompressor);
}

void JPEGAllocErrorManager(TVLJpegDecompressor* Decompressor) {
    auto* error = static_cast<TJpegErrorManager*>(std::calloc(1, sizeof(TJpegErrorManager)));
    if (error == nullptr) throw EVLJpegException(u"Insufficient memory");
    InitErrorManager(*error, nullptr);
    Decompressor->err = &error->Pub;
}

void JPEGFreeErrorManager(TVLJpegDecompressor* Decompressor) {
    std::free(Decompressor->err);
    Decompressor->err = nullptr;
}

void JPEGCreateDecompress(TVLJpegDecompressor* Decompressor) {
    Wrapped<void>(Decompressor, [&] {
        jpeg_CreateDecompress(Decompressor, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
    });
}

void JPEGDestroyDecompress(TVLJpegDecompressor* Decompressor) {
    jpeg_destroy_decompress(Decompressor);
}

void JPEGSetStreamSource(TVLJpegDecompressor* Decompressor, TStream& Stream) {
    Wrapped<void>(Decompressor, [&] { SetStreamSource(Decompressor, &Stream, nullptr); });
}

void JPEGSetFillInputBuffer(TVLJpegDecompressor* Decompressor, TVLJpegFillInputBuffer Callback) {
    if (Decompressor->src != nullptr) Decompressor->src->fill_input_buffer = Callback;
}

void JPEGSetSourceBuffer(TVLJpegDecompressor* Decompressor, const uint8_t* Data, uint32_t Size) {
    if (Decompressor->src == nullptr) return;
    Decompressor->src->next_input_byte = Data;
    Decompressor->src->bytes_in_buffer = Size;
}

int32_t JPEGReadHeader(TVLJpegDecompressor* Decompressor, bool RequireImage) {
    return Wrapped<int32_t>(Decompressor,
                            [&] { return jpeg_read_header(Decompressor, RequireImage); });
}

bool JPEGStartDecompress(TVLJpegDecompressor* Decompressor) {
    return Wrapped<bool>(Decompressor, [&] { return jpeg_start_decompress(Decompressor) != 0; });
}

bool JPEGFinishDecompress(TVLJpegDecompressor* Decompressor) {
    return Wrapped<bool>(Decompressor, [&] { return jpeg_finish_decompress(Decompressor) != 0; });
}

int32_t JPEGGetOutputWidth(TVLJpegDecompressor* Decompressor) {
    return static_cast<int32_t>(Decompressor->output_width);
}

int32_t JPEGGetOutputHeight(TVLJpegDecompressor* Decompressor) {
    return static_cast<int32_t>(Decompressor->output_height);
}

int32_t JPEGGetOutputComponents(TVLJpegDecompressor* Decompressor) {
    return Decompressor->output_components;
}

int32_t JPEGGetOutputScanline(TVLJpegDecompressor* Decompressor) {
    return static_cast<int32_t>(Decompressor->output_scanline);
}

uint8_t** JPEGAllocSampleArray(TVLJpegDecompressor* Decompressor, int32_t PoolId,
                               uint32_t SamplesPerRow, uint32_t Rows) {
    return Wrapped<uint8_t**>(Decompressor, [&] {
        return (*Decompressor->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(Decompressor),
                                                  PoolId, SamplesPerRow, Rows);
    });
}

uint32_t JPEGReadScanlines(TVLJpegDecompressor* Decompressor, uint8_t** Rows, uint32_t MaxLines) {
    return Wrapped<uint32_t>(Decompressor,
                             [&] { return jpeg_read_scanlines(Decompressor, Rows, MaxLines); });
}
