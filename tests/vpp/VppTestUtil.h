// Flat-colour pictures in any layout and a way back to RGB24 for checking them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "SDKs/CodecFramework/vpp/VideoProcessing.h"

namespace qm::vpptest {

struct FlatColour {
    int r, g, b;
    // BT.601 video range (rounded).
    int Y() const { return int(std::lround(16 + 0.256788 * r + 0.504129 * g + 0.097906 * b)); }
    int U() const { return int(std::lround(128 - 0.148223 * r - 0.290993 * g + 0.439216 * b)); }
    int V() const { return int(std::lround(128 + 0.439216 * r - 0.367788 * g - 0.071427 * b)); }
    // The grey of the same luma.
    FlatColour Grey() const {
        const int v = std::clamp(int(std::lround((Y() - 16) * 255.0 / 219.0)), 0, 255);
        return {v, v, v};
    }
};

// Fills every plane of v (laid out for `format`, allocated here) with the colour.
inline UMC::Status Flat(UMC::VideoData& v, UMC::ColorFormat format, int w, int h,
                        const FlatColour& c) {
    using namespace UMC;
    Status st = v.Init(w, h, format);
    if (st == STATUS_OK) st = v.Alloc();
    if (st != STATUS_OK) return st;
    const uint8_t Y = uint8_t(c.Y()), U = uint8_t(c.U()), V = uint8_t(c.V());
    const uint8_t B = uint8_t(c.b), G = uint8_t(c.g), R = uint8_t(c.r);
    const int w565 = ((R >> 3) << 11) | ((G >> 2) << 5) | (B >> 3);
    const int w555 = ((R >> 3) << 10) | ((G >> 3) << 5) | (B >> 3);
    // The repeating byte pattern of each plane, per group of layouts.
    const std::vector<std::pair<std::vector<ColorFormat>, std::vector<std::vector<uint8_t>>>>
        layouts = {
            {{YV12, YVU9}, {{Y}, {V}, {U}}},
            {{YUV420, YUV422, YUV444, YUV411, YUV420_ALT, YUV420A, YUV422A, YUV444A},
             {{Y}, {U}, {V}, {255}}},
            {{NV12}, {{Y}, {U, V}}},
            {{YUY2}, {{Y, U, Y, V}}},
            {{UYVY}, {{U, Y, V, Y}}},
            {{Y41P}, {{U, Y, V, Y, U, Y, V, Y, Y, Y, Y, Y}}},
            {{Y411}, {{U, Y, Y, V, Y, Y}}},
            {{ARGB32, RGB32}, {{B, G, R, 255}}},
            {{RGB24}, {{B, G, R}}},
            {{RGB565}, {{uint8_t(w565), uint8_t(w565 >> 8)}}},
            {{RGB555}, {{uint8_t(w555), uint8_t(w555 >> 8)}}},
            {{RGB8}, {{Y}}},
        };
    std::vector<std::vector<uint8_t>> pattern(4);
    for (const auto& [formats, planes] : layouts)
        if (std::find(formats.begin(), formats.end(), format) != formats.end()) pattern = planes;
    for (int i = 0; i < v.GetNumPlanes(); ++i) {
        const VideoData::PlaneInfo* p = v.GetPlaneInfo(i);
        for (int row = 0; row < p->m_height; ++row) {
            uint8_t* d = p->m_pPlane + size_t(row) * p->m_nPitch;
            const size_t bytes = size_t(p->m_width) * p->m_iSamples * p->m_iSampleSize;
            for (size_t x = 0; x < bytes; ++x) {
                if (format >= BAYER_RG && format <= BAYER_BG) {
                    static const int cells[4][4] = {
                        {0, 1, 1, 2}, {1, 2, 0, 1}, {1, 0, 2, 1}, {2, 1, 1, 0}};
                    const int colour = cells[format - BAYER_RG][(row & 1) * 2 + (x & 1)];
                    d[x] = colour == 0 ? R : colour == 1 ? G : B;
                } else if (size_t(i) < pattern.size() && !pattern[size_t(i)].empty()) {
                    d[x] = pattern[size_t(i)][x % pattern[size_t(i)].size()];
                }
            }
        }
    }
    return STATUS_OK;
}

// The picture as top-down B, G, R bytes, through the chain (and its fallback); layouts that the
// chain cannot take to RGB24 are decoded here.
inline bool ToRgb24(UMC::VideoData& v, std::vector<uint8_t>& rgb) {
    using namespace UMC;
    const int w = v.GetWidth(), h = v.GetHeight();
    rgb.assign(size_t(w) * h * 3, 0);
    if (v.GetColorFormat() == RGB16_OTHER) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = v.GetPlanePointer(0) + size_t(y) * v.GetPlanePitch(0) + 2 * x;
                const int word = p[0] | p[1] << 8;
                uint8_t* d = &rgb[(size_t(y) * w + x) * 3];
                d[0] = uint8_t((word & 15) * 17);
                d[1] = uint8_t(((word >> 4) & 15) * 17);
                d[2] = uint8_t(((word >> 8) & 15) * 17);
            }
        return true;
    }
    VideoProcessing chain;
    VideoData* from = &v;
    VideoData yuv;
    if (v.GetColorFormat() == Y41P || v.GetColorFormat() == YUV411) {
        if (yuv.Init(w, h, YUV420) != STATUS_OK || yuv.Alloc() != STATUS_OK) return false;
        if (chain.GetFrame(&v, &yuv) != STATUS_OK) return false;
        from = &yuv;
    }
    VideoData out;
    if (out.Init(w, h, RGB24) != STATUS_OK || out.Alloc() != STATUS_OK) return false;
    if (chain.GetFrame(from, &out) != STATUS_OK) return false;
    for (int y = 0; y < h; ++y)
        std::memcpy(&rgb[size_t(y) * w * 3],
                    out.GetPlanePointer(0) + size_t(y) * out.GetPlanePitch(0), size_t(w) * 3);
    return true;
}

}  // namespace qm::vpptest
