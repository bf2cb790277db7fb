#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "VideoIO/FilterUtil/QMMemAllocator.h"

using qm_DSFilters::CreateQMMemAllocator;
using qm_DSFilters::QMMemAllocator;

namespace {

constexpr int kSamples = 100000;

// What travels from the producer to the consumer.
struct Item {
    IMediaSample* sample;
    int64_t sequence;
};

class Queue {
public:
    void Push(Item item) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_items.push_back(item);
        }
        m_cv.notify_one();
    }
    Item Pop() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait(lock, [&] { return !m_items.empty(); });
        Item item = m_items.front();
        m_items.pop_front();
        return item;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Item> m_items;
};

// One thread takes samples (fixed and dynamic sizes), fills them and hands them to a second
// thread that checks and releases them; a third decommits, changes the properties and commits
// again while samples are out or being waited for. No sample may be handed out twice, no data
// may be overwritten, and the allocator must go away with its last sample.
TEST(QMMemAllocatorStressTest, ProducerConsumerWithCommitsAndDecommits) {
    const LONG objectsBefore = CBaseObject::ObjectsActive();
    IMemAllocator* mem = nullptr;
    ASSERT_EQ(CreateQMMemAllocator(nullptr, TEXT("stress"), &mem), S_OK);
    auto* impl = static_cast<QMMemAllocator*>(static_cast<IMemAllocatorCallbackTemp*>(mem));
    ALLOCATOR_PROPERTIES request{4, 4096, 16, 8}, actual{};
    ASSERT_EQ(mem->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(mem->Commit(), S_OK);

    Queue queue;
    std::mutex outstandingMutex;
    std::unordered_set<IMediaSample*> outstanding;
    std::atomic<int> consumed{0};
    std::atomic<bool> done{false};
    std::atomic<int> errors{0};
    std::atomic<int> notCommitted{0};

    std::thread producer([&] {
        IDynamicSizeAllocator* dynamic = impl;
        for (int64_t seq = 0; seq < kSamples;) {
            IMediaSample* s = nullptr;
            const bool sized = seq % 7 == 3;
            const LONG want = sized ? LONG(1000 + (seq * 37) % 9000) : 4096;
            const HRESULT hr = sized ? dynamic->GetBufferOfSize(&s, want, INFINITE)
                                     : mem->GetBuffer(&s, nullptr, nullptr, 0);
            if (hr == VFW_E_NOT_COMMITTED) {
                ++notCommitted;
                std::this_thread::yield();
                continue;
            }
            if (hr != S_OK || !s || s->GetSize() < want) {
                ++errors;
                break;
            }
            {
                std::lock_guard<std::mutex> lock(outstandingMutex);
                if (!outstanding.insert(s).second) ++errors;  // handed out twice
            }
            BYTE* p = nullptr;
            s->GetPointer(&p);
            std::memcpy(p, &seq, sizeof(seq));
            std::memset(p + sizeof(seq), int(seq & 0xFF), size_t(want) - sizeof(seq));
            s->SetActualDataLength(want);
            REFERENCE_TIME t = seq;
            s->SetTime(&t, nullptr);
            queue.Push({s, seq});
            ++seq;
        }
    });

    std::thread consumer([&] {
        for (int i = 0; i < kSamples && errors == 0; ++i) {
            Item item = queue.Pop();
            BYTE* p = nullptr;
            item.sample->GetPointer(&p);
            int64_t seq = -1;
            std::memcpy(&seq, p, sizeof(seq));
            const LONG length = item.sample->GetActualDataLength();
            bool intact = seq == item.sequence;
            for (LONG k = sizeof(seq); k < length && intact; ++k)
                intact = p[k] == BYTE(item.sequence & 0xFF);
            REFERENCE_TIME start = 0, stop = 0;
            if (item.sample->GetTime(&start, &stop) != VFW_S_NO_STOP_TIME || start != seq)
                intact = false;
            if (!intact) ++errors;
            {
                std::lock_guard<std::mutex> lock(outstandingMutex);
                outstanding.erase(item.sample);
            }
            item.sample->Release();
            ++consumed;
        }
        done = true;
    });

    std::thread controller([&] {
        int lastToggle = 0, round = 0;
        while (!done) {
            const int now = consumed.load();
            if (now - lastToggle < 997) {
                std::this_thread::yield();
                continue;
            }
            lastToggle = now;
            ++round;
            mem->Decommit();
            // While decommitted: properties may change only when every sample is back.
            ALLOCATOR_PROPERTIES props{2 + round % 5, 4096, 16, 8}, got{};
            const HRESULT hr = mem->SetProperties(&props, &got);
            if (hr != S_OK && hr != VFW_E_BUFFERS_OUTSTANDING) ++errors;
            if (mem->Commit() != S_OK) ++errors;
        }
    });

    producer.join();
    consumer.join();
    controller.join();
    EXPECT_EQ(errors.load(), 0);
    EXPECT_EQ(consumed.load(), kSamples);

    LONG freeCount = -1;
    impl->GetFreeCount(&freeCount);
    EXPECT_EQ(freeCount, impl->GetAllocatedCount());
    EXPECT_EQ(mem->Decommit(), S_OK);
    EXPECT_EQ(mem->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), objectsBefore);
}

// Several threads take and release samples directly while one decommits and commits; every
// sample that was taken comes back and the allocator ends with all of them free.
TEST(QMMemAllocatorStressTest, ManyThreadsRaceDecommit) {
    IMemAllocator* mem = nullptr;
    ASSERT_EQ(CreateQMMemAllocator(nullptr, TEXT("race"), &mem), S_OK);
    auto* impl = static_cast<QMMemAllocator*>(static_cast<IMemAllocatorCallbackTemp*>(mem));
    ALLOCATOR_PROPERTIES request{2, 600000, 1, 0}, actual{};
    ASSERT_EQ(mem->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(mem->Commit(), S_OK);
    std::atomic<int> taken{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w) {
        workers.emplace_back([&] {
            while (!stop) {
                IMediaSample* s = nullptr;
                const HRESULT hr = mem->GetBuffer(&s, nullptr, nullptr, 0);
                if (hr == S_OK) {
                    ++taken;
                    s->Release();
                } else {
                    std::this_thread::yield();
                }
            }
        });
    }
    for (int round = 0; round < 2000; ++round) {
        mem->Decommit();
        std::this_thread::yield();
        mem->Commit();
        while (taken.load() < round * 5) std::this_thread::yield();
    }
    stop = true;
    // Wake every waiter for good.
    mem->Decommit();
    for (std::thread& t : workers) t.join();
    EXPECT_GT(taken.load(), 0);
    LONG freeCount = -1;
    impl->GetFreeCount(&freeCount);
    EXPECT_EQ(freeCount, impl->GetAllocatedCount());
    EXPECT_FALSE(impl->IsCommitted());
    EXPECT_EQ(mem->Release(), 0u);
}

}  // namespace
