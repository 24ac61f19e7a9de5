// The class library's graphic: the common face of bitmaps, PNG images and the graphics a picture
// holds (size, drawing onto a canvas, streams and files, transparency).
#pragma once

#include "platform/rtl/Classes.h"
#include "platform/rtl/Types.h"

#include <memory>

class TCanvas;

class TGraphic : public TPersistent {
public:
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    virtual bool Empty() const { return Width() == 0 || Height() == 0; }
    // Draws the graphic stretched onto Rect of ACanvas.
    virtual void Draw(TCanvas& ACanvas, const TRect& Rect) = 0;
    // Bad data raises EInvalidGraphic (or the stream's EReadError) and leaves the graphic empty.
    virtual void LoadFromStream(TStream& Stream) = 0;
    virtual void SaveToStream(TStream& Stream) = 0;
    void LoadFromFile(const String& FileName);
    void SaveToFile(const String& FileName);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);

    TNotifyEvent OnChange;

protected:
    void Changed();

private:
    bool FTransparent = false;
};

// Makes a new, empty graphic of one class.
using TGraphicClass = std::unique_ptr<TGraphic> (*)();
