// The clipboard object over Qt's clipboard.
#include "platform/ui/Clipbrd.h"

#include "platform/gfx/Picture.h"
#include "platform/rtl/SysUtils.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/MimeFormats.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>
#include <cstring>

using namespace platform::detail;

namespace {

// The desktop's current clipboard data; nil when there is none or no clipboard.
const QMimeData* DesktopData() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard == nullptr ? nullptr : clipboard->mimeData(QClipboard::Clipboard);
}

} // namespace

TClipboard::~TClipboard() {
    for (auto& [format, block] : FPending) GlobalFree(block);
    for (auto& [format, block] : FRendered) GlobalFree(block);
}

void TClipboard::Open() {
    if (FOpenCount == 0) {
        if (!OpenClipboard()) throw Exception(u"Cannot open clipboard");
        FEmptied = false;
    }
    ++FOpenCount;
}

void TClipboard::Close() {
    if (FOpenCount == 0) return;
    if (--FOpenCount > 0) return;
    if (FEmptied) Publish();
    CloseClipboard();
}

void TClipboard::SetAsHandle(uint16_t Format, HGLOBAL Data) {
    Open();
    if (!FEmptied) {
        for (auto& [format, block] : FPending) GlobalFree(block);
        FPending.clear();
        FEmptied = true;
    }
    for (auto& [format, block] : FPending) {
        if (format != Format) continue;
        GlobalFree(block);
        block = Data;
        Close();
        return;
    }
    FPending.emplace_back(Format, Data);
    Close();
}

void TClipboard::Publish() {
    auto* mime = new QMimeData;
    DWORD effect = 0;
    for (auto& [format, block] : FPending) {
        const QByteArray bytes = BytesOfGlobal(block);
        PutBlock(*mime, format, bytes);
        if (format == PreferredDropEffectFormat() && bytes.size() >= 4)
            std::memcpy(&effect, bytes.constData(), 4);
        GlobalFree(block);
    }
    FPending.clear();
    AddFileOperation(*mime, effect);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
}

bool TClipboard::HasFormat(uint16_t Format) {
    Open();
    const QMimeData* data = DesktopData();
    const bool has = data != nullptr && BlockOf(*data, Format).has_value();
    Close();
    return has;
}

HGLOBAL TClipboard::GetAsHandle(uint16_t Format) {
    Open();
    const QMimeData* data = DesktopData();
    const std::optional<QByteArray> block =
        data == nullptr ? std::nullopt : BlockOf(*data, Format);
    Close();
    if (!block) return nullptr;
    HGLOBAL handle = GlobalOfBytes(*block);
    if (handle == nullptr) return nullptr;
    HGLOBAL& kept = FRendered[Format];
    GlobalFree(kept);
    kept = handle;
    return handle;
}

TClipboard* Clipboard() {
    static auto* clipboard = new TClipboard;
    return clipboard;
}

namespace {

constexpr int32_t BmpFileHeaderSize = 14;

// A bitmap's BMP file image without its file header: a packed device-independent bitmap.
HGLOBAL PackedDib(TBitmap& Bitmap) {
    TMemoryStream file;
    Bitmap.SaveToStream(file);
    const int64_t size = file.GetSize() - BmpFileHeaderSize;
    HGLOBAL block = GlobalAlloc(GHND, static_cast<size_t>(size));
    if (block == nullptr) throw EOutOfMemory(u"Out of memory");
    std::memcpy(GlobalLock(block), static_cast<const uint8_t*>(file.Memory()) + BmpFileHeaderSize,
                static_cast<size_t>(size));
    GlobalUnlock(block);
    return block;
}

uint32_t LongAt(const uint8_t* P) {
    return P[0] | P[1] << 8 | P[2] << 16 | static_cast<uint32_t>(P[3]) << 24;
}

// A packed bitmap read through a BMP file header put in front of it; the reader checks every
// size against the block.
void LoadPackedDib(const uint8_t* Block, size_t Size, TBitmap& Bitmap) {
    if (Size < 16) throw EInvalidGraphic(u"Bitmap image is not valid");
    const uint32_t header = LongAt(Block);
    const int at = header == 12 ? 10 : 14;
    const uint32_t bitCount = Block[at] | Block[at + 1] << 8;
    uint64_t tableBytes = 0;
    if (header >= 40 && Size >= 40) {
        uint64_t colors = LongAt(Block + 32);
        if (colors == 0 && bitCount <= 8) colors = uint64_t{1} << bitCount;
        tableBytes = colors * 4;
        if (LongAt(Block + 16) == BI_BITFIELDS && header == 40) tableBytes += 12;
    } else if (header == 12 && bitCount <= 8) {
        tableBytes = (uint64_t{1} << bitCount) * 3;
    }
    const uint64_t offBits = BmpFileHeaderSize + uint64_t{header} + tableBytes;
    uint8_t file[BmpFileHeaderSize] = {'B', 'M'};
    const uint64_t total = BmpFileHeaderSize + Size;
    for (int i = 0; i < 4; ++i) {
        file[2 + i] = static_cast<uint8_t>(total >> (8 * i));
        file[10 + i] = static_cast<uint8_t>(std::min<uint64_t>(offBits, UINT32_MAX) >> (8 * i));
    }
    TMemoryStream stream;
    stream.WriteBuffer(file, sizeof file);
    stream.WriteBuffer(Block, static_cast<int64_t>(Size));
    stream.SetPosition(0);
    Bitmap.LoadFromStream(stream);
}

} // namespace

void TClipboard::Assign(TPersistent* Source) {
    TBitmap drawn;
    TBitmap* bitmap = dynamic_cast<TBitmap*>(Source);
    if (auto* picture = dynamic_cast<TPicture*>(Source); picture != nullptr) {
        bitmap = dynamic_cast<TBitmap*>(picture->Graphic());
        if (bitmap == nullptr && picture->Graphic() != nullptr) {
            drawn.SetPixelFormat(pf32bit);
            drawn.SetSize(picture->Width(), picture->Height());
            picture->Graphic()->Draw(*drawn.Canvas(), Rect(0, 0, drawn.Width(), drawn.Height()));
            bitmap = &drawn;
        }
    }
    if (bitmap == nullptr) throw EInvalidGraphic(u"Cannot put this object on the clipboard");
    HGLOBAL block = PackedDib(*bitmap);
    Open();
    try {
        SetAsHandle(CF_DIB, block);
    } catch (...) {
        Close();
        throw;
    }
    Close();
}

void TClipboard::AssignTo(TPersistent* Dest) {
    TBitmap* bitmap = dynamic_cast<TBitmap*>(Dest);
    if (auto* picture = dynamic_cast<TPicture*>(Dest); picture != nullptr)
        bitmap = picture->Bitmap();
    if (bitmap == nullptr) throw EInvalidGraphic(u"Cannot take this object from the clipboard");
    HGLOBAL block = GetAsHandle(CF_DIB);
    if (block == nullptr) throw EInvalidGraphic(u"The clipboard holds no picture");
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(block));
    try {
        LoadPackedDib(bytes, GlobalSize(block), *bitmap);
    } catch (...) {
        GlobalUnlock(block);
        throw;
    }
    GlobalUnlock(block);
}
