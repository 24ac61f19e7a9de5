// XMP in JPEG APP1 payloads.
#include "imaging/io/VLExif.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr char XmpNamespace[XmpHeaderLength + 1] = "http://ns.adobe.com/xap/1.0/";
} // namespace

const uint8_t* FindXMPInAPP1(const uint8_t* Data, int32_t Length) {
    if (Data == nullptr || Length < XmpHeaderLength + 1 || std::memcmp(Data, XmpNamespace, 24) != 0)
        return nullptr;
    const uint8_t* end = Data + Length;
    const uint8_t* nul = std::find(Data, end, uint8_t{0});
    return nul == end ? nullptr : nul + 1;
}

bool ReadXMPFromAPP1(const uint8_t* Data, int32_t Length, TIOParamsVals& Params) {
    const uint8_t* text = FindXMPInAPP1(Data, Length);
    if (text == nullptr) return false;
    Params.XmpInfo.assign(reinterpret_cast<const char*>(text),
                          static_cast<size_t>(Data + Length - text));
    return true;
}

std::vector<uint8_t> BuildXMPAPP1(const TIOParamsVals& Params) {
    std::vector<uint8_t> data(XmpNamespace, XmpNamespace + XmpHeaderLength);
    data.insert(data.end(), Params.XmpInfo.begin(), Params.XmpInfo.end());
    return data;
}
