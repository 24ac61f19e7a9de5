// Metafile import (a WMF or EMF picture rendered into the working bitmap at a chosen size, its
// untouched background optionally transparent) and the export of a picture as program text.
#include "imaging/core/CoreInternal.h"
#include "imaging/core/VLDefs.h"
#include "imaging/core/VLDibbitmap.h"
#include "imaging/core/VLHelpers.h"
#include "imaging/io/VLIOThread.h"
#include "imaging/io/VistrelIO.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Metafile.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

using imaging_core::detail::TValueScope;

namespace {

// The colour the second rendering starts from: what still has it was not drawn on.
constexpr TColor AlphaKeyColor = 66051; // red 3, green 2, blue 1

// Renders the metafile over Background into a new 24-bit DIB of its size; false when the DIB
// cannot be made.
bool RenderOnto(TMetafile& Metafile, TColor Background, TVLDibbitmap& Dib) {
    if (!Dib.AllocateBits(Metafile.Width(), Metafile.Height(), 24)) return false;
    TCanvas canvas;
    canvas.SetHandle(Dib.GetDC());
    canvas.Brush()->SetStyle(bsSolid);
    canvas.Brush()->SetColor(Background);
    canvas.FillRect(TRect{0, 0, Metafile.Width(), Metafile.Height()});
    canvas.Draw(0, 0, &Metafile);
    canvas.SetHandle(nullptr);
    return true;
}

// The picture's text name: the file's base name, every character that cannot stand in an
// identifier made "_", and "_" before a leading digit.
AnsiString IdentifierOf(const String& FileName) {
    AnsiString name;
    for (char16_t c : ExtractFileName(FileName)) {
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
        const bool digit = c >= u'0' && c <= u'9';
        name.push_back(letter || digit ? static_cast<char>(c) : '_');
    }
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) name.insert(name.begin(), '_');
    return name;
}

void WriteLine(TStream& File, const AnsiString& Line) {
    const AnsiString text = Line + "\n";
    File.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

// Kinds 0 and 1: the bytes as hexadecimal entries, a line written as soon as it holds more
// than 70 characters; the last byte closes the last line.
void WriteByteList(TStream& File, const std::vector<uint8_t>& Bytes, bool Pascal) {
    const char* prefix = Pascal ? "$" : "0x";
    const AnsiString indent = Pascal ? "    " : "";
    AnsiString buffer;
    char entry[8];
    for (size_t i = 0; i + 1 < Bytes.size(); ++i) {
        std::snprintf(entry, sizeof entry, "%s%02X,", prefix, Bytes[i]);
        buffer += entry;
        if (buffer.size() > 70) {
            WriteLine(File, indent + buffer);
            buffer.clear();
        }
    }
    std::snprintf(entry, sizeof entry, "%s%02X", prefix, Bytes.back());
    WriteLine(File, indent + buffer + entry + (Pascal ? ");" : ""));
}

} // namespace

void TVistrelIO::ImportMetafile(const String& FileName, int32_t Width, int32_t Height,
                                bool WithAlpha) {
    if (Reissued(&TVistrelIO::ImportMetafile, FileName, Width, Height, WithAlpha)) return;
    try {
        TMetafile metafile;
        metafile.LoadFromFile(FileName);
        RenderMetafile(metafile, Width, Height, WithAlpha);
        FIOParams->FileName = FileName;
    } catch (...) {
        // The failure is the caller's to see, and the flag says so too.
        AbortingFlag = true;
        DoFinishWork();
        throw;
    }
    DoFinishWork();
}

void TVistrelIO::RenderMetafile(TMetafile& Metafile, int32_t Width, int32_t Height,
                                bool WithAlpha) {
    AbortingFlag = false;
    if (Width == 0 || Height == 0 || !CheckWorkingBitmap()) return;
    FIOParams->ResetInfo();
    int64_t w = Metafile.Width(), h = Metafile.Height();
    if (Width >= 0 && Height >= 0) {
        w = Width;
        h = Height;
    } else if (Width < 0 && Height >= 0) {
        w = h == 0 ? 0 : Height * w / h;
        h = Height;
    } else if (Height < 0 && Width >= 0) {
        h = w == 0 ? 0 : h * Width / w;
        w = Width;
    }
    if (w <= 0 || h <= 0) {
        AbortingFlag = true;
        return;
    }
    const int64_t limit = MetafileSizeLimit;
    if (w > limit || h > limit) {
        if (w < h) {
            w = w * limit / h;
            h = limit;
        } else {
            h = h * limit / w;
            w = limit;
        }
        if (w <= 0 || h <= 0) {
            AbortingFlag = true;
            return;
        }
    }
    Metafile.SetWidth(static_cast<int32_t>(w));
    Metafile.SetHeight(static_cast<int32_t>(h));
    TVLDibbitmap dib;
    if (!RenderOnto(Metafile, GetBackground(), dib)) {
        AbortingFlag = true;
        return;
    }
    FIOParams->FileName.clear();
    FIOParams->FileType = Metafile.Enhanced() ? ffEMF : ffWMF;
    FIOParams->BitsPerSample = 8;
    FIOParams->SamplesPerPixel = 3;
    FIOParams->Width = dib.GetWidth();
    FIOParams->Height = dib.GetHeight();
    FIOParams->SetDpiX(DefaultDpiX);
    FIOParams->SetDpiY(DefaultDpiY);
    FIOParams->FreePalette();
    ApplyDPIToView(FIOParams->DpiX, FIOParams->DpiY);
    FBitmap->CopyFromDibbitmap(&dib);
    dib.FreeDIB();
    FBitmap->RemoveAlphaChannel(false, 0);
    if (WithAlpha) {
        TVLDibbitmap key;
        TVLBitmap* alpha = FBitmap->GetAlphaChannel();
        if (RenderOnto(Metafile, AlphaKeyColor, key) && alpha != nullptr) {
            for (int32_t y = 0; y < key.GetHeight(); ++y) {
                const uint8_t* src = key.GetScanline(y);
                uint8_t* dst = alpha->GetScanline(y);
                for (int32_t x = 0; x < key.GetWidth(); ++x, src += 3)
                    dst[x] = src[0] == 1 && src[1] == 2 && src[2] == 3 ? 0 : 255;
            }
            alpha->SyncFull();
        }
    }
    UpdateAttached();
}

void TVistrelIO::SaveToSourceText(const String& FileName, TVLFileFormatId FormatId, uint8_t Kind) {
    TSafeFileStream file(FileName);
    if (Kind <= 2) {
        // Encoded here and now, whatever Asynchronous says: the text needs the bytes at once.
        TMemoryStream encoded;
        {
            TValueScope<bool> synchronous(Asynchronous, false);
            SaveToStreamFormat(encoded, FormatId);
        }
        // A failed encoding leaves the target as it was.
        if (AbortingFlag || encoded.GetSize() == 0) return;
        const int64_t size = encoded.GetSize();
        if (Kind == 2) {
            encoded.SetPosition(0);
            WriteStreamBase64(encoded, file, 76);
        } else {
            std::vector<uint8_t> bytes(static_cast<size_t>(size));
            encoded.SetPosition(0);
            encoded.ReadBuffer(bytes.data(), size);
            const AnsiString name = IdentifierOf(FileName);
            const AnsiString count = std::to_string(size);
            if (Kind == 0) {
                WriteLine(file, "const");
                WriteLine(file, "  " + name + "_Size = " + count + ";");
                WriteLine(file, "  " + name + " : array [0.." + name + "_Size-1] of byte = (");
            } else {
                WriteLine(file, "// Size=" + count);
            }
            WriteByteList(file, bytes, Kind == 0);
        }
    } else if (Kind == 3) {
        if (!CheckWorkingBitmap({TVLPixelFormat::vl24RGB})) return;
        static const char Shades[] = "W@#*+:., ";
        AnsiString line;
        for (int32_t y = 0; y < FBitmap->GetHeight(); ++y) {
            const uint8_t* p = FBitmap->GetScanline(y);
            line.clear();
            for (int32_t x = 0; x < FBitmap->GetWidth(); ++x, p += 3) {
                const int32_t grey =
                    (p[2] * GrayWeightRed + p[1] * GrayWeightGreen + p[0] * GrayWeightBlue) / 100;
                const auto index = static_cast<int32_t>(std::trunc(grey / 255.0 * 9));
                line.push_back(Shades[std::clamp(index, 0, 8)]);
            }
            WriteLine(file, line);
        }
    }
    file.Commit();
    FIOParams->FileName = FileName;
}
