#include "VideoIO/DLL/RegisteredFilters.h"

#include <iterator>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"
#include "VideoIO/MPEGDecoderFilters/FilterIds.h"

namespace qm_MPEGDecoderFilters {
namespace {

std::vector<PinType> Types(const GUID& major, std::span<const GUID> subtypes) {
    std::vector<PinType> types;
    for (const GUID& subtype : subtypes) types.push_back({major, subtype});
    return types;
}

std::vector<PinType> MPEG2VideoInput() {
    const GUID subtypes[] = {MEDIASUBTYPE_MPEG2_VIDEO, MEDIASUBTYPE_MPEG1Payload};
    return Types(MEDIATYPE_Video, subtypes);
}
std::vector<PinType> MPEG4VideoInput() {
    return Types(MEDIATYPE_Video, qm::MPEG4VideoSubtypes());
}
std::vector<PinType> MPEGAudioInput() {
    return Types(MEDIATYPE_Audio, qm::MPEGAudioSubtypes());
}
std::vector<PinType> AC3AudioInput() {
    return Types(MEDIATYPE_Audio, qm::AC3AudioSubtypes());
}
std::vector<PinType> DVDAudioInput() {
    const GUID subtypes[] = {MEDIASUBTYPE_DVD_LPCM_AUDIO};
    return Types(MEDIATYPE_Audio, subtypes);
}
std::vector<PinType> VideoOutput() {
    return Types(MEDIATYPE_Video, qm::UncompressedVideoSubtypes());
}
std::vector<PinType> AudioOutput() {
    return Types(MEDIATYPE_Audio, qm::PCMAudioSubtypes());
}

// Constant-initialised: loading the DLL runs no constructor for it.
constexpr RegisteredFilter kFilters[] = {
    {&CLSID_MPEG2VideoDecoderFilter, L"QM MPEG-2 Video Decoder", CreateMPEG2VideoDecoderFilter,
     MPEG2VideoInput, VideoOutput},
    {&CLSID_MPEG4VideoDecoderFilter, L"QM MPEG-4 Video Decoder", CreateMPEG4VideoDecoderFilter,
     MPEG4VideoInput, VideoOutput},
    {&CLSID_MPEGAudioDecoderFilter, L"QM MPEG Audio Decoder", CreateMPEGAudioDecoderFilter,
     MPEGAudioInput, AudioOutput},
    {&CLSID_AC3AudioDecoderFilter, L"QM AC-3 Audio Decoder", CreateAC3AudioDecoderFilter,
     AC3AudioInput, AudioOutput},
    {&CLSID_DVDAudioDecoderFilter, L"QM DVD LPCM Audio Decoder", CreateDVDAudioDecoderFilter,
     DVDAudioInput, AudioOutput},
};

}  // namespace

std::span<const RegisteredFilter> RegisteredFilters() {
    return kFilters;
}

const RegisteredFilter* FindRegisteredFilter(REFCLSID clsid) {
    for (const RegisteredFilter& f : kFilters)
        if (IsEqualGUID(*f.clsid, clsid)) return &f;
    return nullptr;
}

}  // namespace qm_MPEGDecoderFilters
