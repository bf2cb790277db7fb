// DVD LPCM to PCM: byte order, computed times, segments and bad payloads.
#include <gtest/gtest.h>

#include <algorithm>

#include "diagnostics/StatusConversion.h"
#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/support/ReportCapture.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;

CMediaType LpcmType(WORD channels, WORD bits, DWORD rate) {
    CMediaType t = MajorSubtype(MEDIATYPE_Audio, MEDIASUBTYPE_DVD_LPCM_AUDIO);
    t.formattype = FORMAT_WaveFormatEx;
    auto* w = reinterpret_cast<WAVEFORMATEX*>(t.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    *w = WAVEFORMATEX{0,    channels, rate, rate * channels * bits / 8, WORD(channels * bits / 8),
                      bits, 0};
    return t;
}

HRESULT Build(FilterChain& chain, const CMediaType& lpcm) {
    return chain.Build(CreateDVDAudioDecoderFilter, lpcm, PcmOnly(), 1920);
}

TEST(DVDAudioDecoderFilter, SwapsBytesAndCountsTimeAt48kHz) {
    FilterChain chain;
    ASSERT_EQ(Build(chain, LpcmType(2, 16, 48000)), S_OK);
    ASSERT_EQ(chain.Start(), S_OK);
    std::vector<uint8_t> payload(1920);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 7);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(chain.source->Deliver(payload.data(), payload.size()), S_OK);
    const auto samples = chain.sink->Samples();
    ASSERT_EQ(samples.size(), 3u);
    for (size_t i = 0; i < samples.size(); ++i) {
        // 480 frames = 10 ms
        EXPECT_EQ(std::pair(samples[i].start, samples[i].stop),
                  std::pair(REFERENCE_TIME(i) * 100000, REFERENCE_TIME(i + 1) * 100000));
        ASSERT_EQ(samples[i].data.size(), payload.size());
        for (size_t k = 0; k < payload.size(); k += 2) {
            ASSERT_EQ(samples[i].data[k], payload[k + 1]);
            ASSERT_EQ(samples[i].data[k + 1], payload[k]);
        }
    }
    // A new segment starts the clock again.
    ASSERT_EQ(chain.source->DeliverNewSegment(0, 10000000, 1.0), S_OK);
    ASSERT_EQ(chain.source->Deliver(payload.data(), 960), S_OK);
    EXPECT_EQ(std::pair(chain.sink->Samples().back().start, chain.sink->Samples().back().stop),
              std::pair(REFERENCE_TIME(0), REFERENCE_TIME(50000)));
    // A payload shorter than one sample frame fails with the kernel's status.
    ReportCapture capture;
    const uint8_t one = 0x12;
    EXPECT_EQ(chain.source->Deliver(&one, 1), qm::HResultFromKernelStatus(-6));
    EXPECT_TRUE(capture.Contains("QMCheckHRESULTKERNELSTATUS (code=-6):"));
    EXPECT_EQ(chain.sink->SampleCount(), 4u);
}

TEST(DVDAudioDecoderFilter, RefusesOtherLayoutsAndOffersTwoPcmTypes) {
    for (const CMediaType& bad : {LpcmType(1, 16, 48000), LpcmType(2, 24, 48000)}) {
        FilterChain chain;
        EXPECT_TRUE(FAILED(Build(chain, bad)));
    }
    FilterChain chain;
    ASSERT_EQ(Build(chain, LpcmType(2, 16, 44100)), S_OK);
    auto* filter = dynamic_cast<CTransformFilter*>(chain.filter.Get());
    CMediaType t;
    ASSERT_EQ(filter->GetMediaType(0, &t), S_OK);
    auto* w = reinterpret_cast<WAVEFORMATEX*>(t.pbFormat);
    EXPECT_EQ(w->wFormatTag, 1);
    EXPECT_EQ(w->nSamplesPerSec, 44100u);
    ASSERT_EQ(filter->GetMediaType(1, &t), S_OK);
    EXPECT_EQ(reinterpret_cast<WAVEFORMATEX*>(t.pbFormat)->wFormatTag, 0xFFFE);
}

// The standard allocator, granting at most two buffers.
class StingyAllocator : public CMemAllocator {
public:
    explicit StingyAllocator(HRESULT* phr) : CMemAllocator(NAME("stingy"), nullptr, phr) {}
    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                            ALLOCATOR_PROPERTIES* pActual) override {
        ALLOCATOR_PROPERTIES request = *pRequest;
        request.cBuffers = std::min<LONG>(request.cBuffers, 2);
        return CMemAllocator::SetProperties(&request, pActual);
    }
};

TEST(DVDAudioDecoderFilter, AllocatorGrantingFewerBuffersFailsDecideBufferSize) {
    ReportCapture capture;
    FilterChain chain;
    ASSERT_EQ(Build(chain, LpcmType(2, 16, 48000)), S_OK);
    auto* filter = dynamic_cast<CTransformFilter*>(chain.filter.Get());
    HRESULT hr = S_OK;
    auto* stingy = new StingyAllocator(&hr);
    stingy->NonDelegatingAddRef();
    ALLOCATOR_PROPERTIES props{0, 0, 1, 0};
    EXPECT_EQ(filter->DecideBufferSize(stingy, &props), E_UNEXPECTED);
    EXPECT_TRUE(capture.Contains("actualProperties.cBuffers == pProperties->cBuffers"));
    EXPECT_EQ(props.cBuffers, 10);
    EXPECT_EQ(props.cbBuffer, 2 * 81920);
    stingy->NonDelegatingRelease();
}

}  // namespace
