#include <gtest/gtest.h>

#include "SDKs/CodecFramework/core/MemoryAllocator.h"

namespace {

using namespace UMC;

TEST(DefaultMemoryAllocator, ArgumentChecks) {
    DefaultMemoryAllocator a;
    MemID id = 0;
    EXPECT_EQ(a.Alloc(nullptr, 10, 0, 16), STATUS_NULL_PTR);
    EXPECT_EQ(a.Alloc(&id, 0, 0, 16), STATUS_INVALID_PARAMS);
    EXPECT_EQ(a.Alloc(&id, 10, 0, 0), STATUS_INVALID_PARAMS);
    EXPECT_EQ(a.Alloc(&id, 10, 0, 3), STATUS_INVALID_PARAMS);
    EXPECT_EQ(a.Alloc(&id, 10, 0, 0x200000), STATUS_INVALID_PARAMS);
    EXPECT_EQ(a.Alloc(&id, 10, 0, 0x100000), STATUS_OK);
    EXPECT_EQ(a.Lock(0), nullptr);
    EXPECT_EQ(a.Lock(12345), nullptr);
    EXPECT_EQ(a.Unlock(0), STATUS_FAILED);
    EXPECT_EQ(a.Unlock(id), STATUS_FAILED);  // lock count already 0
    EXPECT_EQ(a.Free(12345), STATUS_FAILED);
    EXPECT_EQ(a.DeallocateMem(0), STATUS_FAILED);
}

TEST(DefaultMemoryAllocator, LockAlignsAndFreeWaitsForUnlock) {
    DefaultMemoryAllocator a;
    MemID id = 0;
    ASSERT_EQ(a.Alloc(&id, 1000, 0, 256), STATUS_OK);
    EXPECT_EQ(id, 1);
    auto* p = static_cast<uint8_t*>(a.Lock(id));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 256, 0u);
    p[999] = 1;
    EXPECT_EQ(a.Lock(id), p);  // second lock, same address
    ASSERT_EQ(a.Free(id), STATUS_OK);
    EXPECT_EQ(a.Free(id), STATUS_FAILED);  // already released
    EXPECT_EQ(a.Lock(id), nullptr);        // released blocks cannot be locked
    EXPECT_EQ(a.Unlock(id), STATUS_OK);
    EXPECT_EQ(a.Unlock(id), STATUS_OK);  // last unlock frees the descriptor
    EXPECT_EQ(a.Unlock(id), STATUS_FAILED);

    // The next request of the same size reuses that memory under a new identifier.
    MemID next = 0;
    ASSERT_EQ(a.Alloc(&next, 1000, 0, 256), STATUS_OK);
    EXPECT_GT(next, id);
    EXPECT_EQ(a.Lock(next), p);
    EXPECT_EQ(a.GetDescriptorCount(), 1);
    // Deallocating a locked block takes it at once.
    EXPECT_EQ(a.DeallocateMem(next), STATUS_OK);
    EXPECT_EQ(a.Lock(next), nullptr);
    EXPECT_EQ(a.Unlock(next), STATUS_FAILED);
}

TEST(DefaultMemoryAllocator, IdentifiersOnlyGrowAndTableGrows) {
    DefaultMemoryAllocator a;
    MemID last = 0;
    for (int i = 0; i < 20; ++i) {
        MemID id = 0;
        ASSERT_EQ(a.Alloc(&id, size_t(16 + i), 0, 16), STATUS_OK);
        EXPECT_GT(id, last);
        last = id;
    }
    EXPECT_EQ(a.GetDescriptorCount(), 20);
    EXPECT_EQ(a.GetDescriptorCapacity(), 32);  // 8, 16, 32
    ASSERT_EQ(a.Free(5), STATUS_OK);
    MemID id = 0;
    ASSERT_EQ(a.Alloc(&id, 8, 0, 16), STATUS_OK);  // fits in descriptor 5's memory
    EXPECT_EQ(id, 21);
    EXPECT_EQ(a.GetDescriptorCount(), 20);
    EXPECT_EQ(a.Close(), STATUS_OK);
    EXPECT_EQ(a.GetDescriptorCount(), 0);
    EXPECT_EQ(a.Lock(id), nullptr);
}

TEST(DefaultMemoryAllocator, TooSmallFreeBlockIsReplacedWhenTableIsFull) {
    DefaultMemoryAllocator a;
    for (int i = 0; i < 8; ++i) {
        MemID id = 0;
        ASSERT_EQ(a.Alloc(&id, 32, 0, 16), STATUS_OK);
    }
    ASSERT_EQ(a.Free(3), STATUS_OK);
    MemID big = 0;
    ASSERT_EQ(a.Alloc(&big, 4096, 0, 64), STATUS_OK);  // takes descriptor 3, new memory
    EXPECT_EQ(a.GetDescriptorCapacity(), 8);
    auto* p = static_cast<uint8_t*>(a.Lock(big));
    ASSERT_NE(p, nullptr);
    p[4095] = 7;
    EXPECT_EQ(a.Unlock(big), STATUS_OK);
}

}  // namespace
