// The reader of layered "8BPS" documents (PSD): the merged picture, or the layers as view
// layers, and the image resources (resolution, IPTC, ICC profile, JPEG thumbnail, XMP, the
// transparent palette index).
#pragma once

#include "imaging/io/VLFileFormats.h"

#include <memory>
#include <vector>

class TVLLayer;

// True when the 26 bytes at the position are a PSD header: "8BPS", version 1, 1 to 24 channels,
// depth 1 to 16, colour mode 0 to 9. The position is restored.
bool IsPSDStream(TStream& Stream);

// Reads the PSD at the stream position. Bitmap nil reads the header and resources only. Layers
// (nil: none) receives one new layer without owner per layer of the file, a user mask as a
// hidden mask layer right after its layer; layers with an empty rectangle are dropped. The
// layers are read when the file has one, or when LoadLayers is on; with LoadLayers on and at
// least one layer read the merged picture is not read. Depth 8 and 16 pictures of the grey,
// duotone, indexed, RGB, CMYK and Lab modes and 1-bit bitmap-mode pictures are read; unless
// NativePixelFormat, all but 1-bit pictures and mask layers end as vl24RGB. With LoadThumbnail
// the embedded JPEG thumbnail becomes the picture when it decodes. A header that is not a PSD's,
// a mode and depth the reader cannot place, sizes the data cannot hold and data that ends early
// set the abort flag; what was read stays.
void ReadPSDStream(TStream& Stream, TVLBitmap* Bitmap, TIOParamsVals& Params,
                   TVLProgressRecord& Progress, bool LoadLayers,
                   std::vector<std::unique_ptr<TVLLayer>>* Layers);
