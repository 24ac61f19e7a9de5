// A panel whose whole face the application paints in OnPaint, drawn through an off-screen bitmap
// so that it never flickers.
#pragma once

#include "platform/ui/ExtCtrls.h"

using TSVPaintEvent = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& Rect)>;

class TSVPaintPanel : public TCustomPanel {
public:
    explicit TSVPaintPanel(TComponent* AOwner);

    TSVPaintEvent OnPaint;
    bool CustomDraw() const { return FCustomDraw; }
    void SetCustomDraw(bool Value);

    void Dispatch(TMessage& Message) override;

protected:
    // CustomDraw on: a fill of Color and OnPaint in a bitmap, copied at once. Off: a fill of
    // Color under the panel's bevels and caption; OnPaint is not called.
    void Paint() override;

private:
    void PaintCustom();

    bool FCustomDraw = false;
};
