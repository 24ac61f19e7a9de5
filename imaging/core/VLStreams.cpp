// The library's memory blocks and temporary file names.
#include "imaging/core/VLStreams.h"

#include "platform/rtl/SysUtils.h"

#include <cstdlib>
#include <mutex>
#include <random>

void* AllocGlobalZeroed(size_t Bytes) {
    return std::calloc(Bytes == 0 ? 1 : Bytes, 1);
}

void FreeGlobal(void*& P) {
    std::free(P);
    P = nullptr;
}

namespace {
// The header keeps the caller's bytes aligned like anything malloc returns.
constexpr size_t BlockHeader = alignof(std::max_align_t);
constexpr uint8_t TagHeap = 0;
constexpr uint8_t TagGlobal = 1;
constexpr size_t HeapBlockLimit = 0x100000;
} // namespace

void* AllocBlock(size_t Size) {
    if (Size > SIZE_MAX - BlockHeader) return nullptr;
    uint8_t* block = nullptr;
    uint8_t tag = TagGlobal;
    if (Size < HeapBlockLimit) {
        block = static_cast<uint8_t*>(std::malloc(Size + BlockHeader));
        tag = TagHeap;
    }
    if (block == nullptr) {
        block = static_cast<uint8_t*>(AllocGlobalZeroed(Size + BlockHeader));
        tag = TagGlobal;
    }
    if (block == nullptr) return nullptr;
    block[0] = tag;
    return block + BlockHeader;
}

void FreeBlock(void*& P) {
    if (P == nullptr) return;
    void* block = static_cast<uint8_t*>(P) - BlockHeader;
    // Both routes end in the C heap here; the tag is kept so the block layout stays one.
    if (*static_cast<uint8_t*>(block) == TagGlobal)
        FreeGlobal(block);
    else
        std::free(block);
    P = nullptr;
}

void TryGetMem(void*& P, size_t Size) {
    P = std::malloc(Size == 0 ? 1 : Size);
}

String MakeTempFileName(const String& Prefix, const String& Folder) {
    static std::mutex lock;
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<uint32_t> pick(0, 0x7FFFFFFE);
    const String folder = Folder.empty() ? Folder : IncludeTrailingPathDelimiter(Folder);
    for (;;) {
        uint32_t value;
        {
            std::lock_guard guard(lock);
            value = pick(random);
        }
        String name = folder + Prefix + u"-" + IntToHex(value, 8) + u".tmp";
        if (!FileExists(name) && !DirectoryExists(name)) return name;
    }
}
