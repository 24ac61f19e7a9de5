// Drop targets of the component library: the generic target that decides the drop effect and
// scrolls its control near the edges, and the file-list target that also pastes.
#pragma once

#include "components/SVDropSource.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Timer.h"

using TDropTargetEvent =
    std::function<void(TObject* Sender, TShiftState ShiftState, TPoint& Point, DWORD& Effect)>;

// Makes one window control a drop target (Register). Its lifetime belongs to its owner:
// Release never frees it. There is no drag image on this desktop: ShowImage is only kept.
class TSVDropTarget : public TComponent, public IDropTarget {
public:
    explicit TSVDropTarget(TComponent* AOwner);
    ~TSVDropTarget() override;

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINT pt,
                      DWORD* pdwEffect) override;
    HRESULT DragOver(DWORD grfKeyState, POINT pt, DWORD* pdwEffect) override;
    HRESULT DragLeave() override;
    HRESULT Drop(IDataObject* pDataObj, DWORD grfKeyState, POINT pt, DWORD* pdwEffect) override;

    virtual void DoEnter(TShiftState ShiftState, TPoint& Point, DWORD& Effect);
    virtual void DoDragOver(TShiftState ShiftState, TPoint& Point, DWORD& Effect);
    virtual void DoDrop(TShiftState ShiftState, TPoint& Point, DWORD& Effect);
    virtual void DoLeave();
    virtual bool DoGetData() = 0;
    virtual void ClearData() = 0;
    virtual bool HasValidFormats() = 0;
    // Removes from Effect what DragTypes does not allow, then picks one effect (or lets
    // OnGetDropEffect pick) and adds the scroll flag near the control's edges.
    virtual DWORD GetValidDropEffect(TShiftState ShiftState, TPoint& Point, DWORD& Effect);
    // The clipboard's "Preferred DropEffect"; 0 when it has none.
    virtual DWORD PasteFromClipboard();

    // Binds the target to Control; raises Exception "Failed to Register <name>" when the window
    // refuses, and then nothing is bound. nil only unbinds.
    void Register(TWinControl* Control);
    // Raises Exception "Failed to Unregister <name>" when the window refuses (the control stays
    // bound).
    void Unregister();
    // One tick of auto-scroll at the drag point.
    void DoTargetScroll();

    TWinControl* Control() const { return FControl; }
    TDragTypes DragTypes() const { return FDragTypes; }
    void SetDragTypes(TDragTypes Value) { FDragTypes = Value; }
    bool GetDataOnEnter() const { return FGetDataOnEnter; }
    void SetGetDataOnEnter(bool Value) { FGetDataOnEnter = Value; }
    bool ShowImage() const { return FShowImage; }
    void SetShowImage(bool Value) { FShowImage = Value; }
    int32_t ScrollMargin() const { return FScrollMargin; }
    void SetScrollMargin(int32_t Value) { FScrollMargin = Value; }
    // The pointer in the control's client coordinates, as of the last drag event.
    TPoint DragPoint() const { return FDragPoint; }
    bool ScrollTimerEnabled() const { return FScrollTimer->Enabled(); }
    int32_t RefCount() const { return FRefCount; }

    TDropTargetEvent OnEnter;
    TDropTargetEvent OnDragOver;
    TDropTargetEvent OnDrop;
    TDropTargetEvent OnGetDropEffect;
    TNotifyEvent OnLeave;

protected:
    // The data object of the drag under way; nil outside a drag.
    IDataObject* DataObject() const { return FDataObject; }
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    enum TScrollBarKind : uint8_t { sbHorizontal = 1, sbVertical = 2 };

    TPoint ClientPoint(POINT Screen);
    void ForgetDataObject();
    HRESULT Revoke();

    std::atomic<int32_t> FRefCount{0};
    TDragTypes FDragTypes = 0;
    TWinControl* FControl = nullptr;
    // The window the target is registered with; it outlives the control's window.
    HWND FRegistered = nullptr;
    bool FGetDataOnEnter = false;
    bool FShowImage = true;
    TPoint FDragPoint;
    int32_t FScrollMargin = 20;
    uint8_t FScrollBars = 0;
    TTimer* FScrollTimer;
    IDataObject* FDataObject = nullptr;
};

// Takes file lists (CF_HDROP) with their optional target names ("FileNameMapW", else
// "FileNameMap") from drops and from the clipboard.
class TSVDropFileTarget : public TSVDropTarget {
public:
    explicit TSVDropFileTarget(TComponent* AOwner);
    ~TSVDropFileTarget() override;

    bool DoGetData() override;
    void ClearData() override;
    bool HasValidFormats() override;
    // Fills Files from the clipboard's file list and answers its operation: 2 for a cut, 1 for
    // a copy (also when the clipboard does not say); 0 without a file list.
    DWORD PasteFromClipboard() override;

    TStringList& Files() { return *FFiles; }
    TStringList& MappedNames() { return *FMappedNames; }

private:
    void ReadMappedNames();

    std::unique_ptr<TStringList> FFiles;
    std::unique_ptr<TStringList> FMappedNames;
    FORMATETC FFileNameMapFormat;
    FORMATETC FFileNameMapWFormat;
};
