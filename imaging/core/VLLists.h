// Small containers of the library: typed lists of fixed-size items, a growable byte array and a
// hash set of 32-bit keys. None is thread-safe.
#pragma once

#include "platform/rtl/Classes.h"

#include <memory>
#include <vector>

// Items of ItemBytes bytes each in one block of exactly ItemCount x ItemBytes bytes (no spare
// capacity: every change of count reallocates).
class TVLList : public TObject {
public:
    // Bit of ChangeFlags: the list was changed since it was last cleared.
    static constexpr uint8_t ChangedFlag = 1;

    TVLList() = default;
    TVLList(const TVLList&) = delete;
    TVLList& operator=(const TVLList&) = delete;

    // A negative count counts as 0.
    virtual void SetCount(int32_t NewCount);
    // Copies ItemBytes bytes from Item into a new last slot; returns its index.
    int32_t Add(const void* Item);
    // An index outside the list is ignored.
    virtual void Delete(int32_t Index);
    // Address of item Index; nil outside the list.
    void* GetItemAddress(int32_t Index) const;
    virtual void Clear();
    // Copies count, item size, flags and items; nil does nothing.
    virtual void Assign(const TVLList* Source);

    int32_t ItemCount() const { return FItemCount; }
    int32_t ItemBytes() const { return FItemBytes; }
    uint8_t ChangeFlags = 0;

protected:
    int32_t FItemBytes = 0;

private:
    int32_t FItemCount = 0;
    std::unique_ptr<uint8_t[]> FItems;
};

// Values of type T, with the range of accepted values, its step and the value in force.
template <typename T> class TVLRangedList : public TVLList {
public:
    TVLRangedList() { Clear(); }
    void Clear() override;
    // Source must be a list of the same type (EInvalidCast otherwise, nothing copied).
    void Assign(const TVLList* Source) override;
    T LowBound = 0;
    T HighBound = 0;
    T Increment = 0;
    T ActualValue = 0;
};
extern template class TVLRangedList<double>;
extern template class TVLRangedList<int32_t>;

using TVLDoubleList = TVLRangedList<double>;
using TVLIntegerList = TVLRangedList<int32_t>;

// Records of a size given at construction.
class TVLRecordList : public TVLList {
public:
    explicit TVLRecordList(int32_t ItemBytes);
    int32_t AddItem(const void* Record) { return Add(Record); }
    void* GetItem(int32_t Index) const { return GetItemAddress(Index); }
};

// A byte buffer that grows in steps of BlockSize and gives memory back when it shrinks by more
// than a step.
class TVLByteArray : public TObject {
public:
    explicit TVLByteArray(int32_t BlockSize);
    TVLByteArray(const TVLByteArray&) = delete;
    TVLByteArray& operator=(const TVLByteArray&) = delete;

    // A negative size counts as 0. Bytes up to the smaller of the two sizes are kept.
    void SetSize(int32_t NewSize);
    void AppendByte(uint8_t Value);
    // Appends up to Count bytes read from Stream; returns how many arrived.
    int32_t AppendFromStream(TStream& Stream, int32_t Count);

    int32_t Size() const { return FSize; }
    int32_t Capacity() const { return FCapacity; }
    int32_t BlockSize() const { return FBlockSize; }
    uint8_t* Data() { return FData.get(); }
    const uint8_t* Data() const { return FData.get(); }

private:
    void Reallocate(int32_t NewCapacity, int32_t KeepBytes);
    int32_t FSize = 0;
    int32_t FCapacity = 0;
    int32_t FBlockSize = 0;
    std::unique_ptr<uint8_t[]> FData;
};

// One link of a bucket's chain.
struct THash1Item {
    uint32_t Key = 0;
    THash1Item* Next = nullptr;
    void* Data = nullptr;
};

// A set of 32-bit keys in 2^HashBits buckets, a bucket keyed by the key's low bits. A bucket is
// empty (state 0), holds one key (state 1) or a chain of items (state 2).
class THash1 : public TObject {
public:
    explicit THash1(int32_t HashBits);
    ~THash1() override;
    THash1(const THash1&) = delete;
    THash1& operator=(const THash1&) = delete;

    int32_t BucketOf(uint32_t Key) const { return static_cast<int32_t>(Key & (FBucketCount - 1)); }
    // Adds Key; false when it was there. Bucket receives the key's bucket, NewItem the chain
    // item made for the key (nil when the key went into an empty bucket or was there).
    bool InsertKey(uint32_t Key, int32_t& Bucket, THash1Item*& NewItem);
    bool Insert(uint32_t Key);

    int32_t HashBits() const { return FHashBits; }
    int32_t BucketCount() const { return static_cast<int32_t>(FBucketCount); }
    int32_t KeyCount() const { return FKeyCount; }
    uint8_t BucketState(int32_t Bucket) const { return FBucketStates.at(Bucket); }
    // The value kept with the single key of a state-1 bucket; it becomes the data of the first
    // chain item when the bucket turns into a chain.
    void* BucketData(int32_t Bucket) const { return FBucketData.at(Bucket); }
    void SetBucketData(int32_t Bucket, void* Data) { FBucketData.at(Bucket) = Data; }
    // The first item of a state-2 bucket's chain; nil for other states.
    THash1Item* BucketChain(int32_t Bucket) const;

private:
    std::vector<uint32_t> FBucketKeys;
    std::vector<uint8_t> FBucketStates;
    std::vector<void*> FBucketData;
    std::vector<THash1Item*> FBucketChains;
    int32_t FHashBits;
    uint32_t FBucketCount;
    int32_t FKeyCount = 0;
};
