// Region copies with the stores chosen by the caller: whatever the stores, the bytes written
// (and those left alone) are spCopyRegion8u's, and every variant's are the plain one's.
#include <gtest/gtest.h>

#include <vector>

#include "primitives/Memory.h"
#include "primitives/MemoryKernels.h"
#include "tests/primitives/VariantMatch.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using qm::test::ExpectVariantsMatch;
using qm::test::Rng;
using qm::test::SameBytes;

struct Region {
    int width, height, srcStep, dstStep;
};

TEST(MemoryStores, EveryChoiceCopiesTheRegionAndOnlyIt) {
    Rng rng(17);
    // Rows shorter than a vector, unaligned and padded rows, a picture row, and single runs on
    // both sides of the size at which spCopyRegion8u starts streaming.
    std::vector<Region> regions = {{1, 1, 1, 1},
                                   {15, 3, 16, 17},
                                   {63, 9, 64, 80},
                                   {200, 7, 333, 201},
                                   {1920, 4, 1920, 2048},
                                   {1024, 1024, 1024, 1024},
                                   {1024, 1025, 1024, 1024}};
    for (int i = 0; i < 12; ++i) {
        const int w = rng.Int(1, 400), h = rng.Int(1, 30);
        regions.push_back({w, h, w + rng.Int(0, 50), w + rng.Int(0, 50)});
    }
    for (const Region& r : regions) {
        SCOPED_TRACE(testing::Message()
                     << r.width << "x" << r.height << " steps " << r.srcStep << "/" << r.dstStep);
        // An odd offset into the destination, so the streaming stores meet an unaligned start.
        const size_t dstSize = size_t(r.dstStep) * size_t(r.height) + 3;
        const std::vector<uint8_t> src = rng.Bytes(size_t(r.srcStep) * size_t(r.height));
        std::vector<uint8_t> bySize(dstSize, 0x5C);
        ASSERT_EQ(spCopyRegion8u(src.data(), r.srcStep, bySize.data() + 3, r.dstStep,
                                 {r.width, r.height}),
                  0);
        for (const SpCopyStores stores :
             {spCopyStoresBySize, spCopyStoresCached, spCopyStoresStreamed}) {
            SCOPED_TRACE(int(stores));
            std::vector<uint8_t> got(dstSize, 0x5C);
            ASSERT_EQ(spCopyRegionStores8u(src.data(), r.srcStep, got.data() + 3, r.dstStep,
                                           {r.width, r.height}, stores),
                      0);
            ASSERT_TRUE(SameBytes(got.data(), bySize.data(), dstSize));
        }
        for (const bool stream : {false, true})
            ExpectVariantsMatch(
                sp::kernels::copyRegionStores8u, std::vector<uint8_t>(dstSize, 0x5C),
                [&](auto* f, uint8_t* d) {
                    return f(src.data(), r.srcStep, d + 3, r.dstStep, {r.width, r.height}, stream);
                });
    }
}

TEST(MemoryStores, RefusedCallsWriteNothing) {
    uint8_t src[64] = {1, 2, 3}, dst[64] = {};
    const SpSize four{4, 4};
    EXPECT_EQ(spCopyRegionStores8u(nullptr, 4, dst, 4, four, spCopyStoresCached), -8);
    EXPECT_EQ(spCopyRegionStores8u(src, 4, nullptr, 4, four, spCopyStoresCached), -8);
    EXPECT_EQ(spCopyRegionStores8u(src, 4, dst, 4, {0, 4}, spCopyStoresStreamed), -6);
    EXPECT_EQ(spCopyRegionStores8u(src, 4, dst, 4, {4, -1}, spCopyStoresStreamed), -6);
    EXPECT_EQ(spCopyRegionStores8u(src, 0, dst, 4, four, spCopyStoresBySize), -14);
    EXPECT_EQ(spCopyRegionStores8u(src, 4, dst, -4, four, spCopyStoresBySize), -14);
    EXPECT_EQ(spCopyRegionStores8u(src, 4, dst, 4, four, SpCopyStores(3)), -5);
    EXPECT_EQ(spCopyRegionStores8u(src, 4, dst, 4, four, SpCopyStores(-1)), -5);
    for (uint8_t b : dst) ASSERT_EQ(b, 0);
}

}  // namespace
