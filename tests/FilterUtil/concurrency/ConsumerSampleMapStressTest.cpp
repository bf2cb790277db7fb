#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <unordered_set>
#include <vector>

#include "VideoIO/FilterUtil/QMMemAllocator.h"
#include "tests/support/Random.h"

using qm_DSFilters::CreateQMMemAllocator;
using qm_DSFilters::QMMemAllocator;

namespace {

constexpr int kSamples = 20000;
constexpr LONG kSampleSize = 4096;

struct Payload {
    REFERENCE_TIME time;
    int64_t sequence;
};

Payload ReadPayload(IMediaSample* s) {
    BYTE* p = nullptr;
    s->GetPointer(&p);
    Payload payload;
    std::memcpy(&payload, p, sizeof payload);
    return payload;
}

// A producer pushes timed samples (some out of order, some without a time) through the
// allocator; three consumers register, read, hold, seek, pause, stop and unregister at random;
// a fourth thread moves the memory ceiling; a fifth checks the store throughout. A sample may
// never be both free and kept, a held sample never changes under its holder, kept samples stay
// in time order, the blocks never exceed the ceiling, and everything goes away at the end.
TEST(ConsumerSampleMapStressTest, RandomConsumersAgainstAProducerAndAMovingLimit) {
    const LONG objectsBefore = CBaseObject::ObjectsActive();
    IMemAllocator* mem = nullptr;
    ASSERT_EQ(CreateQMMemAllocator(nullptr, TEXT("stress"), &mem), S_OK);
    auto* impl = static_cast<QMMemAllocator*>(static_cast<IMemAllocatorCallbackTemp*>(mem));
    ALLOCATOR_PROPERTIES request{4, kSampleSize, 16, 0}, actual{};
    ASSERT_EQ(mem->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(impl->SetMemoryLimit(0.1), S_OK);
    ASSERT_EQ(mem->Commit(), S_OK);
    ASSERT_EQ(impl->Start(), S_OK);

    std::atomic<bool> done{false};
    std::atomic<int> errors{0};
    std::atomic<int> reads{0}, skips{0};
    std::atomic<int> firstFailure{0};
    auto failAt = [&](bool bad, int line) {
        if (!bad) return;
        ++errors;
        int none = 0;
        firstFailure.compare_exchange_strong(none, line);
    };
#define fail(bad) failAt((bad), __LINE__)

    std::thread producer([&] {
        qm::test::Rng rng(1);
        // On until the consumers have read a fair share, however the threads are scheduled.
        for (int64_t seq = 0; seq < kSamples || (reads < 3000 && seq < 50 * kSamples); ++seq) {
            IMediaSample* s = nullptr;
            if (mem->GetBuffer(&s, nullptr, nullptr, 0) != S_OK) {
                ++errors;
                break;
            }
            REFERENCE_TIME time = seq * 1000;
            if (rng.Int(0, 20) == 0) time -= rng.Int(1, 5) * 1000;  // late
            Payload payload{time, seq};
            BYTE* p = nullptr;
            s->GetPointer(&p);
            std::memcpy(p, &payload, sizeof payload);
            s->SetActualDataLength(sizeof payload);
            if (rng.Int(0, 30) != 0) s->SetTime(&time, nullptr);  // else untimed: not kept
            s->Release();
        }
        done = true;
    });

    auto consumer = [&](uint64_t seed) {
        qm::test::Rng rng(seed);
        IConsumerToken* token = nullptr;
        IConsumerTokenPrivate* priv = nullptr;
        std::vector<std::pair<IMediaSample*, Payload>> held;
        REFERENCE_TIME lastNext = -1;
        auto releaseOne = [&] {
            const auto [s, payload] = held.front();
            const Payload now = ReadPayload(s);
            fail(now.sequence != payload.sequence || now.time != payload.time);
            s->Release();
            held.erase(held.begin());
        };
        while (!done) {
            const int action = rng.Int(0, 99);
            if (!token) {
                fail(impl->RegisterConsumer(&token) != S_OK);
                token->QueryInterface(IID_IConsumerTokenPrivate, reinterpret_cast<void**>(&priv));
                lastNext = -1;
            } else if (action < 2) {
                fail(impl->UnregisterConsumer(token) != S_OK);
                priv->Release();
                token->Release();
                token = nullptr;
            } else if (action < 6) {
                priv->SetState(FILTER_STATE(rng.Int(0, 2)));
                lastNext = -1;
            } else if (action < 10 && token->GetState() != State_Stopped) {
                IMediaSample* s = nullptr;
                REFERENCE_TIME first = 0, last = 0;
                if (impl->GetKeptTimeRange(&first, &last) == S_OK &&
                    impl->GetSampleAtOrBefore(token, (first + last) / 2, &s) == S_OK)
                    held.emplace_back(s, ReadPayload(s));
                lastNext = -1;
            } else if (token->GetState() != State_Stopped) {
                IMediaSample* s = nullptr;
                const HRESULT hr = impl->GetNextSample(token, 1, &s);
                if (SUCCEEDED(hr)) {
                    ++reads;
                    if (hr == QM_S_SAMPLES_SKIPPED) ++skips;
                    REFERENCE_TIME start = 0, stop = 0;
                    fail(FAILED(s->GetTime(&start, &stop)));
                    const Payload payload = ReadPayload(s);
                    fail(payload.time != start);
                    fail(start < lastNext);  // forward in time order
                    lastNext = start;
                    held.emplace_back(s, payload);
                } else {
                    fail(hr != QM_E_NO_SAMPLE);
                }
            }
            while (held.size() > size_t(rng.Int(0, 3))) releaseOne();
        }
        while (!held.empty()) releaseOne();
        if (token) {
            fail(impl->UnregisterConsumer(token) != S_OK);
            priv->Release();
            token->Release();
        }
    };

    std::thread limiter([&] {
        qm::test::Rng rng(2);
        while (!done) {
            impl->SetMemoryLimit(rng.Real(0.03, 0.3));  // S_FALSE below what is allocated
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    std::thread checker([&] {
        std::vector<IMediaSample*> freeSamples;
        std::vector<std::pair<IMediaSample*, REFERENCE_TIME>> kept;
        while (!done) {
            // Allocated first: it never falls, and the ceiling never goes below it.
            const double allocated = impl->GetAllocatedMemory();
            fail(allocated > impl->GetMemoryLimit());
            impl->GetSampleSets(&freeSamples, &kept);
            std::unordered_set<IMediaSample*> free(freeSamples.begin(), freeSamples.end());
            fail(free.size() != freeSamples.size());
            for (size_t i = 0; i < kept.size(); ++i) {
                fail(free.count(kept[i].first) != 0);
                fail(i > 0 && kept[i].second < kept[i - 1].second);
            }
            std::this_thread::yield();
        }
    });

    std::thread consumers[] = {std::thread(consumer, 11), std::thread(consumer, 12),
                               std::thread(consumer, 13)};
    producer.join();
    for (std::thread& t : consumers) t.join();
    limiter.join();
    checker.join();

#undef fail
    EXPECT_EQ(errors.load(), 0) << "first at line " << firstFailure.load();
    EXPECT_GT(reads.load(), 0);
    SampleMapStatistics stats;
    ASSERT_EQ(impl->GetStatistics(&stats), S_OK);
    EXPECT_EQ(stats.inUseCount, 0);
    EXPECT_EQ(stats.consumerCount, 0);
    EXPECT_EQ(stats.keptCount, 0);  // nobody wants them once everyone left
    EXPECT_EQ(stats.freeCount, impl->GetAllocatedCount());
    ASSERT_EQ(mem->Decommit(), S_OK);
    EXPECT_EQ(mem->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), objectsBefore);
    RecordProperty("reads", reads.load());
    RecordProperty("skips", skips.load());
}

}  // namespace
