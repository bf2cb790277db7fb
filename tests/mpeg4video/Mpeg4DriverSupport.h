// Driving UMC::MPEG4VideoDecoder as a filter would: input samples of a whole stream or one VOP
// each, output pictures packed with their times and types, and Init from the stream's headers.
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"  // the decoder flags
#include "SDKs/CodecFramework/mpeg4video/MPEG4VideoDecoder.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace qm::test::mpeg4 {

struct Picture {
    std::vector<uint8_t> bytes;
    double time = 0;
    int32_t frameType = 0;
    int32_t structure = 0;
    UMC::Status status = UMC::STATUS_OK;
};

inline std::vector<uint8_t> PackedVideo(const UMC::VideoData& v) {
    std::vector<uint8_t> out;
    for (int p = 0; p < v.GetNumPlanes(); ++p) {
        const UMC::VideoData::PlaneInfo* info = v.GetPlaneInfo(p);
        for (int y = 0; y < info->m_height; ++y) {
            const uint8_t* row = info->m_pPlane + size_t(y) * info->m_nPitch;
            out.insert(out.end(), row, row + info->m_width);
        }
    }
    return out;
}

inline constexpr uint8_t kVopStartCode[] = {0, 0, 1, 0xB6};

struct DriverRun {
    std::vector<Picture> pictures;
    int drained = 0;
};

// Feeds the whole stream as one sample (optionally stamped), or one VOP per sample, and drains
// the decoder. The output pictures have the size the decoder reports before each call, or a fixed
// one (as a filter's negotiated output type has).
inline DriverRun DecodeThroughDriver(UMC::MPEG4VideoDecoder& decoder, std::vector<uint8_t> stream,
                                     double firstStamp = -1.0, bool perVop = false,
                                     bool drain = true, std::pair<int, int> fixedSize = {0, 0}) {
    DriverRun run;
    UMC::VideoDecoderParams info;
    UMC::VideoData out;
    std::vector<size_t> cuts{0};
    for (size_t i = 1; perVop && i + 3 < stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB6)
            cuts.push_back(i);
    cuts.push_back(stream.size());
    auto take = [&](UMC::MediaData* input) {
        decoder.GetInfo(&info);
        const int width = fixedSize.first ? fixedSize.first : info.info.clip_width;
        const int height = fixedSize.first ? fixedSize.second : info.info.clip_height;
        if (out.GetWidth() != width || out.GetHeight() != height) {
            out.Init(width, height, UMC::YUV420);
            out.Alloc();
        }
        // A picture of another size covers part of a fixed-size output: the rest reads as 0.
        for (int p = 0; fixedSize.first && p < out.GetNumPlanes(); ++p) {
            const UMC::VideoData::PlaneInfo* plane = out.GetPlaneInfo(p);
            for (int y = 0; y < plane->m_height; ++y)
                std::fill_n(plane->m_pPlane + size_t(y) * plane->m_nPitch, plane->m_width, 0);
        }
        const UMC::Status st = decoder.GetFrame(input, &out);
        if (st == UMC::STATUS_OK || st == UMC::kMpeg4FrameDamaged) {
            Picture p;
            p.bytes = PackedVideo(out);
            p.time = out.GetTime();
            p.frameType = out.GetFrameType();
            p.structure = out.GetPictureStructure();
            p.status = st;
            run.pictures.push_back(std::move(p));
        }
        return st;
    };
    for (size_t c = 0; c + 1 < cuts.size(); ++c) {
        UMC::MediaData in;
        in.SetBufferPointer(stream.data() + cuts[c], cuts[c + 1] - cuts[c]);
        in.SetDataSize(cuts[c + 1] - cuts[c]);
        in.SetTime(c == 0 ? firstStamp : -1.0);
        for (int guard = 0; guard < 10000 && in.GetDataSize() > 0; ++guard) {
            const size_t before = in.GetDataSize();
            const UMC::Status st = take(&in);
            if (st != UMC::STATUS_OK && in.GetDataSize() == before) break;
        }
    }
    while (drain && take(nullptr) == UMC::STATUS_OK) ++run.drained;
    return run;
}

// Init with the stream's headers as the decoder-specific data.
inline UMC::Status InitWith(UMC::MPEG4VideoDecoder& decoder, std::vector<uint8_t> headers,
                            int32_t flags, double rate = 0.0) {
    UMC::VideoDecoderParams params;
    UMC::MediaData initial;
    initial.SetBufferPointer(headers.data(), headers.size());
    initial.SetDataSize(headers.size());
    params.m_pData = &initial;
    params.lFlags = flags;
    params.info.framerate = rate;
    return decoder.Init(&params);
}

}  // namespace qm::test::mpeg4
