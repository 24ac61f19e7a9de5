// Shared inside platform/ui only: clipboard formats as the desktop's MIME types. A file list
// (CF_HDROP) is text/uri-list; on the clipboard the file operation goes with it as the first
// line of x-special/gnome-copied-files ("copy" or "cut") and, on a cut, as
// application/x-kde-cutselection. Formats no desktop program reads travel between our own
// windows under private MIME types, byte for byte.
#pragma once

#include "platform/ui/Ole.h"

#include <QByteArray>
#include <QMimeData>
#include <QPointer>

#include <atomic>
#include <optional>

namespace platform::detail {

// The id of "Preferred DropEffect", the format that carries the file operation.
CLIPFORMAT PreferredDropEffectFormat();

// Adds one format's block to Mime.
void PutBlock(QMimeData& Mime, CLIPFORMAT Format, const QByteArray& Block);
// After the file list is in: the desktop's copy or cut note (a cut when Effect has the move bit
// and not the copy bit).
void AddFileOperation(QMimeData& Mime, DWORD Effect);
// The block of a format as a Windows program would get it; nothing when Mime cannot give it.
// A URI list (or the GNOME list alone) gives a CF_HDROP block of its local files.
std::optional<QByteArray> BlockOf(const QMimeData& Mime, CLIPFORMAT Format);

QByteArray BytesOfGlobal(HGLOBAL Block);
// A new moveable block holding Bytes; nil when it cannot be had.
HGLOBAL GlobalOfBytes(const QByteArray& Bytes);

// The formats a data object renders in global memory, as MIME data (a new object).
QMimeData* MimeDataOf(IDataObject& Data);

// A data object over MIME data that someone else owns (a drag's); it answers nothing once the
// MIME data is gone.
class TMimeDataObject final : public IDataObject {
public:
    explicit TMimeDataObject(const QMimeData* AMime) : FMime(AMime) {}

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetData(const FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    HRESULT GetDataHere(const FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT QueryGetData(const FORMATETC* pformatetc) override;
    HRESULT GetCanonicalFormatEtc(const FORMATETC*, FORMATETC*) override {
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT SetData(const FORMATETC*, STGMEDIUM*, bool) override { return E_NOTIMPL; }
    HRESULT EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT DAdvise(const FORMATETC*, DWORD, IUnknown*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT EnumDAdvise(IUnknown**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ~TMimeDataObject() = default;
    std::optional<QByteArray> Render(const FORMATETC* Format, HRESULT& Result) const;

    std::atomic<ULONG> FRefCount{1};
    QPointer<const QMimeData> FMime;
};

} // namespace platform::detail
