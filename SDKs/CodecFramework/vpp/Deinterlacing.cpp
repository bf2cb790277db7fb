#include "SDKs/CodecFramework/vpp/Deinterlacing.h"

#include <climits>

#include "primitives/Memory.h"

namespace UMC {

Deinterlacing::~Deinterlacing() {
    Close();
}

void Deinterlacing::SetMethod(int32_t method) {
    m_method = method;
    if (method == 5) m_threshold = 6;
    if (method == 6) m_threshold = 17;
}

Status Deinterlacing::Reset() {
    for (ImDeinterlaceState& s : m_state) s.frames = 0;
    return STATUS_OK;
}

Status Deinterlacing::Close() {
    for (int i = 0; i < kMaxPlanes; ++i) {
        spFree(m_history[i]);
        m_history[i] = nullptr;
        m_state[i] = {};
    }
    return BaseCodec::Close();
}

Status Deinterlacing::MotionAdaptive(int plane, const uint8_t* src, int srcStep, uint8_t* dst,
                                     int dstStep, SpSize size) {
    ImDeinterlaceState& s = m_state[plane];
    if (!m_history[plane] || s.size.width != size.width || s.size.height != size.height) {
        spFree(m_history[plane]);
        m_history[plane] = nullptr;
        s = {};
        const int64_t bytes = int64_t(size.width) * size.height;
        if (bytes > INT_MAX) return STATUS_ALLOC_FAILED;
        m_history[plane] = spAlloc8u(int(bytes));
        if (!m_history[plane]) return STATUS_ALLOC_FAILED;
        s = {m_history[plane], size.width, size, 0, 0};
    }
    s.threshold = m_threshold < 0 ? 0 : m_threshold;
    return imDeinterlaceOtherA(src, srcStep, dst, dstStep, size, &s) < 0 ? STATUS_FAILED
                                                                         : STATUS_OK;
}

Status Deinterlacing::GetFrame(MediaData* input, MediaData* output) {
    VideoData* in = DynamicCast<VideoData>(input);
    VideoData* out = DynamicCast<VideoData>(output);
    if (!in || !out) return STATUS_NULL_PTR;
    if (in->GetColorFormat() != out->GetColorFormat() || in->GetWidth() != out->GetWidth() ||
        in->GetHeight() != out->GetHeight() || in->GetNumPlanes() != out->GetNumPlanes())
        return STATUS_INVALID_PARAMS;
    const int planes = in->GetNumPlanes();
    if (planes < 1 || planes > kMaxPlanes) return STATUS_UNSUPPORTED;
    for (int i = 0; i < planes; ++i) {
        const VideoData::PlaneInfo* pi = in->GetPlaneInfo(i);
        const VideoData::PlaneInfo* po = out->GetPlaneInfo(i);
        if (!pi->m_pPlane || !po->m_pPlane) return STATUS_NULL_PTR;
        if (pi->m_iSampleSize != 1) return STATUS_UNSUPPORTED;  // 8-bit samples only
        const int64_t rowBytes = int64_t(pi->m_width) * pi->m_iSamples;
        if (rowBytes > INT_MAX || pi->m_nPitch > size_t(INT_MAX) ||
            po->m_nPitch > size_t(INT_MAX) || pi->m_nPitch < size_t(rowBytes) ||
            po->m_nPitch < size_t(rowBytes))
            return STATUS_INVALID_PARAMS;
        const uint8_t* src = pi->m_pPlane;
        uint8_t* dst = po->m_pPlane;
        const int srcStep = int(pi->m_nPitch), dstStep = int(po->m_nPitch);
        const SpSize size{int(rowBytes), pi->m_height};
        // The edge-directed methods look at horizontal neighbours: planar samples only.
        const bool planar = pi->m_iSamples == 1;
        const int threshold = m_threshold < 0 ? 0 : m_threshold;
        SpStatus st;
        switch (m_method) {
            case 2:
                st = imDeinterlaceMethod2(src, srcStep, dst, dstStep, size, 128,
                                          threshold ? threshold : 21);
                break;
            case 3: {
                // Line doubling: the top field, each row written twice.
                const int rows = (size.height + 1) / 2;
                st = spCopyRegion8u(src, 2 * srcStep, dst, 2 * dstStep, {size.width, rows});
                if (st >= 0 && size.height > 1)
                    st = spCopyRegion8u(dst, 2 * dstStep, dst + dstStep, 2 * dstStep,
                                        {size.width, size.height / 2});
                break;
            }
            case 4:
                if (!planar) return STATUS_UNSUPPORTED;
                st = imDeinterlaceMethod4(src, srcStep, dst, dstStep, size, threshold);
                break;
            case 5:
                st = imDeinterlaceMethod5(src, srcStep, dst, dstStep, size, threshold);
                break;
            case 1:
                st = imDeinterlaceOtherB(src, srcStep, dst, dstStep, size,
                                         uint16_t(pi->m_iSamples * pi->m_iSampleSize));
                break;
            default: {
                if (!planar) return STATUS_UNSUPPORTED;
                Status r = MotionAdaptive(i, src, srcStep, dst, dstStep, size);
                if (r != STATUS_OK) return r;
                st = spStsNoErr;
                break;
            }
        }
        if (st < 0) return STATUS_FAILED;
    }
    out->SetPictureStructure(PS_FRAME);
    return STATUS_OK;
}

}  // namespace UMC
