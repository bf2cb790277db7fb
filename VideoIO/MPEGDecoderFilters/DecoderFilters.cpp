#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"

#include "VideoIO/MPEGDecoderFilters/AC3AudioDecoderFilter.h"
#include "VideoIO/MPEGDecoderFilters/DVDAudioDecoderFilter.h"
#include "VideoIO/MPEGDecoderFilters/FilterCreation.h"
#include "VideoIO/MPEGDecoderFilters/MPEG2VideoDecoderFilter.h"
#include "VideoIO/MPEGDecoderFilters/MPEG4VideoDecoderFilter.h"
#include "VideoIO/MPEGDecoderFilters/MPEGAudioDecoderFilter.h"

namespace qm_MPEGDecoderFilters {

HRESULT CreateMPEG2VideoDecoderFilter(IBaseFilter** ppInstance) {
    return CreateFilter<MPEG2VideoDecoderFilter>(ppInstance);
}

HRESULT CreateMPEGAudioDecoderFilter(IBaseFilter** ppInstance) {
    return CreateFilter<MPEGAudioDecoderFilter>(ppInstance);
}

HRESULT CreateDVDAudioDecoderFilter(IBaseFilter** ppInstance) {
    return CreateFilter<DVDAudioDecoderFilter>(ppInstance);
}

HRESULT CreateMPEG4VideoDecoderFilter(IBaseFilter** ppInstance) {
    return CreateFilter<MPEG4VideoDecoderFilter>(ppInstance);
}

HRESULT CreateAC3AudioDecoderFilter(IBaseFilter** ppInstance) {
    return CreateFilter<AC3AudioDecoderFilter>(ppInstance);
}

}  // namespace qm_MPEGDecoderFilters
