// Pointer map, rectangle list, class list and the class registries.
#include "RasterTesting.h"

#include "raster/RasterContainers.h"
#include "raster/RasterResamplers.h"

#include <vector>

#include "platform/rtl/StringList.h"

#include <set>

using namespace raster;

namespace {

void* Address(uintptr_t Value) {
    return reinterpret_cast<void*>(Value);
}

TEST(PointerMap, AddFindRemove) {
    TPointerMap map;
    int data1 = 0, data2 = 0;
    bool isNew = false;
    void** slot = map.Add(Address(0x1230500), &data1, isNew);
    EXPECT_TRUE(isNew);
    EXPECT_EQ(map.Add(Address(0x1230500), &data2, isNew), slot);
    EXPECT_FALSE(isNew);
    EXPECT_EQ(map.GetData(Address(0x1230500)), &data1);
    EXPECT_EQ(map.Count(), 1);
    // Same bits 8 to 15, different elsewhere: one bucket, both found.
    map.Add(Address(0x9990500), &data2);
    EXPECT_EQ(TPointerMap::BucketOf(Address(0x1230500)), 5);
    EXPECT_EQ(map.Bucket(5).Count, 2);
    EXPECT_TRUE(map.Contains(Address(0x9990500)));
    void** found = nullptr;
    ASSERT_TRUE(map.Find(Address(0x9990500), found));
    EXPECT_EQ(*found, &data2);
    map.SetData(Address(0x9990500), &data1);
    EXPECT_EQ(map.GetData(Address(0x9990500)), &data1);
    EXPECT_THROW(map.GetData(Address(0xABC00)), EListError);
    try {
        map.SetData(Address(0xABC00), nullptr);
        ADD_FAILURE();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), u"Item not found ($0ABC00)");
    }
    EXPECT_EQ(map.Remove(Address(0x1230500)), &data1);
    EXPECT_EQ(map.Remove(Address(0x1230500)), nullptr);
    EXPECT_EQ(map.Count(), 1);
    EXPECT_EQ(map.GetData(Address(0x9990500)), &data1);
}

TEST(PointerMap, BucketsGrowAndAreReleased) {
    TPointerMap map;
    map.Add(Address(0x700));
    EXPECT_EQ(map.Bucket(7).Items.size(), 4u);
    map.Remove(Address(0x700));
    EXPECT_EQ(map.Bucket(7).Items.size(), 0u);
    map.Add(Address(0x700));
    EXPECT_EQ(map.Bucket(7).Items.size(), 4u);
    // +4 up to 12, then +16 above 8, and a quarter above 64.
    std::vector<size_t> capacities;
    for (uintptr_t i = 1; i <= 100; ++i) {
        map.Add(Address(0x700 + (i << 16)));
        capacities.push_back(map.Bucket(7).Items.size());
    }
    EXPECT_EQ(std::set<size_t>(capacities.begin(), capacities.end()),
              (std::set<size_t>{4, 8, 12, 28, 44, 60, 76, 95, 118}));
    map.Clear();
    EXPECT_EQ(map.Count(), 0);
    EXPECT_EQ(map.Bucket(7).Items.size(), 0u);
}

TEST(PointerMap, IteratorVisitsEveryEntryOnce) {
    TPointerMap map;
    const std::vector<uintptr_t> keys = {0xFF00, 0x1FF00, 0x100, 0x200, 0x10100};
    for (uintptr_t k : keys)
        map.Add(Address(k), Address(k + 1));
    TPointerMapIterator it(map);
    std::vector<uintptr_t> seen;
    while (it.Next()) {
        seen.push_back(reinterpret_cast<uintptr_t>(it.CurrentItem));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(it.CurrentData), seen.back() + 1);
    }
    // Buckets in order, the entries of each from the last to the first.
    EXPECT_EQ(seen, (std::vector<uintptr_t>{0x10100, 0x100, 0x200, 0x1FF00, 0xFF00}));
    EXPECT_FALSE(it.Next());

    TPointerMap last;
    last.Add(Address(0xFF00));
    TPointerMapIterator one(last);
    EXPECT_TRUE(one.Next());
    EXPECT_EQ(one.CurrentItem, Address(0xFF00));
    EXPECT_FALSE(one.Next());
    TPointerMap empty;
    EXPECT_FALSE(TPointerMapIterator(empty).Next());
}

TEST(RectList, EditsAndGrowth) {
    TRectList list;
    EXPECT_EQ(list.Add({0, 0, 1, 1}), 0);
    EXPECT_EQ(list.Capacity(), 8);
    list.Add({1, 1, 2, 2});
    list.Add({2, 2, 3, 3});
    list.Insert(0, {9, 9, 9, 9});
    list.Insert(4, {8, 8, 8, 8});
    EXPECT_EQ(list.IndexOf({2, 2, 3, 3}), 3);
    list.Exchange(0, 4);
    EXPECT_EQ(*list.Get(0), (TRect{8, 8, 8, 8}));
    list.Move(0, 3);
    EXPECT_EQ(*list.Get(3), (TRect{8, 8, 8, 8}));
    EXPECT_EQ(list.Remove({0, 0, 1, 1}), 0);
    EXPECT_EQ(list.Remove({7, 7, 7, 7}), -1);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Get(-1), nullptr);
    EXPECT_EQ(list.Get(list.Count()), nullptr);
    list.SetCount(6);
    EXPECT_EQ(*list.Get(5), (TRect{}));
    for (int i = 0; i < 11; ++i)
        list.Add({i, i, i, i});
    EXPECT_EQ(list.Capacity(), 48); // 8, 16, then 32 more above 8
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 10);
}

TEST(RectList, IndexesAreChecked) {
    TRectList list;
    list.Add({0, 0, 1, 1});
    list.Add({1, 1, 2, 2});
    EXPECT_THROW(list.Insert(3, {}), EListError);
    EXPECT_THROW(list.Insert(-1, {}), EListError);
    EXPECT_THROW(list.Delete(2), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
    EXPECT_THROW(list.Exchange(0, 2), EListError);
    EXPECT_THROW(list.Move(2, 0), EListError);
    EXPECT_THROW(list.Move(0, 2), EListError);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(*list.Get(1), (TRect{1, 1, 2, 2}));
    list.Insert(2, {5, 5, 5, 5}); // at the end is allowed
    EXPECT_EQ(list.Count(), 3);
}

class TSampleResampler : public TPersistent {};
class TSampleKernel : public TPersistent {
public:
    TSampleKernel() = default;
    explicit TSampleKernel(TPersistent* AOwner) : Owner(AOwner) {}
    TPersistent* Owner = nullptr;
};

TEST(ClassList, FindsExactNamesInOrder) {
    TClassList list;
    list.Add(ClassOf<TSampleResampler>());
    list.Add(ClassOf<TSampleKernel>());
    list.Add(ClassOf<TSampleResampler>());
    EXPECT_EQ(list.Find(u"TSampleKernel"), ClassOf<TSampleKernel>());
    EXPECT_EQ(list.Find(u"tsamplekernel"), nullptr);
    EXPECT_EQ(list.Find(u"TSample"), nullptr);
    TStringList names;
    list.GetClassNames(names);
    ASSERT_EQ(names.Count(), 3);
    EXPECT_EQ(names[0], u"TSampleResampler");
    EXPECT_EQ(names[1], u"TSampleKernel");
    EXPECT_EQ(list.IndexOf(ClassOf<TSampleKernel>()), 1);
    EXPECT_EQ(list.Extract(ClassOf<TSampleKernel>()), ClassOf<TSampleKernel>());
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Last(), ClassOf<TSampleResampler>());
    // The virtual constructor passes the owner to classes that take one.
    TSampleResampler owner;
    std::unique_ptr<TPersistent> made(ClassOf<TSampleKernel>()->Create(&owner));
    EXPECT_EQ(dynamic_cast<TSampleKernel&>(*made).Owner, &owner);
}

// The start-up registers the library's classes in their fixed order; later registrations append.
TEST(ClassRegistries, FilledAtStartUpAndFreedAtShutDown) {
    InitializeRasterLibrary();
    ASSERT_NE(KernelList, nullptr);
    ASSERT_NE(ResamplerList, nullptr);
    TStringList names;
    ResamplerList->GetClassNames(names);
    KernelList->GetClassNames(names);
    const std::vector<String> expected = {
        u"TNearestResampler", u"TLinearResampler", u"TDraftResampler", u"TKernelResampler",
        u"TBoxKernel",        u"TLinearKernel",    u"TCosineKernel",   u"TSplineKernel",
        u"TCubicKernel",      u"TMitchellKernel",  u"TLanczosKernel",  u"TGaussianKernel",
        u"TBlackmanKernel",   u"THannKernel",      u"THammingKernel",  u"TSinshKernel",
        u"THermiteKernel"};
    ASSERT_EQ(names.Count(), static_cast<int32_t>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(names[static_cast<int32_t>(i)], expected[i]);
    RegisterKernel(ClassOf<TSampleKernel>());
    RegisterKernel(ClassOf<TSampleKernel>());
    RegisterResampler(ClassOf<TSampleResampler>());
    EXPECT_EQ(KernelList->Count(), 15);
    EXPECT_EQ(KernelList->Last(), ClassOf<TSampleKernel>());
    EXPECT_EQ(ResamplerList->Find(u"TSampleResampler"), ClassOf<TSampleResampler>());
    FinalizeRasterLibrary();
    EXPECT_EQ(KernelList, nullptr);
    EXPECT_EQ(ResamplerList, nullptr);
}

} // namespace
