// What the filters size from their input's format block or samples: the channel count of the
// audio filters and the LPCM sample size.
#include <gtest/gtest.h>

#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/support/Paths.h"
#include "tests/support/ReportCapture.h"
#include "tools/qmdecode/StreamProbe.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

TEST(FilterLimits, AudioFiltersTakeEightDeclaredChannelsAndRefuseNine) {
    const auto file = ReadBytes(SourceDir() / "samples" / "sample-layer3.mp3");
    ASSERT_FALSE(file.empty());
    qmdecode::ProbedStream stream;
    ASSERT_FALSE(qmdecode::ProbeStream(file, std::nullopt, 48000, &stream));
    for (const WORD channels : {WORD(UMC::kMaxAudioChannels), WORD(UMC::kMaxAudioChannels + 1)}) {
        CMediaType input(stream.inputType);
        reinterpret_cast<WAVEFORMATEX*>(input.pbFormat)->nChannels = channels;
        ReportCapture capture;
        FilterChain chain;
        chain.Build(CreateMPEGAudioDecoderFilter, input, PcmOnly(), 4096);
        ComPtr<IPin> in, upstream;
        ASSERT_EQ(chain.filter->FindPin(TEXT("in0"), in.Out()), S_OK);
        // Eight channels connect the input (whether PCM of that layout can be offered downstream
        // is another matter); nine are refused there.
        EXPECT_EQ(in->ConnectedTo(upstream.Out()) == S_OK, channels <= UMC::kMaxAudioChannels);
        EXPECT_EQ(capture.Contains("kMaxAudioChannels"), channels > UMC::kMaxAudioChannels);
    }
}

CMediaType Lpcm() {
    CMediaType t = MajorSubtype(MEDIATYPE_Audio, MEDIASUBTYPE_DVD_LPCM_AUDIO);
    t.formattype = FORMAT_WaveFormatEx;
    auto* w = reinterpret_cast<WAVEFORMATEX*>(t.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    *w = WAVEFORMATEX{0, 2, 48000, 48000 * 4, 4, 16, 0};
    return t;
}

TEST(FilterLimits, LpcmTakesASampleFillingTheOutputBufferAndRefusesALargerOne) {
    const size_t largest = 2 * 81920;  // the output buffer: channels x 81920 bytes
    FilterChain chain;
    ASSERT_EQ(chain.Build(CreateDVDAudioDecoderFilter, Lpcm(), PcmOnly(), LONG(largest + 4)), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    std::vector<uint8_t> payload(largest + 4, 0x5A);
    EXPECT_EQ(chain.source->Deliver(payload.data(), largest), S_OK);
    ASSERT_EQ(chain.sink->SampleCount(), 1u);
    ReportCapture capture;
    EXPECT_EQ(chain.source->Deliver(payload.data(), largest + 4), E_UNEXPECTED);
    EXPECT_EQ(chain.sink->SampleCount(), 1u);
}

}  // namespace
