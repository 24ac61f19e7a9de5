// TBitmap32's exchange with the class library's graphics: assignment from bitmaps, PNG images,
// pictures and the clipboard and to bitmaps, pictures and the clipboard; BMP streams and files;
// the "Data" payload; comparison.
#include "raster/Bitmap32.h"

#include "raster/RasterPNG.h"

#include "platform/gfx/Picture.h"
#include "platform/gfx/PngImage.h"
#include "platform/rtl/ClassName.h"
#include "platform/ui/Clipbrd.h"

#include <cstring>
#include <typeinfo>

namespace raster {

namespace {

// Low 24 bits of a colour: what the transparency tests compare.
constexpr TColor32 ColorBits = 0x00FFFFFF;

// Draws Graphic over the whole of Target's device context.
void DrawOver(TBitmap32& Target, TGraphic& Graphic, int32_t Width, int32_t Height) {
    TCanvas canvas;
    canvas.SetHandle(Target.Handle());
    Graphic.Draw(canvas, Rect(0, 0, Width, Height));
    canvas.SetHandle(nullptr);
}

} // namespace

void TBitmap32::Assign(TPersistent* Source) {
    BeginUpdate();
    try {
        AssignFrom(Source);
    } catch (...) {
        EndUpdate();
        Changed();
        throw;
    }
    EndUpdate();
    Changed();
}

void TBitmap32::AssignFrom(TPersistent* Source) {
    if (Source == nullptr) {
        SetSize(0, 0);
    } else if (auto* bitmap32 = dynamic_cast<TBitmap32*>(Source)) {
        bitmap32->CopyMapTo(*this);
        bitmap32->CopyPropertiesTo(*this);
    } else if (auto* bitmap = dynamic_cast<TBitmap*>(Source)) {
        AssignFromBitmap(*bitmap);
    } else if (auto* picture = dynamic_cast<TPicture*>(Source)) {
        AssignFromPicture(*picture);
    } else if (auto* graphic = dynamic_cast<TGraphic*>(Source)) {
        AssignFromGraphic(*graphic);
    } else if (auto* clipboard = dynamic_cast<TClipboard*>(Source)) {
        TPicture picture;
        clipboard->AssignTo(&picture);
        SetSize(picture.Width(), picture.Height());
        if (Empty()) return;
        DrawOver(*this, *picture.Graphic(), Width(), Height());
        ResetAlpha();
    } else {
        TNotifiablePersistent::Assign(Source);
    }
}

void TBitmap32::AssignFromBitmap(TBitmap& Source) {
    SetSize(Source.Width(), Source.Height());
    if (Empty()) return;
    TCanvas* canvas = Source.Canvas();
    canvas->Lock();
    BitBlt(FHandle, 0, 0, Width(), Height(), canvas->Handle(), 0, 0, SRCCOPY);
    canvas->Unlock();
    if (Source.PixelFormat() != pf32bit) ResetAlpha();
    if (Source.Transparent()) {
        const TColor32 key = Color32(Source.TransparentColor()) & ColorBits;
        const int64_t count = int64_t{Width()} * Height();
        for (int64_t i = 0; i < count; ++i)
            if ((FBits[i] & ColorBits) == key) FBits[i] &= ColorBits;
    }
    SetFont(*canvas->Font());
}

void TBitmap32::AssignFromGraphic(TGraphic& Source) {
    SetSize(Source.Width(), Source.Height());
    if (Empty()) return;
    DrawOver(*this, Source, Width(), Height());
    ResetAlpha();
    // A PNG image's own pixels replace what its drawing left: straight colour and the file's
    // alpha for every colour type, so that nothing is darkened by a composition onto black.
    if (auto* png = dynamic_cast<TPngImage*>(&Source)) CopyPNGPixels(*this, *png);
}

void TBitmap32::AssignFromPicture(TPicture& Source) {
    TGraphic* graphic = Source.Graphic();
    if (graphic == nullptr) {
        SetSize(0, 0);
        return;
    }
    if (auto* bitmap = dynamic_cast<TBitmap*>(graphic)) {
        AssignFromBitmap(*bitmap);
        return;
    }
    SetSize(graphic->Width(), graphic->Height());
    if (Empty()) return;
    if (dynamic_cast<TPngImage*>(graphic) != nullptr) {
        DrawOver(*this, *graphic, Source.Width(), Source.Height());
        ResetAlpha();
        return;
    }
    // Any other graphic (icons and metafiles on the original system) draws itself once on
    // white and once on red: what it painted looks the same on both, what it left alone not.
    Clear(0xFFFFFFFF);
    DrawOver(*this, *graphic, Source.Width(), Source.Height());
    TBitmap32 onRed;
    onRed.SetSize(Width(), Height());
    onRed.Clear(0xFFFF0000);
    DrawOver(onRed, *graphic, Source.Width(), Source.Height());
    const int64_t count = int64_t{Width()} * Height();
    for (int64_t i = 0; i < count; ++i) {
        const TColor32 p = FBits[i] & ColorBits;
        FBits[i] = (onRed.FBits[i] & ColorBits) == p ? p | 0xFF000000 : p;
    }
}

void TBitmap32::AssignTo(TPersistent* Dst) {
    if (auto* picture = dynamic_cast<TPicture*>(Dst)) {
        CopyToBitmap(*picture->Bitmap());
    } else if (auto* bitmap = dynamic_cast<TBitmap*>(Dst)) {
        CopyToBitmap(*bitmap);
    } else if (auto* clipboard = dynamic_cast<TClipboard*>(Dst)) {
        TBitmap temporary;
        CopyToBitmap(temporary);
        clipboard->Assign(&temporary);
    } else {
        const String to = Dst != nullptr ? ClassName(*Dst) : u"nil";
        throw Exception(u"Cannot assign a " + ClassName(*this) + u" to a " + to);
    }
}

void TBitmap32::CopyToBitmap(TBitmap& Bmp) {
    Bmp.SetPixelFormat(pf32bit);
    Bmp.Canvas()->Font()->Assign(*FFont);
    Bmp.SetSize(Width(), Height());
    DrawTo(Bmp.Canvas()->Handle(), 0, 0);
    Bmp.SetModified(true);
}

void TBitmap32::LoadFromStream(TStream& Stream) {
    TBitmap temporary;
    try {
        temporary.LoadFromStream(Stream);
        Assign(&temporary);
    } catch (...) {
        Changed();
        throw;
    }
    Changed();
}

void TBitmap32::SaveToStream(TStream& Stream) {
    TBitmap temporary;
    CopyToBitmap(temporary);
    temporary.SaveToStream(Stream);
}

void TBitmap32::LoadFromFile(const String& FileName) {
    const size_t slash = FileName.find_last_of(u'/');
    const size_t dot = FileName.find_last_of(u'.');
    String extension;
    if (dot != String::npos && (slash == String::npos || dot > slash))
        extension = FileName.substr(dot);
    for (char16_t& c : extension)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (extension == u".PNG") {
        TBitmap32 temporary;
        bool alphaChannelUsed = false;
        LoadPNGintoBitmap32(temporary, FileName, alphaChannelUsed);
        temporary.SetDrawMode(dmBlend);
        Assign(&temporary);
    } else {
        TPicture picture;
        picture.LoadFromFile(FileName);
        Assign(&picture);
    }
}

void TBitmap32::SaveToFile(const String& FileName) {
    TFileStream stream(FileName, fmCreate);
    SaveToStream(stream);
}

void TBitmap32::ReadData(TStream& Stream) {
    try {
        int32_t w = 0, h = 0;
        Stream.ReadBuffer(&w, 4);
        Stream.ReadBuffer(&h, 4);
        // The pixel bytes must be there before anything is allocated: a size read from the
        // stream is never trusted.
        const int64_t pixels = w > 0 && h > 0 ? int64_t{w} * h : 0;
        if (pixels > (Stream.GetSize() - Stream.GetPosition()) / 4)
            throw EReadError(u"Stream read error");
        SetSize(w, h);
        if (!Empty()) Stream.ReadBuffer(FBits, int64_t{Width()} * Height() * 4);
    } catch (...) {
        Changed();
        throw;
    }
    Changed();
}

void TBitmap32::WriteData(TStream& Stream) {
    const int32_t w = Width(), h = Height();
    Stream.WriteBuffer(&w, 4);
    Stream.WriteBuffer(&h, 4);
    if (!Empty()) Stream.WriteBuffer(FBits, int64_t{w} * h * 4);
}

bool TBitmap32::Equal(TBitmap32& B) {
    if (Empty() || B.Empty()) return Empty() && B.Empty();
    if (typeid(*this) != typeid(B)) return false;
    TMemoryStream mine, theirs;
    SaveToStream(mine);
    B.SaveToStream(theirs);
    return mine.GetSize() == theirs.GetSize() &&
           std::memcmp(mine.Memory(), theirs.Memory(), static_cast<size_t>(mine.GetSize())) == 0;
}

} // namespace raster
