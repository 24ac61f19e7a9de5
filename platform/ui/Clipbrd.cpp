// The clipboard object over Qt's clipboard.
#include "platform/ui/Clipbrd.h"

#include "platform/rtl/SysUtils.h"
#include "platform/ui/Clipboard.h"
#include "platform/ui/MimeFormats.h"

#include <QClipboard>
#include <QGuiApplication>

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
