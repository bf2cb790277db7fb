#include "VideoIO/MPEGDecoderFilters/VideoCodecFilter.h"

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "diagnostics/CheckForms.h"

namespace qm_MPEGDecoderFilters {

HRESULT VideoCodecFilter::CheckTransform(const CMediaType* pmtIn, const CMediaType* pmtOut) {
    QMCheckCondition(pmtIn != 0, E_INVALIDARG);
    QMCheckCondition(pmtOut != 0, E_INVALIDARG);
    if (!IsEqualGUID(pmtIn->majortype, MEDIATYPE_Video) ||
        !IsEqualGUID(pmtOut->majortype, MEDIATYPE_Video) ||
        qm::ColorFormatFromSubtype(pmtOut->subtype) == UMC::NONE)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT VideoCodecFilter::DecideBufferSize(IMemAllocator* pMemAlloc,
                                           ALLOCATOR_PROPERTIES* pProperties) {
    // The arguments first: an unconnected filter has no output type to read.
    QMCheckCondition(pMemAlloc != 0, E_INVALIDARG);
    QMCheckCondition(pProperties != 0, E_INVALIDARG);
    LONG sampleSize = 0;
    QMCheckHRESULT(qm::GetSampleSize(m_pOutput->CurrentMediaType(), &sampleSize));
    return SetAllocatorProperties(pMemAlloc, pProperties, 10, sampleSize);
}

HRESULT VideoCodecFilter::BreakConnect(PIN_DIRECTION direction) {
    if (direction == PINDIR_INPUT) {
        const UMC::Status status = Decoder().Close();
        if (status != UMC::STATUS_OK) QMReport(TEXT("Failed to close the decoder %d"), int(status));
    }
    return S_OK;
}

HRESULT VideoCodecFilter::EndOfStream() {
    QMCheckHRESULT(Drain());
    return DeliverEndOfStreamDownstream();
}

}  // namespace qm_MPEGDecoderFilters
