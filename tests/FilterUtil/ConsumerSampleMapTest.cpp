#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "VideoIO/FilterUtil/ConsumerSampleMap.h"
#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "VideoIO/FilterUtil/QMMemAllocator.h"
#include "tests/FilterUtil/Steps.h"
#include "tests/support/ReportCapture.h"
#include "tests/support/SampleAllocator.h"

using qm::test::ExpectSteps;
using qm::test::ReportCapture;
using qm_DSFilters::ConsumerSampleMap;
using qm_DSFilters::QMMediaSample;

namespace {

constexpr REFERENCE_TIME kSecond = 10000000;

// A committed, running allocator of `count` samples of `size` bytes (which may grow to 1 MiB)
// with a producer side that stamps each sample with its time in its first bytes.
struct TimeShift : qm::test::TestAllocator {
    explicit TimeShift(LONG count = 4, LONG size = 1000) {
        EXPECT_EQ(StartStore(count, size), S_OK);
    }
    // One sample through the producer side: S_OK, or what GetBuffer said.
    HRESULT Push(REFERENCE_TIME time, bool timed = true) {
        IMediaSample* s = nullptr;
        const HRESULT hr = mem->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT);
        if (hr != S_OK) return hr;
        BYTE* p = nullptr;
        s->GetPointer(&p);
        std::memcpy(p, &time, sizeof time);
        s->SetActualDataLength(sizeof time);
        REFERENCE_TIME stop = time + 1;
        if (timed) s->SetTime(&time, &stop);
        s->Release();
        return S_OK;
    }
};

// The time a sample was stamped with, read from its data.
REFERENCE_TIME Payload(IMediaSample* s) {
    BYTE* p = nullptr;
    s->GetPointer(&p);
    REFERENCE_TIME t;
    std::memcpy(&t, p, sizeof t);
    return t;
}

// A sample's time (-1 for none) and the status it was read with.
using Read = std::pair<REFERENCE_TIME, HRESULT>;
Read Got(REFERENCE_TIME time, HRESULT hr = S_OK) {
    return {time, hr};
}
const Read kNone = Got(-1, QM_E_NO_SAMPLE);

// Reads the next sample, checks its stamp against its time and releases it.
Read ReadNext(TimeShift& ts, IConsumerToken* token) {
    IMediaSample* s = nullptr;
    const HRESULT hr = ts.impl->GetNextSample(token, 0, &s);
    if (FAILED(hr)) return Got(-1, hr);
    REFERENCE_TIME start = 0, stop = 0;
    EXPECT_EQ(s->GetTime(&start, &stop), S_OK);
    EXPECT_EQ(Payload(s), start);
    s->Release();
    return Got(start, hr);
}

void SetState(IConsumerToken* token, FILTER_STATE state) {
    IConsumerTokenPrivate* priv = nullptr;
    ASSERT_EQ(token->QueryInterface(IID_IConsumerTokenPrivate, reinterpret_cast<void**>(&priv)),
              S_OK);
    priv->SetState(state);
    priv->Release();
}

TEST(ConsumerSampleMapTest, ConsumersReadInTimeOrderEachAtItsOwnPace) {
    TimeShift ts(8);
    // Nothing is kept without a consumer: every release goes free.
    ASSERT_EQ(ts.Push(0), S_OK);
    EXPECT_EQ(ts.Stats().keptCount, 0);
    IConsumerToken* fast = ts.Register();
    IConsumerToken* slow = ts.Register();
    EXPECT_EQ(ReadNext(ts, fast), kNone);  // a lookup before any sample
    // Out of order on arrival, in time order to the readers; an untimed sample is not kept.
    for (REFERENCE_TIME t : {3, 1, 2}) ASSERT_EQ(ts.Push(t * kSecond), S_OK);
    ASSERT_EQ(ts.Push(9 * kSecond, false), S_OK);
    EXPECT_EQ(ts.Stats().keptCount, 3);
    for (REFERENCE_TIME t : {1, 2, 3}) EXPECT_EQ(ReadNext(ts, fast), Got(t * kSecond));
    EXPECT_EQ(ReadNext(ts, fast), kNone);
    // The slow consumer still needs all three.
    EXPECT_EQ(ts.Stats().keptCount, 3);
    EXPECT_EQ(ReadNext(ts, slow), Got(1 * kSecond));
    EXPECT_EQ(ts.Stats().keptCount, 2);  // the first one is passed by both: freed
    // A time earlier than both positions is passed by both already: not kept.
    ASSERT_EQ(ts.Push(kSecond / 2), S_OK);
    EXPECT_EQ(ts.Stats().keptCount, 2);

    // Stepping by time: the next after a time, and back to the one at or before a time.
    IMediaSample* s = nullptr;
    ASSERT_EQ(ts.impl->GetSampleAtOrBefore(slow, 3 * kSecond - 1, &s), S_OK);
    EXPECT_EQ(Payload(s), 2 * kSecond);
    s->Release();
    EXPECT_EQ(ts.impl->GetSampleAtOrBefore(slow, 0, &s), QM_E_NO_SAMPLE);
    EXPECT_EQ(s, nullptr);
    ASSERT_EQ(ts.impl->GetNextSampleAfter(slow, 2 * kSecond, &s), S_OK);
    EXPECT_EQ(Payload(s), 3 * kSecond);
    s->Release();
    EXPECT_EQ(ReadNext(ts, slow), kNone);
    EXPECT_EQ(ts.Stats().keptCount, 0);

    // A consumer registered now starts live, after what is kept.
    ASSERT_EQ(ts.Push(4 * kSecond), S_OK);
    IConsumerToken* late = ts.Register();
    EXPECT_EQ(ReadNext(ts, late), kNone);
    ASSERT_EQ(ts.Push(5 * kSecond), S_OK);
    EXPECT_EQ(ReadNext(ts, late), Got(5 * kSecond));
}

TEST(ConsumerSampleMapTest, AHeldSampleStaysUntilItsLastReleaseEvenWhenPassed) {
    TimeShift ts(8);
    IConsumerToken* c = ts.Register();
    ASSERT_EQ(ts.Push(1), S_OK);
    ASSERT_EQ(ts.Push(2), S_OK);
    IMediaSample* held = nullptr;
    ASSERT_EQ(ts.impl->GetNextSample(c, 0, &held), S_OK);
    EXPECT_EQ(ReadNext(ts, c), Got(2));
    SampleMapStatistics st = ts.Stats();
    EXPECT_EQ(st.keptCount, 1);  // passed, but held
    EXPECT_EQ(st.inUseCount, 1);
    const LONG freeBefore = ts.Free();
    held->Release();
    EXPECT_EQ(ts.Stats().keptCount, 0);
    EXPECT_EQ(ts.Free(), freeBefore + 1);
}

TEST(ConsumerSampleMapTest, StoppedConsumersHoldNothingBackAndLearnTheySkipped) {
    TimeShift ts(8);
    IConsumerToken* live = ts.Register();
    IConsumerToken* paused = ts.Register();
    ASSERT_EQ(ts.Push(1), S_OK);
    SetState(paused, State_Paused);  // paused still holds samples back
    EXPECT_EQ(ReadNext(ts, live), Got(1));
    EXPECT_EQ(ts.Stats().keptCount, 1);
    SetState(paused, State_Stopped);
    ASSERT_EQ(ts.Push(2), S_OK);  // only the live one wants it
    EXPECT_EQ(ReadNext(ts, live), Got(2));
    EXPECT_EQ(ts.Stats().keptCount, 0);  // the stopped one no longer holds 1 back
    IMediaSample* none = nullptr;
    ExpectSteps({
        {[&] { return ts.impl->GetNextSample(paused, 0, &none); }, VFW_E_WRONG_STATE,
         "pConsumerToken->GetState() != State_Stopped"},
        {[&] { return ts.impl->GetNextSample(nullptr, 0, &none); }, E_POINTER,
         "pConsumerToken != 0"},
        {[&] { return ts.impl->UnregisterConsumer(nullptr); }, E_POINTER},
    });
    // Back running: it missed 1 and 2 and is told so with the next sample.
    SetState(paused, State_Running);
    ASSERT_EQ(ts.Push(3), S_OK);
    EXPECT_EQ(ReadNext(ts, paused), Got(3, QM_S_SAMPLES_SKIPPED));
    ASSERT_EQ(ts.Push(4), S_OK);
    EXPECT_EQ(ReadNext(ts, paused), Got(4, S_OK));  // told once

    // Unregistered twice: the second is refused, and the token is not released twice.
    IConsumerToken* extra = nullptr;
    ASSERT_EQ(ts.impl->RegisterConsumer(&extra), S_OK);
    ExpectSteps({
        {[&] { return ts.impl->UnregisterConsumer(extra); }, S_OK},
        {[&] { return ts.impl->UnregisterConsumer(extra); }, E_INVALIDARG},
        {[&] { return ts.impl->GetNextSample(extra, 0, &none); }, E_INVALIDARG},
    });
    EXPECT_EQ(extra->Release(), 0u);
}

TEST(ConsumerSampleMapTest, FullMemoryReclaimsTheOldestUnheldSampleAndTellsTheLaggard) {
    // 100 000-byte samples in a 500 000-byte ceiling: five fit.
    TimeShift ts(2, 100000);
    ASSERT_EQ(ts.impl->SetMemoryLimit(0.5), S_OK);
    IConsumerToken* c = ts.Register();
    ASSERT_EQ(ts.Push(0), S_OK);
    IMediaSample* held = nullptr;
    ASSERT_EQ(ts.impl->GetNextSample(c, 0, &held), S_OK);  // holds time 0
    for (REFERENCE_TIME t = 1; t <= 4; ++t) ASSERT_EQ(ts.Push(t), S_OK);
    EXPECT_EQ(ts.impl->GetAllocatedCount(), 5);
    // No growth left: the oldest kept sample nobody holds (1, not the held 0) is taken.
    ASSERT_EQ(ts.Push(5), S_OK);
    EXPECT_EQ(ts.impl->GetAllocatedCount(), 5);
    EXPECT_LE(ts.impl->GetAllocatedBytes(), 500000u);
    EXPECT_EQ(ts.Stats().reclaimedTotal, 1u);
    EXPECT_EQ(Payload(held), 0);  // untouched
    EXPECT_EQ(ReadNext(ts, c), Got(2, QM_S_SAMPLES_SKIPPED));
    // Held samples are never taken: with 3, 4 and 5 held too, the free one (2, read and
    // released) serves 6, and 7 can only take 6. Holding 7 as well leaves nothing.
    std::vector<IMediaSample*> all{held};
    auto holdRest = [&] {
        for (;;) {
            IMediaSample* s = nullptr;
            if (FAILED(ts.impl->GetNextSample(c, 0, &s))) break;
            all.push_back(s);
        }
    };
    holdRest();
    ASSERT_EQ(all.size(), 4u);
    ASSERT_EQ(ts.Push(6), S_OK);
    ASSERT_EQ(ts.Push(7), S_OK);
    holdRest();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(ts.Push(8), VFW_E_TIMEOUT);
    for (IMediaSample* s : all) {
        REFERENCE_TIME start = 0, stop = 0;
        s->GetTime(&start, &stop);
        EXPECT_EQ(Payload(s), start);
        s->Release();
    }
    EXPECT_EQ(ts.Push(8), S_OK);
}

TEST(ConsumerSampleMapTest, LoopModeKeepsTheLastSecondsForRewinding) {
    TimeShift ts(4, 1000);
    {
        ReportCapture capture;
        EXPECT_EQ(ts.impl->SetLoopMode(TRUE, 0), E_INVALIDARG);
    }
    ASSERT_EQ(ts.impl->SetLoopMode(TRUE, 1.0), S_OK);
    // No consumer needed: 3 s at 10 samples per second, the last second stays.
    for (int i = 0; i <= 30; ++i) ASSERT_EQ(ts.Push(i * kSecond / 10), S_OK);
    REFERENCE_TIME first = 0, last = 0;
    ASSERT_EQ(ts.impl->GetKeptTimeRange(&first, &last), S_OK);
    EXPECT_EQ(first, 2 * kSecond);
    EXPECT_EQ(last, 3 * kSecond);
    EXPECT_NEAR(ts.Stats().rate, 10.0, 1e-9);

    // A consumer rewinds into the window and reads forward; passed samples stay for others.
    IConsumerToken* c = ts.Register();
    IMediaSample* s = nullptr;
    ASSERT_EQ(ts.impl->GetSampleAtOrBefore(c, 2 * kSecond + kSecond / 4, &s), S_OK);
    EXPECT_EQ(Payload(s), 2 * kSecond + 2 * kSecond / 10);
    s->Release();
    EXPECT_EQ(ReadNext(ts, c), Got(2 * kSecond + 3 * kSecond / 10));
    EXPECT_EQ(ts.Stats().keptCount, 11);
    // The window moves on past the consumer's position: it skipped.
    for (int i = 31; i <= 40; ++i) ASSERT_EQ(ts.Push(i * kSecond / 10), S_OK);
    EXPECT_EQ(ReadNext(ts, c), Got(3 * kSecond, QM_S_SAMPLES_SKIPPED));

    // Off again: samples passed by every consumer go.
    ASSERT_EQ(ts.impl->SetLoopMode(FALSE, 0), S_OK);
    EXPECT_EQ(ts.Stats().keptCount, 10);
}

// A decommit waits for kept samples in use; after a recommit consumers read the new stream
// from its start, though earlier than where they were.
TEST(ConsumerSampleMapTest, DecommitWaitsForKeptSamplesInUseAndRecommitStartsAfresh) {
    const LONG objectsBefore = CBaseObject::ObjectsActive();
    IMediaSample* held = nullptr;
    {
        TimeShift ts;
        IConsumerToken* c = ts.Register();
        ASSERT_EQ(ts.Push(5 * kSecond), S_OK);
        EXPECT_EQ(ReadNext(ts, c), Got(5 * kSecond));
        ASSERT_EQ(ts.mem->Decommit(), S_OK);
        ASSERT_EQ(ts.mem->Commit(), S_OK);
        ASSERT_EQ(ts.Push(1), S_OK);
        ASSERT_EQ(ts.Push(2), S_OK);
        ASSERT_EQ(ts.impl->GetNextSample(c, 0, &held), S_OK);
        ASSERT_EQ(ts.mem->Decommit(), S_OK);
        // Not finished: the allocator and its memory stay for the held sample.
        EXPECT_GT(ts.impl->GetAllocatedBytes(), 0u);
        IMediaSample* s = nullptr;
        EXPECT_EQ(ts.mem->GetBuffer(&s, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    }
    EXPECT_EQ(CBaseObject::ObjectsActive(), objectsBefore + 1);
    EXPECT_EQ(Payload(held), 1);
    held->Release();  // the decommit completes and the allocator goes
    EXPECT_EQ(CBaseObject::ObjectsActive(), objectsBefore);
}

// A surface that keeps the lines drawn on it.
struct TextSurface : IStatisticsSurface {
    void DrawTextLine(int line, const char* text) override {
        EXPECT_EQ(line, int(lines.size()));
        lines.push_back(text);
    }
    std::vector<std::string> lines;
};

TEST(ConsumerSampleMapTest, StatisticsGiveTheSummaryAndOneLinePerConsumer) {
    TimeShift ts(4, 1000);
    IConsumerToken* a = ts.Register();
    ts.Register();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(ts.Push(i * kSecond / 4), S_OK);
    EXPECT_EQ(ReadNext(ts, a), Got(0));
    SetState(a, State_Paused);
    TextSurface surface;
    ASSERT_EQ(ts.impl->DrawStatistics(&surface), S_OK);
    const std::string allocated = std::to_string(ts.impl->GetAllocatedBytes());
    ASSERT_EQ(surface.lines.size(), 3u);
    // Three samples of 8 bytes kept, one free (the sample pushed first... none here), 4 fps.
    EXPECT_EQ(surface.lines[0], "24 / " + allocated + " bytes (0%) -> 3 samples (free " +
                                    std::to_string(ts.Free()) + "), fps 4.0");
    EXPECT_EQ(surface.lines[1], "Consumer: #1 paused at 0:00:00.000, read 1");
    EXPECT_EQ(surface.lines[2], "Consumer: #2 running at -, read 0");
    ReportCapture capture(2);
    ASSERT_EQ(ts.impl->Dump(2), S_OK);
    EXPECT_TRUE(capture.Contains("Consumer: #2 running"));
    EXPECT_EQ(ts.impl->DrawStatistics(nullptr), E_POINTER);
}

// Samples of no allocator, handed to a map directly when their count falls to 0.
struct DirectOwner : qm_DSFilters::ISampleOwner {
    explicit DirectOwner(ConsumerSampleMap& m) : map(m) {}
    bool TakeSample(QMMediaSample* s) override {
        EXPECT_EQ(map.AddReleasedSample(s), S_OK);
        return true;
    }
    ConsumerSampleMap& map;
};

TEST(ConsumerSampleMapTest, TheMapRefusesOtherOrdersAndReferencedSamples) {
    CCritSec lock;
    ConsumerSampleMap map(nullptr, TEXT("map"), &lock);
    DirectOwner owner(map);
    BYTE memory[64];
    QMMediaSample sample(nullptr, memory, sizeof memory, &owner);
    map.Start();
    IConsumerToken* c = nullptr;
    ASSERT_EQ(map.RegisterConsumer(&c), S_OK);
    ReportCapture capture;
    // Still referenced: refused and left alone.
    EXPECT_EQ(map.AddReleasedSample(&sample), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("pQMMediaSample->GetRefCount() == 0"));
    EXPECT_EQ(map.GetFreeCount(), 0);

    // Another order than by time is not kept, but the sample is not lost either.
    ASSERT_EQ(map.SetSampleSortingMethod(IBufferSink::SortSamplesByArrival), S_OK);
    REFERENCE_TIME t = 5;
    sample.SetTime(&t, nullptr);
    sample.Release();
    EXPECT_TRUE(capture.Contains("m_sampleSortingMethod == IBufferSink::SortSamplesByTime"));
    EXPECT_EQ(map.GetKeptCount(), 0);
    EXPECT_EQ(map.GetFreeCount(), 1);
    ASSERT_EQ(map.PopFreeSample(nullptr), E_POINTER);
    QMMediaSample* popped = nullptr;
    ASSERT_EQ(map.PopFreeSample(&popped), S_OK);
    EXPECT_EQ(map.PopFreeSample(&popped), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("! m_freeList.empty()"));

    // The order is fixed while the store wraps.
    ASSERT_EQ(map.SetSampleSortingMethod(IBufferSink::SortSamplesByTime), S_OK);
    ASSERT_EQ(map.SetLoopMode(true, kSecond), S_OK);
    EXPECT_EQ(map.SetSampleSortingMethod(IBufferSink::SortSamplesByArrival), VFW_E_WRONG_STATE);
    EXPECT_TRUE(capture.Contains("(m_mapMode & IBufferSink::LoopMode) == 0"));

    // Kept now; the same release arriving again changes nothing.
    sample.AddRef();
    sample.Release();
    EXPECT_EQ(map.GetKeptCount(), 1);
    EXPECT_EQ(map.AddReleasedSample(&sample), S_OK);
    EXPECT_EQ(map.GetKeptCount(), 1);
    EXPECT_EQ(map.GetFreeCount(), 0);
    map.Clear();
    map.UnregisterConsumer(c);
    c->Release();
}

TEST(ConsumerSampleMapTest, FreeSamplesAreKeptOnceAndHandedOutLastInFirst) {
    // An owner that keeps its samples alive at count 0, as the allocator does.
    struct Keep : qm_DSFilters::ISampleOwner {
        bool TakeSample(QMMediaSample*) override { return true; }
    } keep;
    CCritSec lock;
    ConsumerSampleMap map(nullptr, TEXT("map"), &lock);
    std::vector<BYTE> memory(32);
    QMMediaSample* a = new QMMediaSample(nullptr, memory.data(), 16, &keep);
    QMMediaSample* b = new QMMediaSample(nullptr, memory.data() + 16, 16, &keep);
    a->Release();
    b->Release();
    EXPECT_EQ(map.AddReleasedSample(a), S_OK);
    EXPECT_EQ(map.AddReleasedSample(b), S_OK);
    EXPECT_EQ(map.AddReleasedSample(a), S_OK);  // already there: not twice
    EXPECT_EQ(map.GetFreeCount(), 2);
    EXPECT_FALSE(map.IsAnySampleInUse());
    EXPECT_EQ(map.GetReclaimableCount(), 0);
    QMMediaSample* x = nullptr;
    EXPECT_EQ(map.PopFreeSample(&x), S_OK);
    EXPECT_EQ(x, b);  // the most recently freed first
    EXPECT_EQ(map.RemoveFreeSample(b), S_FALSE);
    EXPECT_EQ(map.RemoveFreeSample(a), S_OK);
    ReportCapture capture;
    EXPECT_EQ(map.PopFreeSample(&x), E_UNEXPECTED);
    EXPECT_EQ(x, nullptr);
    delete a;
    delete b;
}

}  // namespace
