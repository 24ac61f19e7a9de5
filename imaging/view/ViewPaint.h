// View painting and back buffer: what the single-image view's paint path shares with its
// callers, the private view messages and the text of the version overlay.
#pragma once

#include "platform/gfx/Canvas.h"
#include "platform/ui/Messages.h"

#include <functional>

// Fired after each copy of the back buffer with the window's canvas and the drawing area.
using TVLOnDrawCanvas = std::function<void(TObject* Sender, TCanvas* ACanvas, const TRect& ARect)>;

// Private messages through which background work reports to a view.
constexpr UINT VLM_UPDATEVIEW = 0x1F58;
constexpr UINT VLM_DSHOWNEWFRAME = 0x1F59;
constexpr UINT VLM_DSHOWEVENT = 0x1F5A;
constexpr UINT VLM_PROGRESS = 0x1F5B;
constexpr UINT VLM_FINISHWORK = 0x1F5C;

// Zoom in percent (either axis) from which the pixel grid is drawn; process-wide.
extern double PixelGridMinZoom;

// "Vistrel Version " with the library version and its date.
String VistrelVersionText();
