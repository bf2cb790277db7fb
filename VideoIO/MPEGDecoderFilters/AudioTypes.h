// Audio media type questions shared by the audio filters.
#pragma once

#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

// The WAVEFORMATEX of a type, or null when the type carries none (cbFormat is honoured).
inline const WAVEFORMATEX* WaveFormat(const AM_MEDIA_TYPE& mt) {
    if (!IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx) || !mt.pbFormat ||
        mt.cbFormat < sizeof(WAVEFORMATEX))
        return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
}

// Audio, PCM, WAVEFORMATEX: what the audio filters deliver.
inline bool IsPcmOutputType(const AM_MEDIA_TYPE& mt) {
    return IsEqualGUID(mt.majortype, MEDIATYPE_Audio) &&
           IsEqualGUID(mt.subtype, MEDIASUBTYPE_PCM) &&
           IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx);
}

}  // namespace qm_MPEGDecoderFilters
