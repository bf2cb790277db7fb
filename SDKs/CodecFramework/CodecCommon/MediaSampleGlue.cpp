#include "SDKs/CodecFramework/CodecCommon/MediaSampleGlue.h"

#include <cstdlib>

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "SDKs/CodecFramework/CodecCommon/TimeConversion.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "diagnostics/CheckForms.h"

namespace qm {

HRESULT MediaSampleToMediaData(IMediaSample* pSample, UMC::MediaData* pData, bool withTime) {
    QMCheckCondition(pSample != 0, E_INVALIDARG);
    QMCheckCondition(pData != 0, E_INVALIDARG);
    BYTE* pointer = nullptr;
    QMCheckHRESULT(pSample->GetPointer(&pointer));
    const LONG size = pSample->GetSize();
    const LONG actual = pSample->GetActualDataLength();
    QMCheckCondition(size >= 0 && actual >= 0, E_UNEXPECTED);
    QMCheckHRESULTUMC(pData->SetBufferPointer(pointer, size_t(size)));
    QMCheckHRESULTUMC(pData->SetDataSize(size_t(actual)));
    if (withTime) {
        REFERENCE_TIME start = 0, stop = 0;
        const HRESULT timeResult = pSample->GetTime(&start, &stop);
        // A start without a stop is still a start; the end is then unknown (-1).
        if (timeResult == S_OK || timeResult == VFW_S_NO_STOP_TIME) {
            const double end = timeResult == S_OK ? ReferenceTimeToSeconds(stop) : -1.0;
            const UMC::Status st = pData->SetTime(ReferenceTimeToSeconds(start), end);
            if (st != UMC::STATUS_OK) QMLogHRESULT(HResultFromCodecStatus(st));
        }
    }
    return S_OK;
}

HRESULT InitVideoDataFromSample(const CMediaType& mt, IMediaSample* pMediaSample,
                                UMC::VideoData* pData) {
    QMCheckCondition(pMediaSample != 0, E_INVALIDARG);
    QMCheckCondition(pData != 0, E_INVALIDARG);
    UMC::VideoData& videoData = *pData;
    BYTE* pointer = nullptr;
    QMCheckHRESULT(pMediaSample->GetPointer(&pointer));
    LONG width = 0, height = 0;
    QMCheckHRESULT(GetPictureSize(mt, &width, &height));
    const UMC::ColorFormat colorFormat = ColorFormatFromSubtype(mt.subtype);
    QMCheckCondition(colorFormat != UMC::NONE, E_FAIL);
    QMCheckHRESULTUMC(videoData.Init(width, std::abs(height), colorFormat, 0));
    // RGB rows are DIB rows (padded to 32-bit words), as the type's biSizeImage counts them.
    QMCheckHRESULTUMC(videoData.SetSurface(pointer, RgbRowStep(mt)));
    QMCheckCondition(videoData.GetBufferSize() <= size_t(pMediaSample->GetSize()), E_INVALIDARG);
    DWORD flags = 0;
    if (FAILED(GetInterlaceFlags(mt, &flags))) flags = 0;
    const bool topFirst = (flags & AMINTERLACE_IsInterlaced) && (flags & AMINTERLACE_Field1First);
    videoData.SetPictureStructure(topFirst ? UMC::PS_TOP_FIELD_FIRST : UMC::PS_FRAME);
    return S_OK;
}

}  // namespace qm
