// Waiting GetBuffer calls must wake whenever they could now be served: a release that one kind
// of waiter cannot use but another can, and limit changes while they wait. A waiter that never
// wakes is caught by a generous guard (the test then decommits to free it), not by timing.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "tests/support/SampleAllocator.h"

namespace {

constexpr auto kHangGuard = std::chrono::seconds(20);

using Allocator = qm::test::TestAllocator;
using qm::test::ReleaseAll;

// A GetBuffer on its own thread; Served() says whether it came back with a sample in time.
class Waiter {
public:
    Waiter(Allocator& a, LONG sizedRequest = 0) {
        m_thread = std::thread([this, &a, sizedRequest] {
            IMediaSample* s = nullptr;
            const HRESULT hr = sizedRequest > 0
                                   ? static_cast<IDynamicSizeAllocator*>(a.impl)->GetBufferOfSize(
                                         &s, sizedRequest, INFINITE)
                                   : a.mem->GetBuffer(&s, nullptr, nullptr, 0);
            m_result.set_value({hr, s});
        });
        m_future = m_result.get_future();
    }
    ~Waiter() {
        if (m_thread.joinable()) m_thread.join();
    }
    bool Served() { return m_future.wait_for(kHangGuard) == std::future_status::ready; }
    std::pair<HRESULT, IMediaSample*> Result() {
        m_thread.join();
        return m_future.get();
    }

private:
    std::promise<std::pair<HRESULT, IMediaSample*>> m_result;
    std::future<std::pair<HRESULT, IMediaSample*>> m_future;
    std::thread m_thread;
};

// One block of four 300 000-byte samples under a 1.2 MB ceiling. A sized waiter (600 000) and a
// plain waiter sleep; one release frees a sample that only the plain waiter can use (the sized
// one may dismantle it for memory and still not fit). The plain waiter must be served, and the
// sized one once two neighbours come back.
TEST(QMMemAllocatorWake, TwoKindsOfWaiterAtOnce) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        Allocator a;
        ASSERT_EQ(a.impl->SetMemoryLimit(1.2), S_OK);
        ASSERT_EQ(a.Start(3, 300000), S_OK);
        std::vector<IMediaSample*> held = a.Drain();
        ASSERT_EQ(held.size(), 4u);

        Waiter sized(a, 600000);
        a.WaitForWaiters(1);
        Waiter plain(a);
        a.WaitForWaiters(2);
        held[0]->Release();
        held[0] = nullptr;
        const bool plainServed = plain.Served();
        EXPECT_TRUE(plainServed);
        if (!plainServed) {
            a.mem->Decommit();  // frees both waiters
            ReleaseAll(held);
            continue;
        }
        auto [hr, s] = plain.Result();
        EXPECT_EQ(hr, S_OK);
        held.push_back(s);
        // The neighbours of the first sample: 600 000 contiguous bytes for the sized waiter.
        held[1]->Release();
        held[1] = nullptr;
        held[2]->Release();
        held[2] = nullptr;
        EXPECT_TRUE(sized.Served());
        auto [hr2, big] = sized.Result();
        EXPECT_EQ(hr2, S_OK);
        if (big) {
            EXPECT_GE(big->GetSize(), 600000);
        }
        held.push_back(big);
        ReleaseAll(held);
    }
}

// Each change that makes growth possible wakes a waiting GetBuffer.
TEST(QMMemAllocatorWake, LimitChangesDuringAWait) {
    enum Change { RaiseCeiling, UnfixMemory, SmallerType };
    for (Change change : {RaiseCeiling, UnfixMemory, SmallerType}) {
        SCOPED_TRACE(int(change));
        // 500x300 YUY2 pictures are 300 000 bytes, 250x200 ones 100 000.
        CMediaType large, small;
        const GUID yuy2 = MEDIASUBTYPE_YUY2;
        ASSERT_EQ(qm::CreateVideoInfoHeader2Type(&large, 500, 300, 5, 3, 0, &yuy2, 400000, 0),
                  S_OK);
        ASSERT_EQ(qm::CreateVideoInfoHeader2Type(&small, 250, 200, 5, 4, 0, &yuy2, 400000, 0),
                  S_OK);
        Allocator a(change == SmallerType ? &large : nullptr);
        if (change == RaiseCeiling) {
            ASSERT_EQ(a.impl->SetMemoryLimit(1.2), S_OK);
        }
        if (change == UnfixMemory) {
            ASSERT_EQ(a.impl->SetFixedMemory(TRUE), S_OK);
        }
        // A ceiling below 1 MiB is the block size: three pictures and 100 000 bytes to spare.
        if (change == SmallerType) {
            ASSERT_EQ(a.impl->SetMemoryLimit(1.0), S_OK);
        }
        ASSERT_EQ(a.Start(10, 300000), S_OK);
        std::vector<IMediaSample*> held = a.Drain();
        ASSERT_EQ(held.size(), change == SmallerType ? 3u : 4u);

        Waiter w(a);
        a.WaitForWaiters(1);
        if (change == RaiseCeiling) {
            // Lowering below what is allocated changes nothing and wakes nobody into success.
            EXPECT_EQ(a.impl->SetMemoryLimit(1.0), S_FALSE);
            EXPECT_DOUBLE_EQ(a.impl->GetMemoryLimit(), 1.2);
            EXPECT_EQ(a.impl->SetMemoryLimit(2.4), S_OK);
        }
        if (change == UnfixMemory) {
            EXPECT_EQ(a.impl->SetFixedMemory(FALSE), S_OK);
        }
        if (change == SmallerType) {
            EXPECT_EQ(a.impl->SetNewMediaType(&small), S_OK);
        }
        const bool served = w.Served();
        EXPECT_TRUE(served);
        if (!served) a.mem->Decommit();
        auto [hr, s] = w.Result();
        if (served) {
            EXPECT_EQ(hr, S_OK);
        }
        held.push_back(s);
        ReleaseAll(held);
    }
}

}  // namespace
