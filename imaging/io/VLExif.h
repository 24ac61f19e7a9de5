// EXIF and XMP metadata in JPEG APP1 marker payloads. The XMP payload is the namespace
// identifier of XMP in JPEG, a NUL byte, then the packet text to the end of the payload.
#pragma once

#include "imaging/io/VLIOParams.h"

#include <vector>

// The XMP identifier with its terminating NUL: the header of every XMP APP1 payload.
constexpr int32_t XmpHeaderLength = 29;

// The address just after the first NUL byte of Data when Data is an XMP payload (at least 30
// bytes, the first 24 of the identifier, a NUL within Length); nil otherwise.
const uint8_t* FindXMPInAPP1(const uint8_t* Data, int32_t Length);
// Params' XmpInfo becomes the packet text of an XMP payload; false (and nothing changed) for
// any other payload.
bool ReadXMPFromAPP1(const uint8_t* Data, int32_t Length, TIOParamsVals& Params);
// An XMP payload of Params' XmpInfo.
std::vector<uint8_t> BuildXMPAPP1(const TIOParamsVals& Params);
