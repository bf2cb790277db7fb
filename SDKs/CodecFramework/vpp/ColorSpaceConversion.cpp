#include "SDKs/CodecFramework/vpp/ColorSpaceConversion.h"

#include <algorithm>
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

// Plane-by-plane copy of the input's size. Cached stores: whoever takes the picture reads it
// next, and streaming it past the cache measured no faster on whole decodes while the copy
// itself cost a third more.
Status CopyPlanes(const VideoData& in, const Planes& src, const Planes& dst, int planes) {
    for (int i = 0; i < planes; ++i) {
        const VideoData::PlaneInfo* info = in.GetPlaneInfo(i);
        const int rowBytes = info->m_width * info->m_iSamples * info->m_iSampleSize;
        // Plane i of the source corresponds to plane i of the destination in Y, U, V order.
        if (spCopyRegionStores8u(src.c[i], src.step[i], dst.p[i], dst.step[i],
                                 {rowBytes, info->m_height}, spCopyStoresCached) < 0)
            return STATUS_INVALID_PARAMS;
    }
    return STATUS_OK;
}

bool IsInterlaced(int32_t structure) {
    return structure == PS_TOP_FIELD || structure == PS_BOTTOM_FIELD ||
           structure == PS_TOP_FIELD_FIRST || structure == PS_BOTTOM_FIELD_FIRST;
}

// The 4:2:0 conversions whose kernels convert whole 2x2 blocks only, in one call form with up to
// two destination planes. An odd last column or row is the chain's to convert (below).
using Yuv420Call = SpStatus (*)(const uint8_t* const src[3], const int srcStep[3],
                                uint8_t* const dst[2], const int dstStep[2], SpSize roi);

// How a destination plane maps pixels to bytes: units of `pixels` columns of `bytes` each, one
// row per `rowDiv` picture rows.
struct UnitLayout {
    int pixels, bytes, rowDiv;
};

struct Yuv420Target {
    ColorFormat format;
    Yuv420Call call;
    int planes;
    UnitLayout layout[2];
};

constexpr UnitLayout kNoPlane{1, 0, 1};

template <SpStatus (*Kernel)(const uint8_t* const[3], const int[3], uint8_t*, int, SpSize)>
SpStatus OnePlane(const uint8_t* const s[3], const int ss[3], uint8_t* const d[2], const int ds[2],
                  SpSize r) {
    return Kernel(s, ss, d[0], ds[0], r);
}

SpStatus ToNv12(const uint8_t* const s[3], const int ss[3], uint8_t* const d[2], const int ds[2],
                SpSize r) {
    return ccYuv420ToNv12(s, ss, d[0], ds[0], d[1], ds[1], r);
}

SpStatus ToArgb32(const uint8_t* const s[3], const int ss[3], uint8_t* const d[2], const int ds[2],
                  SpSize r) {
    return ccYuv420ToArgb32(s, ss, d[0], ds[0], r, 255);
}

constexpr Yuv420Target kYuv420Targets[] = {
    {NV12, ToNv12, 2, {{1, 1, 1}, {2, 2, 2}}},
    {YUY2, OnePlane<ccYuv420ToYuy2>, 1, {{2, 4, 1}, kNoPlane}},
    {UYVY, OnePlane<ccYuv420ToUyvy>, 1, {{2, 4, 1}, kNoPlane}},
    {ARGB32, ToArgb32, 1, {{1, 4, 1}, kNoPlane}},
    {RGB24, OnePlane<ccYuv420ToRgb24>, 1, {{1, 3, 1}, kNoPlane}},
    {RGB565, OnePlane<ccYuv420ToRgb565>, 1, {{1, 2, 1}, kNoPlane}},
    {RGB555, OnePlane<ccYuv420ToRgb555>, 1, {{1, 2, 1}, kNoPlane}},
    {RGB16_OTHER, OnePlane<ccYuv420ToRgb16Other>, 1, {{1, 2, 1}, kNoPlane}},
};

const Yuv420Target* FindYuv420Target(ColorFormat f) {
    for (const Yuv420Target& t : kYuv420Targets)
        if (t.format == f) return &t;
    return nullptr;
}

constexpr int kEdgeTile = 32;

// Converts the tile [x0, x0 + tw) x [y0, y0 + th) (x0, y0, tw, th even) of a w x h picture from
// a copy whose samples past the picture repeat its last column and row, and writes back what
// lies inside the picture (whole units: a packed pair or an NV12 chroma pair).
Status ConvertTile(const Yuv420Target& t, const Planes& s, const Planes& d, int w, int h, int x0,
                   int y0, int tw, int th) {
    if (tw > kEdgeTile || th > kEdgeTile) return STATUS_FAILED;
    uint8_t luma[kEdgeTile * kEdgeTile], cb[kEdgeTile * kEdgeTile / 4],
        cr[kEdgeTile * kEdgeTile / 4];
    for (int r = 0; r < th; ++r)
        for (int c = 0; c < tw; ++c)
            luma[r * tw + c] =
                s.c[0][ptrdiff_t(std::min(y0 + r, h - 1)) * s.step[0] + std::min(x0 + c, w - 1)];
    const int cw = tw / 2;
    for (int r = 0; r < th / 2; ++r)
        for (int c = 0; c < cw; ++c) {
            const int sy = std::min(y0 / 2 + r, (h - 1) / 2),
                      sx = std::min(x0 / 2 + c, (w - 1) / 2);
            cb[r * cw + c] = s.c[1][ptrdiff_t(sy) * s.step[1] + sx];
            cr[r * cw + c] = s.c[2][ptrdiff_t(sy) * s.step[2] + sx];
        }
    alignas(16) uint8_t out[2][kEdgeTile * kEdgeTile * 4];
    const uint8_t* const src[3] = {luma, cb, cr};
    const int srcStep[3] = {tw, cw, cw};
    uint8_t* const dst[2] = {out[0], out[1]};
    int dstStep[2] = {};
    for (int i = 0; i < t.planes; ++i) dstStep[i] = tw / t.layout[i].pixels * t.layout[i].bytes;
    if (t.call(src, srcStep, dst, dstStep, {tw, th}) < 0) return STATUS_INVALID_PARAMS;
    const int x1 = std::min(x0 + tw, w), y1 = std::min(y0 + th, h);
    for (int i = 0; i < t.planes; ++i) {
        const UnitLayout& l = t.layout[i];
        const int u0 = x0 / l.pixels, u1 = (x1 + l.pixels - 1) / l.pixels;
        const int r0 = y0 / l.rowDiv, r1 = (y1 + l.rowDiv - 1) / l.rowDiv;
        if (spCopyRegion8u(out[i], dstStep[i], d.p[i] + ptrdiff_t(r0) * d.step[i] + u0 * l.bytes,
                           d.step[i], {(u1 - u0) * l.bytes, r1 - r0}) < 0)
            return STATUS_INVALID_PARAMS;
    }
    return STATUS_OK;
}

// Converts [x0, w) x [y0, y1) of a w x h picture in tiles (x0, y0 even).
Status ConvertRegion(const Yuv420Target& t, const Planes& s, const Planes& d, int w, int h, int x0,
                     int y0, int y1) {
    const int evenW = (w + 1) & ~1, evenY1 = (y1 + 1) & ~1;
    for (int y = y0; y < y1; y += kEdgeTile)
        for (int x = x0; x < w; x += kEdgeTile) {
            const Status st = ConvertTile(t, s, d, w, h, x, y, std::min(kEdgeTile, evenW - x),
                                          std::min(kEdgeTile, evenY1 - y));
            if (st != STATUS_OK) return st;
        }
    return STATUS_OK;
}

// What the kernel left of a w x h picture after converting [0, doneW) x [0, doneH) (both even):
// the column strip beside it, then the rows below across the whole width.
Status ConvertEdges(const Yuv420Target& t, const Planes& s, const Planes& d, int w, int h,
                    int doneW, int doneH) {
    if (doneW < w) {
        const Status st = ConvertRegion(t, s, d, w, h, doneW, 0, doneH);
        if (st != STATUS_OK) return st;
    }
    return doneH < h ? ConvertRegion(t, s, d, w, h, 0, doneH, h) : STATUS_OK;
}

Status ConvertYuv420(const Yuv420Target& t, const Planes& s, const Planes& d, int w, int h,
                     bool fields) {
    const int evenW = w & ~1;
    int doneH = h & ~1;
    const bool packed = t.format == YUY2 || t.format == UYVY;
    if (packed && fields && h >= 4) {
        // Field by field, so that each chroma row serves the luma rows of its field.
        const int fieldRows = (h / 2) & ~1;
        for (int field = 0; field < 2; ++field) {
            const uint8_t* fs[3];
            int fstep[3];
            for (int i = 0; i < 3; ++i) {
                fs[i] = s.c[i] + (field ? s.step[i] : 0);
                fstep[i] = 2 * s.step[i];
            }
            uint8_t* const fd[2] = {d.p[0] + (field ? d.step[0] : 0), nullptr};
            const int fdStep[2] = {2 * d.step[0], 0};
            if (t.call(fs, fstep, fd, fdStep, {w, h / 2}) < 0) return STATUS_INVALID_PARAMS;
        }
        doneH = 2 * fieldRows;
    } else if (evenW >= 2 && doneH >= 2) {
        uint8_t* const dst[2] = {d.p[0], d.p[1]};
        const int dstStep[2] = {d.step[0], d.step[1]};
        if (t.call(s.c, s.step, dst, dstStep, {w, h}) < 0) return STATUS_INVALID_PARAMS;
    } else {
        doneH = 0;
    }
    if (evenW == w && doneH == h) return STATUS_OK;
    return ConvertEdges(t, s, d, w, h, doneH ? evenW : 0, doneH);
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
            if (const Yuv420Target* t = FindYuv420Target(target); t && d.count >= t->planes)
                return ConvertYuv420(*t, s, d, w, h, IsInterlaced(in->GetPictureStructure()));
            switch (target) {
                case YUV411:
                    if (!planarOut) break;
                    return FromKernel(ccYuv420ToYuv411(s.c, s.step, d.p, d.step, size));
                case YUV422:
                    if (!planarOut) break;
                    return FromKernel(ccYuv420ToYuv422(s.c, s.step, d.p, d.step, size));
                case Y41P:
                    return FromKernel(ccYuv420ToY41p(s.c, s.step, d.p[0], d.step[0], size));
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
