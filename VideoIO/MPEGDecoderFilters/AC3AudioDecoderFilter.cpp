#include "VideoIO/MPEGDecoderFilters/AC3AudioDecoderFilter.h"

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

// Frames are stamped from the input samples' times, so samples must carry them; a damaged
// tail after end of stream is passed over. Following a rate change keeps the codec: the frame
// that announced it is already decoded, and a new Init would drop its overlap from the next.
AC3AudioDecoderFilter::AC3AudioDecoderFilter(HRESULT* phr)
    : AudioCodecFilter(CLSID_AC3AudioDecoderFilter, {.inputTimesRequired = true,
                                                     .keepCodecOnFormatFollow = true,
                                                     .passInvalidTailAfterEnd = true}) {
    m_params.dual_mono_mode = 0;
    m_params.output_config = 0;
    m_params.output_lfe = 0;
    m_params.drc_mode = 0;
    m_params.stereo_mode = 3;
    m_params.conceal_mode = 0;
    m_params.drc_boost_scale = 1.0f;
    m_params.drc_cut_scale = 1.0f;
    m_params.output_gain = 1.0f;
    CreatePins<AC3AudioDecoderInputPin, AC3AudioDecoderOutputPin>(phr);
    if (SUCCEEDED(*phr) && m_pInput && m_pOutput) InitProcessorDispatch(phr);
}

AC3AudioDecoderFilter::~AC3AudioDecoderFilter() = default;

HRESULT AC3AudioDecoderFilter::CheckInputType(const CMediaType* pmtIn) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    return qm::IsAC3AudioType(*pmtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AC3AudioDecoderFilter::OnInputTypeSet() {
    // The output is always the stereo fold: the input description carries its channel count,
    // at the input format's sampling rate.
    const int32_t rate = m_params.m_info_in.sample_frequency;
    QMCheckHRESULTUMC(m_decoder.GetInfo(&m_params));
    m_params.m_info_in.channels = m_params.m_info_out.channels;
    m_params.m_info_in.sample_frequency = rate;
    return S_OK;
}

}  // namespace qm_MPEGDecoderFilters
