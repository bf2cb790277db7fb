#include "VideoIO/MPEGDecoderFilters/MPEG4VideoDecoderFilter.h"

#include <cmath>

#include "SDKs/CodecFramework/CodecCommon/MediaSampleGlue.h"
#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/FilterUtil/SampleInterfaces.h"
#include "VideoIO/MPEGDecoderFilters/VideoFilterHelpers.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

namespace {

constexpr DWORD kFlagsInDisplayOrder = 4;

DWORD InterlaceFlagsOf(int32_t interlaceType) {
    if (interlaceType == UMC::INTERLEAVED_TOP_FIELD_FIRST)
        return AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First;
    if (interlaceType == UMC::INTERLEAVED_BOTTOM_FIELD_FIRST) return AMINTERLACE_IsInterlaced;
    return 0;
}

}  // namespace

MPEG4VideoDecoderFilter::MPEG4VideoDecoderFilter(HRESULT* phr)
    : VideoCodecFilter(CLSID_MPEG4VideoDecoderFilter) {
    // The kernels are chosen first; the pins are made whatever the outcome.
    HRESULT dispatch = S_OK;
    InitProcessorDispatch(&dispatch);
    CreatePins<MPEG4VideoDecoderInputPin, MPEG4VideoDecoderOutputPin>(phr);
    if (SUCCEEDED(*phr) && FAILED(dispatch)) *phr = dispatch;
}

MPEG4VideoDecoderFilter::~MPEG4VideoDecoderFilter() = default;

HRESULT MPEG4VideoDecoderFilter::CheckInputType(const CMediaType* pmtIn) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    return qm::IsMPEG4VideoType(*pmtIn) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT MPEG4VideoDecoderFilter::GetMediaType(int position, CMediaType* pmtOut) {
    QMCheckCondition(pmtOut != 0, E_INVALIDARG);
    if (position < 0) return E_INVALIDARG;
    if (size_t(position) >= m_outputSubtypes.size()) return VFW_S_NO_MORE_ITEMS;
    QMCheckCondition(m_pInput->CurrentMediaType().IsValid(), E_UNEXPECTED);
    REFERENCE_TIME avgTimePerFrame = 0;
    QMCheckHRESULT(qm::GetAverageTimePerFrame(m_pInput->CurrentMediaType(), &avgTimePerFrame));
    QMCheckCondition(avgTimePerFrame > 0, E_UNEXPECTED);

    QMCheckHRESULTUMC(m_decoder.GetInfo(&m_params));
    const UMC::VideoStreamInfo& info = m_params.info;
    GUID subtype = m_outputSubtypes[size_t(position)];
    QMCheckHRESULT(qm::CreateVideoInfoHeader2Type(pmtOut, info.clip_width, info.clip_height,
                                                  info.aspect_ratio_width, info.aspect_ratio_height,
                                                  InterlaceFlagsOf(info.interlace_type), &subtype,
                                                  avgTimePerFrame, 0));
    return S_OK;
}

HRESULT MPEG4VideoDecoderFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) {
    QMCheckCondition(pmt != 0, E_INVALIDARG);
    QMCheckCondition(pmt->majortype == MEDIATYPE_Video, E_INVALIDARG);
    if (direction == PINDIR_OUTPUT) {
        m_outputMediaType = *pmt;
        m_outputInterlaceFlags = 0;
        DWORD flags = 0;
        QMCheckHRESULT(qm::GetInterlaceFlags(*pmt, &flags));
        m_outputInterlaceFlags = flags;
        LONG x = 0, y = 0;
        QMCheckHRESULT(qm::GetPictureAspectRatio(*pmt, &x, &y));
        m_outputAspectRatio[0] = DWORD(x);
        m_outputAspectRatio[1] = DWORD(y);
        m_outputFrameDuration = 0;
        REFERENCE_TIME duration = 0;
        QMCheckHRESULT(qm::GetAverageTimePerFrame(*pmt, &duration));
        m_outputFrameDuration = duration;
        m_outputBottomUp = IsBottomUpRGB(*pmt);
        return S_OK;
    }
    if (direction == PINDIR_INPUT) return SetInputMediaType(pmt);
    return S_OK;
}

HRESULT MPEG4VideoDecoderFilter::SetInputMediaType(const CMediaType* pmt) {
    m_inputMediaType = *pmt;
    // Other format blocks cannot be read at all: refused quietly.
    const bool videoInfo = IsEqualGUID(pmt->formattype, FORMAT_VideoInfo);
    if (!videoInfo && !IsEqualGUID(pmt->formattype, FORMAT_VideoInfo2)) return E_FAIL;
    UMC::VideoStreamInfo& info = m_params.info;
    LONG aspectX = 0, aspectY = 0, width = 0, height = 0;
    QMCheckHRESULT(qm::GetPictureAspectRatio(*pmt, &aspectX, &aspectY));
    QMCheckHRESULT(qm::GetPictureSize(*pmt, &width, &height));
    info.aspect_ratio_width = aspectX;
    info.aspect_ratio_height = aspectY;
    info.clip_width = width;
    info.clip_height = std::abs(height);
    m_params.lFlags = kFlagsInDisplayOrder;

    // The decoder-specific information (the VOL) follows the header in the format block.
    const BYTE* headers = nullptr;
    size_t headersSize = 0;
    TrailingFormatBytes(*pmt, videoInfo ? sizeof(VIDEOINFOHEADER) : sizeof(VIDEOINFOHEADER2),
                        &headers, &headersSize);
    UMC::MediaData initialData;
    m_params.m_pData = nullptr;
    if (headersSize >= 1) {
        initialData.SetBufferPointer(const_cast<uint8_t*>(headers), headersSize);
        initialData.SetDataSize(headersSize);
        m_params.m_pData = &initialData;
    }
    info.stream_subtype = 0;

    REFERENCE_TIME avgTimePerSample = 0;
    const HRESULT timeRead = qm::GetAverageTimePerFrame(*pmt, &avgTimePerSample);
    if (FAILED(timeRead) || avgTimePerSample <= 0) m_params.m_pData = nullptr;
    QMCheckHRESULT(timeRead);
    QMCheckCondition(avgTimePerSample > 0, E_UNEXPECTED);
    info.framerate = 1.0 / (double(avgTimePerSample) / 10000000.0);

    const UMC::Status initStatus = m_decoder.Init(&m_params);
    m_params.m_pData = nullptr;
    QMCheckHRESULTUMC(initStatus);
    QMCheckHRESULTUMC(m_decoder.GetInfo(&m_params));
    m_params.m_pData = nullptr;

    m_preferredSubtype = qm::SubtypeFromColorFormat(m_params.info.color_format);
    m_outputSubtypes.clear();
    m_outputSubtypes.push_back(m_preferredSubtype);
    for (int i = 0; i < qm::GetSubtypeColorFormatCount(); ++i) {
        const GUID& subtype = qm::GetSubtypeColorFormat(i).subtype;
        if (!IsEqualGUID(subtype, m_preferredSubtype)) m_outputSubtypes.push_back(subtype);
    }
    QMCheckHRESULTUMC(m_decoder.SetDeblocking(1, 0, 0, 2, 6));
    QMCheckHRESULTUMC(m_decoder.SetDeringing(1, 0, 0));
    return S_OK;
}

HRESULT MPEG4VideoDecoderFilter::Receive(IMediaSample* pSample) {
    const HRESULT check = CheckReceive(pSample);
    if (check != S_OK) return check;

    UMC::MediaData data;
    QMCheckHRESULT(qm::MediaSampleToMediaData(pSample, &data, true));
    if (m_nextStartTime == -1) {
        IMediaSampleMarker* marker = nullptr;
        if (SUCCEEDED(pSample->QueryInterface(IID_IMediaSampleMarker,
                                              reinterpret_cast<void**>(&marker))) &&
            marker) {
            m_nextStartTime = -marker->GetMarkerTime1();
            marker->Release();
        }
    }
    if (data.GetDataSize() <= 4) return S_OK;
    while (data.GetDataSize() >= 5) {
        const HRESULT hr = DecodeAndDeliver(&data);
        if (hr == S_OK || hr == VFW_E_SAMPLE_REJECTED || hr == HR_FRAME_TOO_EARLY) continue;
        if (hr == HR_NO_FRAME) return S_OK;
        if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
        if (hr == S_FALSE) return S_FALSE;
        return QMLogHRESULT(hr);
    }
    return S_OK;
}

HRESULT MPEG4VideoDecoderFilter::DecodeIntoSample(UMC::MediaData* pInput,
                                                  IMediaSample* pOutSample) {
    QMCheckCondition(pOutSample != 0, E_INVALIDARG);
    UMC::VideoData picture;
    QMCheckHRESULT(qm::InitVideoDataFromSample(m_outputMediaType, pOutSample, &picture));

    const UMC::Status status = m_decoder.GetFrame(pInput, &picture);
    m_decoderFed = true;
    if (status == UMC::STATUS_NOT_ENOUGH_DATA || status == UMC::STATUS_SYNC_NOT_FOUND)
        return HR_NO_FRAME;
    QMCheckHRESULTUMC(status < 0 ? status : UMC::STATUS_OK);

    if (m_outputBottomUp) FlipRows(picture);
    QMCheckHRESULT(FollowOutputFormat());
    QMCheckHRESULT(pOutSample->SetActualDataLength(LONG(picture.GetDataSize())));

    const double rate = m_params.info.framerate;
    const REFERENCE_TIME duration =
        rate != 0 ? REFERENCE_TIME(10000000.0 / rate + 0.5) : m_outputFrameDuration;
    REFERENCE_TIME start = m_nextStartTime, stop = start + duration;
    m_nextStartTime = stop;
    if (stop < 1) return HR_FRAME_TOO_EARLY;
    QMCheckHRESULT(pOutSample->SetTime(&start, &stop));
    QMCheckHRESULT(SetSampleFrameType(pOutSample, picture.GetFrameType()));
    return S_OK;
}

HRESULT MPEG4VideoDecoderFilter::FollowOutputFormat() {
    if (m_decoder.GetInfo(&m_params) != UMC::STATUS_OK) return S_OK;
    const DWORD flags = InterlaceFlagsOf(m_params.info.interlace_type);
    const int32_t x = m_params.info.aspect_ratio_width * m_params.info.clip_width;
    const int32_t y = m_params.info.aspect_ratio_height * m_params.info.clip_height;
    if (flags == m_outputInterlaceFlags && DWORD(x) == m_outputAspectRatio[0] &&
        DWORD(y) == m_outputAspectRatio[1])
        return S_OK;
    bool changed = false;
    QMCheckHRESULT(ProposeOutputType(m_pOutput, m_outputMediaType, flags, x, y, &changed));
    if (changed) m_outputTypeChanged = true;
    return S_OK;
}

HRESULT MPEG4VideoDecoderFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                            double dRate) {
    const UMC::Status status = m_decoder.Reset();
    if (status != UMC::STATUS_OK) QMReport(TEXT("Failed to reset the decoder %d"), int(status));
    m_decoderFed = false;
    m_nextStartTime = -1;
    QMCheckHRESULT(CTransformFilter::NewSegment(tStart, tStop, dRate));
    return S_OK;
}

}  // namespace qm_MPEGDecoderFilters
