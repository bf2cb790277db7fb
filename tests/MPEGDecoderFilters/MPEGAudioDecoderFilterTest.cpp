// The MPEG audio filter in a graph: input buffering across sample boundaries, time stamps, format
// proposals and refused downstream types.
#include <gtest/gtest.h>

#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/support/Random.h"
#include "tests/support/ReportCapture.h"
#include "tools/qmdecode/StreamProbe.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

CMediaType InputType(const std::vector<uint8_t>& file) {
    qmdecode::ProbedStream stream;
    EXPECT_FALSE(qmdecode::ProbeStream(file, std::nullopt, 48000, &stream));
    return stream.inputType;
}

struct Decoded {
    std::vector<uint8_t> pcm;
    std::vector<qm::graph::ReceivedSample> samples;
    CMediaType connected;
};

// Decodes a file delivered in pieces whose sizes cycle through `sizes`; `claimed` alters the
// probed input type. The connected input type is kept too.
Decoded DecodeInPieces(const std::vector<uint8_t>& file, const std::vector<size_t>& sizes,
                       void (*claimed)(CMediaType&) = nullptr) {
    CMediaType input = InputType(file);
    if (claimed) claimed(input);
    FilterChain chain;
    EXPECT_EQ(chain.Build(CreateMPEGAudioDecoderFilter, input, PcmOnly(), 4096), S_OK);
    Decoded d;
    d.connected = chain.SinkType();
    EXPECT_EQ(chain.Start(), S_OK);
    EXPECT_EQ(chain.source->DeliverStream(file.data(), file.size(), sizes), S_OK);
    d.samples = chain.Finish();
    for (const auto& s : d.samples) d.pcm.insert(d.pcm.end(), s.data.begin(), s.data.end());
    EXPECT_EQ(chain.sink->EndOfStreamCount(), 1);
    return d;
}

TEST(MPEGAudioDecoderFilter, SampleBoundariesDoNotChangeThePcm) {
    for (const char* name : {"sample-layer3.mp3", "sample-layer2.mp2"}) {
        SCOPED_TRACE(name);
        const auto file = ReadBytes(SourceDir() / "samples" / name);
        ASSERT_FALSE(file.empty());
        const Decoded whole = DecodeInPieces(file, {4096});
        ASSERT_GT(whole.samples.size(), 10u);
        // One frame per output sample, stamped from zero by the codec's own clock.
        EXPECT_EQ(whole.samples[0].start, 0);
        for (size_t i = 1; i < whole.samples.size(); ++i)
            EXPECT_EQ(whole.samples[i].start, whole.samples[i - 1].stop);
        EXPECT_EQ(whole.samples[0].data.size(), 1152u * 2 * 2);

        qm::test::Rng rng(11);
        std::vector<size_t> randomSizes;
        for (int i = 0; i < 64; ++i) randomSizes.push_back(size_t(rng.Int(1, 3000)));
        for (const std::vector<size_t>& sizes :
             {std::vector<size_t>{1}, std::vector<size_t>{3, 417, 2}, randomSizes}) {
            const Decoded split = DecodeInPieces(file, sizes);
            EXPECT_EQ(split.samples.size(), whole.samples.size());
            EXPECT_TRUE(split.pcm == whole.pcm);
        }
    }
}

TEST(MPEGAudioDecoderFilter, RefusesAttachedDownstreamTypesAndUnknownSubtypes) {
    const auto file = ReadBytes(SourceDir() / "samples" / "sample-layer3.mp3");
    const CMediaType input = InputType(file);
    {
        ReportCapture capture;
        FilterChain chain;
        qm::graph::SinkAllocatorOptions attaching;
        attaching.attachedType = MajorSubtype(MEDIATYPE_Audio, MEDIASUBTYPE_PCM);
        ASSERT_EQ(chain.Build(CreateMPEGAudioDecoderFilter, input, PcmOnly(), 4096, attaching),
                  S_OK);
        ASSERT_EQ(chain.Start(), S_OK);
        EXPECT_EQ(chain.source->Deliver(file.data(), 4096), E_UNEXPECTED);
        EXPECT_TRUE(capture.Contains("mtPtr.IsNull()"));
        EXPECT_EQ(chain.sink->SampleCount(), 0u);
    }
    {
        // MPEG-2 audio payloads carry no stream type: the connection fails at SetMediaType.
        CMediaType mpeg2Audio(input);
        mpeg2Audio.subtype = MEDIASUBTYPE_MPEG2_AUDIO;
        FilterChain chain;
        EXPECT_TRUE(FAILED(chain.Build(CreateMPEGAudioDecoderFilter, mpeg2Audio, PcmOnly(), 4096)));
    }
}

TEST(MPEGAudioDecoderFilter, NegativeTimesAreDroppedAndSegmentsRestartTheClock) {
    const auto file = ReadBytes(SourceDir() / "samples" / "sample-layer3.mp3");
    const CMediaType input = InputType(file);
    FilterChain chain;
    ASSERT_EQ(chain.Build(CreateMPEGAudioDecoderFilter, input, PcmOnly(), 8192), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    qm::graph::SampleSpec preroll;
    preroll.start = -1000;
    preroll.stop = 0;
    EXPECT_EQ(chain.source->Deliver(file.data(), 8192, preroll), S_OK);
    EXPECT_EQ(chain.sink->SampleCount(), 0u);
    EXPECT_EQ(chain.source->Deliver(file.data(), 8192), S_OK);
    const size_t first = chain.sink->SampleCount();
    ASSERT_GT(first, 0u);
    ASSERT_EQ(chain.source->DeliverNewSegment(0, 100000000, 1.0), S_OK);
    EXPECT_EQ(chain.source->Deliver(file.data(), 8192), S_OK);
    const auto samples = chain.sink->Samples();
    ASSERT_GT(samples.size(), first);
    EXPECT_EQ(samples[first].start, 0);
}

// The stream is 22 050 Hz mono; the input type claims 44.1 kHz stereo, and the output is connected
// so. The filter proposes the stream's format with the first frame, and from then on everything
// must be as if the type had been right from the start: the same frames, PCM and times.
TEST(MPEGAudioDecoderFilter, AcceptedFormatChangeLosesNothing) {
    const auto file = ReadBytes(FixtureDir() / "filters" / "mono22050.mp3");
    ASSERT_FALSE(file.empty());
    const Decoded truth = DecodeInPieces(file, {1000});
    const Decoded changed = DecodeInPieces(file, {1000}, [](CMediaType& input) {
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
        EXPECT_EQ(changed.samples[i].start, truth.samples[i].start) << i;
        EXPECT_EQ(changed.samples[i].stop, truth.samples[i].stop) << i;
        EXPECT_EQ(changed.samples[i].hasMediaType, i == 0) << i;
        EXPECT_FALSE(truth.samples[i].hasMediaType) << i;
    }
    ASSERT_TRUE(changed.samples[0].hasMediaType);
    const auto* proposed =
        reinterpret_cast<const WAVEFORMATEX*>(changed.samples[0].mediaType.pbFormat);
    EXPECT_EQ(proposed->nSamplesPerSec, 22050u);
    EXPECT_EQ(proposed->nChannels, 1);
}

// A new segment (a seek) discards the bytes still waiting for the rest of their frame: the
// stream played again from its start gives exactly the frames of a fresh decode.
TEST(MPEGAudioDecoderFilter, NewSegmentDiscardsPendingBytes) {
    const auto file = ReadBytes(SourceDir() / "samples" / "sample-layer3.mp3");
    const Decoded fresh = DecodeInPieces(file, {4096});
    FilterChain chain;
    ASSERT_EQ(chain.Build(CreateMPEGAudioDecoderFilter, InputType(file), PcmOnly(), 4096), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    // Up to the middle of a frame somewhere past the start.
    ASSERT_EQ(chain.source->Deliver(file.data(), 3000), S_OK);
    const size_t before = chain.sink->SampleCount();
    ASSERT_EQ(chain.source->DeliverNewSegment(0, 0, 1.0), S_OK);
    ASSERT_EQ(chain.source->DeliverStream(file.data(), file.size(), {4096}), S_OK);
    const auto samples = chain.Finish();
    ASSERT_EQ(samples.size() - before, fresh.samples.size());
    std::vector<uint8_t> pcm;
    for (size_t i = before; i < samples.size(); ++i) {
        pcm.insert(pcm.end(), samples[i].data.begin(), samples[i].data.end());
        EXPECT_EQ(samples[i].start, fresh.samples[i - before].start) << i;
    }
    EXPECT_TRUE(pcm == fresh.pcm);
}

}  // namespace
