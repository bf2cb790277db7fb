// The sample allocator as a time-shift buffer, end to end: a producer thread pushes the
// access units of an H.264 stream with their times at ten times real-time pace, a live
// consumer reads at the head, a second consumer pauses for a while and resumes from where it
// was, and the memory ceiling makes the store reclaim what the paused consumer had not read.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "VideoIO/FilterUtil/QMMemAllocator.h"
#include "tests/systemstreams/SystemStreamSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSpeed = 10;                 // times real time
constexpr REFERENCE_TIME kFrame = 400000;  // 25 fps
constexpr int kLoops = 4;                  // the 2 s stream four times over
constexpr double kLimitMegabytes = 0.25;   // about 30 samples of 8 KiB
constexpr LONG kSampleSize = 8192;

struct TextLines : IStatisticsSurface {
    void DrawTextLine(int, const char* text) override { lines.push_back(text); }
    std::vector<std::string> lines;
};

// The "skipped N" of a consumer's statistics line (0 when it never skipped).
uint64_t SkippedOf(const std::vector<std::string>& lines, int number) {
    const std::string head = "Consumer: #" + std::to_string(number) + " ";
    for (const std::string& l : lines) {
        if (l.rfind(head, 0) != 0) continue;
        const size_t at = l.find("skipped ");
        return at == std::string::npos ? 0 : std::stoull(l.substr(at + 8));
    }
    ADD_FAILURE() << "no line for consumer " << number;
    return 0;
}

TEST(TimeShiftEndToEndTest, LiveAndPausedConsumersOverALimitedStore) {
    const std::vector<uint8_t> stream =
        qm::test::ReadBytes(qm::test::IndexerFixtureDir() / "h264.h264");
    const std::vector<qm::test::ProbePacket> units = qm::test::ReadProbePackets("h264").packets;
    ASSERT_GT(units.size(), 40u);
    const int total = int(units.size()) * kLoops;

    const LONG objectsBefore = CBaseObject::ObjectsActive();
    IMemAllocator* mem = nullptr;
    ASSERT_EQ(qm_DSFilters::CreateQMMemAllocator(nullptr, TEXT("time shift"), &mem), S_OK);
    auto* alloc =
        static_cast<qm_DSFilters::QMMemAllocator*>(static_cast<IMemAllocatorCallbackTemp*>(mem));
    ALLOCATOR_PROPERTIES request{4, kSampleSize, 1, 0}, actual{};
    ASSERT_EQ(mem->SetProperties(&request, &actual), S_OK);
    ASSERT_EQ(alloc->SetMemoryLimit(kLimitMegabytes), S_OK);
    ASSERT_EQ(mem->Commit(), S_OK);
    ASSERT_EQ(alloc->Start(), S_OK);
    IConsumerToken* live = nullptr;
    IConsumerToken* shifted = nullptr;
    ASSERT_EQ(alloc->RegisterConsumer(&live), S_OK);
    ASSERT_EQ(alloc->RegisterConsumer(&shifted), S_OK);

    std::atomic<int> produced{0};
    std::atomic<bool> producerDone{false};
    std::atomic<REFERENCE_TIME> liveHead{-1};
    std::atomic<int> failures{0};

    std::thread producer([&] {
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < total; ++i) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(int64_t(i) * kFrame / 10 / kSpeed));
            const qm::test::ProbePacket& u = units[size_t(i) % units.size()];
            IMediaSample* s = nullptr;
            if (mem->GetBuffer(&s, nullptr, nullptr, 0) != S_OK) {
                ++failures;
                break;
            }
            BYTE* p = nullptr;
            s->GetPointer(&p);
            std::memcpy(p, stream.data() + u.pos, u.size);
            s->SetActualDataLength(LONG(u.size));
            REFERENCE_TIME t = i * kFrame, stop = t + kFrame;
            s->SetTime(&t, &stop);
            s->SetSyncPoint(u.key);
            s->Release();
            ++produced;
        }
        producerDone = true;
    });

    // Reads until the producer is done and nothing is left; returns the samples read.
    // `onRead` sees each time and whether samples were skipped just before it.
    auto readOn = [&](IConsumerToken* token, REFERENCE_TIME* last, auto&& onRead) {
        int reads = 0;
        for (;;) {
            const bool finished = producerDone;
            IMediaSample* s = nullptr;
            const HRESULT hr = alloc->GetNextSample(token, 20, &s);
            if (hr == QM_E_NO_SAMPLE || hr == VFW_E_TIMEOUT) {
                if (finished) return reads;
                continue;
            }
            if (FAILED(hr)) {
                ++failures;
                return reads;
            }
            REFERENCE_TIME t = 0, stop = 0;
            s->GetTime(&t, &stop);
            if (t <= *last) ++failures;  // strictly forward
            *last = t;
            ++reads;
            s->Release();
            if (!onRead(t, hr == QM_S_SAMPLES_SKIPPED)) return reads;
        }
    };

    int liveReads = 0;
    std::thread liveReader([&] {
        REFERENCE_TIME last = -1;
        liveReads = readOn(live, &last, [&](REFERENCE_TIME t, bool) {
            liveHead = t;
            return true;
        });
    });

    // Reads the first second, pauses for three seconds of stream (far more than the store
    // holds), then resumes and reads on to the end.
    int shiftedReads = 0;
    bool toldSkipped = false;
    REFERENCE_TIME resumedAt = -1, headAtResume = -1;
    int keptWhilePaused = 0;
    std::thread shiftedReader([&] {
        IConsumerTokenPrivate* priv = nullptr;
        shifted->QueryInterface(IID_IConsumerTokenPrivate, reinterpret_cast<void**>(&priv));
        REFERENCE_TIME last = -1;
        shiftedReads =
            readOn(shifted, &last, [&](REFERENCE_TIME t, bool) { return t < 25 * kFrame; });
        priv->SetState(State_Paused);
        while (produced < 100 && !producerDone) {
            SampleMapStatistics st;
            alloc->GetStatistics(&st);
            keptWhilePaused = std::max(keptWhilePaused, int(st.keptCount));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        priv->SetState(State_Running);
        bool first = true;
        shiftedReads += readOn(shifted, &last, [&](REFERENCE_TIME t, bool skipped) {
            if (first) {
                toldSkipped = skipped;
                resumedAt = t;
                headAtResume = liveHead;
                first = false;
            }
            return true;
        });
        priv->Release();
    });

    producer.join();
    liveReader.join();
    shiftedReader.join();
    EXPECT_EQ(failures.load(), 0);
    ASSERT_EQ(produced.load(), total);

    SampleMapStatistics stats;
    ASSERT_EQ(alloc->GetStatistics(&stats), S_OK);
    TextLines text;
    ASSERT_EQ(alloc->DrawStatistics(&text), S_OK);
    for (const std::string& l : text.lines) std::printf("%s\n", l.c_str());
    // The ceiling held and made the store reclaim while the second consumer was paused; it
    // had filled the store meanwhile.
    EXPECT_LE(alloc->GetAllocatedMemory(), kLimitMegabytes);
    EXPECT_GT(stats.reclaimedTotal, 0u);
    EXPECT_GE(keptWhilePaused, 20);
    // It resumed behind live from what was still kept, and was told it had skipped.
    EXPECT_TRUE(toldSkipped);
    EXPECT_GT(resumedAt, 24 * kFrame);
    EXPECT_LT(resumedAt, headAtResume);
    // Every sample was read or counted as skipped, by each consumer.
    EXPECT_EQ(uint64_t(liveReads) + SkippedOf(text.lines, 1), uint64_t(total));
    EXPECT_EQ(uint64_t(shiftedReads) + SkippedOf(text.lines, 2), uint64_t(total));
    EXPECT_GT(SkippedOf(text.lines, 2), 0u);

    EXPECT_EQ(alloc->UnregisterConsumer(live), S_OK);
    EXPECT_EQ(alloc->UnregisterConsumer(shifted), S_OK);
    live->Release();
    shifted->Release();
    ASSERT_EQ(mem->Decommit(), S_OK);
    EXPECT_EQ(mem->Release(), 0u);
    EXPECT_EQ(CBaseObject::ObjectsActive(), objectsBefore);
}

}  // namespace
