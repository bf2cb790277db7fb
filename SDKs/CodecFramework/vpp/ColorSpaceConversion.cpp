#include "SDKs/CodecFramework/vpp/ColorSpaceConversion.h"

#include <climits>
#include <utility>

#include "primitives/Colour.h"
#include "primitives/Memory.h"

namespace UMC {
namespace {

// Plane pointers and steps of one side, with YV12 and YVU9 put into Y, U, V order.
struct Planes {
    uint8_t* p[4] = {};
    int step[4] = {};
    const uint8_t* c[4] = {};
    int count = 0;
};

bool Describe(const VideoData& v, Planes& out) {
    out.count = v.GetNumPlanes();
    if (out.count > 4) out.count = 4;
    for (int i = 0; i < out.count; ++i) {
        const VideoData::PlaneInfo* info = v.GetPlaneInfo(i);
        if (!info || !info->m_pPlane || info->m_nPitch > size_t(INT_MAX)) return false;
        // A pitch shorter than a row would make rows overlap.
        size_t rowBytes =
            size_t(info->m_width) * size_t(info->m_iSamples) * size_t(info->m_iSampleSize);
        if (v.GetColorFormat() == NV12 && i == 1) rowBytes = (rowBytes + 1) & ~size_t(1);
        if (info->m_nPitch < rowBytes || info->m_nPitch == 0) return false;
        out.p[i] = info->m_pPlane;
        out.c[i] = info->m_pPlane;
        out.step[i] = int(info->m_nPitch);
    }
    const ColorFormat f = v.GetColorFormat();
    if ((f == YV12 || f == YVU9) && out.count >= 3) {
        std::swap(out.p[1], out.p[2]);
        std::swap(out.c[1], out.c[2]);
        std::swap(out.step[1], out.step[2]);
    }
    return true;
}

ColorFormat Normalised(ColorFormat f) {
    return f == YV12 ? YUV420 : f == RGB32 ? ARGB32 : f;
}

Status FromKernel(SpStatus s) {
    return s < 0 ? STATUS_INVALID_PARAMS : STATUS_OK;
}

// Plane-by-plane copy of the input's size.
Status CopyPlanes(const VideoData& in, const Planes& src, const Planes& dst, int planes) {
    for (int i = 0; i < planes; ++i) {
        const VideoData::PlaneInfo* info = in.GetPlaneInfo(i);
        const int rowBytes = info->m_width * info->m_iSamples * info->m_iSampleSize;
        // Plane i of the source corresponds to plane i of the destination in Y, U, V order.
        if (spCopyRegion8u(src.c[i], src.step[i], dst.p[i], dst.step[i],
                           {rowBytes, info->m_height}) < 0)
            return STATUS_INVALID_PARAMS;
    }
    return STATUS_OK;
}

bool IsInterlaced(int32_t structure) {
    return structure == PS_TOP_FIELD || structure == PS_BOTTOM_FIELD ||
           structure == PS_TOP_FIELD_FIRST || structure == PS_BOTTOM_FIELD_FIRST;
}

}  // namespace

Status ColorSpaceConversion::GetFrame(MediaData* input, MediaData* output) {
    VideoData* in = DynamicCast<VideoData>(input);
    VideoData* out = DynamicCast<VideoData>(output);
    if (!in || !out) return STATUS_NULL_PTR;
    const int w = in->GetWidth(), h = in->GetHeight();
    if (w > out->GetWidth() || h > out->GetHeight()) return STATUS_INVALID_PARAMS;
    if (w < 1 || h < 1) return STATUS_INVALID_PARAMS;
    if (in->GetNumPlanes() < 1 || out->GetNumPlanes() < 1) return STATUS_NOT_INITIALIZED;
    Planes s, d;
    if (!Describe(*in, s) || !Describe(*out, d)) return STATUS_NULL_PTR;

    const ColorFormat inFormat = in->GetColorFormat(), outFormat = out->GetColorFormat();
    ColorFormat from = inFormat == YV12 ? YUV420 : inFormat;
    const ColorFormat to = outFormat == YV12 ? YUV420 : outFormat;
    const SpSize size{w, h};

    // Copies.
    if (from == to) {
        if (from == NONE || s.count != d.count) return STATUS_NOT_IMPLEMENTED;
        return CopyPlanes(*in, s, d, s.count);
    }
    // Alpha planes are dropped.
    if (((from == YUV422A && to == YUV422) || (from == YUV444A && to == YUV444)) && s.count >= 3 &&
        d.count >= 3)
        return CopyPlanes(*in, s, d, 3);
    if (to == YUV420 && (from == YUV420_ALT || from == YUV420A) && s.count >= 3 && d.count >= 3) {
        const int32_t stretch = in->GetDescriptor();
        if (from == YUV420_ALT && stretch >= 0) {
            for (int i = 0; i < 3; ++i) {
                const VideoData::PlaneInfo* info = in->GetPlaneInfo(i);
                if (ccLumaRangeStretch(s.c[i], s.step[i], d.p[i], d.step[i],
                                       {info->m_width, info->m_height}, stretch) < 0)
                    return STATUS_INVALID_PARAMS;
            }
            return STATUS_OK;
        }
        return CopyPlanes(*in, s, d, 3);
    }
    if (from == RGB32 && to == ARGB32)
        return FromKernel(ccArgb32ToArgb32(s.c[0], s.step[0], d.p[0], d.step[0], size, 255));

    // 4:2:2 planar read as 4:2:0 (every second chroma row) for the 4:2:0 outputs.
    if (from == YUV422 && to != YUV420 && to != YUY2 && s.count >= 3) {
        s.step[1] *= 2;
        s.step[2] *= 2;
        from = YUV420;
    }
    const ColorFormat target = Normalised(to);
    const bool planarOut = d.count >= 3;

    switch (from) {
        case YUV420:
            if (s.count < 3) return STATUS_NOT_IMPLEMENTED;
            switch (target) {
                case NV12:
                    if (d.count < 2) break;
                    return FromKernel(
                        ccYuv420ToNv12(s.c, s.step, d.p[0], d.step[0], d.p[1], d.step[1], size));
                case YUY2:
                case UYVY: {
                    auto kernel = target == YUY2 ? ccYuv420ToYuy2 : ccYuv420ToUyvy;
                    if (!IsInterlaced(in->GetPictureStructure()) || h < 4)
                        return FromKernel(kernel(s.c, s.step, d.p[0], d.step[0], size));
                    // Field by field, so that each chroma row serves the luma rows of its field.
                    for (int field = 0; field < 2; ++field) {
                        const uint8_t* fs[3];
                        int fstep[3];
                        for (int i = 0; i < 3; ++i) {
                            fs[i] = s.c[i] + (field ? s.step[i] : 0);
                            fstep[i] = 2 * s.step[i];
                        }
                        const SpStatus st = kernel(fs, fstep, d.p[0] + (field ? d.step[0] : 0),
                                                   2 * d.step[0], {w, h / 2});
                        if (st < 0) return STATUS_INVALID_PARAMS;
                    }
                    return STATUS_OK;
                }
                case YUV411:
                    if (!planarOut) break;
                    return FromKernel(ccYuv420ToYuv411(s.c, s.step, d.p, d.step, size));
                case YUV422:
                    if (!planarOut) break;
                    return FromKernel(ccYuv420ToYuv422(s.c, s.step, d.p, d.step, size));
                case Y41P:
                    return FromKernel(ccYuv420ToY41p(s.c, s.step, d.p[0], d.step[0], size));
                case ARGB32:
                    return FromKernel(ccYuv420ToArgb32(s.c, s.step, d.p[0], d.step[0], size, 255));
                case RGB24:
                    return FromKernel(ccYuv420ToRgb24(s.c, s.step, d.p[0], d.step[0], size));
                case RGB565:
                    return FromKernel(ccYuv420ToRgb565(s.c, s.step, d.p[0], d.step[0], size));
                case RGB555:
                    return FromKernel(ccYuv420ToRgb555(s.c, s.step, d.p[0], d.step[0], size));
                case RGB16_OTHER:
                    return FromKernel(ccYuv420ToRgb16Other(s.c, s.step, d.p[0], d.step[0], size));
                default:
                    break;
            }
            break;
        case NV12:
            if (s.count < 2) return STATUS_NOT_IMPLEMENTED;
            switch (to) {
                case YUY2:
                    return FromKernel(ccNv12ToYuy2(s.c[0], s.step[0], s.c[1], s.step[1], d.p[0],
                                                   d.step[0], size));
                case UYVY:
                    return FromKernel(ccNv12ToUyvy(s.c[0], s.step[0], s.c[1], s.step[1], d.p[0],
                                                   d.step[0], size));
                case YUV420:
                    if (!planarOut) break;
                    return FromKernel(
                        ccNv12ToYuv420(s.c[0], s.step[0], s.c[1], s.step[1], d.p, d.step, size));
                case ARGB32:
                    return FromKernel(ccNv12ToArgb32(s.c[0], s.step[0], s.c[1], s.step[1], d.p[0],
                                                     d.step[0], size, 255));
                case RGB24:
                    return FromKernel(ccNv12ToRgb24(s.c[0], s.step[0], s.c[1], s.step[1], d.p[0],
                                                    d.step[0], size));
                default:
                    break;
            }
            break;
        case YUY2:
        case UYVY: {
            const bool yuy2 = from == YUY2;
            const uint8_t* p = s.c[0];
            const int ps = s.step[0];
            switch (target) {
                case NV12:
                    if (d.count < 2) break;
                    return FromKernel((yuy2 ? ccYuy2ToNv12 : ccUyvyToNv12)(
                        p, ps, d.p[0], d.step[0], d.p[1], d.step[1], size));
                case UYVY:
                    return FromKernel(ccYuy2ToUyvy(p, ps, d.p[0], d.step[0], size));
                case YUY2:
                    return FromKernel(ccUyvyToYuy2(p, ps, d.p[0], d.step[0], size));
                case YUV420:
                    if (!planarOut) break;
                    return FromKernel(
                        (yuy2 ? ccYuy2ToYuv420 : ccUyvyToYuv420)(p, ps, d.p, d.step, size));
                case YUV422:
                    if (!planarOut) break;
                    return FromKernel(
                        (yuy2 ? ccYuy2ToYuv422 : ccUyvyToYuv422)(p, ps, d.p, d.step, size));
                case ARGB32:
                    return FromKernel((yuy2 ? ccYuy2ToArgb32 : ccUyvyToArgb32)(
                        p, ps, d.p[0], d.step[0], size, 255));
                case RGB24:
                    return FromKernel(
                        (yuy2 ? ccYuy2ToRgb24 : ccUyvyToRgb24)(p, ps, d.p[0], d.step[0], size));
                case RGB565:
                    if (!yuy2) break;
                    return FromKernel(ccYuy2ToRgb565(p, ps, d.p[0], d.step[0], size));
                case RGB555:
                    if (!yuy2) break;
                    return FromKernel(ccYuy2ToRgb555(p, ps, d.p[0], d.step[0], size));
                case RGB16_OTHER:
                    if (!yuy2) break;
                    return FromKernel(ccYuy2ToRgb16Other(p, ps, d.p[0], d.step[0], size));
                case RGB8:
                    if (!yuy2) break;
                    return FromKernel(ccYuy2ToGray8(p, ps, d.p[0], d.step[0], size));
                default:
                    break;
            }
            break;
        }
        case YUV411:
            if (to == YUV420 && s.count >= 3 && planarOut)
                return FromKernel(ccYuv411ToYuv420(s.c, s.step, d.p, d.step, size));
            break;
        case YUV422:
        case YUV422A:
            if (s.count < 3) break;
            if (to == YUY2) return FromKernel(ccYuv422ToYuy2(s.c, s.step, d.p[0], d.step[0], size));
            if (to == YUV420 && planarOut)
                return FromKernel(ccYuv422ToYuv420(s.c, s.step, d.p, d.step, size));
            break;
        case YUV444:
            if (to == RGB24 && s.count >= 3)
                return FromKernel(ccYuv444ToRgb24(s.c, s.step, d.p[0], d.step[0], size));
            break;
        case Y411:
            if (to == YUV411 && planarOut)
                return FromKernel(ccY411ToYuv411(s.c[0], s.step[0], d.p, d.step, size));
            break;
        case Y41P:
            if (to == YUV420 && planarOut)
                return FromKernel(ccY41pToYuv420(s.c[0], s.step[0], d.p, d.step, size));
            break;
        case ARGB32:
        case RGB32:
            if (to == YUY2)
                return FromKernel(ccArgb32ToYuy2(s.c[0], s.step[0], d.p[0], d.step[0], size));
            if (to == RGB24)
                return FromKernel(ccArgb32ToRgb24(s.c[0], s.step[0], d.p[0], d.step[0], size));
            break;
        case RGB24:
            if (to == YUY2)
                return FromKernel(ccRgb24ToYuy2(s.c[0], s.step[0], d.p[0], d.step[0], size));
            if (to == YUV420 && planarOut)
                return FromKernel(ccRgb24ToYuv420(s.c[0], s.step[0], d.p, d.step, size));
            if (target == ARGB32)
                return FromKernel(ccRgb24ToArgb32(s.c[0], s.step[0], d.p[0], d.step[0], size, 255));
            break;
        case RGB565:
        case RGB555: {
            const bool r565 = from == RGB565;
            if (to == YUY2)
                return FromKernel((r565 ? ccRgb565ToYuy2 : ccRgb555ToYuy2)(
                    s.c[0], s.step[0], d.p[0], d.step[0], size));
            if (to == YUV420 && planarOut)
                return FromKernel((r565 ? ccRgb565ToYuv420 : ccRgb555ToYuv420)(s.c[0], s.step[0],
                                                                               d.p, d.step, size));
            if (to == RGB24)
                return FromKernel((r565 ? ccRgb565ToRgb24 : ccRgb555ToRgb24)(
                    s.c[0], s.step[0], d.p[0], d.step[0], size));
            break;
        }
        case RGB8:
            if (to == YUY2)
                return FromKernel(ccGray8ToYuy2(s.c[0], s.step[0], d.p[0], d.step[0], size));
            if (to == RGB24)
                return FromKernel(ccGray8ToRgb24(s.c[0], s.step[0], d.p[0], d.step[0], size));
            if (to == ARGB32)
                return FromKernel(ccGray8ToArgb32(s.c[0], s.step[0], d.p[0], d.step[0], size, 255));
            break;
        case YVU9:
            if (s.count < 3) break;
            if (to == YUY2) return FromKernel(ccYvu9ToYuy2(s.c, s.step, d.p[0], d.step[0], size));
            if (to == UYVY) return FromKernel(ccYvu9ToUyvy(s.c, s.step, d.p[0], d.step[0], size));
            if (to == RGB24) return FromKernel(ccYvu9ToRgb24(s.c, s.step, d.p[0], d.step[0], size));
            if (to == ARGB32)
                return FromKernel(ccYvu9ToArgb32(s.c, s.step, d.p[0], d.step[0], size, 255));
            break;
        case BAYER_RG:
        case BAYER_GB:
        case BAYER_GR:
        case BAYER_BG:
            if (to == RGB24) {
                // RGB24 bitmaps are stored bottom-up: the first source row is the last row.
                uint8_t* last = d.p[0] + ptrdiff_t(h - 1) * d.step[0];
                return FromKernel(ccBayerToRgb24(s.c[0], s.step[0], last, -d.step[0], size,
                                                 int(from) - int(BAYER_RG)));
            }
            break;
        default:
            break;
    }
    return STATUS_NOT_IMPLEMENTED;
}

}  // namespace UMC
