// Unit Raster_Containers: a hash map from pointers to pointers with its iterator, a growable
// array of rectangles, and a list of classes searched by class name.
//
// The class library copies published properties generically through its type information; C++
// has none, so each class of this library copies its own published properties in its Assign.
#pragma once

#include "raster/RasterTypes.h"

#include "platform/rtl/ClassName.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/StringList.h"

#include <array>
#include <type_traits>
#include <vector>

namespace raster {

struct TPointerBucketItem {
    void* Item = nullptr;
    void* Data = nullptr;
};

// One bucket: Count entries in insertion order; the array's length is the capacity.
struct TPointerBucket {
    int32_t Count = 0;
    std::vector<TPointerBucketItem> Items;
};

// Pointers to pointers, hashed by bits 8 to 15 of the key's address.
class TPointerMap : public TObject {
public:
    TPointerMap() = default;
    ~TPointerMap() override;
    TPointerMap(const TPointerMap&) = delete;
    TPointerMap& operator=(const TPointerMap&) = delete;

    // The entry's Data slot; an existing Item keeps its Data (IsNew false).
    void** Add(void* NewItem, void* NewData, bool& IsNew);
    void** Add(void* NewItem);
    void** Add(void* NewItem, void* NewData);
    void** Add(void* NewItem, bool& IsNew);
    // BucketIndex is always set, ItemIndex only when found.
    bool Exists(void* Item, int32_t& BucketIndex, int32_t& ItemIndex) const;
    bool Contains(void* Item) const;
    bool Find(void* Item, void**& PData);
    // An absent Item raises EListError.
    void* GetData(void* Item) const;
    void SetData(void* Item, void* NewData);
    // Deletes Item's entry through Delete; its Data, or nil when absent.
    void* Remove(void* Item);
    // Takes entry ItemIndex out of bucket BucketIndex and returns its Data. Descendants that own
    // their Data free it after calling this, and call Clear in their own destructor (the base
    // destructor no longer reaches their Delete).
    virtual void* Delete(int32_t BucketIndex, int32_t ItemIndex);
    void Clear();
    int32_t Count() const { return FCount; }
    const TPointerBucket& Bucket(int32_t Index) const { return FBuckets[Index]; }

    static int32_t BucketOf(const void* Item);

private:
    std::array<TPointerBucket, 256> FBuckets;
    int32_t FCount = 0;
};

// Walks a map: buckets 0 to 255, the entries of each from the last to the first.
class TPointerMapIterator : public TObject {
public:
    explicit TPointerMapIterator(const TPointerMap& AMap) : WalkedMap(AMap) {}
    bool Next();

    const TPointerMap& WalkedMap;
    void* CurrentItem = nullptr;
    void* CurrentData = nullptr;
    int32_t BucketCursor = -1;
    int32_t EntryCursor = -1;
};

// A growable array of rectangles stored inline.
class TRectList : public TObject {
public:
    TRectList() = default;
    ~TRectList() override;
    TRectList(const TRectList&) = delete;
    TRectList& operator=(const TRectList&) = delete;

    int32_t Add(const TRect& Rect);
    // Index 0 .. Count; others raise EListError.
    void Insert(int32_t Index, const TRect& Rect);
    // Indexes 0 .. Count - 1; others raise EListError (so do Exchange and Move).
    void Delete(int32_t Index);
    int32_t Remove(const TRect& Rect);
    int32_t IndexOf(const TRect& Rect) const;
    void Exchange(int32_t Index1, int32_t Index2);
    void Move(int32_t CurIndex, int32_t NewIndex);
    // Nothing to remove: no stored rectangle can be absent.
    void Pack() {}
    // Count 0, capacity 10.
    virtual void Clear();
    // The stored rectangle, nil outside 0 .. Count - 1.
    TRect* Get(int32_t Index);

    int32_t Count() const { return FCount; }
    void SetCount(int32_t Value);
    int32_t Capacity() const { return FCapacity; }
    void SetCapacity(int32_t Value);

protected:
    virtual void Grow();

private:
    void CheckIndex(int32_t Index, int32_t Limit) const;

    std::vector<TRect> FBlock;
    int32_t FCount = 0;
    int32_t FCapacity = 0;
};

// A class as a value: its name and its virtual constructor. Create makes an instance with Owner
// (ignored by classes that have none); the caller or the owner frees it.
struct TClassInfo {
    String ClassName;
    TPersistent* (*Create)(TPersistent* Owner);
};
using TPersistentClass = const TClassInfo*;

// The class reference of T, made on first request. T is built from its owner when it has such a
// constructor, else by its default constructor.
template <class T> TPersistentClass ClassOf() {
    static const TClassInfo info{ClassName(typeid(T)), [](TPersistent* Owner) -> TPersistent* {
                                     if constexpr (std::is_constructible_v<T, TPersistent*>)
                                         return new T(Owner);
                                     else
                                         return new T();
                                 }};
    return &info;
}

// The class library's list of classes, searched by exact class name.
class TClassList : public TObject {
public:
    int32_t Add(TPersistentClass AClass);
    TPersistentClass Extract(TPersistentClass Item);
    TPersistentClass First() const;
    TPersistentClass Last() const;
    int32_t IndexOf(TPersistentClass AClass) const;
    void Insert(int32_t Index, TPersistentClass AClass);
    int32_t Remove(TPersistentClass AClass);
    int32_t Count() const { return FList.Count(); }
    TPersistentClass Items(int32_t Index) const;
    void SetItems(int32_t Index, TPersistentClass AClass);
    // The first class named exactly AClassName (case-sensitive), or nil.
    TPersistentClass Find(const String& AClassName) const;
    // Adds every class name, in list order.
    void GetClassNames(TStringList& Strings) const;

private:
    TList FList;
};

} // namespace raster
