#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "VideoIO/FilterUtil/MemoryBufferInfo.h"
#include "platform/win32/VirtualMemory.h"
#include "tests/support/Random.h"
#include "tests/support/ReportCapture.h"

namespace {

using qm::test::ReportCapture;
using qm_DSFilters::MemoryBuffer;
using qm_DSFilters::MemoryBufferInfo;

constexpr uint64_t kMiB = 1048576;

// The free list is sorted, no two pieces touch or overlap, and the totals agree with it.
void ExpectConsistent(const MemoryBuffer& b) {
    uint64_t sum = 0, largest = 0;
    const auto& list = b.GetFreeList();
    const uint64_t base = uint64_t(reinterpret_cast<uintptr_t>(b.GetBuffer()));
    for (size_t i = 0; i < list.size(); ++i) {
        ASSERT_GT(list[i].size, 0u);
        ASSERT_GE(list[i].address, base);
        ASSERT_LE(list[i].address + list[i].size, base + b.GetSize());
        if (i > 0) {
            ASSERT_LT(list[i - 1].address + list[i - 1].size, list[i].address);
        }
        sum += list[i].size;
        largest = std::max(largest, list[i].size);
    }
    ASSERT_EQ(sum, b.GetFreeBytes());
    ASSERT_EQ(largest, b.GetLargestFreeBlock());
}

TEST(MemoryBuffer, FirstFitAndMergingOnBothSides) {
    MemoryBufferInfo info;
    ASSERT_EQ(info.SetChunkSize(kMiB), S_OK);
    ASSERT_EQ(info.AddMemoryBuffer(1), S_OK);
    const MemoryBuffer& b = info.GetBuffer(0);
    BYTE* base = b.GetBuffer();
    BYTE *a1 = nullptr, *a2 = nullptr, *a3 = nullptr;
    ASSERT_EQ(info.Allocate(1000, &a1), S_OK);
    ASSERT_EQ(info.Allocate(2000, &a2), S_OK);
    ASSERT_EQ(info.Allocate(3000, &a3), S_OK);
    EXPECT_EQ(std::tuple(a1, a2, a3), std::tuple(base, base + 1000, base + 3000));
    ASSERT_EQ(info.Free(a2, 2000), S_OK);
    ASSERT_EQ(info.Free(a1, 1000), S_OK);
    const uint64_t at = uint64_t(uintptr_t(base));
    ASSERT_EQ(b.GetFreeList().size(), 2u);
    EXPECT_EQ(std::tuple(b.GetFreeList()[0].address, b.GetFreeList()[0].size,
                         b.GetFreeList()[1].address, b.GetFreeList()[1].size),
              std::tuple(at, 3000u, at + 6000, kMiB - 6000));
    EXPECT_EQ(std::tuple(b.GetLargestFreeBlock(), b.GetFreeBytes(), info.GetFreeBytes(),
                         info.GetLargestFreeBlock()),
              std::tuple(kMiB - 6000, kMiB - 3000, kMiB - 3000, kMiB - 6000));
    // First fit: a small request reuses the start; an exact fit removes the pair.
    BYTE *again = nullptr, *rest = nullptr, *none = base;
    ASSERT_EQ(info.Allocate(3000, &again), S_OK);
    EXPECT_EQ(std::tuple(again, b.GetFreeList().size()), std::tuple(base, 1u));
    ASSERT_EQ(info.Allocate(kMiB - 6000, &rest), S_OK);
    EXPECT_EQ(std::tuple(b.GetFreeList().size(), info.GetLargestFreeBlock()), std::tuple(0u, 0u));
    EXPECT_EQ(info.Allocate(1, &none), S_FALSE);
    EXPECT_EQ(std::tuple(none, info.CanAllocate(1)), std::tuple(nullptr, false));
    // Freeing the middle piece last joins both neighbours.
    ASSERT_EQ(info.Free(again, 3000), S_OK);
    ASSERT_EQ(info.Free(rest, kMiB - 6000), S_OK);
    ASSERT_EQ(info.Free(a3, 3000), S_OK);
    EXPECT_EQ(std::tuple(b.GetFreeList().size(), b.GetFreeBytes(), info.CanAllocate(kMiB)),
              std::tuple(1u, kMiB, true));
}

TEST(MemoryBuffer, RandomAllocateAndFreeKeepsTheListSoundAndEndsAsOnePiece) {
    qm::test::Rng rng(1234);
    MemoryBufferInfo info;
    ASSERT_EQ(info.SetChunkSize(kMiB), S_OK);
    ASSERT_EQ(info.AddMemoryBuffer(kMiB), S_OK);
    const MemoryBuffer& b = info.GetBuffer(0);
    std::map<BYTE*, uint64_t> live;
    for (int step = 0; step < 20000; ++step) {
        const bool allocate = live.empty() || rng.Int(0, 99) < 55;
        if (allocate) {
            const uint64_t size = uint64_t(rng.Int(1, 40000));
            BYTE* p = nullptr;
            const HRESULT hr = info.Allocate(size, &p);
            ASSERT_TRUE(hr == S_OK || hr == S_FALSE);
            if (hr == S_OK) {
                // Inside the block and overlapping no live piece.
                ASSERT_GE(p, b.GetBuffer());
                ASSERT_LE(p + size, b.GetBuffer() + b.GetSize());
                auto next = live.lower_bound(p);
                if (next != live.end()) {
                    ASSERT_LE(p + size, next->first);
                }
                if (next != live.begin()) {
                    ASSERT_LE(std::prev(next)->first + std::prev(next)->second, p);
                }
                live[p] = size;
            } else {
                ASSERT_LT(b.GetLargestFreeBlock(), size);
            }
        } else {
            auto it = live.begin();
            std::advance(it, rng.Int(0, int(live.size()) - 1));
            ASSERT_EQ(info.Free(it->first, it->second), S_OK);
            live.erase(it);
        }
        ExpectConsistent(b);
        uint64_t used = 0;
        for (const auto& [p, size] : live) used += size;
        ASSERT_EQ(b.GetFreeBytes(), b.GetSize() - used);
        ASSERT_EQ(info.GetFreeBytes(), b.GetFreeBytes());
    }
    for (const auto& [p, size] : live) ASSERT_EQ(info.Free(p, size), S_OK);
    ASSERT_EQ(b.GetFreeList().size(), 1u);
    EXPECT_EQ(b.GetFreeList()[0].size, b.GetSize());
}

TEST(MemoryBufferInfo, ChunkSizeGrowthFreeAndFailures) {
    ReportCapture reports;
    MemoryBufferInfo info;
    EXPECT_TRUE(info.IsEmpty());
    ASSERT_EQ(info.SetChunkSize(kMiB), S_OK);
    ASSERT_EQ(info.AddMemoryBuffer(1000), S_OK);  // the chunk size is the minimum
    EXPECT_EQ(info.GetAllocatedSize(), kMiB);
    EXPECT_EQ(info.SetChunkSize(kMiB), S_OK);
    EXPECT_EQ(info.SetChunkSize(2 * kMiB), E_UNEXPECTED);
    EXPECT_TRUE(reports.Contains("IsEmpty()"));
    ASSERT_EQ(info.AddMemoryBuffer(3 * kMiB), S_OK);  // a larger request gets a larger block
    EXPECT_EQ(
        std::tuple(info.GetBufferCount(), info.GetAllocatedSize(), info.GetLargestFreeBlock()),
        std::tuple(2u, 4 * kMiB, 3 * kMiB));

    // A request the first block cannot hold comes from the second.
    BYTE *big = nullptr, *small = nullptr;
    ASSERT_EQ(info.Allocate(2 * kMiB, &big), S_OK);
    ASSERT_EQ(info.Allocate(100, &small), S_OK);
    EXPECT_EQ(std::tuple(big, small, info.GetFreeBytes(), info.GetLargestFreeBlock()),
              std::tuple(info.GetBuffer(1).GetBuffer(), info.GetBuffer(0).GetBuffer(),
                         2 * kMiB - 100, kMiB));
    ASSERT_EQ(info.Free(big, 2 * kMiB), S_OK);
    EXPECT_EQ(info.GetLargestFreeBlock(), 3 * kMiB);

    // Addresses that belong to no block.
    BYTE below = 0;
    EXPECT_EQ(info.Free(&below, 1), E_INVALIDARG);
    BYTE* end0 = info.GetBuffer(0).GetBuffer() + info.GetBuffer(0).GetSize();
    BYTE* end1 = info.GetBuffer(1).GetBuffer() + info.GetBuffer(1).GetSize();
    EXPECT_EQ(info.Free(std::max(end0, end1), 1), E_INVALIDARG);
    MemoryBuffer lone(info.GetBuffer(1).GetBuffer(), kMiB);
    EXPECT_EQ(lone.Free(info.GetBuffer(1).GetBuffer() - 1, 1), E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("pStartAddress >= m_pBuffer"));
    ASSERT_EQ(info.FreeAll(), S_OK);
    EXPECT_EQ(std::tuple(info.IsEmpty(), info.GetAllocatedSize(), info.GetFreeBytes()),
              std::tuple(true, 0u, 0u));
    EXPECT_EQ(info.SetChunkSize(2 * kMiB), S_OK);

    // A reservation the system refuses is reported with the sizes and returned.
    ReportCapture failure;
    const HRESULT hr = info.AddMemoryBuffer(uint64_t(1) << 60);
#ifdef _WIN32
    // The system's VirtualAlloc may call a size beyond the address space invalid instead.
    EXPECT_TRUE(hr == HRESULT(0x80070008) || hr == E_INVALIDARG) << std::hex << hr;
#else
    EXPECT_EQ(hr, HRESULT(0x80070008));  // ERROR_NOT_ENOUGH_MEMORY
#endif
    EXPECT_TRUE(failure.Contains("Failed to allocate memory"));
    EXPECT_TRUE(info.IsEmpty());
}

}  // namespace
