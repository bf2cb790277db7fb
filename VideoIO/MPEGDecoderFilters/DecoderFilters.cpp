#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"

#include "VideoIO/MPEGDecoderFilters/AC3AudioDecoderFilter.h"
#include "VideoIO/MPEGDecoderFilters/DVDAudioDecoderFilter.h"
#include "VideoIO/MPEGDecoderFilters/FilterCreation.h"
#include "VideoIO/MPEGDecoderFilters/MPEG2VideoDecoderFilter.h"
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

// The MPEG-4 decoder is not part of this build yet.
HRESULT CreateMPEG4VideoDecoderFilter(IBaseFilter** ppInstance) {
    if (ppInstance) *ppInstance = nullptr;
    return QMLogHRESULT(E_NOTIMPL);
}

HRESULT CreateAC3AudioDecoderFilter(IBaseFilter** ppInstance) {
    return CreateFilter<AC3AudioDecoderFilter>(ppInstance);
}

}  // namespace qm_MPEGDecoderFilters
