// Fixed-point arithmetic: the edge cases, the square roots against python3's integer square
// root and MulDiv against a python3 model, on seeded random values and boundaries.
#include "RasterTesting.h"

#include "raster/RasterMath.h"

#include "platform/rtl/RtlErrors.h"

#include <random>
#include <sstream>
#include <vector>

using namespace raster;

namespace {

TEST(FixedMath, EdgeCases) {
    EXPECT_EQ(FixedRound(0x18000), 1);
    EXPECT_EQ(FixedRound(0x28000), 2);
    EXPECT_EQ(FixedRound(-0x18000), -2);
    EXPECT_EQ(FixedCeil(0x10001), 2);
    EXPECT_EQ(FixedCeil(0x10000), 1);
    EXPECT_EQ(FixedFloor(-1), -1);
    EXPECT_EQ(FixedFloor(0x1FFFF), 1);
    EXPECT_EQ(FixedCeil(INT32_MAX), static_cast<int32_t>(0x80000000u + 0xFFFEu) >> 16);
    EXPECT_EQ(FixedMul(0x20000, 0x18000), 0x30000);
    EXPECT_EQ(FixedMul(-0x20000, 0x18000), -0x30000);
    EXPECT_EQ(FixedMul(0x7FFF0000, 0x20000), static_cast<int32_t>(0xFFFE0000u)); // wraps
    EXPECT_EQ(FixedSqr(0x30000), 0x90000);
    EXPECT_EQ(FixedDiv(0x10000, 0x30000), 0x5555);
    EXPECT_EQ(FixedDiv(-0x10000, 0x30000), -0x5555); // truncates toward zero
    EXPECT_EQ(FixedSqrtLP(0x20000), 0x16A00);
    EXPECT_EQ(FixedSqrtHP(0x20000), 0x16A09);
    EXPECT_EQ(FixedSqrtLP(-0x10000), 0);
    EXPECT_EQ(MulDiv(5, 3, 2), 8);
    EXPECT_EQ(MulDiv(-5, 3, 2), -8);
    EXPECT_EQ(MulDiv(7, 1, 0), -1);
}

TEST(FixedMath, DivisionFaultsRaiseTheIntegerDivisionError) {
    EXPECT_THROW(FixedDiv(0x10000, 0), EDivByZero);
    EXPECT_THROW(FixedDiv(0x40000000, 0x100), EDivByZero);   // quotient 2^38
    EXPECT_THROW(FixedDiv(INT32_MIN, -0x10000), EDivByZero); // quotient 2^31
    EXPECT_EQ(FixedDiv(INT32_MIN, 0x10000), INT32_MIN);
}

// Seeded random values and the boundaries of their ranges.
std::vector<int64_t> Values(int64_t Low, int64_t High, int Count, uint32_t Seed) {
    std::vector<int64_t> v = {Low, Low + 1, High - 1, High, 0, 1, 2, 3, 0x10000, 0x3FFFFFFF};
    std::erase_if(v, [&](int64_t x) { return x < Low || x > High; });
    std::mt19937 random(Seed);
    std::uniform_int_distribution<int64_t> pick(Low, High);
    for (int i = 0; i < Count; ++i)
        v.push_back(pick(random));
    return v;
}

std::string Join(const std::vector<int64_t>& Values) {
    std::ostringstream s;
    for (int64_t v : Values)
        s << v << ' ';
    return s.str();
}

std::vector<int64_t> Numbers(const std::string& Text) {
    std::istringstream in(Text);
    return {std::istream_iterator<int64_t>(in), {}};
}

TEST(FixedMath, SquareRootsAgreeWithIntegerSquareRoot) {
    // High precision is exact below 16384.0 (A < 2^30); low precision always.
    const std::vector<int64_t> high = Values(0, 0x3FFFFFFF, 2000, 7);
    const std::vector<int64_t> low = Values(0, INT32_MAX, 2000, 11);
    std::string out;
    ASSERT_TRUE(RunPython("import math, sys\n"
                          "for a in sys.argv[1].split(): print(math.isqrt(int(a) << 16))\n"
                          "for a in sys.argv[2].split(): print(math.isqrt(int(a)) << 8)\n",
                          "'" + Join(high) + "' '" + Join(low) + "'", out));
    const std::vector<int64_t> expected = Numbers(out);
    ASSERT_EQ(expected.size(), high.size() + low.size());
    for (size_t i = 0; i < high.size(); ++i)
        EXPECT_EQ(FixedSqrtHP(static_cast<TFixed>(high[i])), expected[i]) << high[i];
    for (size_t i = 0; i < low.size(); ++i)
        EXPECT_EQ(FixedSqrtLP(static_cast<TFixed>(low[i])), expected[high.size() + i]) << low[i];
}

TEST(FixedMath, MulDivAgreesWithAModel) {
    // Operands from every magnitude so that the overflow tests are reached.
    std::vector<int64_t> a = Values(INT32_MIN, INT32_MAX, 1500, 3);
    std::vector<int64_t> b = Values(-70000, 70000, 1500, 5);
    std::vector<int64_t> c = Values(-100000, 100000, 1500, 9);
    b.resize(a.size(), 65536);
    c.resize(a.size(), 2);
    a.insert(a.end(), {-65536, 65536, 1 << 30, -(1 << 30), 5, -5, 7});
    b.insert(b.end(), {65536, 32768, 2, 2, 3, 3, 1});
    c.insert(c.end(), {2, 1, 1, 1, 2, 2, 0});
    // The rounded quotient (halves away from zero) with the sign of A ^ B ^ C; -1 when C is 0,
    // when twice the product's high 32 bits reach |C|, or when the quotient does not fit 32 bits.
    std::string out;
    ASSERT_TRUE(RunPython("import sys\n"
                          "A, B, C = (list(map(int, s.split())) for s in sys.argv[1:4])\n"
                          "for a, b, c in zip(A, B, C):\n"
                          "    p, d = abs(a) * abs(b), abs(c)\n"
                          "    neg = (a ^ b ^ c) < 0\n"
                          "    if d == 0 or 2 * (p >> 32) >= d: print(-1); continue\n"
                          "    q, r = divmod(p, d)\n"
                          "    if d - r <= r: q += 1\n"
                          "    if q > (2**31 if neg else 2**31 - 1): print(-1); continue\n"
                          "    print(-q if neg else q)\n",
                          "'" + Join(a) + "' '" + Join(b) + "' '" + Join(c) + "'", out));
    const std::vector<int64_t> expected = Numbers(out);
    ASSERT_EQ(expected.size(), a.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(MulDiv(static_cast<int32_t>(a[i]), static_cast<int32_t>(b[i]),
                         static_cast<int32_t>(c[i])),
                  expected[i])
            << a[i] << " * " << b[i] << " / " << c[i];
}

TEST(FixedMath, SinCos) {
    float s, c;
    SinCos(0.5f, s, c);
    EXPECT_FLOAT_EQ(s, std::sin(0.5f));
    EXPECT_FLOAT_EQ(c, std::cos(0.5f));
    SinCos(0.5f, 3.0f, s, c);
    EXPECT_FLOAT_EQ(s, 3 * std::sin(0.5f));
    EXPECT_FLOAT_EQ(c, 3 * std::cos(0.5f));
}

} // namespace
