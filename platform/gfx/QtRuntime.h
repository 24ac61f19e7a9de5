// The one toolkit application object of the process, created on first need by whatever part of
// the platform layer needs fonts, screens or input state.
#pragma once

#include "platform/rtl/Types.h"

// Creates the application object unless one exists. Without a display (no DISPLAY and no
// WAYLAND_DISPLAY) and no QT_QPA_PLATFORM setting, the offscreen platform is chosen, so tests
// and tools run headless. The object lives until the process ends; the window layer uses the
// same object.
void EnsureGuiApplication();
// Size in pixels of the primary screen.
TSize PrimaryScreenSize();
