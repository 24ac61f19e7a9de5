// Typed lists, the byte array and the hash set.
#include "imaging/core/VLLists.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<int32_t> Items(const TVLIntegerList& l) {
    std::vector<int32_t> v;
    for (int32_t i = 0; i < l.ItemCount(); ++i)
        v.push_back(*static_cast<int32_t*>(l.GetItemAddress(i)));
    return v;
}

TEST(VLList, AddDeleteAndChangeFlag) {
    TVLIntegerList l;
    EXPECT_EQ(l.ChangeFlags, 0);
    for (int32_t v : {10, 20, 30})
        EXPECT_EQ(l.Add(&v), v / 10 - 1);
    EXPECT_EQ(Items(l), (std::vector<int32_t>{10, 20, 30}));
    EXPECT_EQ(l.ChangeFlags & TVLList::ChangedFlag, TVLList::ChangedFlag);
    l.Delete(3); // one past the end: ignored
    l.Delete(-1);
    EXPECT_EQ(Items(l), (std::vector<int32_t>{10, 20, 30}));
    l.Delete(1);
    EXPECT_EQ(Items(l), (std::vector<int32_t>{10, 30}));
    l.Delete(0);
    l.Delete(0);
    EXPECT_EQ(l.ItemCount(), 0);
    EXPECT_EQ(l.GetItemAddress(0), nullptr);
    l.Clear();
    EXPECT_EQ(l.ChangeFlags, 0);
}

TEST(VLList, SetCountKeepsTheFirstItems) {
    TVLIntegerList l;
    for (int32_t v : {1, 2, 3, 4})
        l.Add(&v);
    l.SetCount(2);
    EXPECT_EQ(Items(l), (std::vector<int32_t>{1, 2}));
    l.SetCount(3);
    EXPECT_EQ(l.ItemCount(), 3);
    EXPECT_EQ(*static_cast<int32_t*>(l.GetItemAddress(1)), 2);
    l.SetCount(-5);
    EXPECT_EQ(l.ItemCount(), 0);
}

TEST(VLDoubleList, SharedConstructorAndAssign) {
    TVLDoubleList a;
    EXPECT_EQ(a.ItemBytes(), 8);
    EXPECT_EQ(a.LowBound, 0);
    EXPECT_EQ(a.ActualValue, 0);
    for (double v : {1.5, -2.25})
        a.Add(&v);
    a.LowBound = -10;
    a.HighBound = 10;
    a.Increment = 0.5;
    a.ActualValue = 2;
    TVLDoubleList b;
    double junk = 99;
    b.Add(&junk);
    b.Assign(&a);
    ASSERT_EQ(b.ItemCount(), 2);
    EXPECT_EQ(*static_cast<double*>(b.GetItemAddress(1)), -2.25);
    EXPECT_EQ(b.LowBound, -10);
    EXPECT_EQ(b.HighBound, 10);
    EXPECT_EQ(b.Increment, 0.5);
    EXPECT_EQ(b.ActualValue, 2);
    // A fresh copy: changing the source leaves the copy.
    *static_cast<double*>(a.GetItemAddress(0)) = 7;
    EXPECT_EQ(*static_cast<double*>(b.GetItemAddress(0)), 1.5);
    b.Assign(nullptr);
    EXPECT_EQ(b.ItemCount(), 2);
    b.Clear();
    EXPECT_EQ(b.ItemBytes(), 8);
    EXPECT_EQ(b.HighBound, 0);
}

TEST(VLIntegerList, AssignFromAnotherClassRaisesAndChangesNothing) {
    TVLIntegerList ints;
    int32_t v = 5;
    ints.Add(&v);
    ints.HighBound = 9;
    TVLDoubleList doubles;
    EXPECT_THROW(ints.Assign(&doubles), EInvalidCast);
    EXPECT_EQ(Items(ints), (std::vector<int32_t>{5}));
    EXPECT_EQ(ints.HighBound, 9);
    EXPECT_THROW(doubles.Assign(&ints), EInvalidCast);
}

TEST(VLRecordList, RecordsOfTheGivenSize) {
    struct Rec {
        int32_t a;
        uint8_t b[5];
    };
    TVLRecordList l(sizeof(Rec));
    EXPECT_EQ(l.ItemBytes(), static_cast<int32_t>(sizeof(Rec)));
    for (int32_t i = 0; i < 3; ++i) {
        Rec r{i * 100, {uint8_t(i), 1, 2, 3, 4}};
        l.AddItem(&r);
    }
    l.Delete(0);
    const auto* r = static_cast<const Rec*>(l.GetItem(1));
    EXPECT_EQ(r->a, 200);
    EXPECT_EQ(r->b[0], 2);
    l.Clear();
    EXPECT_EQ(l.ItemBytes(), static_cast<int32_t>(sizeof(Rec)));
}

TEST(VLByteArray, GrowsAndShrinksByBlocks) {
    TVLByteArray a(16);
    EXPECT_EQ(a.Capacity(), 16);
    for (int i = 0; i < 17; ++i)
        a.AppendByte(static_cast<uint8_t>(i + 1));
    EXPECT_EQ(a.Size(), 17);
    EXPECT_EQ(a.Capacity(), 33);
    EXPECT_EQ(a.Data()[16], 17);
    a.SetSize(20); // within the capacity
    EXPECT_EQ(a.Capacity(), 33);
    a.SetSize(17); // not below capacity - block: kept
    EXPECT_EQ(a.Capacity(), 33);
    a.SetSize(1);
    EXPECT_EQ(a.Capacity(), 17);
    EXPECT_EQ(a.Size(), 1);
    EXPECT_EQ(a.Data()[0], 1);
}

TEST(VLByteArray, AppendFromStream) {
    TMemoryStream s;
    s.WriteBuffer("abcdef", 6);
    s.SetPosition(0);
    TVLByteArray a(4);
    a.AppendByte('>');
    EXPECT_EQ(a.AppendFromStream(s, 4), 4);
    EXPECT_EQ(a.AppendFromStream(s, 10), 2);
    EXPECT_EQ(a.Size(), 7);
    EXPECT_EQ(std::memcmp(a.Data(), ">abcdef", 7), 0);
    EXPECT_EQ(a.AppendFromStream(s, 10), 0);
    EXPECT_EQ(a.Size(), 7);
}

TEST(Hash1, BucketsTurnIntoChains) {
    THash1 h(13);
    EXPECT_EQ(h.BucketCount(), 8192);
    EXPECT_TRUE(h.Insert(1));
    EXPECT_EQ(h.BucketState(1), 1);
    h.SetBucketData(1, &h);
    int32_t bucket = -1;
    THash1Item* item = nullptr;
    EXPECT_TRUE(h.InsertKey(8193, bucket, item));
    EXPECT_EQ(bucket, 1);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Key, 8193u);
    EXPECT_EQ(h.BucketState(1), 2);
    // The single key's data moved to the head of the chain.
    ASSERT_NE(h.BucketChain(1), nullptr);
    EXPECT_EQ(h.BucketChain(1)->Key, 1u);
    EXPECT_EQ(h.BucketChain(1)->Data, &h);
    EXPECT_EQ(h.BucketChain(1)->Next, item);
    EXPECT_FALSE(h.Insert(8193));
    EXPECT_FALSE(h.Insert(1));
    EXPECT_TRUE(h.InsertKey(16385, bucket, item));
    EXPECT_EQ(item->Key, 16385u);
    EXPECT_EQ(h.BucketChain(1)->Next->Next, item);
    EXPECT_EQ(h.KeyCount(), 3);
    EXPECT_TRUE(h.InsertKey(5, bucket, item));
    EXPECT_EQ(item, nullptr);
}

TEST(Hash1, ManyKeysInFewBuckets) {
    THash1 h(2);
    for (uint32_t k = 0; k < 2000; ++k)
        EXPECT_TRUE(h.Insert(k * 7919));
    for (uint32_t k = 0; k < 2000; ++k)
        EXPECT_FALSE(h.Insert(k * 7919));
    EXPECT_EQ(h.KeyCount(), 2000);
}

} // namespace
