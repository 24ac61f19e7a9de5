// Global memory blocks on the heap, with a registry so that a stale handle fails cleanly.
#include "platform/gfx/GlobalMemory.h"

#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

struct Block {
    std::unique_ptr<uint8_t[]> Data;
    size_t Size = 0;
    int32_t Locks = 0;
};

// Largest block handed out; larger requests fail like an exhausted heap.
constexpr size_t MaxBlockBytes = size_t{1} << 40;

struct Blocks {
    std::mutex Lock;
    std::unordered_set<Block*> Live;
};

Blocks& TheBlocks() {
    static Blocks* blocks = new Blocks;
    return *blocks;
}

Block* Find(HGLOBAL memory) {
    Blocks& b = TheBlocks();
    std::lock_guard guard(b.Lock);
    auto* block = static_cast<Block*>(memory);
    return b.Live.contains(block) ? block : nullptr;
}

} // namespace

HGLOBAL GlobalAlloc(uint32_t Flags, size_t Bytes) {
    if (Bytes > MaxBlockBytes) return nullptr;
    auto block = std::make_unique<Block>();
    // A zero-byte request still gets a block of its own, so that its handle is unique.
    const size_t allocated = Bytes == 0 ? 1 : Bytes;
    block->Data.reset((Flags & GMEM_ZEROINIT) ? new (std::nothrow) uint8_t[allocated]()
                                              : new (std::nothrow) uint8_t[allocated]);
    if (!block->Data) return nullptr;
    block->Size = Bytes;
    Blocks& b = TheBlocks();
    std::lock_guard guard(b.Lock);
    return *b.Live.insert(block.release()).first;
}

void* GlobalLock(HGLOBAL Memory) {
    Block* block = Find(Memory);
    if (block == nullptr) return nullptr;
    ++block->Locks;
    return block->Data.get();
}

bool GlobalUnlock(HGLOBAL Memory) {
    Block* block = Find(Memory);
    if (block == nullptr || block->Locks == 0) return false;
    return --block->Locks > 0;
}

HGLOBAL GlobalFree(HGLOBAL Memory) {
    Blocks& b = TheBlocks();
    std::lock_guard guard(b.Lock);
    auto* block = static_cast<Block*>(Memory);
    if (b.Live.erase(block) == 0) return Memory;
    delete block;
    return nullptr;
}

size_t GlobalSize(HGLOBAL Memory) {
    const Block* block = Find(Memory);
    return block == nullptr ? 0 : block->Size;
}
