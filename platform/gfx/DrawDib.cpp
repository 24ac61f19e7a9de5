// DrawDib calls over the drawing layer's StretchDIBits in COLORONCOLOR mode.
#include "platform/gfx/DrawDib.h"

#include <cstdlib>
#include <mutex>
#include <set>

// A handle carries no state: there is no palette or decompressor to keep.
struct TDrawDibState {};

namespace {

// Live handles, so that a stale or foreign one is refused instead of used.
std::mutex HandlesLock;
std::set<TDrawDibState*> Handles;

bool IsLive(HDRAWDIB Handle) {
    std::lock_guard lock(HandlesLock);
    return Handles.count(Handle) != 0;
}

} // namespace

HDRAWDIB DrawDibOpen() {
    auto* state = new TDrawDibState;
    std::lock_guard lock(HandlesLock);
    Handles.insert(state);
    return state;
}

bool DrawDibClose(HDRAWDIB Handle) {
    {
        std::lock_guard lock(HandlesLock);
        if (Handles.erase(Handle) == 0) return false;
    }
    delete Handle;
    return true;
}

uint32_t DrawDibRealize(HDRAWDIB, HDC, bool) {
    return 0;
}

bool DrawDibDraw(HDRAWDIB Handle, HDC Dc, int32_t XDst, int32_t YDst, int32_t DxDst, int32_t DyDst,
                 const BITMAPINFOHEADER* Header, const void* Bits, int32_t XSrc, int32_t YSrc,
                 int32_t DxSrc, int32_t DySrc, uint32_t) {
    if (!IsLive(Handle) || Header == nullptr || Bits == nullptr) return false;
    const int32_t dibHeight = std::abs(Header->biHeight);
    if (DxSrc == -1) DxSrc = Header->biWidth;
    if (DySrc == -1) DySrc = dibHeight;
    if (DxDst == -1) DxDst = DxSrc;
    if (DyDst == -1) DyDst = DySrc;
    // StretchDIBits measures a bottom-up DIB's source rectangle from its bottom row.
    const int32_t srcY = Header->biHeight > 0 ? dibHeight - YSrc - DySrc : YSrc;
    const int32_t oldMode = SetStretchBltMode(Dc, COLORONCOLOR);
    const int32_t rows =
        StretchDIBits(Dc, XDst, YDst, DxDst, DyDst, XSrc, srcY, DxSrc, DySrc, Bits,
                      reinterpret_cast<const BITMAPINFO*>(Header), DIB_RGB_COLORS, SRCCOPY);
    if (oldMode != 0) SetStretchBltMode(Dc, oldMode);
    return rows > 0;
}
