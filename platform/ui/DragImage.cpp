// The drag image kept in the dragged data object.
#include "platform/ui/DragImage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The block: width, height, hot spot x and y (int32 each), then the top-down pixels.
constexpr size_t HeaderSize = 4 * sizeof(int32_t);

FORMATETC DragImageFormat() {
    FORMATETC format;
    format.cfFormat = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(u"DragImageBits"));
    format.tymed = TYMED_HGLOBAL;
    return format;
}

std::vector<uint32_t> ReadPixels(HBITMAP Bitmap, int32_t Width, int32_t Height, COLORREF Key) {
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(Width) * static_cast<size_t>(Height));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, Bitmap);
    for (int32_t y = 0; y < Height; ++y)
        for (int32_t x = 0; x < Width; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            const uint32_t rgb = (c & 0xFFu) << 16 | (c & 0xFF00u) | (c >> 16 & 0xFFu);
            pixels.push_back(c == Key ? 0u : 0xFF000000u | rgb);
        }
    SelectObject(dc, previous);
    DeleteDC(dc);
    return pixels;
}

} // namespace

HRESULT InitializeDragImage(const SHDRAGIMAGE* Image, IDataObject* Data) {
    if (Image == nullptr || Data == nullptr || Image->hbmpDragImage == nullptr) return E_INVALIDARG;
    BITMAP info{};
    if (GetObjectW(Image->hbmpDragImage, sizeof(info), &info) != sizeof(info)) return E_INVALIDARG;
    // What lies beyond the bitmap is not shown.
    const int32_t w = std::min(Image->sizeDragImage.cx, info.bmWidth);
    const int32_t h = std::min(Image->sizeDragImage.cy, std::abs(info.bmHeight));
    if (w <= 0 || h <= 0) return E_INVALIDARG;
    const std::vector<uint32_t> pixels = ReadPixels(Image->hbmpDragImage, w, h, Image->crColorKey);
    const int32_t header[4] = {w, h, Image->ptOffset.X, Image->ptOffset.Y};
    const size_t bytes = HeaderSize + pixels.size() * sizeof(uint32_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) return E_OUTOFMEMORY;
    auto* p = static_cast<uint8_t*>(GlobalLock(block));
    std::memcpy(p, header, HeaderSize);
    std::memcpy(p + HeaderSize, pixels.data(), pixels.size() * sizeof(uint32_t));
    GlobalUnlock(block);
    FORMATETC format = DragImageFormat();
    STGMEDIUM medium;
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    const HRESULT result = Data->SetData(&format, &medium, true);
    if (FAILED(result)) GlobalFree(block);
    return result;
}

bool GetDragImage(IDataObject* Data, TDragImage& Image) {
    if (Data == nullptr) return false;
    FORMATETC format = DragImageFormat();
    STGMEDIUM medium;
    if (Data->GetData(&format, &medium) != S_OK) return false;
    bool found = false;
    const size_t size = medium.tymed == TYMED_HGLOBAL ? GlobalSize(medium.hGlobal) : 0;
    const auto* p =
        size >= HeaderSize ? static_cast<const uint8_t*>(GlobalLock(medium.hGlobal)) : nullptr;
    if (p != nullptr) {
        int32_t header[4];
        std::memcpy(header, p, HeaderSize);
        const auto count = static_cast<uint64_t>(std::max(header[0], 0)) *
                           static_cast<uint64_t>(std::max(header[1], 0));
        found = header[0] > 0 && header[1] > 0 && count * sizeof(uint32_t) == size - HeaderSize;
        if (found) {
            Image.Width = header[0];
            Image.Height = header[1];
            Image.HotSpot = POINT{header[2], header[3]};
            Image.Pixels.resize(static_cast<size_t>(count));
            std::memcpy(Image.Pixels.data(), p + HeaderSize, size - HeaderSize);
        }
        GlobalUnlock(medium.hGlobal);
    }
    ReleaseStgMedium(&medium);
    return found;
}
