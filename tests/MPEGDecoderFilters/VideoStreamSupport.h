// Elementary video streams split into pictures as qmdecode splits them, and their delivery to
// a filter chain, for the video decoder filter tests.
#pragma once

#include <algorithm>
#include <functional>

#include "SDKs/CodecFramework/core/MediaData.h"
#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tools/qmdecode/StreamProbe.h"
#include "tools/qmdecode/VideoUnits.h"

namespace qm::test {

struct VideoStream {
    std::vector<uint8_t> file;
    qmdecode::ProbedStream probe;
    std::vector<qmdecode::VideoUnit> units;  // one per picture (MPEG-1/2) or VOP (MPEG-4)
};

inline VideoStream LoadVideoStream(const std::filesystem::path& path) {
    VideoStream s;
    s.file = ReadBytes(path);
    EXPECT_FALSE(s.file.empty()) << path;
    EXPECT_FALSE(qmdecode::ProbeStream(s.file, std::nullopt, 48000, &s.probe));
    const uint8_t* d = s.file.data();
    s.units = s.probe.mpeg4 ? qmdecode::SplitMpeg4Units(d, s.file.size(), s.probe.shortHeader,
                                                        s.probe.avgTimePerFrame)
                            : qmdecode::SplitVideoUnits(d, s.file.size(), s.probe.avgTimePerFrame);
    return s;
}

// source -> decoder -> any video, input buffers large enough for every unit.
inline HRESULT BuildVideoChain(FilterChain& chain, const VideoStream& s,
                               HRESULT (*create)(IBaseFilter**),
                               const CMediaType* input = nullptr) {
    size_t largest = 0;
    for (const auto& u : s.units) largest = std::max(largest, u.size);
    return chain.Build(create, input ? *input : s.probe.inputType,
                       {MajorSubtype(MEDIATYPE_Video, GUID_NULL)}, LONG(largest));
}

// Delivers units [from, to) with their presentation times shifted by `offset`, each lasting
// `length` (0: a frame), passed through `decorate`; returns the first result that is not S_OK.
inline HRESULT DeliverUnits(FilterChain& chain, const VideoStream& s, REFERENCE_TIME offset = 0,
                            size_t from = 0, size_t to = SIZE_MAX, REFERENCE_TIME length = 0,
                            const std::function<void(IMediaSample*)>& decorate = {}) {
    HRESULT result = S_OK;
    for (size_t i = from; i < std::min(to, s.units.size()); ++i) {
        qm::graph::SampleSpec spec;
        spec.start = s.units[i].pts + offset;
        spec.stop = spec.start.value() + (length ? length : s.probe.avgTimePerFrame);
        spec.decorate = decorate;
        const HRESULT hr =
            chain.source->Deliver(s.file.data() + s.units[i].offset, s.units[i].size, spec);
        if (result == S_OK) result = hr;
    }
    return result;
}

// A video decoder filter that skips every picture it decodes, to see the quality event of the
// delivery step.
template <class Decoder>
class SkippingDecoder : public Decoder {
public:
    using Decoder::Decoder;

protected:
    HRESULT DecodeIntoSample(UMC::MediaData* pInput, IMediaSample* pOutSample) override {
        const HRESULT hr = Decoder::DecodeIntoSample(pInput, pOutSample);
        return hr == S_OK ? S_FALSE : hr;
    }
};

}  // namespace qm::test
