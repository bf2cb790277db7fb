// The MPEG audio filter in a graph: input buffering across sample boundaries, time stamps,
// segments, format proposals, refused downstream types, and damaged input: damage the codec
// conceals keeps the stream going without an abort; a codec error sends EC_ERRORABORT and stops
// that Receive.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <tuple>
#include <utility>

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
constexpr double kFrame44k = 1152 * 1e7 / 44100;

std::vector<uint8_t> Sample(const char* name) {
    return ReadBytes(SourceDir() / "samples" / name);
}
std::vector<uint8_t> Fixture(const char* name) {
    return ReadBytes(FixtureDir() / "mpa" / name);
}

// source -> filter -> PCM sink for the probed type of `file`, altered by `claimed`.
HRESULT BuildChain(FilterChain& chain, const std::vector<uint8_t>& file,
                   const std::function<void(CMediaType&)>& claimed = {},
                   const std::optional<qm::graph::SinkAllocatorOptions>& sinkAllocator = {}) {
    qmdecode::ProbedStream stream;
    EXPECT_FALSE(qmdecode::ProbeStream(file, std::nullopt, 48000, &stream));
    if (claimed) claimed(stream.inputType);
    return chain.Build(CreateMPEGAudioDecoderFilter, stream.inputType, PcmOnly(),
                       LONG(std::max<size_t>(file.size(), 8192)), sinkAllocator);
}

struct Decoded {
    HRESULT result = S_OK;
    std::vector<ReceivedSample> samples;
    std::vector<uint8_t> pcm;
    std::vector<qm::graph::GraphEvent> aborts;
    CMediaType connected;
};

void Collect(FilterChain& chain, Decoded& d) {
    d.samples = chain.sink->Samples();
    d.pcm.clear();
    for (const auto& s : d.samples) d.pcm.insert(d.pcm.end(), s.data.begin(), s.data.end());
    d.aborts.clear();
    for (const auto& e : chain.graph->Events())
        if (e.code == EC_ERRORABORT) d.aborts.push_back(e);
}

// Decodes a file delivered in pieces whose sizes cycle through `sizes`, then ends the stream.
Decoded Decode(const std::vector<uint8_t>& file, const std::vector<size_t>& sizes,
               const std::function<void(CMediaType&)>& claimed = {}) {
    Decoded d;
    FilterChain chain;
    if (BuildChain(chain, file, claimed) != S_OK || chain.Start() != S_OK) {
        ADD_FAILURE() << "graph not built";
        return d;
    }
    d.connected = chain.SinkType();
    d.result = chain.source->DeliverStream(file.data(), file.size(), sizes);
    EXPECT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
    Collect(chain, d);
    return d;
}

// The pieces of a file cut at `cuts`.
std::vector<size_t> Cuts(const std::vector<uint8_t>& file, std::vector<size_t> cuts) {
    std::vector<size_t> sizes;
    size_t from = 0;
    cuts.push_back(file.size());
    for (size_t to : cuts) sizes.push_back(to - std::exchange(from, to));
    return sizes;
}

bool AllZero(const std::vector<BYTE>& data) {
    return std::all_of(data.begin(), data.end(), [](BYTE b) { return b == 0; });
}

// Delivered frames run on from 0 without gaps, one frame of `duration` (100 ns) each.
void ExpectContiguousTimes(const std::vector<ReceivedSample>& samples, double duration) {
    for (size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(std::pair(samples[i].start, samples[i].stop),
                  std::pair(REFERENCE_TIME(std::llround(double(i) * duration)),
                            REFERENCE_TIME(std::llround(double(i + 1) * duration))))
            << i;
}

// Damage the codec conceals: every piece accepted, no abort, `count` frames timed without gaps,
// those before frame `k` untouched.
void ExpectConcealed(const Decoded& run, const Decoded& reference, size_t k, size_t count) {
    EXPECT_EQ(run.result, S_OK);
    EXPECT_TRUE(run.aborts.empty());
    ASSERT_EQ(run.samples.size(), count);
    ExpectContiguousTimes(run.samples, kFrame44k);
    for (size_t i = 0; i < k; ++i)
        EXPECT_TRUE(run.samples[i].data == reference.samples[i].data) << i;
}

TEST(MPEGAudioDecoderFilter, SampleBoundariesDoNotChangeThePcm) {
    for (const char* name : {"sample-layer3.mp3", "sample-layer2.mp2"}) {
        SCOPED_TRACE(name);
        const auto file = Sample(name);
        ASSERT_FALSE(file.empty());
        const Decoded whole = Decode(file, {4096});
        ASSERT_GT(whole.samples.size(), 10u);
        // One frame per output sample, stamped from zero by the codec's own clock.
        EXPECT_EQ(whole.samples[0].start, 0);
        for (size_t i = 1; i < whole.samples.size(); ++i)
            EXPECT_EQ(whole.samples[i].start, whole.samples[i - 1].stop);
        EXPECT_EQ(whole.samples[0].data.size(), kStereoFrameBytes);
        qm::test::Rng rng(11);
        std::vector<size_t> randomSizes;
        for (int i = 0; i < 64; ++i) randomSizes.push_back(size_t(rng.Int(1, 3000)));
        for (const std::vector<size_t>& sizes :
             {std::vector<size_t>{1}, std::vector<size_t>{3, 417, 2}, randomSizes}) {
            const Decoded split = Decode(file, sizes);
            EXPECT_EQ(split.samples.size(), whole.samples.size());
            EXPECT_TRUE(split.pcm == whole.pcm);
        }
    }
}

TEST(MPEGAudioDecoderFilter, RefusesAttachedDownstreamTypesAndUnknownSubtypes) {
    const auto file = Sample("sample-layer3.mp3");
    ReportCapture capture;
    FilterChain chain;
    qm::graph::SinkAllocatorOptions attaching;
    attaching.attachedType = MajorSubtype(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
    ASSERT_EQ(BuildChain(chain, file, {}, attaching), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    EXPECT_EQ(chain.source->Deliver(file.data(), 4096), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("mtPtr.IsNull()"));
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    // MPEG-2 audio payloads carry no stream type: the connection fails at SetMediaType.
    FilterChain mpeg2;
    EXPECT_TRUE(FAILED(
        BuildChain(mpeg2, file, [](CMediaType& t) { t.subtype = MEDIASUBTYPE_MPEG2_AUDIO; })));
}

// Samples with negative times are decoded but dropped. A new segment (a seek) restarts the clock
// and discards the bytes still waiting for the rest of their frame: the stream played again from
// its start gives exactly the frames of a fresh decode.
TEST(MPEGAudioDecoderFilter, NegativeTimesAreDroppedAndNewSegmentsStartAfresh) {
    const auto file = Sample("sample-layer3.mp3");
    const Decoded fresh = Decode(file, {4096});
    FilterChain chain;
    ASSERT_EQ(BuildChain(chain, file), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    qm::graph::SampleSpec preroll;
    preroll.start = -1000;
    preroll.stop = 0;
    EXPECT_EQ(chain.source->Deliver(file.data(), 8192, preroll), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    // Up to the middle of a frame somewhere past the start.
    ASSERT_EQ(chain.source->Deliver(file.data() + 8192, 3000), S_OK);
    const size_t before = chain.sink->SampleCount();
    ASSERT_GT(before, 0u);
    ASSERT_EQ(chain.source->DeliverNewSegment(0, 100000000, 1.0), S_OK);
    ASSERT_EQ(chain.source->DeliverStream(file.data(), file.size(), {4096}), S_OK);
    const auto samples = chain.Finish();
    ASSERT_EQ(samples.size() - before, fresh.samples.size());
    for (size_t i = before; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].start, fresh.samples[i - before].start) << i;
        EXPECT_TRUE(samples[i].data == fresh.samples[i - before].data) << i;
    }
}

// The stream is 22 050 Hz mono; the input type claims 44.1 kHz stereo, and the output is connected
// so. The filter proposes the stream's format with the first frame, and from then on everything
// must be as if the type had been right from the start: the same frames, PCM and times.
TEST(MPEGAudioDecoderFilter, AcceptedFormatChangeLosesNothing) {
    const auto file = ReadBytes(FixtureDir() / "filters" / "mono22050.mp3");
    ASSERT_FALSE(file.empty());
    const Decoded truth = Decode(file, {1000});
    const Decoded changed = Decode(file, {1000}, [](CMediaType& input) {
        auto* wfx = reinterpret_cast<WAVEFORMATEX*>(input.pbFormat);
        wfx->nChannels = 2;
        wfx->nSamplesPerSec = 44100;
    });
    EXPECT_EQ(reinterpret_cast<WAVEFORMATEX*>(changed.connected.pbFormat)->nSamplesPerSec, 44100u);
    ASSERT_GT(truth.samples.size(), 30u);
    ASSERT_EQ(changed.samples.size(), truth.samples.size());
    EXPECT_TRUE(changed.pcm == truth.pcm);
    EXPECT_EQ(truth.samples[0].data.size(), 576u * 2);  // MPEG-2 layer III: 576 per frame
    for (size_t i = 0; i < truth.samples.size(); ++i) {
        EXPECT_EQ(std::tuple(changed.samples[i].start, changed.samples[i].stop,
                             changed.samples[i].hasMediaType, truth.samples[i].hasMediaType),
                  std::tuple(truth.samples[i].start, truth.samples[i].stop, i == 0, false))
            << i;
    }
    const auto* proposed =
        reinterpret_cast<const WAVEFORMATEX*>(changed.samples[0].mediaType.pbFormat);
    EXPECT_EQ(std::pair(proposed->nSamplesPerSec, proposed->nChannels),
              std::pair(DWORD(22050), WORD(1)));
}

// MPEG-1 stereo layer III side information (no CRC): bit offset of one granule/channel block
// from the start of the frame. Inside it: part2_3_length 0, big_values 12,
// window_switching_flag 33, table_select[0] 34 (long blocks).
size_t GranuleBits(int granule, int channel) {
    return 32 + 20 + 59 * size_t(2 * granule + channel);
}

TEST(MPEGAudioDecoderDamage, Layer3UndefinedHuffmanTableGivesASilentFrameNotAnAbort) {
    const std::vector<uint8_t> clean = Fixture("l3_cbr128_joint.mp3");
    const std::vector<size_t> starts = FrameStarts(clean);
    ASSERT_GT(starts.size(), 20u);
    ASSERT_EQ(clean[1] & 1, 1) << "no CRC expected";
    const Decoded reference = Decode(clean, {clean.size()});
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
        const Decoded run = Decode(damaged, Cuts(damaged, {starts[k] + 100, starts[k + 1] + 3}));
        EXPECT_EQ(capture.Count(), 0u);
        // Every frame is still delivered; the bad one is silence.
        ExpectConcealed(run, reference, k, reference.samples.size());
        EXPECT_EQ(run.samples[k].data.size(), kStereoFrameBytes);
        EXPECT_TRUE(AllZero(run.samples[k].data));
        EXPECT_FALSE(AllZero(reference.samples[k].data));
        EXPECT_FALSE(AllZero(run.samples[k + 2].data));
    }
}

TEST(MPEGAudioDecoderDamage, Layer2DamageIsConcealed) {
    {
        // With CRCs: the damaged frame is dropped and the clock does not count it.
        const std::vector<uint8_t> clean = Fixture("l2_crc.mp2");
        ASSERT_EQ(clean[1] & 1, 0) << "CRC expected";
        const std::vector<size_t> starts = FrameStarts(clean);
        ASSERT_GT(starts.size(), 20u);
        const Decoded reference = Decode(clean, {clean.size()});
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
        ExpectConcealed(Decode(damaged, Cuts(damaged, {starts[k] + 1, starts[k + 2] + 10})),
                        reference, k, reference.samples.size() - 1);
    }
    {
        // Without CRCs: whatever the allocation, selection and scale-factor fields say, the
        // frame decodes and every frame comes out.
        const std::vector<uint8_t> clean = Fixture("l2_44k.mp2");
        const std::vector<size_t> starts = FrameStarts(clean);
        ASSERT_GT(starts.size(), 20u);
        ASSERT_GT(starts[1], 120u);
        std::vector<uint8_t> damaged = clean;
        qm::test::Rng rng(5);
        for (size_t k : {size_t(4), size_t(9), size_t(15)})
            for (size_t p = starts[k] + 4; p < starts[k] + 120; ++p)
                damaged[p] = uint8_t(rng.Int(0, 255));
        ExpectConcealed(Decode(damaged, Cuts(damaged, {starts[9] + 50})), Decode(clean, {4096}), 4,
                        starts.size());
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
    const Decoded reference = Decode(clean, {clean.size()});
    ExpectConcealed(Decode(damaged, {1000}), reference, reference.samples.size(),
                    reference.samples.size());
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
        const Decoded reference = Decode(file, {file.size()});
        ASSERT_EQ(reference.samples.size(), starts.size());
        const size_t k = 7;  // the frame that meets a short output sample

        ReportCapture capture;
        FilterChain chain;
        ASSERT_EQ(BuildChain(chain, file), S_OK);
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
        Decoded run;
        run.result = chain.source->DeliverStream(file.data(), file.size(),
                                                 Cuts(file, {starts[k + 3], starts[k + 6]}));
        ASSERT_EQ(run.result, kNotEnoughBuffer);
        Collect(chain, run);
        ASSERT_EQ(run.aborts.size(), 1u);
        EXPECT_EQ(std::pair(run.aborts[0].param1, run.aborts[0].param2),
                  std::pair(LONG_PTR(kNotEnoughBuffer), LONG_PTR(0)));
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
        Collect(chain, run);
        EXPECT_EQ(run.aborts.size(), 1u);
        ASSERT_EQ(run.samples.size(), reference.samples.size() - 1);
        ExpectContiguousTimes(run.samples, kFrame44k);
    }
}

}  // namespace
