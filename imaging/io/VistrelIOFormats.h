// The per-format entry points of the I/O component (declared with TVistrelIO) and the JPEG
// savers' metadata rebuild, which works on a parameter record and the picture saved.
#pragma once

#include "imaging/io/VLIOParams.h"

class TVLBitmap;

// Writes DpiX and DpiY (16.16 fixed point, pixels per inch) into the first Photoshop resolution
// resource ("8BIM" 0x03ED) of the first APP13 marker. A resource whose name, size field or
// 16 bytes would reach past the marker is skipped and the search goes on after its signature.
// False when no resource was written.
bool PatchJpegResolution(TIOParamsVals& Params);
// The markers a JPEG save writes: the resolution resource, the IPTC block when the list was
// changed (or holds items and there are no markers), the EXIF block with Picture's width and
// height as its pixel dimensions, the XMP packet.
void RebuildJpegMetadata(TIOParamsVals& Params, TVLBitmap& Picture);
