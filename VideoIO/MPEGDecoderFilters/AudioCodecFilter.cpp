#include "VideoIO/MPEGDecoderFilters/AudioCodecFilter.h"

#include "SDKs/CodecFramework/CodecCommon/AudioStreamDescription.h"
#include "SDKs/CodecFramework/CodecCommon/MediaSampleGlue.h"
#include "SDKs/CodecFramework/CodecCommon/TimeConversion.h"
#include "SDKs/CodecFramework/core/AudioData.h"
#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/AudioTypes.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

AudioCodecFilter::AudioCodecFilter(REFCLSID clsid, Rules rules)
    : TransformDecoderFilter(clsid), m_rules(rules) {}

HRESULT AudioCodecFilter::CheckTransform(const CMediaType* pmtIn, const CMediaType* pmtOut) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    QMCheckCondition(pmtOut != 0, E_INVALIDARG);
    return IsPcmOutputType(*pmtOut) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AudioCodecFilter::DecideBufferSize(IMemAllocator* pMemAlloc,
                                           ALLOCATOR_PROPERTIES* pProperties) {
    // The arguments first: an unconnected filter has no output type to read.
    QMCheckCondition(pMemAlloc != 0, E_INVALIDARG);
    QMCheckCondition(pProperties != 0, E_INVALIDARG);
    const WAVEFORMATEX* wfx = WaveFormat(m_pOutput->CurrentMediaType());
    QMCheckCondition(wfx != 0, E_UNEXPECTED);
    return SetAllocatorProperties(pMemAlloc, pProperties, 10, LONG(wfx->nChannels) * 8192);
}

HRESULT AudioCodecFilter::GetMediaType(int position, CMediaType* pmtOut) {
    QMCheckCondition(pmtOut != 0, E_INVALIDARG);
    QMCheckCondition(m_pInput->CurrentMediaType().IsValid(), E_UNEXPECTED);
    if (position < 0) return E_INVALIDARG;
    if (position >= 2) return VFW_S_NO_MORE_ITEMS;
    const UMC::AudioStreamInfo& in = Params().m_info_in;
    const WORD channels = WORD(in.channels);
    const DWORD rate = DWORD(in.sample_frequency);
    if (position == 0)
        QMCheckHRESULT(qm::CreatePcmWaveFormatExType(pmtOut, WAVE_FORMAT_PCM, channels, rate, 16));
    else
        QMCheckHRESULT(
            qm::CreateWaveFormatExtensibleType(pmtOut, WAVE_FORMAT_PCM, channels, rate, 16, 0));
    return S_OK;
}

HRESULT AudioCodecFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) {
    QMCheckCondition(pmt != 0, E_INVALIDARG);
    if (direction == PINDIR_INPUT) {
        QMCheckCondition(pmt->majortype == MEDIATYPE_Audio, E_INVALIDARG);
        m_inputMediaType = *pmt;
        QMCheckHRESULT(qm::GetAudioStreamInfo(*pmt, &Params().m_info_in));
        // The output buffers are sized from the channel count the format block declares.
        QMCheckCondition(Params().m_info_in.channels <= UMC::kMaxAudioChannels,
                         VFW_E_TYPE_NOT_ACCEPTED);
        QMCheckHRESULTUMC(Codec().Init(&Params()));
        return OnInputTypeSet();
    }
    if (direction == PINDIR_OUTPUT) {
        if (!IsPcmOutputType(*pmt)) return E_FAIL;
        m_outputMediaType = *pmt;
        QMCheckHRESULT(qm::GetAudioStreamInfo(*pmt, &Params().m_info_out));
        if (!(m_followingStream && m_rules.keepCodecOnFormatFollow))
            QMCheckHRESULTUMC(Codec().Init(&Params()));
    }
    return S_OK;
}

HRESULT AudioCodecFilter::BreakConnect(PIN_DIRECTION direction) {
    if (direction == PINDIR_INPUT) {
        const UMC::Status status = Codec().Close();
        if (status != UMC::STATUS_OK) QMReport(TEXT("Failed to close the decoder %d"), int(status));
    }
    return S_OK;
}

HRESULT AudioCodecFilter::SwitchBuffers(size_t extra) {
    UMC::MediaData& from = Current();
    UMC::MediaData& to = m_buffers[1 - m_current];
    const size_t need = from.GetDataSize() + extra;
    to.Reset();
    if (to.GetBufferSize() < need) QMCheckHRESULTUMC(to.Alloc(need));
    if (from.GetDataSize() > 0) QMCheckHRESULTUMC(from.MoveDataTo(&to));
    from.Reset();
    m_current = 1 - m_current;
    return S_OK;
}

HRESULT AudioCodecFilter::Receive(IMediaSample* pSample) {
    const HRESULT check = CheckReceive(pSample);
    if (check != S_OK) return check;

    // Samples stamped before zero are dropped.
    REFERENCE_TIME start = 0, stop = 0;
    const HRESULT timed = pSample->GetTime(&start, &stop);
    if (m_rules.inputTimesRequired) {
        QMCheckHRESULT(timed);
        if (start < 0) return S_OK;
    } else if (timed == S_OK && start < 0) {
        return S_OK;
    }

    UMC::MediaData wrapper;
    QMCheckHRESULT(qm::MediaSampleToMediaData(pSample, &wrapper, m_rules.inputTimesRequired));

    if (Current().GetDataSize() + wrapper.GetDataSize() > Current().GetBufferSize())
        QMCheckHRESULT(SwitchBuffers(wrapper.GetDataSize()));
    if (wrapper.GetDataSize() > 0) QMCheckHRESULTUMC(wrapper.MoveDataTo(&Current()));

    HRESULT result = S_OK;
    for (;;) {
        const uint32_t suggested = Params().m_SuggestedInputSize;
        const size_t threshold = suggested < 3 ? suggested : 3;
        if (Current().GetDataSize() <= threshold) break;
        const HRESULT hr = DecodeStep();
        if (hr == S_OK) continue;
        if (hr == HR_NO_FRAME) {
            if (wrapper.GetDataSize() == 0) break;
            QMCheckHRESULT(SwitchBuffers(wrapper.GetDataSize()));
            QMCheckHRESULTUMC(wrapper.MoveDataTo(&Current()));
            continue;
        }
        result = hr;
        break;
    }

    // Keep the pending bytes at the start of a buffer between calls.
    if (Current().GetDataSize() > 0) {
        const HRESULT hr = SwitchBuffers(0);
        if (FAILED(hr)) return hr;
    } else {
        Current().Reset();
    }
    return result;
}

HRESULT AudioCodecFilter::DecodeStep() {
    IMediaSample* pOutSample = nullptr;
    HRESULT hr = GetOutputSample(nullptr, &pOutSample);
    if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
    QMCheckHRESULT(hr);

    BYTE* pointer = nullptr;
    hr = pOutSample->GetPointer(&pointer);
    if (FAILED(hr)) {
        pOutSample->Release();
        return QMLogHRESULT(hr);
    }
    UMC::AudioData audio;
    audio.SetBufferPointer(pointer, size_t(pOutSample->GetSize()));
    const UMC::Status status = Codec().GetFrame(&Current(), &audio);
    if (status == UMC::STATUS_NOT_ENOUGH_DATA || status == UMC::STATUS_SYNC_NOT_FOUND) {
        pOutSample->Release();
        return HR_NO_FRAME;
    }
    if (status == UMC::STATUS_INVALID_STREAM && m_endOfStream && m_rules.passInvalidTailAfterEnd) {
        pOutSample->Release();
        return S_OK;
    }
    if (status != UMC::STATUS_OK) {
        pOutSample->Release();
        const HRESULT error = qm::HResultFromCodecStatus(status);
        if (QM_REPORTING())
            qm_log::_report_errW(0, 1, __FILE__, __LINE__, error,
                                 TEXT("QMCheckHRESULTUMC (code=%d):"), int(status));
        NotifyEvent(EC_ERRORABORT, LONG_PTR(error), 0);
        return QMLogHRESULT(error);
    }

    hr = FollowOutputFormat();
    if (SUCCEEDED(hr)) hr = pOutSample->SetActualDataLength(LONG(audio.GetDataSize()));
    if (FAILED(hr)) {
        pOutSample->Release();
        return QMLogHRESULT(hr);
    }
    double startSeconds = 0, endSeconds = 0;
    audio.GetTime(startSeconds, endSeconds);
    REFERENCE_TIME outStart = qm::SecondsToReferenceTime(startSeconds);
    REFERENCE_TIME outStop = qm::SecondsToReferenceTime(endSeconds);
    if (outStop < 1) {
        pOutSample->Release();
        return HR_FRAME_TOO_EARLY;
    }
    hr = pOutSample->SetTime(&outStart, &outStop);
    if (SUCCEEDED(hr)) hr = DeliverSample(pOutSample);
    pOutSample->Release();
    if (hr == S_FALSE || hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
    return SUCCEEDED(hr) ? S_OK : QMLogHRESULT(hr);
}

HRESULT AudioCodecFilter::FollowOutputFormat() {
    if (Codec().GetInfo(&Params()) != UMC::STATUS_OK) return S_OK;
    const UMC::AudioStreamInfo& out = Params().m_info_out;
    const WAVEFORMATEX* wfx = WaveFormat(m_outputMediaType);
    if (!wfx || out.channels <= 0 || out.sample_frequency <= 0) return S_OK;
    if (wfx->nChannels == out.channels && wfx->nSamplesPerSec == DWORD(out.sample_frequency) &&
        wfx->wBitsPerSample == 16)
        return S_OK;
    CMediaType changed;
    if (wfx->wFormatTag == WAVE_FORMAT_EXTENSIBLE)
        QMCheckHRESULT(qm::CreateWaveFormatExtensibleType(
            &changed, WAVE_FORMAT_PCM, WORD(out.channels), DWORD(out.sample_frequency), 16, 0));
    else
        QMCheckHRESULT(qm::CreatePcmWaveFormatExType(&changed, WAVE_FORMAT_PCM, WORD(out.channels),
                                                     DWORD(out.sample_frequency), 16));
    IPin* downstream = m_pOutput->GetConnected();
    if (!downstream) return S_OK;
    const HRESULT accept = downstream->QueryAccept(&changed);
    QMCheckHRESULT(accept);
    if (accept == S_OK) {
        m_followingStream = true;
        const HRESULT hr = m_pOutput->SetMediaType(&changed);
        m_followingStream = false;
        QMCheckHRESULT(hr);
        m_outputTypeChanged = true;
    }
    return S_OK;
}

HRESULT AudioCodecFilter::EndOfStream() {
    const HRESULT hr = DeliverEndOfStreamDownstream();
    if (SUCCEEDED(hr)) m_endOfStream = true;
    return hr;
}

HRESULT AudioCodecFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) {
    const UMC::Status status = Codec().Reset();
    if (status != UMC::STATUS_OK) QMReport(TEXT("Failed to reset the decoder %d"), int(status));
    m_buffers[0].Reset();
    m_buffers[1].Reset();
    m_current = 0;
    m_endOfStream = false;
    QMCheckHRESULT(CTransformFilter::NewSegment(tStart, tStop, dRate));
    return S_OK;
}

}  // namespace qm_MPEGDecoderFilters
