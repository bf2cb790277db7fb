#include "SDKs/CodecFramework/CodecCommon/AudioStreamDescription.h"

#include "diagnostics/CheckForms.h"

namespace qm {

namespace {

const WAVEFORMATEX* WaveFormatOf(const AM_MEDIA_TYPE& mt) {
    if (!mt.pbFormat || mt.cbFormat < sizeof(WAVEFORMATEX)) return nullptr;
    return reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
}

bool IsFourCC(const GUID& subtype, DWORD fourcc) {
    return IsEqualGUID(subtype, MediaSubtypeFromFourCC(fourcc)) != 0;
}

}  // namespace

HRESULT GetAudioStreamType(const AM_MEDIA_TYPE& mt, int32_t* pStreamType) {
    QMCheckCondition(pStreamType != 0, E_POINTER);
    *pStreamType = 0;
    QMCheckCondition(mt.majortype == MEDIATYPE_Audio, S_OK);

    if (IsEqualGUID(mt.subtype, MEDIASUBTYPE_PCM)) {
        const WAVEFORMATEX* pAudioHeader = WaveFormatOf(mt);
        QMCheckCondition(pAudioHeader != 0, E_INVALIDARG);
        if (pAudioHeader->wFormatTag != WAVE_FORMAT_PCM &&
            pAudioHeader->wFormatTag != WAVE_FORMAT_EXTENSIBLE)
            return QMLogHRESULT(E_NOTIMPL);
        *pStreamType = kAudioStreamPCM;
        return S_OK;
    }
    if (IsEqualGUID(mt.subtype, MEDIASUBTYPE_DVD_LPCM_AUDIO)) {
        const WAVEFORMATEX* pAudioHeader = WaveFormatOf(mt);
        QMCheckCondition(pAudioHeader != 0, E_INVALIDARG);
        QMCheckCondition(pAudioHeader->wFormatTag == 0x0000, S_OK);
        *pStreamType = kAudioStreamLPCM;
        return S_OK;
    }
    if (IsFourCC(mt.subtype, 0x0050)) {
        const MPEG1WAVEFORMAT* pMpegHeader =
            (mt.pbFormat && mt.cbFormat >= sizeof(MPEG1WAVEFORMAT))
                ? reinterpret_cast<const MPEG1WAVEFORMAT*>(mt.pbFormat)
                : nullptr;
        QMCheckCondition(pMpegHeader != 0, E_INVALIDARG);
        switch (pMpegHeader->fwHeadLayer) {
            case ACM_MPEG_LAYER1:
                *pStreamType = kAudioStreamMPEGLayer1;
                return S_OK;
            case ACM_MPEG_LAYER2:
                *pStreamType = kAudioStreamMPEGLayer2;
                return S_OK;
            case ACM_MPEG_LAYER3:
                *pStreamType = kAudioStreamMPEGLayer3;
                return S_OK;
            default:
                return QMLogHRESULT(E_NOTIMPL);
        }
    }
    if (IsFourCC(mt.subtype, 0x0055)) {
        *pStreamType = kAudioStreamMPEGLayer3;
        return S_OK;
    }
    if (IsEqualGUID(mt.subtype, MEDIASUBTYPE_DOLBY_AC3) || IsFourCC(mt.subtype, 0x2000)) {
        *pStreamType = kAudioStreamAC3;
        return S_OK;
    }
    if (IsFourCC(mt.subtype, 0x1600) || IsFourCC(mt.subtype, 0x00FF)) {
        *pStreamType = kAudioStreamAAC;
        return S_OK;
    }
    return QMLogHRESULT(E_NOTIMPL);
}

HRESULT GetAudioStreamInfo(const AM_MEDIA_TYPE& mt, UMC::AudioStreamInfo* pInfo) {
    QMCheckCondition(pInfo != 0, E_POINTER);
    QMCheckCondition(mt.majortype == MEDIATYPE_Audio, E_INVALIDARG);
    if (!IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx)) return QMLogHRESULT(E_NOTIMPL);
    const WAVEFORMATEX* pAudioHeader = WaveFormatOf(mt);
    QMCheckCondition(pAudioHeader != 0, E_INVALIDARG);

    int32_t streamType = 0;
    QMCheckHRESULT(GetAudioStreamType(mt, &streamType));
    pInfo->channels = pAudioHeader->nChannels;
    pInfo->sample_frequency = int32_t(pAudioHeader->nSamplesPerSec);
    pInfo->bitPerSample = pAudioHeader->wBitsPerSample;
    pInfo->channel_mask = 0;
    pInfo->stream_type = streamType;
    pInfo->bitrate = int32_t(pAudioHeader->nAvgBytesPerSec * 8u);
    return S_OK;
}

}  // namespace qm
