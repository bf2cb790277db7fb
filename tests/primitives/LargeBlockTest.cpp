// spAlloc8u serves blocks of a megabyte or more from huge-page-aligned memory where the system
// offers huge pages; they must keep the 32-byte alignment, every byte asked for, and go back
// through spFree like any other block.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "primitives/Memory.h"

namespace {

TEST(LargeBlocks, AlignedWritableAndFreedLikeSmallOnes) {
    for (int size : {(1 << 20) - 64, 1 << 20, 3 * (1 << 20) + 17, 1920 * 1088 * 3 / 2 * 3}) {
        SCOPED_TRACE(size);
        uint8_t* a = spAlloc8u(size);
        uint8_t* b = spAlloc8u(size);
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 32, 0u);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 32, 0u);
        // Both blocks whole and apart: filling one leaves the other as written.
        std::memset(a, 0x11, size_t(size));
        std::memset(b, 0x22, size_t(size));
        EXPECT_EQ(a[0], 0x11);
        EXPECT_EQ(a[size - 1], 0x11);
        EXPECT_EQ(b[size - 1], 0x22);
        spFree(a);
        spFree(b);
    }
}

}  // namespace
