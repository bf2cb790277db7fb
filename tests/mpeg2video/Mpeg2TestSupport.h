// Helpers for the MPEG-2 decoder tests: a post-processing stage that captures each output picture,
// a driver that feeds a stream one access unit at a time, and fixture loading.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"
#include "tests/support/Paths.h"

namespace qm::test::mpeg2 {

struct Picture {
    int width = 0, height = 0;
    int chromaWidth = 0, chromaHeight = 0;
    int frameType = 0;
    int structure = 0;
    int damaged = 0;
    double time = -1.0;
    std::vector<uint8_t> planes;  // Y, Cb, Cr packed without padding
};

// Copies the decoder's picture (planes without padding) instead of converting it.
class CaptureStage : public UMC::BaseCodec {
public:
    UMC::Status GetFrame(UMC::MediaData* input, UMC::MediaData* output) override {
        auto* in = UMC::DynamicCast<UMC::VideoData>(input);
        if (!in || !output) return UMC::STATUS_NULL_PTR;
        Picture p;
        p.width = in->GetWidth();
        p.height = in->GetHeight();
        const UMC::VideoData::PlaneInfo* c = in->GetPlaneInfo(1);
        p.chromaWidth = c->m_width;
        p.chromaHeight = c->m_height;
        p.frameType = in->GetFrameType();
        p.structure = in->GetPictureStructure();
        p.damaged = in->GetDamaged();
        p.time = in->GetTime();
        for (int plane = 0; plane < 3; ++plane) {
            const UMC::VideoData::PlaneInfo* info = in->GetPlaneInfo(plane);
            for (int y = 0; y < info->m_height; ++y) {
                const uint8_t* row = info->m_pPlane + size_t(y) * info->m_nPitch;
                p.planes.insert(p.planes.end(), row, row + info->m_width);
            }
        }
        pictures.push_back(std::move(p));
        return UMC::STATUS_OK;
    }
    UMC::Status Reset() override { return UMC::STATUS_OK; }

    std::vector<Picture> pictures;
};

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

inline std::vector<uint8_t> Fixture(const std::string& name) {
    return ReadFile(qm::test::FixtureDir() / "mpeg2" / (name + ".m2v"));
}

struct DecodeResult {
    std::vector<Picture> pictures;
    std::vector<UMC::Status> statuses;  // every GetFrame result, flush included
};

// Hands a stream to `getFrame` (MediaData* input -> Status) one access unit per call, then
// flushes it with null inputs. The units are passed in place.
template <class GetFrame>
void Feed(const uint8_t* data, size_t size, GetFrame getFrame) {
    size_t pos = 0;
    while (pos < size) {
        const size_t unit = UMC::Mpeg2AccessUnitLength(data + pos, size - pos);
        UMC::MediaData in;
        in.SetBufferPointer(const_cast<uint8_t*>(data) + pos, unit);
        in.SetDataSize(unit);
        for (int guard = 0; guard < 64 && in.GetDataSize() > 0; ++guard) {
            const size_t before = in.GetDataSize();
            if (getFrame(&in) != UMC::STATUS_OK && in.GetDataSize() == before) break;
        }
        pos += unit;
    }
    for (int guard = 0; guard < 4 && getFrame(nullptr) == UMC::STATUS_OK; ++guard) {
    }
}

template <class GetFrame>
void Feed(const std::vector<uint8_t>& stream, GetFrame getFrame) {
    Feed(stream.data(), stream.size(), getFrame);
}

// Decodes a whole stream one access unit per call, then flushes.
inline DecodeResult Decode(const uint8_t* data, size_t size, int threads = 1,
                           int32_t flags = UMC::FLAG_VDEC_REORDER) {
    DecodeResult result;
    CaptureStage stage;
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    params.numThreads = threads;
    params.lFlags = flags;
    params.pPostProcessing = &stage;
    if (decoder.Init(&params) != UMC::STATUS_OK) return result;
    UMC::VideoData out;
    Feed(data, size, [&](UMC::MediaData* in) {
        const UMC::Status st = decoder.GetFrame(in, &out);
        result.statuses.push_back(st);
        return st;
    });
    result.pictures = std::move(stage.pictures);
    return result;
}

inline DecodeResult Decode(const std::vector<uint8_t>& stream, int threads = 1,
                           int32_t flags = UMC::FLAG_VDEC_REORDER) {
    return Decode(stream.data(), stream.size(), threads, flags);
}

}  // namespace qm::test::mpeg2
