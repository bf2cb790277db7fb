#include "VideoIO/MPEGDecoderFilters/VideoFilterHelpers.h"

#include <algorithm>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

void TrailingFormatBytes(const AM_MEDIA_TYPE& mt, size_t headerSize, const BYTE** bytes,
                         size_t* size) {
    *bytes = nullptr;
    *size = 0;
    if (mt.cbFormat > headerSize && mt.pbFormat) {
        *bytes = mt.pbFormat + headerSize;
        *size = mt.cbFormat - headerSize;
    }
}

void FlipRows(const UMC::VideoData& picture) {
    uint8_t* top = picture.GetPlanePointer(0);
    const size_t pitch = picture.GetPlanePitch(0);
    if (!top || pitch == 0) return;
    uint8_t* bottom = top + pitch * size_t(picture.GetHeight() - 1);
    for (; top < bottom; top += pitch, bottom -= pitch) std::swap_ranges(top, top + pitch, bottom);
}

bool IsBottomUpRGB(const CMediaType& mt) {
    LONG width = 0, height = 0;
    return qm::IsRGBVideoType(mt) && SUCCEEDED(qm::GetPictureSize(mt, &width, &height)) &&
           height > 0;
}

HRESULT SetSampleFrameType(IMediaSample* pSample, int32_t frameType) {
    DWORD frameFlag = AM_VIDEO_FLAG_I_SAMPLE;
    if (frameType == UMC::P_PICTURE) frameFlag = AM_VIDEO_FLAG_P_SAMPLE;
    if (frameType == UMC::B_PICTURE) frameFlag = AM_VIDEO_FLAG_B_SAMPLE;
    IMediaSample2* sample2 = nullptr;
    if (FAILED(pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2))) ||
        !sample2)
        return S_OK;
    AM_SAMPLE2_PROPERTIES props = {};
    HRESULT hr = sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props));
    if (SUCCEEDED(hr)) {
        props.dwTypeSpecificFlags =
            (props.dwTypeSpecificFlags & ~DWORD(AM_VIDEO_FLAG_IPB_MASK)) | frameFlag;
        hr = sample2->SetProperties(sizeof(props), reinterpret_cast<const BYTE*>(&props));
    }
    sample2->Release();
    QMCheckHRESULT(hr);
    return S_OK;
}

HRESULT ProposeOutputType(CTransformOutputPin* pOutput, const CMediaType& current, DWORD flags,
                          int32_t aspectX, int32_t aspectY, bool* changed) {
    *changed = false;
    CMediaType proposed(current);
    QMCheckHRESULT(qm::SetInterlaceFlags(proposed, flags));
    QMCheckHRESULT(qm::SetPictureAspectRatio(proposed, aspectX, aspectY));
    // Asking again for every picture would attach a type to each of them.
    if (proposed == current) return S_OK;
    IPin* downstream = pOutput ? pOutput->GetConnected() : nullptr;
    if (!downstream) return S_OK;
    const HRESULT accept = downstream->QueryAccept(&proposed);
    QMCheckHRESULT(accept);
    if (accept == S_OK) {
        QMCheckHRESULT(pOutput->SetMediaType(&proposed));
        *changed = true;
    }
    return S_OK;
}

}  // namespace qm_MPEGDecoderFilters
