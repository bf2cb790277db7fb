#include "VideoIO/MPEGDecoderFilters/MPEG2VideoDecoderFilter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "SDKs/CodecFramework/CodecCommon/MediaSampleGlue.h"
#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "SDKs/CodecFramework/CodecCommon/TimeConversion.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/VideoFilterHelpers.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {
namespace {

// Keeps slightly negative (preroll) times positive inside the decoder; removed on output.
constexpr REFERENCE_TIME kOneHour = 36000000000LL;
// A media start of this value marks a sample without a time stamp.
constexpr REFERENCE_TIME kNoTime = 0x7FFFFFFFFFFFFFFFLL;
constexpr int kOutputTypeCount = 20;
constexpr DWORD kFlagsInTrickModeOrder = 4;  // decode and display order

// The 0x80040570 that a STATUS_INVALID_STREAM becomes.
const HRESULT kInvalidStreamHr = qm::HResultFromCodecStatus(UMC::STATUS_INVALID_STREAM);

// The picture size of a sequence header that comes before the unit's picture, if there is one
// (the 12-bit fields; larger sizes need the sequence extension and are not followed).
bool SequenceSize(const uint8_t* p, size_t size, LONG* width, LONG* height) {
    for (size_t i = 0; i + 7 <= size; ++i) {
        if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1) continue;
        if (p[i + 3] == 0x00) return false;
        if (p[i + 3] == 0xB3) {
            *width = LONG((p[i + 4] << 4) | (p[i + 5] >> 4));
            *height = LONG(((p[i + 5] & 0x0F) << 8) | p[i + 6]);
            return *width > 0 && *height > 0;
        }
    }
    return false;
}

// `type` (VIDEOINFOHEADER or VIDEOINFOHEADER2) for pictures of another size.
bool ResizeVideoType(CMediaType* type, LONG width, LONG height) {
    BITMAPINFOHEADER* bmi = nullptr;
    RECT* rects = nullptr;
    if (IsEqualGUID(type->formattype, FORMAT_VideoInfo2) &&
        type->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        auto* v = reinterpret_cast<VIDEOINFOHEADER2*>(type->pbFormat);
        bmi = &v->bmiHeader;
        rects = &v->rcSource;
        v->rcTarget = RECT{0, 0, width, height};
    } else if (IsEqualGUID(type->formattype, FORMAT_VideoInfo) &&
               type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        auto* v = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
        bmi = &v->bmiHeader;
        rects = &v->rcSource;
        v->rcTarget = RECT{0, 0, width, height};
    }
    if (!bmi) return false;
    *rects = RECT{0, 0, width, height};
    bmi->biWidth = width;
    bmi->biHeight = bmi->biHeight < 0 ? -height : height;
    bmi->biSizeImage = DWORD(qm::VideoImageSize(type->subtype, bmi->biBitCount, width, height));
    type->lSampleSize = ULONG(bmi->biSizeImage);
    return true;
}

}  // namespace

// ---------------------------------------------------------------- MPEG2VideoDecoderInputPin

MPEG2VideoDecoderInputPin::MPEG2VideoDecoderInputPin(LPCTSTR objectName, CTransformFilter* pFilter,
                                                     HRESULT* phr)
    : DecoderInputPin(objectName, pFilter, phr),
      m_pDecoderFilter(static_cast<MPEG2VideoDecoderFilter*>(pFilter)) {}

HRESULT STDMETHODCALLTYPE MPEG2VideoDecoderInputPin::NonDelegatingQueryInterface(REFIID riid,
                                                                                 void** ppv) {
    if (ppv && IsEqualGUID(riid, IID_ISubSegment))
        return GetInterface(static_cast<ISubSegment*>(this), ppv);
    return DecoderInputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE MPEG2VideoDecoderInputPin::NewSubSegment(REFERENCE_TIME tStart,
                                                                   double dRate) {
    QMCheckCondition(m_pDecoderFilter != 0, E_UNEXPECTED);
    QMCheckHRESULT(m_pDecoderFilter->NewSubSegment(tStart, dRate));
    return S_OK;
}

// ------------------------------------------------------------------ MPEG2VideoDecoderFilter

MPEG2VideoDecoderFilter::MPEG2VideoDecoderFilter(HRESULT* phr)
    : VideoCodecFilter(CLSID_MPEG2VideoDecoderFilter) {
    CreatePins<MPEG2VideoDecoderInputPin, MPEG2VideoDecoderOutputPin>(phr);
    if (SUCCEEDED(*phr) && m_pInput && m_pOutput) InitProcessorDispatch(phr);
}

MPEG2VideoDecoderFilter::~MPEG2VideoDecoderFilter() = default;

HRESULT MPEG2VideoDecoderFilter::CheckInputType(const CMediaType* pmtIn) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    if (qm::IsMPEG2VideoType(*pmtIn) || qm::IsMPEG1VideoType(*pmtIn)) return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT MPEG2VideoDecoderFilter::GetMediaType(int position, CMediaType* pmtOut) {
    QMCheckCondition(pmtOut != 0, E_INVALIDARG);
    if (position < 0) return E_INVALIDARG;
    if (position >= kOutputTypeCount) return VFW_S_NO_MORE_ITEMS;
    QMCheckCondition(m_pInput->CurrentMediaType().IsValid(), E_UNEXPECTED);
    const CMediaType& input = m_pInput->CurrentMediaType();

    LONG width = 0, height = 0, aspectX = 0, aspectY = 0;
    DWORD interlaceFlags = 0;
    REFERENCE_TIME avgTimePerFrame = 0;
    QMCheckHRESULT(qm::GetPictureSize(input, &width, &height));
    QMCheckHRESULT(qm::GetPictureAspectRatio(input, &aspectX, &aspectY));
    QMCheckHRESULT(qm::GetInterlaceFlags(input, &interlaceFlags));
    QMCheckHRESULT(qm::GetAverageTimePerFrame(input, &avgTimePerFrame));
    QMCheckCondition(avgTimePerFrame > 0, E_UNEXPECTED);

    // The preferred subtype first; the table's other rows follow in order, without repeating it.
    int row = position;
    GUID subtype;
    if (!IsEqualGUID(m_preferredSubtype, GUID_NULL)) {
        int preferredRow = -1;
        for (int i = 0; i < qm::GetSubtypeColorFormatCount() && preferredRow < 0; ++i)
            if (IsEqualGUID(qm::GetSubtypeColorFormat(i).subtype, m_preferredSubtype))
                preferredRow = i;
        if (position == 0)
            row = preferredRow;
        else if (position <= preferredRow)
            row = position - 1;
    }
    subtype = qm::GetSubtypeColorFormat(row).subtype;

    CMediaType subtypeProbe;
    subtypeProbe.majortype = MEDIATYPE_Video;
    subtypeProbe.subtype = subtype;
    const LONG signedHeight =
        qm::IsRGBVideoType(subtypeProbe) ? -std::abs(height) : std::abs(height);
    QMCheckHRESULT(qm::CreateVideoInfoHeader2Type(pmtOut, width, signedHeight, aspectX, aspectY,
                                                  interlaceFlags, &subtype, avgTimePerFrame, 0));
    return S_OK;
}

HRESULT MPEG2VideoDecoderFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) {
    QMCheckCondition(pmt != 0, E_INVALIDARG);
    QMCheckCondition(pmt->majortype == MEDIATYPE_Video, E_INVALIDARG);
    if (direction == PINDIR_OUTPUT) {
        m_outputMediaType = *pmt;
        m_outputInterlaceFlags = 0;
        DWORD flags = 0;
        LONG x = 0, y = 0;
        m_outputBottomUp = IsBottomUpRGB(*pmt);
        QMCheckHRESULT(qm::GetInterlaceFlags(*pmt, &flags));
        m_outputInterlaceFlags = flags;
        QMCheckHRESULT(qm::GetPictureAspectRatio(*pmt, &x, &y));
        // Kept in lowest terms, as the pictures' ratio is derived: 16:12 is no change from 4:3.
        int32_t rx = int32_t(x), ry = int32_t(y);
        qm::ReduceRatio(&rx, &ry);
        m_outputAspectRatio[0] = DWORD(rx);
        m_outputAspectRatio[1] = DWORD(ry);
        return S_OK;
    }
    if (direction == PINDIR_INPUT) return SetInputMediaType(pmt);
    return S_OK;
}

HRESULT MPEG2VideoDecoderFilter::SetInputMediaType(const CMediaType* pmt) {
    m_inputMediaType = *pmt;
    LONG aspectX = 0, aspectY = 0, width = 0, height = 0;
    DWORD flags = 0;
    QMCheckHRESULT(qm::GetPictureAspectRatio(*pmt, &aspectX, &aspectY));
    QMCheckHRESULT(qm::GetPictureSize(*pmt, &width, &height));
    QMCheckHRESULT(qm::GetInterlaceFlags(*pmt, &flags));
    m_sequenceSize[0] = width;
    m_sequenceSize[1] = std::abs(height);

    UMC::VideoStreamInfo& info = m_params.info;
    if ((flags & AMINTERLACE_IsInterlaced) && (flags & AMINTERLACE_Field1First))
        info.interlace_type = UMC::INTERLEAVED_TOP_FIELD_FIRST;
    else if (flags & AMINTERLACE_IsInterlaced)
        info.interlace_type = UMC::INTERLEAVED_BOTTOM_FIELD_FIRST;
    else
        info.interlace_type = UMC::PROGRESSIVE;
    info.aspect_ratio_width = aspectX;
    info.aspect_ratio_height = aspectY;
    info.clip_width = width;
    info.clip_height = std::abs(height);
    m_params.lFlags = kFlagsInTrickModeOrder;
    m_params.numThreads = 1;

    const BYTE* sequenceHeader = nullptr;
    size_t sequenceHeaderSize = 0;
    if (IsEqualGUID(pmt->formattype, FORMAT_VideoInfo)) {
        const VIDEOINFOHEADER* pvih = pmt->cbFormat >= sizeof(VIDEOINFOHEADER)
                                          ? reinterpret_cast<const VIDEOINFOHEADER*>(pmt->pbFormat)
                                          : nullptr;
        QMCheckCondition(pvih != 0, E_UNEXPECTED);
        TrailingFormatBytes(*pmt, sizeof(VIDEOINFOHEADER), &sequenceHeader, &sequenceHeaderSize);
    } else if (IsEqualGUID(pmt->formattype, FORMAT_VideoInfo2)) {
        const VIDEOINFOHEADER2* pvih =
            pmt->cbFormat >= sizeof(VIDEOINFOHEADER2)
                ? reinterpret_cast<const VIDEOINFOHEADER2*>(pmt->pbFormat)
                : nullptr;
        QMCheckCondition(pvih != 0, E_UNEXPECTED);
        TrailingFormatBytes(*pmt, sizeof(VIDEOINFOHEADER2), &sequenceHeader, &sequenceHeaderSize);
    } else if (IsEqualGUID(pmt->formattype, FORMAT_MPEG2Video)) {
        const size_t fixed = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
        const MPEG2VIDEOINFO* pmvi = pmt->cbFormat >= fixed && pmt->pbFormat
                                         ? reinterpret_cast<const MPEG2VIDEOINFO*>(pmt->pbFormat)
                                         : nullptr;
        QMCheckCondition(pmvi != 0, E_UNEXPECTED);
        QMCheckCondition(pmvi->cbSequenceHeader <= pmt->cbFormat - fixed, E_INVALIDARG);
        m_params.profile = int32_t(pmvi->dwProfile);
        m_params.level = int32_t(pmvi->dwLevel);
        m_params.m_extra0 = int32_t(pmvi->dwProfile);
        m_params.m_extra1 = int32_t(pmvi->dwLevel);
        info.stream_type = UMC::MPEG2_VIDEO;
        sequenceHeader = reinterpret_cast<const BYTE*>(pmvi->dwSequenceHeader);
        sequenceHeaderSize = pmvi->cbSequenceHeader;
    } else if (IsEqualGUID(pmt->formattype, FORMAT_MPEGVideo)) {
        const size_t fixed = offsetof(MPEG1VIDEOINFO, bSequenceHeader);
        const MPEG1VIDEOINFO* pmvi = pmt->cbFormat >= fixed && pmt->pbFormat
                                         ? reinterpret_cast<const MPEG1VIDEOINFO*>(pmt->pbFormat)
                                         : nullptr;
        QMCheckCondition(pmvi != 0, E_UNEXPECTED);
        QMCheckCondition(pmvi->cbSequenceHeader <= pmt->cbFormat - fixed, E_INVALIDARG);
        info.stream_type = UMC::MPEG1_VIDEO;
        sequenceHeader = pmvi->bSequenceHeader;
        sequenceHeaderSize = pmvi->cbSequenceHeader;
    } else {
        return QMLogHRESULT(E_NOTIMPL);
    }

    UMC::MediaData initialData;
    if (sequenceHeaderSize >= 1) {
        initialData.SetBufferPointer(const_cast<uint8_t*>(sequenceHeader), sequenceHeaderSize);
        initialData.SetDataSize(sequenceHeaderSize);
        m_params.m_pData = &initialData;
    } else {
        m_params.m_pData = nullptr;
    }
    info.stream_subtype = 0;

    REFERENCE_TIME avgTimePerFrame = 0;
    QMCheckHRESULT(qm::GetAverageTimePerFrame(*pmt, &avgTimePerFrame));
    QMCheckCondition(avgTimePerFrame > 0, E_UNEXPECTED);
    info.framerate = 1.0 / (double(avgTimePerFrame) / 10000000.0);

    // Nothing here shows a picture again, so B frames may skip the slot copy.
    m_decoder.SetDirectOutput(true);
    const UMC::Status initStatus = m_decoder.Init(&m_params);
    m_params.m_pData = nullptr;
    QMCheckHRESULTUMC(initStatus);
    QMCheckHRESULTUMC(m_decoder.GetInfo(&m_params));
    m_preferredSubtype = qm::SubtypeFromColorFormat(m_params.info.color_format);
    return S_OK;
}

HRESULT MPEG2VideoDecoderFilter::BreakConnect(PIN_DIRECTION direction) {
    if (direction == PINDIR_INPUT) m_pictures.Clear();
    return VideoCodecFilter::BreakConnect(direction);
}

HRESULT MPEG2VideoDecoderFilter::Receive(IMediaSample* pSample) {
    const HRESULT check = CheckReceive(pSample);
    if (check != S_OK) return check;

    UMC::MediaData data;
    QMCheckHRESULT(qm::MediaSampleToMediaData(pSample, &data, false));

    REFERENCE_TIME start = 0, stop = 0;
    QMCheckHRESULT(pSample->GetTime(&start, &stop));
    REFERENCE_TIME mediaStart = 0, mediaStop = 0;
    const bool timed =
        FAILED(pSample->GetMediaTime(&mediaStart, &mediaStop)) || mediaStart != kNoTime;
    // Pictures may be cut anywhere between samples: they are put together again first.
    m_pictures.Append(data.GetDataPointer(), data.GetDataSize(), timed, start, stop);
    return DecodePictures(false);
}

HRESULT MPEG2VideoDecoderFilter::DecodePictures(bool final) {
    PictureAssembler::Unit unit;
    while (m_pictures.Next(&unit, final)) {
        if (unit.size < 4) continue;
        QMCheckHRESULT(FollowPictureSize(unit.data, unit.size));
        UMC::MediaData data;
        QMCheckHRESULTUMC(data.SetBufferPointer(const_cast<uint8_t*>(unit.data), unit.size));
        QMCheckHRESULTUMC(data.SetDataSize(unit.size));
        // A picture without a time stamp of its own (one of several in a packet) is timed by
        // the decoder's clock from the pictures before it.
        const double startSeconds =
            unit.timed ? qm::ReferenceTimeToSeconds(unit.start + kOneHour) : -1.0;
        const double stopSeconds =
            unit.timed ? qm::ReferenceTimeToSeconds(unit.stop + kOneHour) : -1.0;
        QMCheckHRESULTUMC(data.SetTime(startSeconds, stopSeconds));

        while (data.GetDataSize() >= 4) {
            const HRESULT hr = DecodeAndDeliver(&data);
            // A picture before the segment start (preroll after a seek) is decoded but not
            // delivered; the stream goes on with the next one.
            if (hr == S_OK || hr == VFW_E_SAMPLE_REJECTED || hr == HR_FRAME_DROPPED ||
                hr == HR_FRAME_TOO_EARLY)
                continue;
            if (hr == HR_NO_FRAME) break;
            if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
            // Downstream wants no more of this input: what is still gathered goes too.
            m_pictures.Clear();
            if (hr == S_FALSE) return S_FALSE;
            return QMLogHRESULT(hr);
        }
    }
    return S_OK;
}

HRESULT MPEG2VideoDecoderFilter::DecodeIntoSample(UMC::MediaData* pInput,
                                                  IMediaSample* pOutSample) {
    QMCheckCondition(pOutSample != 0, E_INVALIDARG);
    UMC::VideoData picture;
    QMCheckHRESULT(qm::InitVideoDataFromSample(m_outputMediaType, pOutSample, &picture));

    const UMC::Status status = m_decoder.GetFrame(pInput, &picture);
    m_decoderFed = true;
    if (status == UMC::STATUS_NOT_ENOUGH_DATA || status == UMC::STATUS_SYNC_NOT_FOUND)
        return HR_NO_FRAME;
    if (status == UMC::STATUS_INVALID_STREAM) {
        QMLogHRESULT(kInvalidStreamHr);
        return HR_FRAME_DROPPED;
    }
    QMCheckHRESULTUMC(status);

    if (m_outputBottomUp) FlipRows(picture);
    QMCheckHRESULT(FollowOutputFormat(picture));
    QMCheckHRESULT(pOutSample->SetActualDataLength(LONG(picture.GetDataSize())));

    double pictureStart = 0, pictureEnd = 0;
    QMCheckHRESULTUMC(picture.GetTime(pictureStart, pictureEnd));
    if (pictureStart == qm::ReferenceTimeToSeconds(kNoTime)) return HR_FRAME_NO_TIME;

    REFERENCE_TIME avgTimePerFrame = 0;
    QMCheckHRESULT(qm::GetAverageTimePerFrame(m_inputMediaType, &avgTimePerFrame));
    REFERENCE_TIME outStart = qm::SecondsToReferenceTime(pictureStart) - kOneHour;
    REFERENCE_TIME outStop = outStart + avgTimePerFrame;
    // Stream times run forward in every segment, backward ones included; the rate only
    // scales them, so the sign of the rate must not turn them negative or swap start and stop.
    const double speed = std::fabs(m_dRate);
    if (speed != 1.0) {
        outStart = REFERENCE_TIME(double(outStart) / speed);
        outStop = REFERENCE_TIME(double(outStop) / speed);
    }
    if (outStop < 1) return HR_FRAME_TOO_EARLY;
    QMCheckHRESULT(pOutSample->SetTime(&outStart, &outStop));

    QMCheckHRESULT(SetSampleFrameType(pOutSample, picture.GetFrameType()));
    return S_OK;
}

HRESULT MPEG2VideoDecoderFilter::FollowPictureSize(const uint8_t* unit, size_t size) {
    LONG width = 0, height = 0, outWidth = 0, outHeight = 0;
    if (!SequenceSize(unit, size, &width, &height)) return S_OK;
    if (width == m_sequenceSize[0] && height == m_sequenceSize[1]) return S_OK;
    const LONG oldWidth = m_sequenceSize[0], oldHeight = m_sequenceSize[1];
    m_sequenceSize[0] = width;
    m_sequenceSize[1] = height;
    // An output connected at another size than the stream's is scaled on purpose: it stays.
    if (FAILED(qm::GetPictureSize(m_outputMediaType, &outWidth, &outHeight)) ||
        outWidth != oldWidth || std::abs(outHeight) != oldHeight)
        return S_OK;
    IPin* downstream = m_pOutput ? m_pOutput->GetConnected() : nullptr;
    IMemAllocator* allocator = m_pOutput ? m_pOutput->Allocator() : nullptr;
    if (!downstream || !allocator) return S_OK;
    CMediaType changed(m_outputMediaType);
    if (!ResizeVideoType(&changed, width, height)) return S_OK;
    // Pictures that do not fit the buffers downstream, or a type it refuses, are scaled to the
    // connection's size instead, as before the change.
    ALLOCATOR_PROPERTIES properties{};
    if (FAILED(allocator->GetProperties(&properties)) ||
        LONG(changed.lSampleSize) > properties.cbBuffer)
        return S_OK;
    const HRESULT accept = downstream->QueryAccept(&changed);
    QMCheckHRESULT(accept);
    if (accept != S_OK) return S_OK;
    // The pictures of the old size still held go out in it first.
    QMCheckHRESULT(Drain());
    ResetDecoder();
    m_decoderFed = false;
    QMCheckHRESULT(m_pOutput->SetMediaType(&changed));
    m_outputTypeChanged = true;
    return S_OK;
}

HRESULT MPEG2VideoDecoderFilter::FollowOutputFormat(const UMC::VideoData& picture) {
    if (m_decoder.GetInfo(&m_params) != UMC::STATUS_OK) return S_OK;
    DWORD flags = 0;
    if (m_params.info.interlace_type != UMC::PROGRESSIVE) {
        if (picture.GetPictureStructure() == UMC::PS_TOP_FIELD_FIRST)
            flags = AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First;
        else if (picture.GetPictureStructure() == UMC::PS_BOTTOM_FIELD_FIRST)
            flags = AMINTERLACE_IsInterlaced;
    }
    int32_t x = m_params.info.aspect_ratio_width * m_params.info.clip_width;
    int32_t y = m_params.info.aspect_ratio_height * m_params.info.clip_height;
    if (x == 0 && y == 0) return S_OK;  // no ratio to derive: keep the current type
    qm::ReduceRatio(&x, &y);
    if (flags == m_outputInterlaceFlags && DWORD(x) == m_outputAspectRatio[0] &&
        DWORD(y) == m_outputAspectRatio[1])
        return S_OK;

    bool changed = false;
    QMCheckHRESULT(ProposeOutputType(m_pOutput, m_outputMediaType, flags, x, y, &changed));
    if (changed) m_outputTypeChanged = true;
    return S_OK;
}

void MPEG2VideoDecoderFilter::ResetDecoder() {
    const UMC::Status status = m_decoder.Reset();
    if (status != UMC::STATUS_OK) {
        QMLogHRESULT(E_UNEXPECTED);
        QMReport(TEXT("Failed to reset the decoder %d"), int(status));
    }
}

HRESULT MPEG2VideoDecoderFilter::EndOfStream() {
    // The last picture has nothing after it to show where it ends.
    const HRESULT hr = DecodePictures(true);
    if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) return hr;
    return VideoCodecFilter::EndOfStream();
}

HRESULT MPEG2VideoDecoderFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                            double dRate) {
    QMCheckCondition((dRate == 1.0) || (dRate == -1.0), E_NOTIMPL);
    ResetDecoder();
    m_pictures.Clear();
    m_dRate = dRate;
    m_decoderFed = false;
    QMCheckHRESULT(CTransformFilter::NewSegment(tStart, tStop, dRate));
    return S_OK;
}

HRESULT MPEG2VideoDecoderFilter::EndFlush() {
    {
        CAutoLock lock(&m_csReceive);
        m_pictures.Clear();
    }
    return TransformDecoderFilter::EndFlush();
}

HRESULT MPEG2VideoDecoderFilter::StopStreaming() {
    m_pictures.Clear();
    return TransformDecoderFilter::StopStreaming();
}

HRESULT MPEG2VideoDecoderFilter::NewSubSegment(REFERENCE_TIME tStart, double dRate) {
    QMCheckCondition(dRate < 0.0, E_INVALIDARG);
    // Held pictures go out before the jump, whatever their times; the section's last picture
    // ends here.
    const HRESULT hr = DecodePictures(true);
    if (FAILED(hr)) return hr;
    QMCheckHRESULT(Drain());
    ResetDecoder();
    m_decoderFed = false;
    m_dRate = dRate;
    if (IPin* downstream = m_pOutput ? m_pOutput->GetConnected() : nullptr) {
        ISubSegment* next = nullptr;
        if (SUCCEEDED(
                downstream->QueryInterface(IID_ISubSegment, reinterpret_cast<void**>(&next))) &&
            next) {
            const HRESULT hr = next->NewSubSegment(tStart, dRate);
            next->Release();
            QMCheckHRESULT(hr);
        }
    }
    return S_OK;
}

}  // namespace qm_MPEGDecoderFilters
