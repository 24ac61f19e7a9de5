// Format ids, the shapes of the codec entry points, the progress record every codec receives
// and the process-wide registry of file formats.
#pragma once

#include "imaging/core/VLDefs.h"
#include "imaging/io/VLIOParams.h"

#include <functional>

// Format ids. 0 means no format, or "detect it from the content" where an operation takes one.
// Ids 15 (AVI) and 21 (headerless raw pixels) have no registry row; 22 and 23 are not used.
constexpr TVLFileFormatId ffTIFF = 1;
constexpr TVLFileFormatId ffGIF = 2;
constexpr TVLFileFormatId ffJPEG = 3;
constexpr TVLFileFormatId ffPCX = 4;
constexpr TVLFileFormatId ffBMP = 5;
constexpr TVLFileFormatId ffICO = 6;
constexpr TVLFileFormatId ffCUR = 7;
constexpr TVLFileFormatId ffPNG = 8;
constexpr TVLFileFormatId ffWMF = 9;
constexpr TVLFileFormatId ffEMF = 10;
constexpr TVLFileFormatId ffTGA = 11;
constexpr TVLFileFormatId ffPXM = 12;
constexpr TVLFileFormatId ffJP2 = 13;
constexpr TVLFileFormatId ffJ2K = 14;
constexpr TVLFileFormatId ffAVI = 15;
constexpr TVLFileFormatId ffWBMP = 16;
constexpr TVLFileFormatId ffPS = 17;
constexpr TVLFileFormatId ffPDF = 18;
constexpr TVLFileFormatId ffDCX = 19;
constexpr TVLFileFormatId ffCameraRAW = 20;
constexpr TVLFileFormatId ffRawPixels = 21;
constexpr TVLFileFormatId ffPSD = 24;
constexpr TVLFileFormatId ffVect = 25;
constexpr TVLFileFormatId ffLayers = 26;
constexpr TVLFileFormatId ffLayersObjects = 27;
constexpr TVLFileFormatId ffDICOM = 28;

// Pages of the parameters dialog, as a 16-bit set.
using TIOPreviewsPages = uint16_t;
constexpr TIOPreviewsPages ipAll = 1;
constexpr TIOPreviewsPages ipAuto = 2;
constexpr TIOPreviewsPages ipJPEG = 4;
constexpr TIOPreviewsPages ipTIFF = 8;
constexpr TIOPreviewsPages ipGIF = 16;
constexpr TIOPreviewsPages ipBMP = 32;
constexpr TIOPreviewsPages ipPCX = 64;
constexpr TIOPreviewsPages ipPNG = 128;
constexpr TIOPreviewsPages ipTGA = 256;
constexpr TIOPreviewsPages ipJPEG2000 = 512;

// What the I/O component hands every reader and writer for one operation. A codec sets
// StepCount to 0 and PercentPerStep to 100 / its number of steps before its loop, reports after
// each step and stops as soon as the abort flag is set. Bad data sets the flag; the codec then
// returns normally instead of raising.
struct TVLProgressRecord {
    // Called with Sender and the percentage; empty = no progress reporting.
    TVLProgressEvent Handler;
    TObject* Sender = nullptr;
    // Steps done.
    int32_t StepCount = 0;
    double PercentPerStep = 0;
    // The TIFF reader's factor per strip, beside the one per row.
    double PercentPerStrip = 0;
    // The I/O component's aborting flag; a user's progress handler cancels through it.
    bool* AbortFlag = nullptr;

    // Reports Trunc(StepCount x PercentPerStep) when a handler is assigned.
    void ReportProgress() const;
    // Reports Per as it is when a handler is assigned.
    void ReportPercent(int32_t Per) const;
    // Sets the abort flag. A record without a flag cannot be stopped, so this does nothing then.
    void Abort() const;
    bool Aborting() const { return AbortFlag != nullptr && *AbortFlag; }
};

// Reads one image at the stream position into Bitmap and fills Params; with ParamsOnly only
// Params is filled. Failure sets the progress record's abort flag.
using TVLFormatReader = void (*)(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                                 TVLProgressRecord& Progress, bool ParamsOnly);
// Writes Bitmap at the stream position with the encoding options of Params.
using TVLFormatWriter = void (*)(TStream& Stream, TVLBitmap& Bitmap, TIOParamsVals& Params,
                                 TVLProgressRecord& Progress);
// Answers whether the data at the stream position is in the format FormatId; the caller puts
// the stream position back after each probe.
using TVLFormatProbe = bool (*)(TStream& Stream, TVLFileFormatId FormatId);

// One row of the registry.
class TVLFileFormatInfo : public TObject {
public:
    TVLFileFormatId FormatId = 0;
    // Name shown to users, e.g. "TIFF Bitmap".
    String DisplayName;
    // Upper case, without dots, separated by ";"; the first is the preferred one.
    String ExtensionList;
    // A row the library registers itself: the I/O component calls its own per-format entry
    // points by id instead of the row's functions.
    bool BuiltIn = false;
    // Page(s) of the parameters dialog that edit the format's options; 0 = none.
    TIOPreviewsPages DialogPages = 0;
    // nil: the format cannot be read, written or recognised through this row.
    TVLFormatReader Reader = nullptr;
    TVLFormatWriter Writer = nullptr;
    TVLFormatProbe Probe = nullptr;
};

// The first row, in registry order, with that id; nil when none.
TVLFileFormatInfo* FindFileFormatInfo(TVLFileFormatId FormatId);
// The first row one of whose own extensions equals Ext, letter case ignored, one leading "."
// of Ext ignored; nil when none.
TVLFileFormatInfo* FindFileFormatInfoByExtension(const String& Ext);
// Extensions of the row with that id, counted up to the first empty piece of its list; 0 when
// there is no such row.
int32_t GetFileFormatExtensionCount(TVLFileFormatId FormatId);
// The Index-th extension (from 0) of the row with that id, as stored; empty when Index is out
// of range or there is no such row.
void GetFileFormatExtension(TVLFileFormatId FormatId, int32_t Index, String& Ext);
// Appends Info to the registry, which takes it over; returns its index in the registry.
int32_t RegisterFileFormat(std::unique_ptr<TVLFileFormatInfo> Info);
// Removes and frees the first row with that id; nothing when there is none.
void UnregisterFileFormat(TVLFileFormatId FormatId);
// Number of rows and the row at an index (nil outside the registry), in registry order.
int32_t GetFileFormatCount();
TVLFileFormatInfo* GetFileFormatInfo(int32_t Index);
// Empties the registry and registers the library's own rows; called by the I/O unit's start-up.
void BuildFileFormatRegistry();
// Frees every row; called by the I/O unit's shut-down.
void FreeFileFormatRegistry();
