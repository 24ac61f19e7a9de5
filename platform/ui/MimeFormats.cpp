// Clipboard formats as MIME types, and a data object over MIME data.
#include "platform/ui/MimeFormats.h"

#include "platform/shell/DropFiles.h"

#include <QImage>
#include <QList>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace platform::detail {

namespace {

const QString UriListMime = QStringLiteral("text/uri-list");
const QString GnomeCopiedFilesMime = QStringLiteral("x-special/gnome-copied-files");
const QString KdeCutSelectionMime = QStringLiteral("application/x-kde-cutselection");

// application/x-solvaneview-<name in lower case, other characters as '-'>; formats without a
// name by number.
QString PrivateMimeType(CLIPFORMAT Format) {
    const String name = GetClipboardFormatNameW(Format);
    QString suffix;
    if (name.empty()) suffix = QStringLiteral("cf-%1").arg(Format);
    for (char16_t c : name) {
        const bool alnum = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9');
        suffix += alnum ? QChar(c).toLower() : QChar(u'-');
    }
    return QStringLiteral("application/x-solvaneview-") + suffix;
}

// The lines of the GNOME list: the operation, then one URI per line.
QList<QByteArray> GnomeLines(const QMimeData& Mime) {
    QList<QByteArray> lines = Mime.data(GnomeCopiedFilesMime).split('\n');
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty()) lines.removeLast();
    return lines;
}

std::vector<String> LocalFilesOf(const QList<QUrl>& Urls) {
    std::vector<String> files;
    for (const QUrl& url : Urls)
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.push_back(url.toLocalFile().toStdU16String());
    return files;
}

std::vector<String> LocalFilesOf(const QMimeData& Mime) {
    if (Mime.hasUrls()) return LocalFilesOf(Mime.urls());
    QList<QUrl> urls;
    const QList<QByteArray> lines = GnomeLines(Mime);
    for (qsizetype i = 1; i < lines.size(); ++i)
        urls.append(QUrl::fromEncoded(lines[i].trimmed()));
    return LocalFilesOf(urls);
}

// The desktop's note of a copy (1) or cut (2); 0 when there is none.
DWORD DesktopFileOperation(const QMimeData& Mime) {
    if (Mime.hasFormat(GnomeCopiedFilesMime)) {
        const QList<QByteArray> lines = GnomeLines(Mime);
        const QByteArray first = lines.isEmpty() ? QByteArray() : lines.first().trimmed();
        if (first == "cut") return DROPEFFECT_MOVE;
        if (first == "copy") return DROPEFFECT_COPY;
    }
    if (Mime.data(KdeCutSelectionMime).startsWith('1')) return DROPEFFECT_MOVE;
    return 0;
}

// A packed device-independent bitmap as a picture, read through a BMP file header put in front
// of it; a null image when the block is not a valid bitmap.
QImage ImageOfPackedDib(const QByteArray& Block) {
    if (Block.size() < 16) return {};
    const auto* bytes = reinterpret_cast<const uint8_t*>(Block.constData());
    const uint32_t header = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t{bytes[3]} << 24;
    const int at = header == 12 ? 10 : 14;
    const uint32_t bitCount = bytes[at] | bytes[at + 1] << 8;
    uint64_t table = 0;
    if (header >= 40 && Block.size() >= 40) {
        uint64_t colors = bytes[32] | bytes[33] << 8 | bytes[34] << 16 | uint32_t{bytes[35]} << 24;
        if (colors == 0 && bitCount <= 8) colors = uint64_t{1} << bitCount;
        table = colors * 4 + (header == 40 && bytes[16] == 3 ? 12 : 0);
    } else if (header == 12 && bitCount <= 8) {
        table = (uint64_t{1} << bitCount) * 3;
    }
    const uint64_t offBits = std::min<uint64_t>(14 + uint64_t{header} + table, UINT32_MAX);
    const uint64_t total = std::min<uint64_t>(14 + uint64_t(Block.size()), UINT32_MAX);
    QByteArray file("BM");
    for (uint64_t value : {total, uint64_t{0}, offBits})
        for (int i = 0; i < 4; ++i) file += static_cast<char>(value >> (8 * i));
    file += Block;
    return QImage::fromData(file, "BMP");
}

QByteArray DwordBytes(DWORD Value) {
    return QByteArray(reinterpret_cast<const char*>(&Value), sizeof Value);
}

} // namespace

CLIPFORMAT PreferredDropEffectFormat() {
    static const auto format =
        static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"Preferred DropEffect"));
    return format;
}

void PutBlock(QMimeData& Mime, CLIPFORMAT Format, const QByteArray& Block) {
    if (Format != CF_HDROP) {
        Mime.setData(PrivateMimeType(Format), Block);
        // Other programs take a bitmap as a picture (image/png and the like).
        if (Format == CF_DIB) {
            const QImage image = ImageOfPackedDib(Block);
            if (!image.isNull()) Mime.setImageData(image);
        }
        return;
    }
    QList<QUrl> urls;
    for (const String& name : ReadDropFiles(Block.constData(), static_cast<size_t>(Block.size())))
        urls.append(QUrl::fromLocalFile(QString::fromStdU16String(name)));
    Mime.setUrls(urls);
}

void AddFileOperation(QMimeData& Mime, DWORD Effect) {
    if (!Mime.hasUrls()) return;
    const bool cut = (Effect & DROPEFFECT_MOVE) != 0 && (Effect & DROPEFFECT_COPY) == 0;
    QByteArray list = cut ? "cut" : "copy";
    for (const QUrl& url : Mime.urls()) list += '\n' + url.toEncoded();
    Mime.setData(GnomeCopiedFilesMime, list);
    if (cut) Mime.setData(KdeCutSelectionMime, "1");
}

std::optional<QByteArray> BlockOf(const QMimeData& Mime, CLIPFORMAT Format) {
    const QString privateType = PrivateMimeType(Format);
    if (Mime.hasFormat(privateType)) return Mime.data(privateType);
    if (Format == CF_HDROP) {
        const std::vector<String> files = LocalFilesOf(Mime);
        if (files.empty()) return std::nullopt;
        HGLOBAL block = MakeDropFilesBlock(files);
        QByteArray bytes = BytesOfGlobal(block);
        GlobalFree(block);
        if (bytes.isEmpty()) return std::nullopt;
        return bytes;
    }
    if (Format == PreferredDropEffectFormat()) {
        const DWORD effect = DesktopFileOperation(Mime);
        if (effect != 0) return DwordBytes(effect);
    }
    return std::nullopt;
}

QByteArray BytesOfGlobal(HGLOBAL Block) {
    const void* bytes = GlobalLock(Block);
    if (bytes == nullptr) return {};
    QByteArray copy(static_cast<const char*>(bytes), static_cast<qsizetype>(GlobalSize(Block)));
    GlobalUnlock(Block);
    return copy;
}

HGLOBAL GlobalOfBytes(const QByteArray& Bytes) {
    HGLOBAL block = GlobalAlloc(GHND, static_cast<size_t>(Bytes.size()));
    void* at = GlobalLock(block);
    if (at == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    std::memcpy(at, Bytes.constData(), static_cast<size_t>(Bytes.size()));
    GlobalUnlock(block);
    return block;
}

QMimeData* MimeDataOf(IDataObject& Data) {
    auto* mime = new QMimeData;
    IEnumFORMATETC* formats = nullptr;
    if (Data.EnumFormatEtc(DATADIR_GET, &formats) != S_OK || formats == nullptr) return mime;
    FORMATETC format;
    while (formats->Next(1, &format, nullptr) == S_OK) {
        if ((format.tymed & TYMED_HGLOBAL) == 0) continue;
        format.tymed = TYMED_HGLOBAL;
        STGMEDIUM medium;
        if (Data.GetData(&format, &medium) != S_OK) continue;
        if (medium.tymed == TYMED_HGLOBAL) PutBlock(*mime, format.cfFormat,
                                                    BytesOfGlobal(medium.hGlobal));
        ReleaseStgMedium(&medium);
    }
    formats->Release();
    return mime;
}

HRESULT TMimeDataObject::QueryInterface(const IID& riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDataObject)) {
        *ppvObject = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TMimeDataObject::AddRef() {
    return ++FRefCount;
}

ULONG TMimeDataObject::Release() {
    const ULONG count = --FRefCount;
    if (count == 0) delete this;
    return count;
}

std::optional<QByteArray> TMimeDataObject::Render(const FORMATETC* Format,
                                                  HRESULT& Result) const {
    Result = DV_E_FORMATETC;
    if (Format == nullptr) {
        Result = E_INVALIDARG;
        return std::nullopt;
    }
    if (Format->ptd != nullptr) {
        Result = DV_E_DVTARGETDEVICE;
        return std::nullopt;
    }
    if (Format->dwAspect != DVASPECT_CONTENT || (Format->tymed & TYMED_HGLOBAL) == 0 ||
        FMime.isNull())
        return std::nullopt;
    std::optional<QByteArray> block = BlockOf(*FMime, Format->cfFormat);
    if (block) Result = S_OK;
    return block;
}

HRESULT TMimeDataObject::QueryGetData(const FORMATETC* pformatetc) {
    HRESULT result;
    Render(pformatetc, result);
    return result;
}

HRESULT TMimeDataObject::GetData(const FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
    if (pmedium == nullptr) return E_INVALIDARG;
    HRESULT result;
    const std::optional<QByteArray> block = Render(pformatetcIn, result);
    if (!block) return result;
    HGLOBAL handle = GlobalOfBytes(*block);
    if (handle == nullptr) return E_OUTOFMEMORY;
    *pmedium = STGMEDIUM{};
    pmedium->tymed = TYMED_HGLOBAL;
    pmedium->hGlobal = handle;
    return S_OK;
}

} // namespace platform::detail
