// The writer of layered "8BPS" documents (PSD): a merged picture and its layers, every channel
// PackBits-compressed, with the resolution, IPTC, ICC, thumbnail and XMP resources.
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <vector>

class TVLLayer;

// Writes Bitmap as the merged picture of a PSD at the stream position, with Layers (mask layers
// as the user mask of the layer before them) as its layers, or Bitmap itself as the only layer
// when Layers is empty. Bitmap's pixel format gives the colour mode and depth: vl1g bitmap,
// vl8p indexed, vl8g and vl16g grey, vl24RGB, vl32RGB and vlRGB48 RGB, vlCMYK, vlCIELab Lab.
// Layers are written from copies converted to that mode and resampled to their displayed size
// (indexed ones mapped to Bitmap's palette); neither Bitmap nor the layers change. A layer's
// alpha channel is written as its transparency channel, except in bitmap mode. vlNone and
// vl32f, a layer count or section size the format cannot hold and a short write set the abort
// flag; nothing is written for the first two.
void WritePSDStream(TStream& Stream, TIOParamsVals& Params, TVLProgressRecord& Progress,
                    TVLBitmap& Bitmap, const std::vector<TVLLayer*>& Layers);
