// Layer composition of the single-image view: the background, every visible layer at its
// position, size, rotation, transparency and zoom filter, mask layers and magnifiers, the
// treatment of what lies outside layer 0, and the boxes and grips of the layer being edited.
// The methods are TVistrelView's (ComposeBackBuffer, GetLayerGripRects, GetLayerGripAt).
#pragma once

#include "imaging/view/VistrelView.h"
