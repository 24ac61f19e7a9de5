// Typed lists, byte array and hash set.
#include "imaging/core/VLLists.h"

#include <algorithm>
#include <cstring>

namespace {
size_t BlockBytes(int32_t Count, int32_t ItemBytes) {
    return static_cast<size_t>(Count) * static_cast<size_t>(std::max(ItemBytes, 0));
}

std::unique_ptr<uint8_t[]> NewBlock(size_t Bytes) {
    return Bytes == 0 ? nullptr : std::make_unique<uint8_t[]>(Bytes);
}
} // namespace

void TVLList::SetCount(int32_t NewCount) {
    NewCount = std::max(NewCount, 0);
    auto block = NewBlock(BlockBytes(NewCount, FItemBytes));
    const size_t keep = BlockBytes(std::min(FItemCount, NewCount), FItemBytes);
    if (keep > 0) std::memcpy(block.get(), FItems.get(), keep);
    FItems = std::move(block);
    FItemCount = NewCount;
    ChangeFlags |= ChangedFlag;
}

int32_t TVLList::Add(const void* Item) {
    SetCount(FItemCount + 1);
    const int32_t index = FItemCount - 1;
    if (FItemBytes > 0) std::memcpy(GetItemAddress(index), Item, FItemBytes);
    ChangeFlags |= ChangedFlag;
    return index;
}

void TVLList::Delete(int32_t Index) {
    if (Index < 0 || Index >= FItemCount) return;
    auto block = NewBlock(BlockBytes(FItemCount - 1, FItemBytes));
    const size_t before = BlockBytes(Index, FItemBytes);
    const size_t after = BlockBytes(FItemCount - 1 - Index, FItemBytes);
    if (before > 0) std::memcpy(block.get(), FItems.get(), before);
    if (after > 0)
        std::memcpy(block.get() + before, FItems.get() + before + BlockBytes(1, FItemBytes), after);
    FItems = std::move(block);
    --FItemCount;
    ChangeFlags |= ChangedFlag;
}

void* TVLList::GetItemAddress(int32_t Index) const {
    if (Index < 0 || Index >= FItemCount || !FItems) return nullptr;
    return FItems.get() + BlockBytes(Index, FItemBytes);
}

void TVLList::Clear() {
    FItemCount = 0;
    FItems.reset();
    ChangeFlags = 0;
}

void TVLList::Assign(const TVLList* Source) {
    if (Source == nullptr || Source == this) return;
    const size_t bytes = BlockBytes(Source->FItemCount, Source->FItemBytes);
    auto block = NewBlock(bytes);
    if (bytes > 0) std::memcpy(block.get(), Source->FItems.get(), bytes);
    FItems = std::move(block);
    FItemCount = Source->FItemCount;
    FItemBytes = Source->FItemBytes;
    ChangeFlags = Source->ChangeFlags;
}

namespace {
// The class check comes before anything is copied, so a failed Assign changes nothing.
template <class ListT> const ListT* SameClass(const TVLList* Source) {
    if (Source == nullptr) return nullptr;
    const auto* typed = dynamic_cast<const ListT*>(Source);
    if (typed == nullptr) throw EInvalidCast(u"Invalid class typecast");
    return typed;
}
} // namespace

template <typename T> void TVLRangedList<T>::Clear() {
    TVLList::Clear();
    FItemBytes = sizeof(T);
    LowBound = HighBound = Increment = ActualValue = 0;
}

template <typename T> void TVLRangedList<T>::Assign(const TVLList* Source) {
    const auto* source = SameClass<TVLRangedList<T>>(Source);
    if (source == nullptr) return;
    TVLList::Assign(source);
    LowBound = source->LowBound;
    HighBound = source->HighBound;
    Increment = source->Increment;
    ActualValue = source->ActualValue;
}

template class TVLRangedList<double>;
template class TVLRangedList<int32_t>;

TVLRecordList::TVLRecordList(int32_t ItemBytes) {
    FItemBytes = std::max(ItemBytes, 0);
}

TVLByteArray::TVLByteArray(int32_t BlockSize)
    : FCapacity(std::max(BlockSize, 0)), FBlockSize(FCapacity),
      FData(std::make_unique<uint8_t[]>(std::max(FCapacity, 1))) {}

void TVLByteArray::Reallocate(int32_t NewCapacity, int32_t KeepBytes) {
    auto block = std::make_unique<uint8_t[]>(std::max(NewCapacity, 1));
    if (KeepBytes > 0) std::memcpy(block.get(), FData.get(), KeepBytes);
    FData = std::move(block);
    FCapacity = NewCapacity;
}

void TVLByteArray::SetSize(int32_t NewSize) {
    NewSize = std::max(NewSize, 0);
    if (NewSize > FSize) {
        if (NewSize > FCapacity) {
            if (NewSize > INT32_MAX - FBlockSize) throw EOutOfMemory(u"Out of memory");
            Reallocate(NewSize + FBlockSize, FSize);
        }
    } else if (NewSize < FCapacity - FBlockSize) {
        Reallocate(NewSize + FBlockSize, NewSize);
    }
    FSize = NewSize;
}

void TVLByteArray::AppendByte(uint8_t Value) {
    SetSize(FSize + 1);
    FData[FSize - 1] = Value;
}

int32_t TVLByteArray::AppendFromStream(TStream& Stream, int32_t Count) {
    if (Count <= 0) return 0;
    const int32_t old = FSize;
    SetSize(old + Count);
    const int32_t got = std::max(Stream.Read(FData.get() + old, Count), 0);
    if (got < Count) SetSize(old + got);
    return got;
}

THash1::THash1(int32_t HashBits)
    : FHashBits(HashBits), FBucketCount(uint32_t{1} << (HashBits & 31)) {
    FBucketKeys.assign(FBucketCount, 0);
    FBucketStates.assign(FBucketCount, 0);
    FBucketData.assign(FBucketCount, nullptr);
    FBucketChains.assign(FBucketCount, nullptr);
}

THash1::~THash1() {
    for (THash1Item* item : FBucketChains) {
        while (item != nullptr) {
            THash1Item* next = item->Next;
            delete item;
            item = next;
        }
    }
}

THash1Item* THash1::BucketChain(int32_t Bucket) const {
    return FBucketStates.at(Bucket) == 2 ? FBucketChains[Bucket] : nullptr;
}

bool THash1::InsertKey(uint32_t Key, int32_t& Bucket, THash1Item*& NewItem) {
    NewItem = nullptr;
    Bucket = BucketOf(Key);
    switch (FBucketStates[Bucket]) {
    case 0:
        FBucketStates[Bucket] = 1;
        FBucketKeys[Bucket] = Key;
        break;
    case 1: {
        if (FBucketKeys[Bucket] == Key) return false;
        auto added = std::make_unique<THash1Item>(THash1Item{Key, nullptr, nullptr});
        FBucketChains[Bucket] =
            new THash1Item{FBucketKeys[Bucket], added.get(), FBucketData[Bucket]};
        NewItem = added.release();
        FBucketStates[Bucket] = 2;
        break;
    }
    default: {
        THash1Item* last = FBucketChains[Bucket];
        for (THash1Item* item = last; item != nullptr; item = item->Next) {
            if (item->Key == Key) return false;
            last = item;
        }
        last->Next = new THash1Item{Key, nullptr, nullptr};
        NewItem = last->Next;
        break;
    }
    }
    ++FKeyCount;
    return true;
}

bool THash1::Insert(uint32_t Key) {
    int32_t bucket = 0;
    THash1Item* item = nullptr;
    return InsertKey(Key, bucket, item);
}
