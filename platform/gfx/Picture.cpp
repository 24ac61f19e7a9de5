// The picture and its registry of graphic classes by file extension.
#include "platform/gfx/Picture.h"

#include "platform/gfx/PngImage.h"

#include <mutex>
#include <vector>

namespace {

struct TFileFormat {
    String Extension; // lower case, no dot
    String Description;
    TGraphicClass GraphicClass;
};

String Lower(String S) {
    for (char16_t& c : S)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return S;
}

String WithoutDot(const String& Extension) {
    return Lower(!Extension.empty() && Extension[0] == u'.' ? Extension.substr(1) : Extension);
}

// The extension of a file name, from its last dot (not one of a folder's name).
String ExtensionOf(const String& FileName) {
    const size_t dot = FileName.find_last_of(u'.');
    const size_t slash = FileName.find_last_of(u'/');
    if (dot == String::npos || (slash != String::npos && dot < slash)) return {};
    return FileName.substr(dot);
}

std::unique_ptr<TGraphic> NewBitmap() {
    return std::make_unique<TBitmap>();
}

std::unique_ptr<TGraphic> NewPngImage() {
    return std::make_unique<TPngImage>();
}

// Every built-in format is listed here, once.
std::vector<TFileFormat> BuiltInFormats() {
    return {{u"bmp", u"Bitmaps", NewBitmap}, {u"png", u"Portable Network Graphics", NewPngImage}};
}

std::mutex RegistryLock;

std::vector<TFileFormat>& Registry() {
    static std::vector<TFileFormat> formats = BuiltInFormats();
    return formats;
}

} // namespace

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> Value) {
    FGraphic = std::move(Value);
    if (FGraphic) FGraphic->OnChange = [this](TObject*) { Changed(); };
    Changed();
}

TBitmap* TPicture::Bitmap() {
    if (dynamic_cast<TBitmap*>(FGraphic.get()) == nullptr) {
        FGraphic = std::make_unique<TBitmap>();
        FGraphic->OnChange = [this](TObject*) { Changed(); };
    }
    return static_cast<TBitmap*>(FGraphic.get());
}

void TPicture::LoadFromFile(const String& FileName) {
    const String extension = ExtensionOf(FileName);
    const TGraphicClass graphicClass = FileFormat(extension);
    if (graphicClass == nullptr)
        throw EInvalidGraphic(u"Unknown picture file extension (" + extension + u")");
    std::unique_ptr<TGraphic> graphic = graphicClass();
    graphic->LoadFromFile(FileName);
    SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const String& FileName) {
    if (FGraphic) FGraphic->SaveToFile(FileName);
}

void TPicture::RegisterFileFormat(const String& Extension, const String& Description,
                                  TGraphicClass GraphicClass) {
    const std::lock_guard guard(RegistryLock);
    const String key = WithoutDot(Extension);
    for (TFileFormat& format : Registry())
        if (format.Extension == key) {
            format = {key, Description, GraphicClass};
            return;
        }
    Registry().push_back({key, Description, GraphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass GraphicClass) {
    const std::lock_guard guard(RegistryLock);
    std::erase_if(Registry(), [&](const TFileFormat& f) { return f.GraphicClass == GraphicClass; });
}

TGraphicClass TPicture::FileFormat(const String& Extension) {
    const std::lock_guard guard(RegistryLock);
    const String key = WithoutDot(Extension);
    for (const TFileFormat& format : Registry())
        if (format.Extension == key) return format.GraphicClass;
    return nullptr;
}

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}
