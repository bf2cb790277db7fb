#include "SDKs/CodecFramework/vpp/VideoResizing.h"

#include <climits>

#include "primitives/Image.h"
#include "primitives/Memory.h"

namespace UMC {
namespace {

bool Resizable(ColorFormat f) {
    switch (f) {
        case YV12:
        case YUV411:
        case YUV420:
        case YUV422:
        case YUV444:
        case YUV420_ALT:
        case YUV420A:
        case YUV422A:
        case YUV444A:
        case YVU9:
        case PLANAR2_FULL:
        case ARGB32:
        case RGB32:
        case RGB24:
        case RGB8:
        case Y800:
        case NV12:
        case YUY2:
            return true;
        default:
            return false;
    }
}

}  // namespace

VideoResizing::~VideoResizing() {
    Close();
}

Status VideoResizing::Close() {
    spFree(m_work);
    m_work = nullptr;
    m_workSize = 0;
    return BaseCodec::Close();
}

uint8_t* VideoResizing::Work(int bytes) {
    if (bytes > m_workSize) {
        spFree(m_work);
        m_work = spAlloc8u(bytes);
        m_workSize = m_work ? bytes : 0;
    }
    return m_work;
}

Status VideoResizing::GetFrame(MediaData* input, MediaData* output) {
    VideoData* in = DynamicCast<VideoData>(input);
    VideoData* out = DynamicCast<VideoData>(output);
    if (!in || !out) return STATUS_NULL_PTR;
    const ColorFormat format = in->GetColorFormat();
    if (format != out->GetColorFormat() || in->GetNumPlanes() != out->GetNumPlanes())
        return STATUS_INVALID_PARAMS;
    if (!Resizable(format)) return STATUS_UNSUPPORTED;
    if (m_method < imNearest || m_method > imArea) return STATUS_INVALID_PARAMS;
    const SpSize srcSize{in->GetWidth(), in->GetHeight()};
    const SpSize dstSize{out->GetWidth(), out->GetHeight()};
    if (srcSize.width < 1 || srcSize.height < 1 || dstSize.width < 1 || dstSize.height < 1)
        return STATUS_INVALID_PARAMS;

    for (int i = 0; i < in->GetNumPlanes(); ++i) {
        const VideoData::PlaneInfo* pi = in->GetPlaneInfo(i);
        const VideoData::PlaneInfo* po = out->GetPlaneInfo(i);
        if (!pi->m_pPlane || !po->m_pPlane) return STATUS_NULL_PTR;
        if (pi->m_nPitch > size_t(INT_MAX) || po->m_nPitch > size_t(INT_MAX))
            return STATUS_INVALID_PARAMS;
        if (pi->m_iSampleSize != po->m_iSampleSize || pi->m_iSamples != po->m_iSamples)
            return STATUS_INVALID_PARAMS;
        const int srcStep = int(pi->m_nPitch), dstStep = int(po->m_nPitch);
        SpStatus st;
        int bytes = 0;
        if (format == YUY2) {
            st = imResizeGetBufferSize(srcSize, dstSize, m_method, 2, &bytes);
            if (st < 0) return STATUS_INVALID_PARAMS;
            uint8_t* work = Work(bytes);
            if (!work) return STATUS_ALLOC_FAILED;
            st = imResizeYuy2(pi->m_pPlane, srcStep, srcSize, po->m_pPlane, dstStep, dstSize,
                              m_method, work);
        } else {
            SpSize ps{pi->m_width, pi->m_height}, pd{po->m_width, po->m_height};
            int channels = pi->m_iSamples;
            if (format == NV12 && i == 1) {
                // Interleaved U/V: pixels of two samples, half as many as the plane's bytes.
                channels = 2;
                ps.width = (ps.width + 1) / 2;
                pd.width = (pd.width + 1) / 2;
            }
            if (channels < 1 || channels > 4) return STATUS_UNSUPPORTED;
            st = imResizeGetBufferSize(ps, pd, m_method, channels, &bytes);
            if (st < 0) return STATUS_INVALID_PARAMS;
            uint8_t* work = Work(bytes);
            if (!work) return STATUS_ALLOC_FAILED;
            if (pi->m_iSampleSize == 1) {
                auto kernel = channels == 1   ? imResizePlane8uC1
                              : channels == 2 ? imResizePlane8uC2
                              : channels == 3 ? imResizePlane8uC3
                                              : imResizePlane8uC4;
                st = kernel(pi->m_pPlane, srcStep, ps, po->m_pPlane, dstStep, pd, m_method, work);
            } else if (pi->m_iSampleSize == 2 && channels != 2) {
                auto kernel = channels == 1   ? imResizePlane16uC1
                              : channels == 3 ? imResizePlane16uC3
                                              : imResizePlane16uC4;
                st = kernel(reinterpret_cast<const uint16_t*>(pi->m_pPlane), srcStep, ps,
                            reinterpret_cast<uint16_t*>(po->m_pPlane), dstStep, pd, m_method, work);
            } else {
                return STATUS_UNSUPPORTED;
            }
        }
        if (st < 0) return STATUS_FAILED;
        if (format == YUY2) break;
    }
    return STATUS_OK;
}

}  // namespace UMC
