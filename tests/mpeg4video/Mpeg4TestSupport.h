// Helpers for the MPEG-4 decoder tests: fixtures and their references, decoding a whole stream
// directly or through UMC::MPEG4VideoDecoder as a filter would, PSNR, and writing headers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"  // the decoder flags
#include "SDKs/CodecFramework/mpeg4video/MPEG4VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "tests/support/Paths.h"

namespace qm::test::mpeg4 {

inline std::filesystem::path Fixture(const std::string& name) {
    return FixtureDir() / "mpeg4" / name;
}
inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    return ReadBytes(path);
}

// Offsets of the start codes 00 00 01 `value` (of any value when `value` is negative).
inline std::vector<size_t> StartCodes(const std::vector<uint8_t>& s, int value = 0xB6) {
    std::vector<size_t> out;
    for (size_t i = 0; i + 3 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && (value < 0 || s[i + 3] == value))
            out.push_back(i);
    return out;
}

// The visible planes of a frame, packed: Y then U then V.
inline std::vector<uint8_t> Packed(const UMC::MPEG4FrameBuffer& f, int width, int height) {
    std::vector<uint8_t> out;
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    for (int y = 0; y < height; ++y)
        out.insert(out.end(), f.y + y * f.yPitch, f.y + y * f.yPitch + width);
    for (const uint8_t* plane : {f.u, f.v})
        for (int y = 0; y < ch; ++y)
            out.insert(out.end(), plane + y * f.uvPitch, plane + y * f.uvPitch + cw);
    return out;
}

struct Decoded {
    UMC::Status open = UMC::STATUS_OK;
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> pictures;
    std::vector<int32_t> results;  // the VOP decoder's result per picture
};

// The stream in decoding order through the stream decoder alone (no frame driver).
inline Decoded DecodeAll(const std::vector<uint8_t>& stream) {
    Decoded d;
    UMC::mpeg4::Mpeg4StreamDecoder decoder;
    d.open = decoder.Open(stream.data(), stream.size());
    if (d.open != UMC::STATUS_OK) return d;
    d.width = decoder.State().vol.width;
    d.height = decoder.State().vol.height;
    const UMC::MPEG4FrameBuffer* frame = nullptr;
    int32_t result = 0;
    while (decoder.Next(&frame, &result) == UMC::STATUS_OK && d.pictures.size() < 1000) {
        d.pictures.push_back(Packed(*frame, d.width, d.height));
        d.results.push_back(result);
    }
    return d;
}

// A committed stream, its picture size, and ffmpeg's decode beside it (<stem>.yuv).
struct StreamCase {
    const char* file;
    int width, height;

    size_t FrameSize() const {
        return size_t(width) * height + 2 * size_t((width + 1) / 2) * ((height + 1) / 2);
    }
    std::vector<uint8_t> Stream() const { return ReadFile(Fixture(file)); }
    std::vector<uint8_t> Reference() const {
        const std::string name(file);
        return ReadFile(Fixture(name.substr(0, name.rfind('.')) + ".yuv"));
    }
};

inline double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += double(int(a[i]) - int(b[i])) * double(int(a[i]) - int(b[i]));
    if (sum == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 * double(n) / sum);
}

// The least PSNR of a picture against its reference. Transform rounding alone keeps every
// committed stream above 59 dB; a prediction off by one position step somewhere (a warp rounded
// the wrong way) already falls below it.
inline constexpr double kMinimumPsnr = 56.0;

struct Picture {
    std::vector<uint8_t> bytes;
    double time = 0;
    int32_t frameType = 0;
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
    for (size_t at : StartCodes(stream))
        if (perVop && at > 0) cuts.push_back(at);
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
        if (st == UMC::STATUS_OK || st == UMC::kMpeg4FrameDamaged)
            run.pictures.push_back({PackedVideo(out), out.GetTime(), out.GetFrameType(), st});
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

// A fresh decoder opened on the stream's own headers, the stream through the driver.
inline DriverRun Drive(const std::vector<uint8_t>& stream, int32_t flags, double rate = 0.0,
                       double firstStamp = -1.0, bool perVop = false) {
    UMC::MPEG4VideoDecoder decoder;
    EXPECT_EQ(InitWith(decoder, stream, flags, rate), UMC::STATUS_OK);
    return DecodeThroughDriver(decoder, stream, firstStamp, perVop);
}

// MSB-first bit writer for hand-made headers.
class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_bit == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= uint8_t(0x80 >> m_bit);
            m_bit = (m_bit + 1) & 7;
        }
    }
    void StartCode(uint8_t value) {
        Align();
        for (uint8_t b : {uint8_t(0), uint8_t(0), uint8_t(1), value}) Put(b, 8);
    }
    // Stuffing of the next start code: a zero bit and ones up to the byte boundary.
    void Stuff() {
        Put(0, 1);
        while (m_bit) Put(1, 1);
    }
    void Align() {
        while (m_bit) Put(0, 1);
    }
    std::vector<uint8_t>& Bytes() { return m_bytes; }
    // The bytes with the zero padding the coefficient readers may read into.
    std::vector<uint8_t> Padded() const {
        std::vector<uint8_t> out = m_bytes;
        out.resize(out.size() + kMpeg4InputPadding, 0);
        return out;
    }

private:
    std::vector<uint8_t> m_bytes;
    int m_bit = 0;
};

// A VOP start code and header up to vop_coded, at modulo_time_base 0.
inline void PutVopStart(BitWriter& w, int type, int32_t timeIncrement, int bits,
                        bool coded = true) {
    w.StartCode(0xB6);
    w.Put(uint32_t(type) << 2 | 1, 4);  // vop_coding_type, modulo_time_base 0, marker
    w.Put(uint32_t(timeIncrement), bits);
    w.Put(coded ? 3 : 2, 2);  // marker, vop_coded
}

// A rectangular VOL: 4:2:0 at 8 bits, no OBMC, complexity estimation or data partitioning by
// default; a static sprite (size, left 0, top 0) when spriteWidth is set. `breakMarker` clears
// the n-th marker bit (1-based).
struct VolSpec {
    int32_t width = 64, height = 48;
    int32_t resolution = 30;
    int32_t fixedIncrement = -1;  // -1: no fixed VOP rate
    int32_t verid = 0;            // 0: no is_object_layer_identifier
    int32_t objectVerid = 1;      // the visual object's, when the layer names none it knows
    int32_t shape = 0;
    int32_t chromaFormat = -1;  // -1: no vol_control_parameters
    int32_t interlaced = 0;
    int32_t gmc = 0;  // sprite_enable 2 (GMC)
    int32_t spriteWidth = 0, spriteHeight = 0;
    int32_t warpingPoints = 1;
    int32_t spriteBrightnessChange = 0;
    int32_t not8Bit = 0;
    int32_t quantType = 0;
    std::vector<int> intraMatrix = {};  // loaded values (0-terminated when shorter than 64)
    int32_t resyncMarkerDisable = 1;
    int32_t dataPartitioned = 0;
    int32_t newpred = 0;
    int32_t reducedResolution = 0;
    int32_t scalability = 0;
    int breakMarker = 0;
};

inline void PutVol(BitWriter& w, const VolSpec& v) {
    int marker = 0;
    auto m = [&] { w.Put(++marker == v.breakMarker ? 0 : 1, 1); };
    w.StartCode(0x20);
    w.Put(0, 1);  // random_accessible_vol
    w.Put(1, 8);  // video_object_type_indication
    w.Put(v.verid ? 1 : 0, 1);
    if (v.verid) w.Put(uint32_t(v.verid) << 3 | 1, 7);  // verid, priority 1
    w.Put(1, 4);                                        // aspect_ratio_info
    w.Put(v.chromaFormat >= 0 ? 1 : 0, 1);
    if (v.chromaFormat >= 0) w.Put(uint32_t(v.chromaFormat) << 2 | 2, 4);  // low_delay, no vbv
    w.Put(uint32_t(v.shape), 2);
    m();
    w.Put(uint32_t(v.resolution), 16);
    m();
    int bits = 1;
    while ((1 << bits) < v.resolution) ++bits;
    w.Put(v.fixedIncrement >= 0 ? 1 : 0, 1);
    if (v.fixedIncrement >= 0) w.Put(uint32_t(v.fixedIncrement), bits);
    m();
    w.Put(uint32_t(v.width), 13);
    m();
    w.Put(uint32_t(v.height), 13);
    m();
    w.Put(uint32_t(v.interlaced), 1);
    w.Put(1, 1);  // obmc_disable
    const bool known = v.verid == 1 || v.verid == 2 || v.verid == 4 || v.verid == 5;
    const int verid = known ? v.verid : v.objectVerid;
    const int sprite = v.spriteWidth ? 1 : v.gmc ? 2 : 0;
    w.Put(uint32_t(sprite), verid == 1 ? 1 : 2);
    if (sprite == 1)
        for (int32_t field : {v.spriteWidth, v.spriteHeight, 0, 0}) {
            w.Put(uint32_t(field), 13);
            m();
        }
    if (sprite) {
        w.Put(uint32_t(v.warpingPoints), 6);
        w.Put(0, 2);  // sprite_warping_accuracy: half samples
        w.Put(uint32_t(v.spriteBrightnessChange), 1);
        if (sprite == 1) w.Put(0, 1);  // low_latency_sprite_enable
    }
    w.Put(uint32_t(v.not8Bit), 1);
    w.Put(uint32_t(v.quantType), 1);
    if (v.quantType) {
        w.Put(v.intraMatrix.empty() ? 0 : 1, 1);
        for (int x : v.intraMatrix) w.Put(uint32_t(x), 8);
        w.Put(0, 1);
    }
    if (verid != 1) w.Put(1, 1);  // quarter_sample
    w.Put(1, 1);                  // complexity_estimation_disable
    w.Put(uint32_t(v.resyncMarkerDisable), 1);
    w.Put(uint32_t(v.dataPartitioned), 1);
    if (v.dataPartitioned) w.Put(0, 1);
    if (verid != 1) {
        w.Put(uint32_t(v.newpred), 1);
        if (v.newpred) w.Put(0b111, 3);
        w.Put(uint32_t(v.reducedResolution), 1);
    }
    w.Put(uint32_t(v.scalability), 1);
    w.Stuff();
}

}  // namespace qm::test::mpeg4
