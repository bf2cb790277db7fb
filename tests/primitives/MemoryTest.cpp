#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "primitives/Memory.h"
#include "primitives/MemoryKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ExpectVariantsMatch;
using qm::test::ForEachVariant;
using qm::test::Rng;
using qm::test::SameBytes;

// Blocks of a megabyte or more come from huge-page-aligned memory where the system offers it:
// every size keeps the 32-byte alignment, every byte asked for (ASan checks the memsets), and goes
// back through spFree; two blocks alive at once stay apart.
TEST(Memory, AlignedAllocation) {
    EXPECT_EQ(spAlloc8u(0), nullptr);
    EXPECT_EQ(spAlloc8u(-5), nullptr);
    EXPECT_EQ(spAlloc16s(0), nullptr);
    spFree(nullptr);
    for (int n : {1, 7, 33, 4096, (1 << 20) - 64, 1 << 20, 3 * (1 << 20) + 17, 1920 * 1632 * 3}) {
        SCOPED_TRACE(n);
        uint8_t* a = spAlloc8u(n);
        int16_t* b = spAlloc16s(n);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 32, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 32, 0u);
        std::memset(a, 0x11, size_t(n));
        std::memset(b, 0x22, size_t(n) * 2);
        EXPECT_TRUE(a[0] == 0x11 && a[n - 1] == 0x11 && b[n - 1] == 0x2222);
        spFree(a);
        spFree(b);
    }
}

TEST(Memory, CopyAndFillVariantsMatchPlain) {
    Rng rng(1);
    // Lengths around vector widths, and one above the 1 MiB streaming threshold.
    std::vector<int> lengths = {1, 15, 16, 17, 31, 32, 33, 127, 129, 4095};
    lengths.push_back(int(sp::kernels::kStreamingCopyThreshold) + 77);
    for (int len : lengths) {
        SCOPED_TRACE(len);
        std::vector<uint8_t> src = rng.Bytes(size_t(len) + 64);
        const int offset = rng.Int(0, 31);
        const std::vector<uint8_t> base(size_t(len) + 64, 0xCC);
        ExpectVariantsMatch(sp::kernels::copy8u, base, [&](auto* f, uint8_t* d) {
            return f(src.data() + 3, d + offset, len);
        });
        const uint8_t value = uint8_t(rng.Int(0, 255));
        ExpectVariantsMatch(sp::kernels::set8u, base,
                            [&](auto* f, uint8_t* d) { return f(value, d + offset, len); });
        const int16_t wvalue = int16_t(rng.Int(-32768, 32767));
        ExpectVariantsMatch(sp::kernels::set16s, std::vector<int16_t>(size_t(len) + 64, 7),
                            [&](auto* f, int16_t* d) { return f(wvalue, d + 1, len); });
    }
}

TEST(Memory, RegionCopyVariantsMatchPlain) {
    Rng rng(2);
    struct Case {
        int width, height, srcStep, dstStep;
    };
    std::vector<Case> cases = {
        {1, 1, 1, 1}, {3, 5, 7, 3}, {64, 4, 64, 64}, {33, 17, 40, 48}, {1920, 8, 1920, 2048}};
    // One contiguous run of just over 1 MiB (the streaming path) and one of exactly 1 MiB.
    cases.push_back({1024, 1025, 1024, 1024});
    cases.push_back({1024, 1024, 1024, 1024});
    for (int i = 0; i < 20; ++i) {
        const int w = rng.Int(1, 300), h = rng.Int(1, 40);
        cases.push_back({w, h, w + rng.Int(0, 40), w + rng.Int(0, 40)});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " steps " << c.srcStep << "/" << c.dstStep);
        std::vector<uint8_t> src = rng.Bytes(size_t(c.srcStep) * size_t(c.height));
        const size_t dstSize = size_t(c.dstStep) * size_t(c.height);
        std::vector<uint8_t> expected(dstSize, 0xEE);
        ASSERT_EQ(
            spCopyRegion8u(src.data(), c.srcStep, expected.data(), c.dstStep, {c.width, c.height}),
            0);
        // Only the region is written; the gaps between rows keep their bytes.
        for (int y = 0; y < c.height; ++y) {
            ASSERT_TRUE(SameBytes(expected.data() + size_t(y) * c.dstStep,
                                  src.data() + size_t(y) * c.srcStep, size_t(c.width)));
            for (int x = c.width; x < c.dstStep; ++x)
                ASSERT_EQ(expected[size_t(y) * c.dstStep + x], 0xEE);
        }
        ExpectVariantsMatch(sp::kernels::copyRegion8u, std::vector<uint8_t>(dstSize, 0xEE),
                            [&](auto* f, uint8_t* d) {
                                return f(src.data(), c.srcStep, d, c.dstStep, {c.width, c.height});
                            });
    }
}

TEST(Memory, SlotsFollowTheClassIsa) {
    const auto& k = sp::kernels::copy8u;
    // Slots 0 and 1 share the baseline implementation, as do 2 and 3.
    EXPECT_EQ(k.Slot(0), k.Slot(1));
    EXPECT_EQ(k.Slot(2), k.Slot(3));
    EXPECT_EQ(k.Slot(0), sp::x86::Copy8uSse2);
    // No wider variant: the AVX2 class falls back to the best one below it.
    EXPECT_EQ(k.Slot(5), sp::x86::Copy8uSse2);
}

}  // namespace
