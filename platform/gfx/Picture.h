// The class library's picture: holds one graphic of any registered class, and picks the class
// of a file by its extension.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Graphic.h"

#include <memory>

class TPicture : public TPersistent {
public:
    TPicture();
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Nil while the picture is empty. Owned by the picture.
    TGraphic* Graphic() const { return FGraphic.get(); }
    // Takes Value over (nil empties the picture) and fires OnChange.
    void SetGraphic(std::unique_ptr<TGraphic> Value);
    // The picture's graphic as a bitmap: an empty bitmap replaces any other graphic first.
    // Marking it modified (TBitmap::SetModified) fires the picture's OnChange.
    TBitmap* Bitmap();
    int32_t Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int32_t Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // A graphic of the class registered for the file's extension (case-insensitive) loads the
    // file; an unknown extension raises EInvalidGraphic "Unknown picture file extension (.ext)".
    void LoadFromFile(const String& FileName);
    // Nothing for an empty picture.
    void SaveToFile(const String& FileName);

    // Registers (or replaces) the class of an extension given without its dot. The built-in
    // classes: "bmp" the bitmap, "png" the PNG image.
    static void RegisterFileFormat(const String& Extension, const String& Description,
                                   TGraphicClass GraphicClass);
    static void UnregisterGraphicClass(TGraphicClass GraphicClass);
    // The class of an extension (with or without its dot); nil when none is registered.
    static TGraphicClass FileFormat(const String& Extension);

    TNotifyEvent OnChange;

private:
    void Changed();

    std::unique_ptr<TGraphic> FGraphic;
};
