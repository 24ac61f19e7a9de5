// Drag sources and clipboard data objects of the component library: the generic drop source
// with its format table and data cache, and the file-list source.
#pragma once

#include "platform/gfx/Bitmap.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/Component.h"
#include "platform/ui/Ole.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// Process-wide ids of the shell's file-list formats, set by every constructor of the sources
// and targets.
extern CLIPFORMAT CF_IDLIST;
extern CLIPFORMAT CF_PREFERREDDROPEFFECT;
extern CLIPFORMAT CF_FILENAMEMAP;
extern CLIPFORMAT CF_FILENAMEMAPW;
void RegisterFileListFormats();

enum TDragType : uint8_t { dtCopy, dtMove, dtLink };
// A set of TDragType: bit 1 << dtCopy and so on, which are the drop-effect bits 1, 2 and 4.
using TDragTypes = uint8_t;
constexpr TDragTypes DragTypeSet(TDragType Type) {
    return static_cast<TDragTypes>(1u << Type);
}

enum TDragResult : uint8_t { drCopy, drMove, drLink, drCancel, drOutOfMemory, drUnknown };

using TDropEvent = std::function<void(TObject* Sender, TDragType DragType, bool& ContinueDrop)>;
using TFeedbackEvent = std::function<void(TObject* Sender, DWORD Effect, bool& UseDefaultCursors)>;

// One cached datum.
struct TSVDataEntry {
    FORMATETC Format;
    STGMEDIUM Medium;
};

// Enumerates a copy of a format table, so it may outlive the object it came from.
class TEnumFormatEtc final : public IEnumFORMATETC {
public:
    // A new enumerator holds one reference.
    TEnumFormatEtc(const FORMATETC* Formats, int32_t Count, int32_t Index);

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) override;
    HRESULT Skip(ULONG celt) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumFORMATETC** ppenum) override;

private:
    ~TEnumFormatEtc() = default;

    std::atomic<int32_t> FRefCount{1};
    std::vector<FORMATETC> FFormats;
    size_t FIndex;
};

// A drag source and data object. Its lifetime belongs to its owner: Release never frees it.
class TSVDropSource : public TComponent, public IDropSource, public IDataObject {
public:
    static constexpr int32_t MaxFormats = 20;

    explicit TSVDropSource(TComponent* AOwner);
    ~TSVDropSource() override;

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT QueryContinueDrag(bool fEscapePressed, DWORD grfKeyState) override;
    HRESULT GiveFeedback(DWORD dwEffect) override;

    HRESULT DAdvise(const FORMATETC* pformatetc, DWORD advf, IUnknown* pAdvSink,
                    DWORD* pdwConnection) override;
    HRESULT DUnadvise(DWORD dwConnection) override;
    HRESULT EnumDAdvise(IUnknown** ppenumAdvise) override;
    HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    HRESULT GetCanonicalFormatEtc(const FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    // A cached format comes back as the receiver's own copy.
    HRESULT GetData(const FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    HRESULT GetDataHere(const FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    HRESULT QueryGetData(const FORMATETC* pformatetc) override;
    HRESULT SetData(const FORMATETC* pformatetc, STGMEDIUM* pmedium, bool fRelease) override;

    virtual HRESULT DoGetData(const FORMATETC* pformatetc, STGMEDIUM* pmedium);
    // Ignored once the table holds MaxFormats entries.
    virtual void AddFormatEtc(CLIPFORMAT cfFormat, DVTARGETDEVICE* ptd, DWORD dwAspect,
                              int32_t lindex, DWORD tymed);
    virtual bool CutOrCopyToClipboard();
    virtual bool CutToClipboard();
    virtual bool CopyToClipboard();

    TDragResult Execute();
    HRESULT FindFORMATETC(const FORMATETC* pformatetc, TSVDataEntry*& Entry, bool Add);
    HRESULT AddRefStgMedium(const STGMEDIUM* Source, STGMEDIUM* Destination, bool Copy);

    TDragTypes DragTypes() const { return FDragTypes; }
    void SetDragTypes(TDragTypes Value) { FDragTypes = Value; }
    TBitmap* Image() const { return FImage.get(); }
    void SetImage(TBitmap* Value);
    // Execute shows Image under the mouse, at the hot spot, magenta pixels transparent.
    bool ShowImage() const { return FShowImage; }
    void SetShowImage(bool Value);
    int32_t ImageHotSpotX() const { return GetPoint(1); }
    void SetImageHotSpotX(int32_t Value) { SetPoint(1, Value); }
    int32_t ImageHotSpotY() const { return GetPoint(2); }
    void SetImageHotSpotY(int32_t Value) { SetPoint(2, Value); }
    // The last effect of the drag's feedback or of a clipboard copy (1) or cut (2).
    DWORD CurrentEffect() const { return FCurrentEffect; }
    // The reference count held by others.
    int32_t RefCount() const { return FRefCount; }

    TDropEvent OnDrop;
    TFeedbackEvent OnFeedback;

private:
    IUnknown* Identity() { return static_cast<IDataObject*>(this); }
    bool InternalCutCopyToClipboard(DWORD Effect);
    int32_t GetPoint(int32_t Index) const;
    void SetPoint(int32_t Index, int32_t Value);

    std::atomic<int32_t> FRefCount{0};
    TDragTypes FDragTypes = DragTypeSet(dtCopy);
    FORMATETC FFormats[MaxFormats];
    int32_t FFormatCount = 0;
    std::unique_ptr<TBitmap> FImage;
    std::vector<TSVDataEntry> FCache;
    bool FShowImage = false;
    TPoint FImageHotSpot{16, 16};
    DWORD FCurrentEffect = 0;
};

// Renders the shell's file-list formats from Files (absolute paths) and MappedNames (a target
// name per file, or none): CF_HDROP, "Shell IDList Array", "Preferred DropEffect",
// "FileNameMap" and "FileNameMapW". Every block it renders belongs to the receiver.
class TSVDropFileSource : public TSVDropSource {
public:
    explicit TSVDropFileSource(TComponent* AOwner);
    ~TSVDropFileSource() override;

    HRESULT DoGetData(const FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    bool CutOrCopyToClipboard() override;

    // The "Shell IDList Array" of Names (bare names or paths below Folder): the folder's list,
    // then each name's list relative to it, every list parsed once. Nil when the folder or a
    // name cannot be listed or the block cannot be allocated.
    HGLOBAL ConvertFilesToIDList(const String& Folder, const TStringList& Names);

    TStringList& Files() { return *FFiles; }
    void SetFiles(const TStringList& Value) { FFiles->Assign(Value); }
    TStringList& MappedNames() { return *FMappedNames; }
    void SetMappedNames(const TStringList& Value) { FMappedNames->Assign(Value); }

private:
    HRESULT RenderIDList(STGMEDIUM* pmedium);

    std::unique_ptr<TStringList> FFiles;
    std::unique_ptr<TStringList> FMappedNames;
};
