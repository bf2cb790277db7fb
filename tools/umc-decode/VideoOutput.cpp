#include "tools/umc-decode/VideoOutput.h"

#include <cstdio>

namespace umcdecode {

namespace {

struct FormatName {
    const char* name;
    UMC::ColorFormat format;
};
// The layouts the post-processing chain reaches from 4:2:0 and 4:2:2 pictures (no 4:4:4: the
// decoders never produce it and the chain does not upsample chroma to it).
const FormatName kFormats[] = {
    {"i420", UMC::YUV420},   {"yv12", UMC::YV12},     {"i422", UMC::YUV422},
    {"nv12", UMC::NV12},     {"yuy2", UMC::YUY2},     {"uyvy", UMC::UYVY},
    {"rgb24", UMC::RGB24},   {"rgb32", UMC::RGB32},   {"argb32", UMC::ARGB32},
    {"rgb565", UMC::RGB565}, {"rgb555", UMC::RGB555},
};

}  // namespace

UMC::ColorFormat VideoFormatByName(const std::string& name, UMC::ColorFormat fallback) {
    if (name.empty()) return fallback;
    for (const FormatName& f : kFormats)
        if (name == f.name) return f.format;
    return UMC::NONE;
}

bool OnePassBench(const Options& options) {
    if (options.passes <= 1) return true;
    std::fprintf(stderr, "umc-decode: video benches time one pass\n");
    return false;
}

void AppendPlanes(const UMC::VideoData& picture, std::vector<uint8_t>& out) {
    for (int p = 0; p < picture.GetNumPlanes(); ++p) {
        const UMC::VideoData::PlaneInfo* info = picture.GetPlaneInfo(p);
        const size_t rowBytes =
            size_t(info->m_width) * size_t(info->m_iSamples) * size_t(info->m_iSampleSize);
        for (int y = 0; y < info->m_height; ++y) {
            const uint8_t* row = info->m_pPlane + size_t(y) * info->m_nPitch;
            out.insert(out.end(), row, row + rowBytes);
        }
    }
}

}  // namespace umcdecode
