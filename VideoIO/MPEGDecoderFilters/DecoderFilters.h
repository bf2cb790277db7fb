// The exported creation functions: each builds one filter and returns its IBaseFilter with one
// reference.
#pragma once

#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

HRESULT CreateMPEG2VideoDecoderFilter(IBaseFilter** ppInstance);
HRESULT CreateMPEG4VideoDecoderFilter(IBaseFilter** ppInstance);
HRESULT CreateMPEGAudioDecoderFilter(IBaseFilter** ppInstance);
HRESULT CreateAC3AudioDecoderFilter(IBaseFilter** ppInstance);
HRESULT CreateDVDAudioDecoderFilter(IBaseFilter** ppInstance);

}  // namespace qm_MPEGDecoderFilters
