// The MPEG audio filter on damaged input, through the graph: damage the codec conceals keeps the
// stream going without an abort; a codec error sends EC_ERRORABORT and stops that Receive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>

#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/mpegaudio/DecodeHelpers.h"
#include "tests/support/Random.h"
#include "tests/support/ReportCapture.h"
#include "tools/qmdecode/StreamProbe.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;
using qm::graph::ReceivedSample;

// STATUS_NOT_ENOUGH_BUFFER (-896) as an HRESULT: 0x80040000 | (896 + 0x1FF).
constexpr HRESULT kNotEnoughBuffer = HRESULT(0x8004057F);
constexpr size_t kStereoFrameBytes = 1152 * 2 * 2;

std::vector<uint8_t> Fixture(const char* name) {
    return ReadBytes(FixtureDir() / "mpa" / name);
}

// MPEG-1 stereo layer III side information (no CRC): bit offset of one granule/channel block
// from the start of the frame. Inside it: part2_3_length 0, big_values 12,
// window_switching_flag 33, table_select[0] 34 (long blocks).
size_t GranuleBits(int granule, int channel) {
    return 32 + 20 + 59 * size_t(2 * granule + channel);
}

struct Outcome {
    std::vector<HRESULT> results;  // one per input sample, up to the first that is not S_OK
    std::vector<ReceivedSample> samples;
    std::vector<qm::graph::GraphEvent> aborts;
};

Outcome Collect(FilterChain& chain, std::vector<HRESULT> results) {
    Outcome run;
    run.results = std::move(results);
    run.samples = chain.sink->Samples();
    for (const auto& e : chain.graph->Events())
        if (e.code == EC_ERRORABORT) run.aborts.push_back(e);
    return run;
}

// Delivers `file` in pieces cut at `cuts`, stopping at the first result that is not S_OK.
std::vector<HRESULT> DeliverPieces(FilterChain& chain, const std::vector<uint8_t>& file,
                                   const std::vector<size_t>& cuts) {
    std::vector<HRESULT> results;
    size_t from = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        const size_t to = i < cuts.size() ? cuts[i] : file.size();
        results.push_back(chain.source->Deliver(file.data() + from, to - from));
        if (results.back() != S_OK) break;
        from = to;
    }
    return results;
}

bool BuildChain(FilterChain& chain, const std::vector<uint8_t>& file) {
    qmdecode::ProbedStream stream;
    if (qmdecode::ProbeStream(file, std::nullopt, 48000, &stream)) return false;
    return chain.Build(CreateMPEGAudioDecoderFilter, stream.inputType, PcmOnly(),
                       LONG(file.size())) == S_OK;
}

Outcome Decode(const std::vector<uint8_t>& file, const std::vector<size_t>& cuts = {}) {
    FilterChain chain;
    if (!BuildChain(chain, file) || chain.Start() != S_OK) {
        ADD_FAILURE() << "graph not built";
        return {};
    }
    std::vector<HRESULT> results = DeliverPieces(chain, file, cuts);
    EXPECT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
    return Collect(chain, std::move(results));
}

bool AllZero(const std::vector<BYTE>& data) {
    return std::all_of(data.begin(), data.end(), [](BYTE b) { return b == 0; });
}

// Delivered frames run on from 0 without gaps, one frame of `duration` (100 ns) each.
void ExpectContiguousTimes(const std::vector<ReceivedSample>& samples, double duration) {
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].start, REFERENCE_TIME(std::llround(double(i) * duration))) << i;
        EXPECT_EQ(samples[i].stop, REFERENCE_TIME(std::llround(double(i + 1) * duration))) << i;
    }
}

constexpr double kFrame44k = 1152 * 1e7 / 44100;

TEST(MPEGAudioDecoderDamage, Layer3UndefinedHuffmanTableGivesASilentFrameNotAnAbort) {
    const std::vector<uint8_t> clean = Fixture("l3_cbr128_joint.mp3");
    const std::vector<size_t> starts = FrameStarts(clean);
    ASSERT_GT(starts.size(), 20u);
    ASSERT_EQ(clean[1] & 1, 1) << "no CRC expected";
    const Outcome reference = Decode(clean);
    ASSERT_EQ(reference.samples.size(), starts.size());

    // Table 4 in the first granule's left channel, table 14 in the second granule's right
    // channel; each in the first region of a long block with big values.
    for (const auto& [granule, channel, table] : {std::tuple{0, 0, 4u}, std::tuple{1, 1, 14u}}) {
        SCOPED_TRACE(table);
        std::vector<uint8_t> damaged = clean;
        size_t k = 0;
        for (size_t i = 5; i + 1 < starts.size() && !k; ++i) {
            const size_t gc = starts[i] * 8 + GranuleBits(granule, channel);
            if (GetBits(damaged.data(), gc + 33, 1) == 0 && GetBits(damaged.data(), gc + 12, 9) > 0)
                k = i;
        }
        ASSERT_GT(k, 0u);
        PutBits(damaged.data(), starts[k] * 8 + GranuleBits(granule, channel) + 34, 5, table);

        ReportCapture capture;
        const Outcome run = Decode(damaged, {starts[k] + 100, starts[k + 1] + 3});
        EXPECT_EQ(run.results, std::vector<HRESULT>(3, S_OK));
        EXPECT_TRUE(run.aborts.empty());
        EXPECT_EQ(capture.Count(), 0u);
        // Every frame is still delivered and timed; the bad one is silence, those before it
        // are untouched.
        ASSERT_EQ(run.samples.size(), reference.samples.size());
        ExpectContiguousTimes(run.samples, kFrame44k);
        for (size_t i = 0; i < k; ++i)
            EXPECT_TRUE(run.samples[i].data == reference.samples[i].data);
        EXPECT_EQ(run.samples[k].data.size(), kStereoFrameBytes);
        EXPECT_TRUE(AllZero(run.samples[k].data));
        EXPECT_FALSE(AllZero(reference.samples[k].data));
        EXPECT_FALSE(AllZero(run.samples[k + 2].data));
    }
}

TEST(MPEGAudioDecoderDamage, Layer2DamageIsConcealed) {
    qm::test::Rng rng(5);
    {
        // With CRCs: the damaged frame is dropped and the clock does not count it.
        const std::vector<uint8_t> clean = Fixture("l2_crc.mp2");
        ASSERT_EQ(clean[1] & 1, 0) << "CRC expected";
        const std::vector<size_t> starts = FrameStarts(clean);
        ASSERT_GT(starts.size(), 20u);
        const Outcome reference = Decode(clean);
        ASSERT_EQ(reference.samples.size(), starts.size());
        // A frame whose body holds nothing that looks like a header, so that the search after
        // the dropped frame can only land on the next one.
        size_t k = 0;
        for (size_t i = 6; i + 1 < starts.size() && !k; ++i) {
            k = i;
            for (size_t p = starts[i] + 1; p + 1 < starts[i + 1]; ++p)
                if (clean[p] == 0xFF && clean[p + 1] >= 0xE0) k = 0;
        }
        ASSERT_GT(k, 0u);
        std::vector<uint8_t> damaged = clean;
        damaged[starts[k] + 6] ^= 0x80;  // first allocation field, covered by the CRC

        const Outcome run = Decode(damaged, {starts[k] + 1, starts[k + 2] + 10});
        EXPECT_EQ(run.results, std::vector<HRESULT>(3, S_OK));
        EXPECT_TRUE(run.aborts.empty());
        ASSERT_EQ(run.samples.size(), reference.samples.size() - 1);
        ExpectContiguousTimes(run.samples, kFrame44k);
        for (size_t i = 0; i < k; ++i)
            EXPECT_TRUE(run.samples[i].data == reference.samples[i].data);
    }
    {
        // Without CRCs: whatever the allocation, selection and scale-factor fields say, the
        // frame decodes and every frame comes out.
        const std::vector<uint8_t> clean = Fixture("l2_44k.mp2");
        const std::vector<size_t> starts = FrameStarts(clean);
        ASSERT_GT(starts.size(), 20u);
        std::vector<uint8_t> damaged = clean;
        ASSERT_GT(starts[1], 120u);
        for (size_t k : {size_t(4), size_t(9), size_t(15)})
            for (size_t p = starts[k] + 4; p < starts[k] + 120; ++p)
                damaged[p] = uint8_t(rng.Int(0, 255));
        const Outcome run = Decode(damaged, {starts[9] + 50});
        EXPECT_EQ(run.results, std::vector<HRESULT>(2, S_OK));
        EXPECT_TRUE(run.aborts.empty());
        ASSERT_EQ(run.samples.size(), starts.size());
        ExpectContiguousTimes(run.samples, kFrame44k);
    }
}

TEST(MPEGAudioDecoderDamage, GarbageBetweenFramesIsSkipped) {
    // Bytes without 0xFF cannot start a header. One run of garbage is longer than what the
    // filter buffers, so a whole buffer holds no frame at all.
    const std::vector<uint8_t> clean = Fixture("l3_cbr128_joint.mp3");
    const std::vector<size_t> starts = FrameStarts(clean);
    ASSERT_GT(starts.size(), 10u);
    qm::test::Rng rng(3);
    std::vector<uint8_t> damaged;
    for (size_t i = 0; i < starts.size(); ++i) {
        const size_t end = i + 1 < starts.size() ? starts[i + 1] : clean.size();
        damaged.insert(damaged.end(), clean.begin() + ptrdiff_t(starts[i]),
                       clean.begin() + ptrdiff_t(end));
        // Not after the first frame: before synchronisation a frame must be followed by the
        // next header.
        const int garbage = i == 2 ? 9000 : (i % 3 == 1 ? rng.Int(1, 700) : 0);
        for (int n = 0; n < garbage; ++n) damaged.push_back(uint8_t(rng.Int(0, 254)));
    }
    const Outcome reference = Decode(clean);
    std::vector<size_t> cuts;
    for (size_t at = 1000; at < damaged.size(); at += 1000) cuts.push_back(at);
    const Outcome run = Decode(damaged, cuts);
    EXPECT_EQ(run.results, std::vector<HRESULT>(cuts.size() + 1, S_OK));
    EXPECT_TRUE(run.aborts.empty());
    ASSERT_EQ(run.samples.size(), reference.samples.size());
    for (size_t i = 0; i < run.samples.size(); ++i) {
        EXPECT_TRUE(run.samples[i].data == reference.samples[i].data) << i;
        EXPECT_EQ(run.samples[i].start, reference.samples[i].start) << i;
    }
}

// The standard allocator, except that while `shrink` says so it hands out samples two bytes too
// small for a stereo MPEG-1 frame, as a downstream allocator of varying sample sizes might.
class ShrinkingAllocator : public CMemAllocator {
public:
    ShrinkingAllocator(std::function<bool()> shrink, HRESULT* phr)
        : CMemAllocator(NAME("shrinking"), nullptr, phr), m_shrink(std::move(shrink)) {}
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStart,
                                        REFERENCE_TIME* pEnd, DWORD dwFlags) override {
        const HRESULT hr = CMemAllocator::GetBuffer(ppBuffer, pStart, pEnd, dwFlags);
        if (hr != S_OK) return hr;
        auto* sample = static_cast<CMediaSample*>(*ppBuffer);
        BYTE* p = nullptr;
        sample->GetPointer(&p);
        sample->SetPointer(p, m_shrink() ? LONG(kStereoFrameBytes) - 2 : m_lSize);
        return hr;
    }

private:
    std::function<bool()> m_shrink;
};

TEST(MPEGAudioDecoderDamage, CodecErrorAbortsTheGraphAndStopsThatReceive) {
    for (const char* name : {"l3_cbr128_joint.mp3", "l2_44k.mp2"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> file = Fixture(name);
        const std::vector<size_t> starts = FrameStarts(file);
        ASSERT_GT(starts.size(), 12u);
        const Outcome reference = Decode(file);
        ASSERT_EQ(reference.samples.size(), starts.size());
        const size_t k = 7;  // the frame that meets a short output sample

        ReportCapture capture;
        FilterChain chain;
        ASSERT_TRUE(BuildChain(chain, file));
        HRESULT hr = S_OK;
        auto* allocator = new ShrinkingAllocator(
            [&] {
                return chain.sink->SampleCount() == k &&
                       chain.graph->CountEvents(EC_ERRORABORT) == 0;
            },
            &hr);
        allocator->NonDelegatingAddRef();
        chain.sink->UseAllocator(allocator);
        allocator->NonDelegatingRelease();
        ASSERT_EQ(chain.graph->Reconnect(chain.sink->InputPin()), S_OK);
        ASSERT_EQ(chain.Start(), S_OK);

        // The first piece holds frames 0 to k + 2: the error at frame k ends its Receive.
        std::vector<HRESULT> results = DeliverPieces(chain, file, {starts[k + 3], starts[k + 6]});
        ASSERT_EQ(results, (std::vector<HRESULT>{kNotEnoughBuffer}));
        Outcome run = Collect(chain, results);
        ASSERT_EQ(run.aborts.size(), 1u);
        EXPECT_EQ(run.aborts[0].param1, LONG_PTR(kNotEnoughBuffer));
        EXPECT_EQ(run.aborts[0].param2, 0);
        EXPECT_TRUE(capture.Contains("QMCheckHRESULTUMC (code=-896):"));
        EXPECT_TRUE(capture.Contains("QMLogHRESULT: "));
        ASSERT_EQ(run.samples.size(), k);
        for (size_t i = 0; i < k; ++i) {
            EXPECT_TRUE(run.samples[i].data == reference.samples[i].data) << i;
            EXPECT_EQ(run.samples[i].start, reference.samples[i].start) << i;
        }

        // The source goes on: the codec had consumed the lost frame, so decoding resumes with
        // the next one, and the clock did not count the lost frame.
        EXPECT_EQ(chain.source->Deliver(file.data() + starts[k + 3], file.size() - starts[k + 3]),
                  S_OK);
        EXPECT_EQ(chain.source->DeliverEndOfStream(), S_OK);
        run = Collect(chain, {});
        EXPECT_EQ(run.aborts.size(), 1u);
        ASSERT_EQ(run.samples.size(), reference.samples.size() - 1);
        ExpectContiguousTimes(run.samples, kFrame44k);
    }
}

}  // namespace
