// The imaging library's shared types, its process-wide settings and tables, and the once-only
// start-up and shut-down of every library unit.
#pragma once

#include "platform/rtl/System.h"

#include <array>
#include <cstdint>
#include <functional>

// Pixel formats of a TVLBitmap; the values are stored in files and must not change.
enum class TVLPixelFormat : uint8_t {
    vlNone = 0,
    vl1g = 1,     // 1 bit, most significant bit = leftmost pixel, 1 = white
    vl8p = 2,     // index into the palette
    vl8g = 3,     // grey level; the format of every alpha channel
    vl16g = 4,    // grey level, 16-bit word
    vl24RGB = 5,  // blue, green, red
    vl32f = 6,    // grey as a float, 0.0 black to 1.0 white
    vlCMYK = 7,   // C, M, Y, K bytes, each stored inverted (255 - ink)
    vlRGB48 = 8,  // red, green, blue 16-bit words
    vlCIELab = 9, // L, a, b bytes (a and b signed)
    vl32RGB = 10, // blue, green, red and a fourth byte
};
constexpr int VLPixelFormatCount = 11;

struct TVLPixelFormatInfo {
    int32_t BitCount;
    int32_t ChannelCount;
};
// Bits per pixel and channels of every pixel format, indexed by its code.
constexpr std::array<TVLPixelFormatInfo, VLPixelFormatCount> VLPixelFormatTable = {{{0, 0},
                                                                                    {1, 1},
                                                                                    {8, 1},
                                                                                    {8, 1},
                                                                                    {16, 1},
                                                                                    {24, 3},
                                                                                    {32, 1},
                                                                                    {32, 4},
                                                                                    {48, 3},
                                                                                    {24, 3},
                                                                                    {32, 4}}};
constexpr TVLPixelFormatInfo PixelFormatInfo(TVLPixelFormat Format) {
    return VLPixelFormatTable[static_cast<size_t>(Format) < VLPixelFormatTable.size()
                                  ? static_cast<size_t>(Format)
                                  : 0];
}

// Where a bitmap keeps its pixels.
enum class TVLLocation : uint8_t { vlMemory = 0, vlFile = 1, vlTBitmap = 2 };

// A pixel or palette entry: blue, green, red.
#pragma pack(push, 1)
struct TVLRGB {
    uint8_t b = 0;
    uint8_t g = 0;
    uint8_t r = 0;
    friend bool operator==(const TVLRGB&, const TVLRGB&) = default;
};
#pragma pack(pop)
static_assert(sizeof(TVLRGB) == 3);

// Resampling filters of every resize in the library. rfNone is the nearest-neighbour stretch,
// rfTriangle to rfLinear are the kernel filters of the two-pass resampler.
enum TResampleFilter : uint8_t {
    rfNone,
    rfTriangle,
    rfHermite,
    rfBell,
    rfBSpline,
    rfLanczos3,
    rfMitchell,
    rfNearest,
    rfLinear,
    rfFastLinear,
    rfBilinear,
    rfBicubic,
    rfProjectBW,
    rfProjectWB
};

// Progress of a long operation: the sender and a percentage 0 to 100.
using TVLProgressEvent = std::function<void(TObject* Sender, int32_t Percent)>;

// Languages of the library's message tables.
enum TMsgLanguage : uint8_t {
    msSystem,
    msEnglish,
    msItalian,
    msGerman,
    msSpanish,
    msFrench,
    msPortuguese,
    msGreek,
    msRussian,
    msDutch,
    msSwedish,
    msPolish,
    msJapanese,
    msCzech,
    msFinnish,
    msFarsi,
    msChinese,
    msChineseTraditional,
    msDanish,
    msTurkish,
    msKorean,
    msUser
};
constexpr int MsgLanguageCount = 22;
constexpr int LibraryMessageCount = 146;

// Character set and font to use with a message language (empty font = keep the control's).
struct TVLLANGUAGECHARINFO {
    int32_t CharSet;
    String FontName;
};

// Grey weights of every grey conversion of the library, in percent.
extern int32_t GrayWeightRed;
extern int32_t GrayWeightGreen;
extern int32_t GrayWeightBlue;
// Background of the parameters dialog: 0 plain, 1 striped, 2 textured.
extern uint8_t DialogsBackground;
extern const String LibraryVersion;
extern std::array<std::array<String, LibraryMessageCount>, MsgLanguageCount> LibraryMessages;
extern const std::array<TVLLANGUAGECHARINFO, MsgLanguageCount> LanguageCharInfo;
// The AVI reader has initialised the AVI library; the I/O unit's shut-down releases it.
extern bool AVIFileInitialized;
// Folder of the library's temporary files; empty = the system temporary folder.
extern String DefaultTempFolder;
// Resolution of the screen in dots per inch; the view unit's start-up reads it from the screen.
extern int32_t ScreenDpiX;
extern int32_t ScreenDpiY;

// Resolution given to images whose file carries none; the view unit's start-up sets 300.
extern int32_t DefaultDpiX;
extern int32_t DefaultDpiY;

class TStream;
// Replaceable LZW codecs. The GIF decoder reads one image's code-size byte, data sub-blocks and
// terminator and writes Width x Height palette indexes to Dest, rows in display order; on data it
// cannot decode it puts the stream back where it started. The encoder writes them.
using TVLGIFLZWDecoder = void (*)(TStream& Stream, int32_t Height, int32_t Width, bool Interlaced,
                                  uint8_t* Dest);
using TVLGIFLZWEncoder = void (*)(TStream& Stream, int32_t Height, int32_t Width, bool Interlaced,
                                  const uint8_t* Pixels, int32_t BitsPerPixel);
// The TIFF decoder returns the next RowSize decoded bytes of the strip of DataSize bytes at Data
// (nil on bad data); the first call (State nil) makes the state, a call with Data nil frees it.
// The encoder codes Count bytes into Stream; Data nil with Count 0 ends the code stream.
using TVLTIFFLZWDecoder = uint8_t* (*)(const uint8_t* Data, int32_t DataSize, int32_t RowSize,
                                       void*& State, int32_t FillOrder);
using TVLTIFFLZWEncoder = void (*)(const uint8_t* Data, int32_t Count, TStream& Stream,
                                   void*& State);
// The process-wide codecs every new parameter record copies; nil until the I/O unit sets them.
extern TVLGIFLZWDecoder DefaultGifLZWDecompress;
extern TVLGIFLZWEncoder DefaultGifLZWCompress;
extern TVLTIFFLZWDecoder DefaultTiffLZWDecompress;
extern TVLTIFFLZWEncoder DefaultTiffLZWCompress;

// Colour quantizer and its quality; -1 lets the quantizer choose. Set by the I/O unit's start-up.
extern int32_t QuantizerMethod;
extern int32_t QuantizerQuality;

// Windows version code (0 = not recognised, which is what Linux reports).
extern uint8_t WindowsVersionCode;
// Pixel-block size from which a new bitmap keeps its pixels in a temporary file;
// -1 lets each bitmap compute it from the physical memory.
extern int64_t DefaultMinFileSize;
// Largest single pixel block a bitmap asks for; larger pictures are split into fragments.
extern int64_t MaxPixelBlockSize;
// Entry i = Round(64 - 64 cos(i pi / 255)): 0 at i = 0 rising to 128 at i = 255.
extern std::array<int32_t, 256> CosineTable;
// "STATICINIT" while the library's static state exists.
extern AnsiString StaticInitMarker;
// InitializeLibrary calls not yet matched by FinalizeLibrary.
extern int32_t StaticInitCount;

uint8_t GetWindowsVersionCode();
// The code table of Windows versions for a platform id and version number.
uint8_t WindowsVersionCodeOf(uint32_t PlatformId, uint32_t Major, uint32_t Minor);
void BuildCosineTable();

// The library's units with start-up work, in the order they start; they shut down in reverse.
enum class TLibraryUnit : uint8_t {
    Canvas,
    Defs,
    Utils,
    Jpeg2000,
    Vect,
    VistrelIO,
    VistrelProc,
    VistrelView,
    CCITTDecodeTrees,
    TextMemoClipboard,
    VLWia,
    PresetImages
};
constexpr int LibraryUnitCount = 12;
using TUnitRoutine = void (*)();

// Places a unit's start-up and shut-down routines at the unit's fixed place in the sequence.
// Units without routines are skipped. Layers above the core register their units before the
// program's first InitializeLibrary.
void RegisterLibraryUnit(TLibraryUnit Unit, TUnitRoutine Initialize, TUnitRoutine Finalize);

// Runs every unit's start-up on the first call (and on the first call after a complete
// shut-down); later calls only count. Safe from several threads.
void InitializeLibrary();
// Matches one InitializeLibrary; the last one runs every unit's shut-down in reverse order.
void FinalizeLibrary();

void InitializeDefsUnit();
void FinalizeDefsUnit();
void InitializeUtilsUnit();
void FinalizeUtilsUnit();
