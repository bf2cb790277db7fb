// Regions of a megabyte or more are placed on huge page boundaries (where the system offers huge
// pages) by trimming a larger mapping: every byte asked for must stay usable, decommitting must
// still give zeros back, and release must take the whole region.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/win32/HugePages.h"
#include "platform/win32/VirtualMemory.h"

namespace {

TEST(HugePages, LargeRegionsKeepEveryVirtualMemoryRule) {
    const SIZE_T size = 3 * (SIZE_T(1) << 20) + 5;
    auto* p = static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(p, nullptr);
    if (qm::HugePagesOffered()) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % qm::kHugePageSize, 0u);
    }
    EXPECT_EQ(p[0] | p[size / 2] | p[size - 1], 0);
    std::memset(p, 0x5A, size);

    // The second megabyte goes and comes back zeroed; its neighbours keep their bytes.
    const SIZE_T mb = SIZE_T(1) << 20;
    EXPECT_TRUE(VirtualFree(p + mb, mb, MEM_DECOMMIT));
    ASSERT_EQ(VirtualAlloc(p + mb, mb, MEM_COMMIT, PAGE_READWRITE), p + mb);
    EXPECT_EQ(p[mb] | p[2 * mb - 1], 0);
    EXPECT_EQ(p[mb - 1], 0x5A);
    EXPECT_EQ(p[2 * mb], 0x5A);
    p[2 * mb - 1] = 1;
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));

    // Reserved first, committed in pieces.
    auto* r = static_cast<BYTE*>(VirtualAlloc(nullptr, 4 * mb, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(VirtualAlloc(r + 3 * mb, mb, MEM_COMMIT, PAGE_READWRITE), r + 3 * mb);
    r[4 * mb - 1] = 7;
    EXPECT_EQ(r[4 * mb - 1], 7);
    EXPECT_TRUE(VirtualFree(r, 0, MEM_RELEASE));
}

}  // namespace
