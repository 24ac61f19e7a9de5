// The drop source, its format enumerator and the file-list source.
#include "components/SVDropSource.h"

#include "components/SVShellUtils.h"
#include "platform/shell/DropFiles.h"
#include "platform/ui/Clipbrd.h"
#include "platform/ui/DragDrop.h"
#include "platform/ui/DragImage.h"
#include "platform/ui/Messages.h"

#include <cstring>
#include <new>
#include <optional>

CLIPFORMAT CF_IDLIST = 0;
CLIPFORMAT CF_PREFERREDDROPEFFECT = 0;
CLIPFORMAT CF_FILENAMEMAP = 0;
CLIPFORMAT CF_FILENAMEMAPW = 0;

void RegisterFileListFormats() {
    CF_IDLIST = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"Shell IDList Array"));
    CF_PREFERREDDROPEFFECT =
        static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"Preferred DropEffect"));
    CF_FILENAMEMAP = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"FileNameMap"));
    CF_FILENAMEMAPW = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"FileNameMapW"));
}

namespace {

// A new moveable zero-filled block of Size bytes with Fill writing into it; nil when it cannot
// be allocated.
template <class FillT> HGLOBAL NewBlock(size_t Size, FillT Fill) {
    HGLOBAL block = GlobalAlloc(GHND, Size);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    if (bytes == nullptr) {
        GlobalFree(block);
        return nullptr;
    }
    Fill(bytes);
    GlobalUnlock(block);
    return block;
}

HRESULT HandOut(HGLOBAL Block, STGMEDIUM* pmedium) {
    if (Block == nullptr) return E_OUTOFMEMORY;
    *pmedium = STGMEDIUM{};
    pmedium->tymed = TYMED_HGLOBAL;
    pmedium->hGlobal = Block;
    return S_OK;
}

struct TItemIdListFree {
    void operator()(ITEMIDLIST* List) const { ILFree(List); }
};
using TItemIdListPtr = std::unique_ptr<ITEMIDLIST, TItemIdListFree>;

// The folder above Path ("/" for a file in the root); Path must be absolute.
String ParentFolder(const String& Path) {
    const size_t slash = Path.find_last_of(u'/');
    return slash == 0 || slash == String::npos ? String(u"/") : Path.substr(0, slash);
}

// Path below Folder, or nothing when Path does not lie below it.
std::optional<String> PathBelow(const String& Folder, const String& Path) {
    const String prefix = Folder == u"/" ? Folder : Folder + u"/";
    if (Path.size() <= prefix.size() || Path.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    return Path.substr(prefix.size());
}

// The deepest folder that holds every file: the first file's folder, or above it.
String CommonFolder(const TStringList& Files) {
    String folder = ParentFolder(Files[0]);
    for (int32_t i = 1; i < Files.Count(); ++i)
        while (folder != u"/" && !PathBelow(folder, Files[i]))
            folder = ParentFolder(folder);
    return folder;
}

} // namespace

// TEnumFormatEtc

TEnumFormatEtc::TEnumFormatEtc(const FORMATETC* Formats, int32_t Count, int32_t Index)
    : FFormats(Formats, Formats + Count), FIndex(static_cast<size_t>(Index)) {}

HRESULT TEnumFormatEtc::QueryInterface(const IID& riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IEnumFORMATETC)) {
        *ppvObject = static_cast<IEnumFORMATETC*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TEnumFormatEtc::AddRef() {
    return static_cast<ULONG>(++FRefCount);
}

ULONG TEnumFormatEtc::Release() {
    const int32_t count = --FRefCount;
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT TEnumFormatEtc::Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) {
    ULONG copied = 0;
    while (copied < celt && FIndex < FFormats.size())
        rgelt[copied++] = FFormats[FIndex++];
    if (pceltFetched != nullptr) *pceltFetched = copied;
    return copied == celt ? S_OK : S_FALSE;
}

HRESULT TEnumFormatEtc::Skip(ULONG celt) {
    if (FFormats.size() - FIndex < celt) {
        FIndex = FFormats.size();
        return S_FALSE;
    }
    FIndex += celt;
    return S_OK;
}

HRESULT TEnumFormatEtc::Reset() {
    FIndex = 0;
    return S_OK;
}

HRESULT TEnumFormatEtc::Clone(IEnumFORMATETC** ppenum) {
    if (ppenum == nullptr) return E_POINTER;
    *ppenum = new TEnumFormatEtc(FFormats.data(), static_cast<int32_t>(FFormats.size()),
                                 static_cast<int32_t>(FIndex));
    return S_OK;
}

// TSVDropSource

TSVDropSource::TSVDropSource(TComponent* AOwner)
    : TComponent(AOwner), FImage(std::make_unique<TBitmap>()) {
    OleInitialize(nullptr);
    RegisterFileListFormats();
}

TSVDropSource::~TSVDropSource() {
    for (TSVDataEntry& entry : FCache) {
        CoTaskMemFree(entry.Format.ptd);
        ReleaseStgMedium(&entry.Medium);
    }
    OleUninitialize();
}

HRESULT TSVDropSource::QueryInterface(const IID& riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown)) {
        *ppvObject = Identity();
    } else if (IsEqualGUID(riid, IID_IDropSource)) {
        *ppvObject = static_cast<IDropSource*>(this);
    } else if (IsEqualGUID(riid, IID_IDataObject)) {
        *ppvObject = static_cast<IDataObject*>(this);
    } else {
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG TSVDropSource::AddRef() {
    return static_cast<ULONG>(++FRefCount);
}

ULONG TSVDropSource::Release() {
    return static_cast<ULONG>(--FRefCount);
}

HRESULT TSVDropSource::QueryContinueDrag(bool fEscapePressed, DWORD grfKeyState) {
    if (fEscapePressed) return DRAGDROP_S_CANCEL;
    if (grfKeyState & (MK_LBUTTON | MK_RBUTTON)) return S_OK;
    std::optional<TDragType> type;
    if (FCurrentEffect & DROPEFFECT_COPY)
        type = dtCopy;
    else if (FCurrentEffect & DROPEFFECT_MOVE)
        type = dtMove;
    else if (FCurrentEffect & DROPEFFECT_LINK)
        type = dtLink;
    bool drop = type.has_value() && (FDragTypes & DragTypeSet(*type)) != 0;
    if (drop && OnDrop) OnDrop(this, *type, drop);
    return drop ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
}

HRESULT TSVDropSource::GiveFeedback(DWORD dwEffect) {
    FCurrentEffect = dwEffect;
    bool useDefaultCursors = true;
    if (OnFeedback) OnFeedback(this, dwEffect, useDefaultCursors);
    return useDefaultCursors ? DRAGDROP_S_USEDEFAULTCURSORS : S_OK;
}

HRESULT TSVDropSource::DAdvise(const FORMATETC*, DWORD, IUnknown*, DWORD*) {
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TSVDropSource::DUnadvise(DWORD) {
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TSVDropSource::EnumDAdvise(IUnknown**) {
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TSVDropSource::EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) {
    if (dwDirection != DATADIR_GET) return OLE_S_USEREG;
    if (ppenumFormatEtc == nullptr) return E_POINTER;
    *ppenumFormatEtc = new TEnumFormatEtc(FFormats, FFormatCount, 0);
    return S_OK;
}

HRESULT TSVDropSource::GetCanonicalFormatEtc(const FORMATETC*, FORMATETC*) {
    return DATA_S_SAMEFORMATETC;
}

HRESULT TSVDropSource::GetData(const FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
    if (pformatetcIn == nullptr || pmedium == nullptr) return E_INVALIDARG;
    TSVDataEntry* entry = nullptr;
    if (FindFORMATETC(pformatetcIn, entry, false) == S_OK)
        return AddRefStgMedium(&entry->Medium, pmedium, true);
    return DoGetData(pformatetcIn, pmedium);
}

HRESULT TSVDropSource::GetDataHere(const FORMATETC*, STGMEDIUM*) {
    return E_NOTIMPL;
}

HRESULT TSVDropSource::QueryGetData(const FORMATETC* pformatetc) {
    if (pformatetc == nullptr) return E_INVALIDARG;
    TSVDataEntry* entry = nullptr;
    if (FindFORMATETC(pformatetc, entry, false) == S_OK) return S_OK;
    for (int32_t i = 0; i < FFormatCount; ++i) {
        const FORMATETC& f = FFormats[i];
        if (f.cfFormat == pformatetc->cfFormat && f.dwAspect == pformatetc->dwAspect &&
            (f.tymed & pformatetc->tymed) != 0)
            return S_OK;
    }
    return E_FAIL;
}

HRESULT TSVDropSource::SetData(const FORMATETC* pformatetc, STGMEDIUM* pmedium, bool fRelease) {
    if (pformatetc == nullptr || pmedium == nullptr) return E_INVALIDARG;
    TSVDataEntry* entry = nullptr;
    if (FindFORMATETC(pformatetc, entry, true) != S_OK) return E_NOTIMPL;
    if (entry->Medium.tymed != TYMED_NULL) ReleaseStgMedium(&entry->Medium);
    HRESULT result = S_OK;
    if (fRelease)
        entry->Medium = *pmedium;
    else
        result = AddRefStgMedium(pmedium, &entry->Medium, true);
    entry->Format.tymed = entry->Medium.tymed;
    IUnknown* holder = entry->Medium.pUnkForRelease;
    if (holder != nullptr) {
        void* identity = nullptr;
        if (holder->QueryInterface(IID_IUnknown, &identity) == S_OK)
            static_cast<IUnknown*>(identity)->Release();
        else
            identity = holder;
        if (identity == Identity()) {
            holder->Release();
            entry->Medium.pUnkForRelease = nullptr;
        }
    }
    return result;
}

HRESULT TSVDropSource::DoGetData(const FORMATETC*, STGMEDIUM*) {
    return DV_E_FORMATETC;
}

void TSVDropSource::AddFormatEtc(CLIPFORMAT cfFormat, DVTARGETDEVICE* ptd, DWORD dwAspect,
                                 int32_t lindex, DWORD tymed) {
    if (FFormatCount == MaxFormats) return;
    FFormats[FFormatCount++] = FORMATETC{cfFormat, ptd, dwAspect, lindex, tymed};
}

bool TSVDropSource::CutOrCopyToClipboard() {
    return false;
}

bool TSVDropSource::CutToClipboard() {
    return InternalCutCopyToClipboard(DROPEFFECT_MOVE);
}

bool TSVDropSource::CopyToClipboard() {
    return InternalCutCopyToClipboard(DROPEFFECT_COPY);
}

bool TSVDropSource::InternalCutCopyToClipboard(DWORD Effect) {
    TClipboard* clipboard = Clipboard();
    try {
        clipboard->Open();
    } catch (const Exception&) {
        return false;
    }
    bool result = CutOrCopyToClipboard();
    if (result) {
        FCurrentEffect = Effect;
        FORMATETC format{CF_PREFERREDDROPEFFECT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium;
        result = GetData(&format, &medium) == S_OK;
        if (result) clipboard->SetAsHandle(CF_PREFERREDDROPEFFECT, medium.hGlobal);
    }
    clipboard->Close();
    return result;
}

TDragResult TSVDropSource::Execute() {
    DWORD allowed = 0;
    if (FDragTypes & DragTypeSet(dtCopy)) allowed |= DROPEFFECT_COPY;
    if (FDragTypes & DragTypeSet(dtMove)) allowed |= DROPEFFECT_MOVE;
    if (FDragTypes & DragTypeSet(dtLink)) allowed |= DROPEFFECT_LINK;
    if (FShowImage && !FImage->Empty()) {
        // The helper reads the pixels at once; a failure leaves the drag without an image.
        SHDRAGIMAGE image;
        image.sizeDragImage = TSize{FImage->Width(), FImage->Height()};
        image.ptOffset = FImageHotSpot;
        image.hbmpDragImage = FImage->Handle();
        image.crColorKey = clFuchsia;
        InitializeDragImage(&image, this);
    }
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = DoDragDrop(this, this, allowed, &effect);
    if (result == E_OUTOFMEMORY) return drOutOfMemory;
    if (result == DRAGDROP_S_CANCEL) return drCancel;
    if (result != DRAGDROP_S_DROP) return drUnknown;
    if ((effect & allowed) == 0) return drCancel;
    if (effect & DROPEFFECT_COPY) return drCopy;
    return (effect & DROPEFFECT_MOVE) ? drMove : drLink;
}

HRESULT TSVDropSource::FindFORMATETC(const FORMATETC* pformatetc, TSVDataEntry*& Entry, bool Add) {
    Entry = nullptr;
    if (pformatetc->ptd != nullptr) return DV_E_DVTARGETDEVICE;
    for (TSVDataEntry& entry : FCache) {
        if (entry.Format.cfFormat != pformatetc->cfFormat ||
            entry.Format.dwAspect != pformatetc->dwAspect ||
            entry.Format.lindex != pformatetc->lindex)
            continue;
        if (!Add && (entry.Format.tymed & pformatetc->tymed) == 0) return DV_E_TYMED;
        Entry = &entry;
        return S_OK;
    }
    if (!Add) return DV_E_FORMATETC;
    try {
        FCache.push_back(TSVDataEntry{*pformatetc, STGMEDIUM{}});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    Entry = &FCache.back();
    return S_OK;
}

HRESULT TSVDropSource::AddRefStgMedium(const STGMEDIUM* Source, STGMEDIUM* Destination, bool Copy) {
    STGMEDIUM medium = *Source;
    const bool shared = medium.tymed == TYMED_ISTREAM || medium.tymed == TYMED_ISTORAGE;
    if (medium.pUnkForRelease == nullptr && !shared) {
        if (Copy) {
            if (medium.tymed != TYMED_HGLOBAL) return DV_E_TYMED;
            const size_t size = GlobalSize(medium.hGlobal);
            const void* from = GlobalLock(medium.hGlobal);
            HGLOBAL copy = from == nullptr ? nullptr : GlobalAlloc(GPTR, size);
            void* to = GlobalLock(copy);
            if (to != nullptr) std::memcpy(to, from, size);
            GlobalUnlock(copy);
            GlobalUnlock(medium.hGlobal);
            if (to == nullptr) {
                GlobalFree(copy);
                return E_OUTOFMEMORY;
            }
            medium.hGlobal = copy;
        } else {
            medium.pUnkForRelease = Identity();
        }
    }
    if (shared && medium.pstm != nullptr) medium.pstm->AddRef();
    if (medium.pUnkForRelease != nullptr) medium.pUnkForRelease->AddRef();
    *Destination = medium;
    return S_OK;
}

void TSVDropSource::SetImage(TBitmap* Value) {
    if (Value == FImage.get() || Value == nullptr) return;
    FImage->SetPixelFormat(Value->PixelFormat());
    FImage->SetSize(Value->Width(), Value->Height());
    for (int32_t row = 0; row < Value->Height(); ++row)
        std::memcpy(FImage->ScanLine(row), Value->ScanLine(row),
                    static_cast<size_t>(Value->RowLength()));
    if (!Value->ColorTable().empty())
        FImage->SetColorTable(0, Value->ColorTable().data(),
                              static_cast<int32_t>(Value->ColorTable().size()));
}

void TSVDropSource::SetShowImage(bool Value) {
    if (Value != FShowImage) FShowImage = Value;
    if (!InState(csLoading) && FImage->Empty()) FShowImage = false;
}

int32_t TSVDropSource::GetPoint(int32_t Index) const {
    return Index == 1 ? FImageHotSpot.X : FImageHotSpot.Y;
}

void TSVDropSource::SetPoint(int32_t Index, int32_t Value) {
    (Index == 1 ? FImageHotSpot.X : FImageHotSpot.Y) = Value;
}

// TSVDropFileSource

TSVDropFileSource::TSVDropFileSource(TComponent* AOwner)
    : TSVDropSource(AOwner), FFiles(std::make_unique<TStringList>()),
      FMappedNames(std::make_unique<TStringList>()) {
    for (CLIPFORMAT format :
         {CLIPFORMAT(CF_HDROP), CF_IDLIST, CF_PREFERREDDROPEFFECT, CF_FILENAMEMAP, CF_FILENAMEMAPW})
        AddFormatEtc(format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL);
}

TSVDropFileSource::~TSVDropFileSource() = default;

HRESULT TSVDropFileSource::DoGetData(const FORMATETC* pformatetc, STGMEDIUM* pmedium) {
    if (FFiles->Count() == 0) return E_UNEXPECTED;
    if (pformatetc->dwAspect != DVASPECT_CONTENT || (pformatetc->tymed & TYMED_HGLOBAL) == 0)
        return DV_E_FORMATETC;
    const CLIPFORMAT format = pformatetc->cfFormat;
    const bool mapped = FMappedNames->Count() == FFiles->Count();
    if (format == CF_HDROP) {
        std::vector<String> names;
        for (int32_t i = 0; i < FFiles->Count(); ++i)
            names.push_back((*FFiles)[i]);
        return HandOut(MakeDropFilesBlock(names), pmedium);
    }
    if (format == CF_FILENAMEMAP && mapped) {
        std::string bytes;
        for (int32_t i = 0; i < FMappedNames->Count(); ++i)
            bytes += AnsiFromStr((*FMappedNames)[i]) + '\0';
        return HandOut(NewBlock(bytes.size() + 1,
                                [&](uint8_t* at) { std::memcpy(at, bytes.data(), bytes.size()); }),
                       pmedium);
    }
    if (format == CF_FILENAMEMAPW && mapped) {
        String units;
        for (int32_t i = 0; i < FMappedNames->Count(); ++i)
            units += (*FMappedNames)[i] + u'\0';
        return HandOut(
            NewBlock(4 + 2 * units.size(),
                     [&](uint8_t* at) { std::memcpy(at, units.data(), 2 * units.size()); }),
            pmedium);
    }
    if (format == CF_IDLIST) return RenderIDList(pmedium);
    if (format == CF_PREFERREDDROPEFFECT) {
        const DWORD effect = CurrentEffect();
        return HandOut(NewBlock(4, [&](uint8_t* at) { std::memcpy(at, &effect, 4); }), pmedium);
    }
    return DV_E_FORMATETC;
}

HRESULT TSVDropFileSource::RenderIDList(STGMEDIUM* pmedium) {
    const String folder = CommonFolder(*FFiles);
    TStringList names;
    for (int32_t i = 0; i < FFiles->Count(); ++i) {
        const std::optional<String> name = PathBelow(folder, (*FFiles)[i]);
        if (!name) return E_OUTOFMEMORY;
        names.Add(*name);
    }
    return HandOut(ConvertFilesToIDList(folder, names), pmedium);
}

HGLOBAL TSVDropFileSource::ConvertFilesToIDList(const String& Folder, const TStringList& Names) {
    TItemIdListPtr folder(ombrelShell::SHGetIDListFromPath(Folder));
    if (!folder) return nullptr;
    const String prefix = Folder == u"/" ? Folder : Folder + u"/";
    std::vector<TItemIdListPtr> files;
    std::vector<const ITEMIDLIST*> relative;
    const auto count = static_cast<uint64_t>(Names.Count());
    uint64_t size = 4 * (count + 2) + ILGetSize(folder.get());
    for (int32_t i = 0; i < Names.Count(); ++i) {
        files.emplace_back(ombrelShell::SHGetIDListFromPath(prefix + Names[i]));
        const ITEMIDLIST* below = ILFindChild(folder.get(), files.back().get());
        if (below == nullptr) return nullptr;
        relative.push_back(below);
        size += ILGetSize(below);
    }
    if (size > UINT32_MAX) return nullptr;
    return NewBlock(static_cast<size_t>(size), [&](uint8_t* block) {
        const auto cidl = static_cast<uint32_t>(count);
        std::memcpy(block, &cidl, 4);
        uint32_t offset = static_cast<uint32_t>(4 * (count + 2));
        auto put = [&](size_t index, const ITEMIDLIST* list) {
            std::memcpy(block + 4 + 4 * index, &offset, 4);
            std::memcpy(block + offset, list, ILGetSize(list));
            offset += ILGetSize(list);
        };
        put(0, folder.get());
        for (size_t i = 0; i < relative.size(); ++i)
            put(i + 1, relative[i]);
    });
}

bool TSVDropFileSource::CutOrCopyToClipboard() {
    if (FFiles->Count() == 0) return false;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium;
    if (GetData(&format, &medium) != S_OK) return false;
    Clipboard()->SetAsHandle(CF_HDROP, medium.hGlobal);
    return true;
}
