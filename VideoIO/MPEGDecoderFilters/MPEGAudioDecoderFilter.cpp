#include "VideoIO/MPEGDecoderFilters/MPEGAudioDecoderFilter.h"

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

// The codec runs its own clock from the first frame, so input times are optional, and a
// format change found in the stream must keep that clock.
MPEGAudioDecoderFilter::MPEGAudioDecoderFilter(HRESULT* phr)
    : AudioCodecFilter(CLSID_MPEGAudioDecoderFilter, {.inputTimesRequired = false,
                                                      .keepCodecOnFormatFollow = true,
                                                      .passInvalidTailAfterEnd = false}) {
    m_params.lfe_filter_mode = 0;
    m_params.check_next_header = 0;
    CreatePins<MPEGAudioDecoderInputPin, MPEGAudioDecoderOutputPin>(phr);
    if (SUCCEEDED(*phr) && m_pInput && m_pOutput) InitProcessorDispatch(phr);
}

MPEGAudioDecoderFilter::~MPEGAudioDecoderFilter() = default;

HRESULT MPEGAudioDecoderFilter::CheckInputType(const CMediaType* pmtIn) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    return qm::IsMPEGAudioType(*pmtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

}  // namespace qm_MPEGDecoderFilters
