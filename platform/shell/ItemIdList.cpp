// Item-ID lists over the components of file paths.
#include "platform/shell/ItemIdList.h"

#include "platform/rtl/SysUtils.h"

#include <cstring>
#include <filesystem>
#include <vector>

namespace {

constexpr uint32_t TerminatorSize = 2;
// The largest component an item can hold: its size must fit in 16 bits.
constexpr size_t MaxComponentUnits = (0xFFFF - 2) / 2;

uint16_t ItemSize(const uint8_t* Item) {
    uint16_t cb;
    std::memcpy(&cb, Item, 2);
    return cb;
}

std::vector<String> PathComponents(const String& Path) {
    std::vector<String> parts;
    size_t start = 1;
    while (start <= Path.size()) {
        size_t end = Path.find(u'/', start);
        if (end == String::npos) end = Path.size();
        if (end > start) parts.push_back(Path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

} // namespace

uint32_t ILGetSize(const ITEMIDLIST* pidl) {
    if (pidl == nullptr) return 0;
    const auto* at = reinterpret_cast<const uint8_t*>(pidl);
    uint32_t size = 0;
    for (uint16_t cb = ItemSize(at); cb != 0; cb = ItemSize(at + size)) size += cb;
    return size + TerminatorSize;
}

void ILFree(ITEMIDLIST* pidl) {
    CoTaskMemFree(pidl);
}

ITEMIDLIST* ILClone(const ITEMIDLIST* pidl) {
    if (pidl == nullptr) return nullptr;
    const uint32_t size = ILGetSize(pidl);
    void* copy = CoTaskMemAlloc(size);
    if (copy != nullptr) std::memcpy(copy, pidl, size);
    return static_cast<ITEMIDLIST*>(copy);
}

const ITEMIDLIST* ILFindChild(const ITEMIDLIST* Parent, const ITEMIDLIST* Child) {
    if (Parent == nullptr || Child == nullptr) return nullptr;
    const auto* p = reinterpret_cast<const uint8_t*>(Parent);
    const auto* c = reinterpret_cast<const uint8_t*>(Child);
    for (uint16_t cb = ItemSize(p); cb != 0; cb = ItemSize(p)) {
        if (ItemSize(c) != cb || std::memcmp(p, c, cb) != 0) return nullptr;
        p += cb;
        c += cb;
    }
    return reinterpret_cast<const ITEMIDLIST*>(c);
}

HRESULT SHParseDisplayName(const String& Path, ITEMIDLIST** ppidl) {
    if (ppidl == nullptr) return E_POINTER;
    *ppidl = nullptr;
    if (Path.empty() || Path[0] != u'/') return E_INVALIDARG;
    const std::vector<String> parts = PathComponents(Path);
    size_t size = TerminatorSize;
    for (const String& part : parts) {
        if (part == u"." || part == u".." || part.size() > MaxComponentUnits) return E_INVALIDARG;
        size += 2 + 2 * part.size();
    }
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(FileSystemName(Path), error)))
        return E_FAIL;
    auto* list = static_cast<uint8_t*>(CoTaskMemAlloc(size));
    if (list == nullptr) return E_OUTOFMEMORY;
    uint8_t* at = list;
    for (const String& part : parts) {
        const auto cb = static_cast<uint16_t>(2 + 2 * part.size());
        std::memcpy(at, &cb, 2);
        std::memcpy(at + 2, part.data(), 2 * part.size());
        at += cb;
    }
    std::memset(at, 0, TerminatorSize);
    *ppidl = reinterpret_cast<ITEMIDLIST*>(list);
    return S_OK;
}
