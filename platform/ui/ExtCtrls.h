// Extra controls of the class library: the image control that shows a picture.
#pragma once

#include "platform/gfx/Picture.h"
#include "platform/ui/Controls.h"

#include <memory>

// A window-less control that shows its picture at its top-left corner, cut to its bounds, and
// repaints whenever the picture changes.
class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* Picture() { return FPicture.get(); }

protected:
    void Paint() override;

private:
    std::unique_ptr<TPicture> FPicture;
};
