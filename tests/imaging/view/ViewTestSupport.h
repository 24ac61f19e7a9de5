// Views for the tests: off-screen (drawing area = control size, no window) or on a form.
#pragma once

#include "imaging/view/VistrelView.h"
#include "platform/ui/Forms.h"

#include <gtest/gtest.h>

#include <memory>

// Gives the view's current bitmap a size (24-bit) and brings the geometry in line.
inline void SetImageSize(TVistrelView& View, int32_t Width, int32_t Height) {
    ASSERT_TRUE(View.GetVLBitmap()->Allocate(Width, Height, TVLPixelFormat::vl24RGB));
    View.Update();
}

// What a paint does before it draws: the visible part and the tables for the current position.
inline void Recompute(TVistrelView& View) {
    View.UpdateVisibleRect();
    View.UpdateZoomTables();
}

inline std::unique_ptr<TVistrelView> MakeOffScreenView(int32_t AreaWidth, int32_t AreaHeight) {
    auto view = std::make_unique<TVistrelView>(nullptr);
    view->OffScreenDrawing = true;
    view->SetBorderStyle(bsNone); // no frame margins in fits
    view->SetBounds(0, 0, AreaWidth, AreaHeight);
    view->Update();
    return view;
}

// A form with a view on it whose window exists; the form owns the view.
struct TViewOnForm {
    TForm Form{nullptr};
    TVistrelView* View;
    explicit TViewOnForm(int32_t Width, int32_t Height, TBorderStyle Border = bsNone) {
        Form.SetBounds(0, 0, Width + 40, Height + 40);
        View = new TVistrelView(&Form);
        View->SetBorderStyle(Border);
        View->SetParent(&Form);
        View->SetBounds(0, 0, Width, Height);
        View->Handle();
    }
};
