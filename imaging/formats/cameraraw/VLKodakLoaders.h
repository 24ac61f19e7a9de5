// The Kodak raw loaders: tone-curve bytes, the difference codes of the DCR and YCC formats, the
// radial code of the DC40 and DC50, and the DC120's rotated rows and baseline JPEG.
#pragma once

#include "imaging/formats/cameraraw/VLCameraRaw.h"

#include <cstddef>
#include <cstdint>

void kodak_easy_load_raw(TVLCameraRawContext& Context);
void kodak_dcr_load_raw(TVLCameraRawContext& Context);
void kodak_ycc_load_raw(TVLCameraRawContext& Context);
// Needs a width that is a multiple of 4 and at most 768; any other leaves the buffer as it is.
void dc40_load_raw(TVLCameraRawContext& Context);
void dc120_load_raw(TVLCameraRawContext& Context);
// Raises Exception ": incorrect JPEG dimensions" unless the JPEG is Width x Height / 2 with 3
// components; errors of the JPEG library raise as the adapter reports them.
void dc120_jpeg_load_raw(TVLCameraRawContext& Context);

// Builds one radial tree from the (length, value) pairs from Context.RadcSource on into the next
// free nodes; returns the pair position after those used.
int32_t build_decoder_pairs(TVLCameraRawContext& Context, const int8_t (*Pairs)[2],
                            int32_t PairCount, int32_t Depth);
// The next symbol of radial tree Tree (0 to 17), or the multiplier code 18.
int32_t radc_symbol(TVLCameraRawContext& Context, int32_t Tree);
