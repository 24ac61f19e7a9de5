// The base of every view of the library: background colour, border, resolution pair, the
// bitmap-change callbacks that keep components attached to the current bitmap, and the screen
// globals of the view unit.
#pragma once

#include "imaging/core/VLBitmap.h"
#include "platform/ui/Controls.h"

#include <functional>
#include <memory>
#include <vector>

// Called with Destroying = true when the view goes, false when its current bitmap was replaced.
using TVLBitmapChangeEvent = std::function<void(TObject* Sender, bool Destroying)>;
// A registration; pointer-sized, so every registration can be told apart and removed.
struct TVLBitmapChangeRecord;
using TVLBitmapChangeHandle = TVLBitmapChangeRecord*;

class TVLView : public TCustomControl {
public:
    explicit TVLView(TComponent* AOwner);
    ~TVLView() override;

    TColor Background() const { return FBackground; }
    virtual void SetBackground(TColor Color);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle Value);
    void SetCtl3D(bool Value) override;
    int32_t DpiX() const { return FDpiX; }
    int32_t DpiY() const { return FDpiY; }

    // The class-library bitmap of the current image; nil in the base.
    virtual TBitmap* GetTBitmap();
    // The current image; nil in the base.
    virtual TVLBitmap* GetVLBitmap();
    virtual TVLBitmap* GetAlphaChannel() = 0;
    virtual bool HasAlphaChannel() = 0;
    virtual void RemoveAlphaChannel(bool Merge) = 0;
    // The paint lock: while above 0 the view does not repaint its window.
    virtual void LockPaint() = 0;
    virtual int32_t UnlockPaint() = 0;
    virtual int32_t UnlockPaintNoRefresh() = 0;
    // A resolution of 0 leaves the stored one unchanged.
    virtual void SetDpiX(int32_t Value);
    virtual void SetDpiY(int32_t Value);
    virtual void SetDpi(int32_t X, int32_t Y);
    virtual void ImageChange() {}
    // Calls every registered callback, first registered first, with Destroying = false.
    virtual void CallBitmapChangeEvents();

    TVLBitmapChangeHandle RegisterBitmapChangeEvent(TVLBitmapChangeEvent Event);
    // Null and unknown handles (already removed, or never registered) change nothing.
    void RemoveBitmapChangeEvent(TVLBitmapChangeHandle Handle);

    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    void Dispatch(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    // Calls and removes every registered callback with Destroying = true. A view calls it
    // before it frees its bitmaps, so that attached components never keep a freed one.
    void CallBitmapDestroyingEvents();

private:
    TBorderStyle FBorderStyle = bsSingle;
    std::vector<std::unique_ptr<TVLBitmapChangeRecord>> FBitmapChangeEvents;
    TColor FBackground = clBtnFace;
    int32_t FDpiX = 0;
    int32_t FDpiY = 0;
};

// Screen globals of the view unit: filled once by the view unit's start-up and read by the
// views. The screen resolution and the default image resolution are library settings
// (ScreenDpiX, ScreenDpiY, DefaultDpiX, DefaultDpiY in VLDefs.h).
extern int32_t ScreenBitsPerPixel;
extern bool RemoteSession;
extern bool MMXAvailable;
extern int32_t EdgeWidth;
extern int32_t EdgeHeight;
extern int32_t BorderWidth;
extern int32_t BorderHeight;
extern int32_t HScrollBarHeight;
extern int32_t VScrollBarWidth;

// Reads the screen's depth, resolution and metrics into the globals and sets the default image
// resolution to 300 dots per inch.
void ReadScreenGlobals();
