// Pointer map, rectangle list and class list.
#include "raster/RasterContainers.h"

#include <algorithm>

namespace raster {

int32_t TPointerMap::BucketOf(const void* Item) {
    return static_cast<int32_t>((reinterpret_cast<uintptr_t>(Item) >> 8) & 0xFF);
}

TPointerMap::~TPointerMap() {
    Clear();
}

void** TPointerMap::Add(void* NewItem, void* NewData, bool& IsNew) {
    int32_t bucketIndex, itemIndex;
    if (Exists(NewItem, bucketIndex, itemIndex)) {
        IsNew = false;
        return &FBuckets[bucketIndex].Items[itemIndex].Data;
    }
    TPointerBucket& bucket = FBuckets[bucketIndex];
    const auto capacity = static_cast<int32_t>(bucket.Items.size());
    if (bucket.Count == capacity) {
        const int32_t delta = capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4;
        bucket.Items.resize(static_cast<size_t>(capacity + delta));
    }
    bucket.Items[bucket.Count] = {NewItem, NewData};
    IsNew = true;
    ++FCount;
    return &bucket.Items[bucket.Count++].Data;
}

void** TPointerMap::Add(void* NewItem) {
    bool isNew;
    return Add(NewItem, nullptr, isNew);
}

void** TPointerMap::Add(void* NewItem, void* NewData) {
    bool isNew;
    return Add(NewItem, NewData, isNew);
}

void** TPointerMap::Add(void* NewItem, bool& IsNew) {
    return Add(NewItem, nullptr, IsNew);
}

bool TPointerMap::Exists(void* Item, int32_t& BucketIndex, int32_t& ItemIndex) const {
    BucketIndex = BucketOf(Item);
    const TPointerBucket& bucket = FBuckets[BucketIndex];
    for (int32_t i = 0; i < bucket.Count; ++i)
        if (bucket.Items[i].Item == Item) {
            ItemIndex = i;
            return true;
        }
    return false;
}

bool TPointerMap::Contains(void* Item) const {
    int32_t bucketIndex, itemIndex;
    return Exists(Item, bucketIndex, itemIndex);
}

bool TPointerMap::Find(void* Item, void**& PData) {
    int32_t bucketIndex, itemIndex;
    if (!Exists(Item, bucketIndex, itemIndex)) return false;
    PData = &FBuckets[bucketIndex].Items[itemIndex].Data;
    return true;
}

namespace {

[[noreturn]] void ItemNotFound(const void* Item) {
    throw EListError(u"Item not found ($0" + IntToHex(reinterpret_cast<uintptr_t>(Item), 1) + u")");
}

} // namespace

void* TPointerMap::GetData(void* Item) const {
    int32_t bucketIndex, itemIndex;
    if (!Exists(Item, bucketIndex, itemIndex)) ItemNotFound(Item);
    return FBuckets[bucketIndex].Items[itemIndex].Data;
}

void TPointerMap::SetData(void* Item, void* NewData) {
    int32_t bucketIndex, itemIndex;
    if (!Exists(Item, bucketIndex, itemIndex)) ItemNotFound(Item);
    FBuckets[bucketIndex].Items[itemIndex].Data = NewData;
}

void* TPointerMap::Remove(void* Item) {
    int32_t bucketIndex, itemIndex;
    if (!Exists(Item, bucketIndex, itemIndex)) return nullptr;
    return Delete(bucketIndex, itemIndex);
}

void* TPointerMap::Delete(int32_t BucketIndex, int32_t ItemIndex) {
    TPointerBucket& bucket = FBuckets[BucketIndex];
    void* data = bucket.Items[ItemIndex].Data;
    if (FCount == 0) return data;
    if (bucket.Count == 1) {
        std::vector<TPointerBucketItem>().swap(bucket.Items);
    } else {
        std::move(bucket.Items.begin() + ItemIndex + 1, bucket.Items.begin() + bucket.Count,
                  bucket.Items.begin() + ItemIndex);
    }
    --bucket.Count;
    --FCount;
    return data;
}

void TPointerMap::Clear() {
    FCount = 0;
    for (int32_t b = 0; b < 256; ++b) {
        for (int32_t i = FBuckets[b].Count - 1; i >= 0; --i)
            Delete(b, i);
        FBuckets[b].Count = 0;
        std::vector<TPointerBucketItem>().swap(FBuckets[b].Items);
    }
}

bool TPointerMapIterator::Next() {
    if (EntryCursor > 0) {
        --EntryCursor;
    } else {
        EntryCursor = -1;
        while (EntryCursor < 0 && BucketCursor < 255) {
            ++BucketCursor;
            EntryCursor = WalkedMap.Bucket(BucketCursor).Count - 1;
        }
        if (EntryCursor < 0) return false;
    }
    const TPointerBucketItem& entry = WalkedMap.Bucket(BucketCursor).Items[EntryCursor];
    CurrentItem = entry.Item;
    CurrentData = entry.Data;
    return true;
}

TRectList::~TRectList() {
    SetCount(0);
    SetCapacity(0);
}

void TRectList::CheckIndex(int32_t Index, int32_t Limit) const {
    if (Index < 0 || Index > Limit)
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
}

int32_t TRectList::Add(const TRect& Rect) {
    if (FCount == FCapacity) Grow();
    FBlock[FCount] = Rect;
    return FCount++;
}

void TRectList::Insert(int32_t Index, const TRect& Rect) {
    CheckIndex(Index, FCount);
    if (FCount == FCapacity) Grow();
    std::move_backward(FBlock.begin() + Index, FBlock.begin() + FCount,
                       FBlock.begin() + FCount + 1);
    FBlock[Index] = Rect;
    ++FCount;
}

void TRectList::Delete(int32_t Index) {
    CheckIndex(Index, FCount - 1);
    --FCount;
    std::move(FBlock.begin() + Index + 1, FBlock.begin() + FCount + 1, FBlock.begin() + Index);
}

int32_t TRectList::Remove(const TRect& Rect) {
    const int32_t index = IndexOf(Rect);
    if (index >= 0) Delete(index);
    return index;
}

int32_t TRectList::IndexOf(const TRect& Rect) const {
    for (int32_t i = 0; i < FCount; ++i)
        if (EqualRect(FBlock[i], Rect)) return i;
    return -1;
}

void TRectList::Exchange(int32_t Index1, int32_t Index2) {
    CheckIndex(Index1, FCount - 1);
    CheckIndex(Index2, FCount - 1);
    std::swap(FBlock[Index1], FBlock[Index2]);
}

void TRectList::Move(int32_t CurIndex, int32_t NewIndex) {
    if (CurIndex == NewIndex) return;
    CheckIndex(CurIndex, FCount - 1);
    CheckIndex(NewIndex, FCount - 1);
    const TRect moved = FBlock[CurIndex];
    Delete(CurIndex);
    Insert(NewIndex, moved);
}

void TRectList::Clear() {
    SetCount(0);
    SetCapacity(10);
}

TRect* TRectList::Get(int32_t Index) {
    if (Index < 0 || Index >= FCount) return nullptr;
    return &FBlock[Index];
}

void TRectList::SetCount(int32_t Value) {
    Value = std::max(Value, 0);
    if (Value > FCapacity) SetCapacity(Value);
    if (Value > FCount) std::fill(FBlock.begin() + FCount, FBlock.begin() + Value, TRect{});
    FCount = Value;
}

void TRectList::SetCapacity(int32_t Value) {
    Value = std::max(Value, FCount);
    if (Value == FCapacity) return;
    FBlock.resize(static_cast<size_t>(Value));
    FBlock.shrink_to_fit();
    FCapacity = Value;
}

void TRectList::Grow() {
    const int32_t delta = FCapacity > 128 ? FCapacity / 4 : FCapacity > 8 ? 32 : 8;
    SetCapacity(FCapacity + delta);
}

int32_t TClassList::Add(TPersistentClass AClass) {
    return FList.Add(const_cast<TClassInfo*>(AClass));
}

TPersistentClass TClassList::Extract(TPersistentClass Item) {
    const int32_t index = IndexOf(Item);
    if (index < 0) return nullptr;
    FList.Delete(index);
    return Item;
}

TPersistentClass TClassList::First() const {
    return static_cast<TPersistentClass>(FList.First());
}

TPersistentClass TClassList::Last() const {
    return static_cast<TPersistentClass>(FList.Last());
}

int32_t TClassList::IndexOf(TPersistentClass AClass) const {
    return FList.IndexOf(const_cast<TClassInfo*>(AClass));
}

void TClassList::Insert(int32_t Index, TPersistentClass AClass) {
    FList.Insert(Index, const_cast<TClassInfo*>(AClass));
}

int32_t TClassList::Remove(TPersistentClass AClass) {
    return FList.Remove(const_cast<TClassInfo*>(AClass));
}

TPersistentClass TClassList::Items(int32_t Index) const {
    return static_cast<TPersistentClass>(FList.Get(Index));
}

void TClassList::SetItems(int32_t Index, TPersistentClass AClass) {
    FList.Put(Index, const_cast<TClassInfo*>(AClass));
}

TPersistentClass TClassList::Find(const String& AClassName) const {
    for (int32_t i = 0; i < Count(); ++i)
        if (Items(i)->ClassName == AClassName) return Items(i);
    return nullptr;
}

void TClassList::GetClassNames(TStringList& Strings) const {
    for (int32_t i = 0; i < Count(); ++i)
        Strings.Add(Items(i)->ClassName);
}

} // namespace raster
