// The COM and OLE vocabulary of drag and drop and of the clipboard: result codes, reference-
// counted interfaces, data formats, storage media and the process's clipboard format names.
#pragma once

#include "platform/gfx/GlobalMemory.h"
#include "platform/rtl/System.h"
#include "platform/rtl/Types.h"

#include <cstdint>

using HRESULT = int32_t;
using DWORD = uint32_t;
using ULONG = uint32_t;
using CLIPFORMAT = uint16_t;

constexpr HRESULT MakeResult(uint32_t Code) {
    return static_cast<HRESULT>(Code);
}
constexpr bool SUCCEEDED(HRESULT Result) {
    return Result >= 0;
}
constexpr bool FAILED(HRESULT Result) {
    return Result < 0;
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001);
constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
constexpr HRESULT E_POINTER = MakeResult(0x80004003);
constexpr HRESULT E_FAIL = MakeResult(0x80004005);
constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = MakeResult(0x80040003);
constexpr HRESULT OLE_S_USEREG = MakeResult(0x00040000);
constexpr HRESULT DV_E_FORMATETC = MakeResult(0x80040064);
constexpr HRESULT DV_E_DVTARGETDEVICE = MakeResult(0x80040065);
constexpr HRESULT DV_E_TYMED = MakeResult(0x80040069);
constexpr HRESULT DATA_S_SAMEFORMATETC = MakeResult(0x00040130);
constexpr HRESULT DRAGDROP_S_DROP = MakeResult(0x00040100);
constexpr HRESULT DRAGDROP_S_CANCEL = MakeResult(0x00040101);
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = MakeResult(0x00040102);
constexpr HRESULT DRAGDROP_E_NOTREGISTERED = MakeResult(0x80040100);
constexpr HRESULT DRAGDROP_E_ALREADYREGISTERED = MakeResult(0x80040101);
constexpr HRESULT DRAGDROP_E_INVALIDHWND = MakeResult(0x80040102);

using IID = TGUID;
bool IsEqualGUID(const TGUID& A, const TGUID& B);

extern const IID IID_IUnknown;
extern const IID IID_IDataObject;
extern const IID IID_IEnumFORMATETC;
extern const IID IID_IDropSource;
extern const IID IID_IDropTarget;

// Every interface: QueryInterface hands out a counted reference (the caller releases it);
// objects are freed through Release, never deleted through an interface pointer.
class IUnknown {
public:
    virtual HRESULT QueryInterface(const IID& riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// A target device description; nothing here renders for one, so it stays opaque.
struct DVTARGETDEVICE;

enum : uint32_t { DVASPECT_CONTENT = 1, DVASPECT_THUMBNAIL = 2, DVASPECT_ICON = 4 };
enum : uint32_t {
    TYMED_NULL = 0,
    TYMED_HGLOBAL = 1,
    TYMED_FILE = 2,
    TYMED_ISTREAM = 4,
    TYMED_ISTORAGE = 8
};
enum : DWORD { DATADIR_GET = 1, DATADIR_SET = 2 };

// Standard clipboard formats; registered ones lie from 0xC000 up.
enum : CLIPFORMAT { CF_TEXT = 1, CF_DIB = 8, CF_UNICODETEXT = 13, CF_HDROP = 15 };

enum : DWORD {
    DROPEFFECT_NONE = 0,
    DROPEFFECT_COPY = 1,
    DROPEFFECT_MOVE = 2,
    DROPEFFECT_LINK = 4,
    DROPEFFECT_SCROLL = 0x80000000
};

struct FORMATETC {
    CLIPFORMAT cfFormat = 0;
    DVTARGETDEVICE* ptd = nullptr;
    DWORD dwAspect = DVASPECT_CONTENT;
    int32_t lindex = -1;
    DWORD tymed = TYMED_NULL;
};

// A datum in one of the media; pUnkForRelease, when set, is released instead of freeing the
// medium's content.
struct STGMEDIUM {
    DWORD tymed = TYMED_NULL;
    union {
        HGLOBAL hGlobal;
        IUnknown* pstm;
        IUnknown* pstg;
    };
    IUnknown* pUnkForRelease = nullptr;
    STGMEDIUM() : hGlobal(nullptr) {}
};

class IEnumFORMATETC : public IUnknown {
public:
    virtual HRESULT Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFORMATETC** ppenum) = 0;

protected:
    ~IEnumFORMATETC() = default;
};

class IDataObject : public IUnknown {
public:
    virtual HRESULT GetData(const FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
    virtual HRESULT GetDataHere(const FORMATETC* pformatetc, STGMEDIUM* pmedium) = 0;
    virtual HRESULT QueryGetData(const FORMATETC* pformatetc) = 0;
    virtual HRESULT GetCanonicalFormatEtc(const FORMATETC* pformatectIn,
                                          FORMATETC* pformatetcOut) = 0;
    virtual HRESULT SetData(const FORMATETC* pformatetc, STGMEDIUM* pmedium, bool fRelease) = 0;
    virtual HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) = 0;
    virtual HRESULT DAdvise(const FORMATETC* pformatetc, DWORD advf, IUnknown* pAdvSink,
                            DWORD* pdwConnection) = 0;
    virtual HRESULT DUnadvise(DWORD dwConnection) = 0;
    virtual HRESULT EnumDAdvise(IUnknown** ppenumAdvise) = 0;

protected:
    ~IDataObject() = default;
};

class IDropSource : public IUnknown {
public:
    virtual HRESULT QueryContinueDrag(bool fEscapePressed, DWORD grfKeyState) = 0;
    virtual HRESULT GiveFeedback(DWORD dwEffect) = 0;

protected:
    ~IDropSource() = default;
};

// pt is in screen coordinates; grfKeyState holds the MK_ bits of the mouse messages.
class IDropTarget : public IUnknown {
public:
    virtual HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINT pt,
                              DWORD* pdwEffect) = 0;
    virtual HRESULT DragOver(DWORD grfKeyState, POINT pt, DWORD* pdwEffect) = 0;
    virtual HRESULT DragLeave() = 0;
    virtual HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, POINT pt,
                         DWORD* pdwEffect) = 0;

protected:
    ~IDropTarget() = default;
};

// Balanced per caller; nothing needs starting here, so they only count.
HRESULT OleInitialize(void* pvReserved);
void OleUninitialize();

// The task allocator that item-ID lists, target devices and format tables live in.
void* CoTaskMemAlloc(size_t Bytes);
void* CoTaskMemRealloc(void* Block, size_t Bytes);
void CoTaskMemFree(void* Block);

// Frees the medium's content (or releases pUnkForRelease in its place) and empties it.
void ReleaseStgMedium(STGMEDIUM* pmedium);

// The process's id of a named format, the same for the same name (compared without case);
// 0 for an empty name or when the 0x4000 ids are used up.
uint32_t RegisterClipboardFormatW(const String& Name);
// The name registered for Format; empty for an unregistered one or a standard format.
String GetClipboardFormatNameW(uint32_t Format);
