// The AC-3 filter in a graph: the stereo fold of a 5.1 stream, time stamps taken from the input
// samples, samples with negative times and undecodable frames.
#include <gtest/gtest.h>

#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/support/ReportCapture.h"
#include "tools/qmdecode/StreamProbe.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;
using qm::graph::SampleSpec;

constexpr REFERENCE_TIME kFrame48k = 320000;  // 1536 samples at 48 kHz in 100-ns units

CMediaType Ac3Type(const std::vector<uint8_t>& file) {
    qmdecode::ProbedStream stream;
    EXPECT_FALSE(qmdecode::ProbeStream(file, std::nullopt, 48000, &stream));
    EXPECT_EQ(stream.kind, qmdecode::StreamKind::Ac3);
    return stream.inputType;
}

TEST(AC3AudioDecoderFilter, FoldsToStereoWithTheInputTimes) {
    const auto file = ReadBytes(FixtureDir() / "ac3" / "c32lfe_48k.ac3");
    ASSERT_FALSE(file.empty());
    const size_t frameBytes = 1792;  // 448 kbit/s at 48 kHz
    FilterChain chain;
    ASSERT_EQ(chain.Build(CreateAC3AudioDecoderFilter, Ac3Type(file), PcmOnly(), 8192), S_OK);
    // The offered type before the first frame: two channels at the input's rate.
    const CMediaType connected = chain.SinkType();
    ASSERT_NE(connected.pbFormat, nullptr);
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(connected.pbFormat);
    EXPECT_EQ(wfx->nChannels, 2);
    EXPECT_EQ(wfx->nSamplesPerSec, 48000u);

    ASSERT_EQ(chain.Start(), S_OK);
    // Two frames per input sample, stamped 1 s apart from 5 s on.
    const REFERENCE_TIME base = 50000000;
    ASSERT_EQ(chain.source->DeliverStream(file.data(), file.size(), {2 * frameBytes},
                                          [&](size_t index, size_t) {
                                              SampleSpec spec;
                                              spec.start = base + REFERENCE_TIME(index) * 10000000;
                                              spec.stop = *spec.start + 2 * kFrame48k;
                                              return spec;
                                          }),
              S_OK);
    const auto samples = chain.Finish();
    ASSERT_EQ(samples.size(), file.size() / frameBytes);
    EXPECT_EQ(samples[0].data.size(), 1536u * 2 * 2);
    EXPECT_EQ(std::tuple(samples[0].start, samples[1].start, samples[2].start),
              std::tuple(base, base + kFrame48k, base + 10000000));
}

// Samples with negative times are dropped. An undecodable frame after end of stream is passed
// over; before it, it is a codec error.
TEST(AC3AudioDecoderFilter, NegativeTimesAndUndecodableFrames) {
    const auto file = ReadBytes(FixtureDir() / "ac3" / "stereo_48k.ac3");
    ASSERT_GE(file.size(), 768u * 3);
    // A frame of bsid 10 with good CRCs: the codec cannot decode it and says so.
    std::vector<uint8_t> foreign(file.begin() + 768 * 2, file.begin() + 768 * 3);
    foreign[5] = uint8_t((foreign[5] & 0x07) | (10 << 3));
    UMC::ac3::WriteCrcs(foreign.data(), foreign.size());
    SampleSpec timed;
    timed.start = 0;

    ReportCapture capture;
    FilterChain chain;
    ASSERT_EQ(chain.Build(CreateAC3AudioDecoderFilter, Ac3Type(file), PcmOnly(), 8192), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    SampleSpec negative;
    negative.start = -1000;
    EXPECT_EQ(chain.source->Deliver(file.data(), 768 * 2, negative), S_OK);
    EXPECT_TRUE(chain.sink->Samples().empty());
    ASSERT_EQ(chain.source->Deliver(file.data(), 768 * 2, timed), S_OK);
    ASSERT_EQ(chain.sink->Samples().size(), 2u);
    ASSERT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    const size_t reports = capture.Count();
    EXPECT_EQ(chain.source->Deliver(foreign.data(), foreign.size(), timed), S_OK);
    EXPECT_EQ(chain.sink->Samples().size(), 2u);
    EXPECT_EQ(capture.Count(), reports);

    // Before end of stream the same frame is a codec error.
    FilterChain fresh;
    ASSERT_EQ(fresh.Build(CreateAC3AudioDecoderFilter, Ac3Type(file), PcmOnly(), 8192), S_OK);
    ASSERT_EQ(fresh.Start(), S_OK);
    EXPECT_TRUE(FAILED(fresh.source->Deliver(foreign.data(), foreign.size(), timed)));
    EXPECT_GT(capture.Count(), reports);
    EXPECT_TRUE(fresh.sink->Samples().empty());
}

}  // namespace
