// The drop target and the file-list drop target.
#include "components/SVDropTarget.h"

#include "platform/shell/DropFiles.h"
#include "platform/ui/Clipbrd.h"
#include "platform/ui/DragDrop.h"
#include "platform/ui/WindowLong.h"

#include <cstring>

namespace {

const FORMATETC HDropFormat{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};

// The names of a global block read as a zero-terminated sequence.
std::vector<String> NamesOfBlock(HGLOBAL Block, bool Wide) {
    const auto* bytes = static_cast<const uint8_t*>(GlobalLock(Block));
    if (bytes == nullptr) return {};
    std::vector<String> names = ReadNameSequence(bytes, GlobalSize(Block), Wide);
    GlobalUnlock(Block);
    return names;
}

void Fill(TStringList& List, const std::vector<String>& Names) {
    List.Clear();
    for (const String& name : Names) List.Add(name);
}

} // namespace

// TSVDropTarget

TSVDropTarget::TSVDropTarget(TComponent* AOwner)
    : TComponent(AOwner), FScrollTimer(new TTimer(this)) {
    OleInitialize(nullptr);
    RegisterFileListFormats();
    FScrollTimer->SetInterval(100);
    FScrollTimer->SetEnabled(false);
    FScrollTimer->SetOnTimer([this](TObject*) { DoTargetScroll(); });
}

TSVDropTarget::~TSVDropTarget() {
    FScrollTimer->SetEnabled(false);
    ForgetDataObject();
    // Never raises while going: a window that refuses is left as it is.
    Revoke();
    OleUninitialize();
}

HRESULT TSVDropTarget::QueryInterface(const IID& riid, void** ppvObject) {
    if (ppvObject == nullptr) return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IDropTarget)) {
        *ppvObject = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TSVDropTarget::AddRef() {
    return static_cast<ULONG>(++FRefCount);
}

ULONG TSVDropTarget::Release() {
    return static_cast<ULONG>(--FRefCount);
}

TPoint TSVDropTarget::ClientPoint(POINT Screen) {
    if (FControl != nullptr) FControl->ScreenToClient(Screen.X, Screen.Y);
    return Screen;
}

void TSVDropTarget::ForgetDataObject() {
    if (FDataObject != nullptr) FDataObject->Release();
    FDataObject = nullptr;
}

HRESULT TSVDropTarget::DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINT pt,
                                 DWORD* pdwEffect) {
    ClearData();
    ForgetDataObject();
    FDataObject = pDataObj;
    if (FDataObject != nullptr) FDataObject->AddRef();
    FDragPoint = ClientPoint(pt);
    if (FDataObject == nullptr || !HasValidFormats()) {
        ForgetDataObject();
        *pdwEffect = DROPEFFECT_NONE;
        return S_OK;
    }
    FScrollBars = 0;
    if (FControl != nullptr) {
        const auto style = static_cast<uint32_t>(GetWindowLongW(FControl->Handle(), GWL_STYLE));
        if (style & WS_HSCROLL) FScrollBars |= sbHorizontal;
        if (style & WS_VSCROLL) FScrollBars |= sbVertical;
    }
    if (FGetDataOnEnter) DoGetData();
    const TShiftState shift = KeysToShiftState(grfKeyState);
    TPoint point = FDragPoint;
    *pdwEffect = GetValidDropEffect(shift, point, *pdwEffect);
    DoEnter(shift, point, *pdwEffect);
    return S_OK;
}

HRESULT TSVDropTarget::DragOver(DWORD grfKeyState, POINT pt, DWORD* pdwEffect) {
    // Kept current on every move: auto-scroll works from this point.
    FDragPoint = ClientPoint(pt);
    if (FDataObject == nullptr) {
        *pdwEffect = DROPEFFECT_NONE;
        return S_OK;
    }
    const TShiftState shift = KeysToShiftState(grfKeyState);
    TPoint point = FDragPoint;
    *pdwEffect = GetValidDropEffect(shift, point, *pdwEffect);
    DoDragOver(shift, point, *pdwEffect);
    FScrollTimer->SetEnabled(FScrollBars != 0 && (*pdwEffect & DROPEFFECT_SCROLL) != 0);
    return S_OK;
}

HRESULT TSVDropTarget::DragLeave() {
    ClearData();
    FScrollTimer->SetEnabled(false);
    ForgetDataObject();
    DoLeave();
    return S_OK;
}

HRESULT TSVDropTarget::Drop(IDataObject*, DWORD grfKeyState, POINT pt, DWORD* pdwEffect) {
    if (FDataObject == nullptr) {
        *pdwEffect = DROPEFFECT_NONE;
        return S_OK;
    }
    FScrollTimer->SetEnabled(false);
    FDragPoint = ClientPoint(pt);
    const TShiftState shift = KeysToShiftState(grfKeyState);
    TPoint point = FDragPoint;
    *pdwEffect = GetValidDropEffect(shift, point, *pdwEffect);
    if (DoGetData())
        DoDrop(shift, point, *pdwEffect);
    else
        *pdwEffect = DROPEFFECT_NONE;
    ForgetDataObject();
    return S_OK;
}

void TSVDropTarget::DoEnter(TShiftState ShiftState, TPoint& Point, DWORD& Effect) {
    if (OnEnter) OnEnter(this, ShiftState, Point, Effect);
}

void TSVDropTarget::DoDragOver(TShiftState ShiftState, TPoint& Point, DWORD& Effect) {
    if (OnDragOver) OnDragOver(this, ShiftState, Point, Effect);
}

void TSVDropTarget::DoDrop(TShiftState ShiftState, TPoint& Point, DWORD& Effect) {
    if (OnDrop) OnDrop(this, ShiftState, Point, Effect);
}

void TSVDropTarget::DoLeave() {
    if (OnLeave) OnLeave(this);
}

DWORD TSVDropTarget::GetValidDropEffect(TShiftState ShiftState, TPoint& Point, DWORD& Effect) {
    if ((FDragTypes & DragTypeSet(dtCopy)) == 0) Effect &= ~DWORD(DROPEFFECT_COPY);
    if ((FDragTypes & DragTypeSet(dtMove)) == 0) Effect &= ~DWORD(DROPEFFECT_MOVE);
    if ((FDragTypes & DragTypeSet(dtLink)) == 0) Effect &= ~DWORD(DROPEFFECT_LINK);
    DWORD result = Effect;
    if (OnGetDropEffect) {
        OnGetDropEffect(this, ShiftState, Point, result);
        return result;
    }
    const bool shift = (ShiftState & ssShift) != 0;
    const bool ctrl = (ShiftState & ssCtrl) != 0;
    if (shift && ctrl && (Effect & DROPEFFECT_LINK))
        result = DROPEFFECT_LINK;
    else if (shift && (Effect & DROPEFFECT_MOVE))
        result = DROPEFFECT_MOVE;
    else if (Effect & DROPEFFECT_COPY)
        result = DROPEFFECT_COPY;
    else if (Effect & DROPEFFECT_MOVE)
        result = DROPEFFECT_MOVE;
    else if (Effect & DROPEFFECT_LINK)
        result = DROPEFFECT_LINK;
    else
        result = DROPEFFECT_NONE;
    if (FScrollBars != 0 && FControl != nullptr) {
        const bool nearX = Point.X < FScrollMargin ||
                           Point.X > FControl->ClientWidth() - FScrollMargin;
        const bool nearY = Point.Y < FScrollMargin ||
                           Point.Y > FControl->ClientHeight() - FScrollMargin;
        if (((FScrollBars & sbHorizontal) && nearX) || ((FScrollBars & sbVertical) && nearY))
            result |= DROPEFFECT_SCROLL;
    }
    return result;
}

DWORD TSVDropTarget::PasteFromClipboard() {
    try {
        TClipboard* clipboard = Clipboard();
        if (!clipboard->HasFormat(CF_PREFERREDDROPEFFECT)) return 0;
        HGLOBAL block = clipboard->GetAsHandle(CF_PREFERREDDROPEFFECT);
        const void* bytes = GlobalLock(block);
        DWORD effect = 0;
        if (bytes != nullptr && GlobalSize(block) >= sizeof effect)
            std::memcpy(&effect, bytes, sizeof effect);
        GlobalUnlock(block);
        return effect;
    } catch (const Exception&) {
        return 0; // no clipboard to be had
    }
}

void TSVDropTarget::Register(TWinControl* Control) {
    if (Control == FControl) return;
    if (FControl != nullptr) Unregister();
    FControl = nullptr;
    if (Control == nullptr) return;
    HWND wnd = Control->Handle();
    if (FAILED(RegisterDragDrop(wnd, this)))
        throw Exception(u"Failed to Register " + Control->Name());
    FControl = Control;
    FRegistered = wnd;
    FControl->FreeNotification(this);
}

HRESULT TSVDropTarget::Revoke() {
    if (FRegistered == nullptr) return S_OK;
    const HRESULT result = RevokeDragDrop(FRegistered);
    if (SUCCEEDED(result)) FRegistered = nullptr;
    return result;
}

void TSVDropTarget::Unregister() {
    if (FControl == nullptr) return;
    if (FAILED(Revoke())) throw Exception(u"Failed to Unregister " + FControl->Name());
    FControl->RemoveFreeNotification(this);
    FControl = nullptr;
}

void TSVDropTarget::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || AComponent != FControl) return;
    Revoke();
    FControl = nullptr;
}

void TSVDropTarget::DoTargetScroll() {
    if (FControl == nullptr) return;
    if (FDragPoint.Y < FScrollMargin)
        FControl->Perform(WM_VSCROLL, SB_LINEUP, 0);
    else if (FDragPoint.Y > FControl->ClientHeight() - FScrollMargin)
        FControl->Perform(WM_VSCROLL, SB_LINEDOWN, 0);
    if (FDragPoint.X < FScrollMargin)
        FControl->Perform(WM_HSCROLL, SB_LINELEFT, 0);
    else if (FDragPoint.X > FControl->ClientWidth() - FScrollMargin)
        FControl->Perform(WM_HSCROLL, SB_LINERIGHT, 0);
}

// TSVDropFileTarget

TSVDropFileTarget::TSVDropFileTarget(TComponent* AOwner)
    : TSVDropTarget(AOwner), FFiles(std::make_unique<TStringList>()),
      FMappedNames(std::make_unique<TStringList>()),
      FFileNameMapFormat{CF_FILENAMEMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
      FFileNameMapWFormat{CF_FILENAMEMAPW, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL} {}

TSVDropFileTarget::~TSVDropFileTarget() = default;

bool TSVDropFileTarget::HasValidFormats() {
    return DataObject() != nullptr && DataObject()->QueryGetData(&HDropFormat) == S_OK;
}

void TSVDropFileTarget::ClearData() {
    FFiles->Clear();
    FMappedNames->Clear();
}

bool TSVDropFileTarget::DoGetData() {
    ClearData();
    if (DataObject() == nullptr) return false;
    STGMEDIUM medium;
    if (DataObject()->GetData(&HDropFormat, &medium) != S_OK) return false;
    if (medium.tymed == TYMED_HGLOBAL) Fill(*FFiles, ReadDropFilesHandle(medium.hGlobal));
    ReleaseStgMedium(&medium);
    const bool result = FFiles->Count() > 0;
    ReadMappedNames();
    return result;
}

void TSVDropFileTarget::ReadMappedNames() {
    STGMEDIUM medium;
    bool wide = true;
    if (DataObject()->GetData(&FFileNameMapWFormat, &medium) != S_OK) {
        wide = false;
        if (DataObject()->GetData(&FFileNameMapFormat, &medium) != S_OK) return;
    }
    if (medium.tymed == TYMED_HGLOBAL) Fill(*FMappedNames, NamesOfBlock(medium.hGlobal, wide));
    ReleaseStgMedium(&medium);
    if (FMappedNames->Count() != FFiles->Count()) FMappedNames->Clear();
}

DWORD TSVDropFileTarget::PasteFromClipboard() {
    try {
        TClipboard* clipboard = Clipboard();
        if (!clipboard->HasFormat(CF_HDROP)) return 0;
        FFiles->Clear();
        Fill(*FFiles, ReadDropFilesHandle(clipboard->GetAsHandle(CF_HDROP)));
    } catch (const Exception&) {
        return 0; // no clipboard to be had
    }
    if (FFiles->Count() == 0) return 0;
    const DWORD effect = TSVDropTarget::PasteFromClipboard();
    return effect != 0 ? effect : DWORD(DROPEFFECT_COPY);
}
