// Helpers for the MPEG-4 decoder tests: fixture loading, whole-stream decoding into packed
// pictures, PSNR, and a bit writer for hand-made headers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "tests/support/Paths.h"

namespace qm::test::mpeg4 {

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::filesystem::path Fixture(const std::string& name) {
    return FixtureDir() / "mpeg4" / name;
}

// The visible planes of a frame, packed: Y then U then V.
inline std::vector<uint8_t> Packed(const UMC::MPEG4FrameBuffer& f, int width, int height) {
    std::vector<uint8_t> out;
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    out.reserve(size_t(width) * height + 2 * size_t(cw) * ch);
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

// Test names from the stream file names.
inline std::string StreamCaseName(const ::testing::TestParamInfo<StreamCase>& info) {
    std::string name = info.param.file;
    for (char& ch : name)
        if (ch == '.') ch = '_';
    return name;
}

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

// A whole-stream decode against the stream's reference: the size, the picture count, and every
// picture at least kMinimumPsnr and decoded without a reported error. Prints the minimum and mean.
inline void ExpectMatchesReference(const StreamCase& c, const Decoded& d) {
    const std::vector<uint8_t> reference = c.Reference();
    const size_t frameSize = c.FrameSize();
    ASSERT_EQ(reference.size() % frameSize, 0u);
    ASSERT_EQ(d.open, UMC::STATUS_OK);
    EXPECT_EQ(d.width, c.width);
    EXPECT_EQ(d.height, c.height);
    ASSERT_EQ(d.pictures.size(), reference.size() / frameSize);
    double minimum = 99.0, sum = 0;
    for (size_t i = 0; i < d.pictures.size(); ++i) {
        const double psnr = Psnr(d.pictures[i].data(), reference.data() + i * frameSize, frameSize);
        minimum = std::min(minimum, psnr);
        sum += psnr;
        EXPECT_GE(psnr, kMinimumPsnr) << "picture " << i;
        EXPECT_EQ(d.results[i], 0) << "picture " << i;
    }
    std::printf("%s: %zu pictures, min %.2f dB, mean %.2f dB\n", c.file, d.pictures.size(), minimum,
                sum / double(d.pictures.size()));
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

private:
    std::vector<uint8_t> m_bytes;
    int m_bit = 0;
};

// A version 1 rectangular VOL start code and header: 4:2:0, not interlaced, no OBMC, no
// complexity estimation, partitioning or scalability, default matrices; a static sprite (one
// warping point at half-sample accuracy) when spriteWidth is set.
struct VolSpec {
    int32_t width = 0, height = 0;
    int32_t resolution = 30;
    int32_t quantType = 0;
    int32_t resyncMarkerDisable = 1;
    int32_t spriteWidth = 0, spriteHeight = 0;
    int32_t spriteBrightnessChange = 0;
};

inline void PutVol(BitWriter& w, const VolSpec& v) {
    w.StartCode(0x20);
    w.Put(0, 1);  // random_accessible_vol
    w.Put(1, 8);  // video_object_type_indication
    w.Put(0, 1);  // is_object_layer_identifier
    w.Put(1, 4);  // aspect_ratio_info
    w.Put(0, 1);  // vol_control_parameters
    w.Put(0, 2);  // rectangular
    w.Put(1, 1);
    w.Put(uint32_t(v.resolution), 16);
    w.Put(1, 1);
    w.Put(0, 1);  // fixed_vop_rate
    w.Put(1, 1);
    w.Put(uint32_t(v.width), 13);
    w.Put(1, 1);
    w.Put(uint32_t(v.height), 13);
    w.Put(1, 1);
    w.Put(0, 1);  // interlaced
    w.Put(1, 1);  // obmc_disable
    w.Put(v.spriteWidth ? 1 : 0, 1);
    if (v.spriteWidth) {
        for (int32_t field : {v.spriteWidth, v.spriteHeight, 0, 0}) {  // size, left, top
            w.Put(uint32_t(field), 13);
            w.Put(1, 1);
        }
        w.Put(1, 6);  // no_of_sprite_warping_points
        w.Put(0, 2);  // sprite_warping_accuracy: half samples
        w.Put(uint32_t(v.spriteBrightnessChange), 1);
        w.Put(0, 1);  // low_latency_sprite_enable
    }
    w.Put(0, 1);  // not_8_bit
    w.Put(uint32_t(v.quantType), 1);
    if (v.quantType) w.Put(0, 2);  // no matrices loaded
    w.Put(1, 1);                   // complexity_estimation_disable
    w.Put(uint32_t(v.resyncMarkerDisable), 1);
    w.Put(0, 1);  // data_partitioned
    w.Put(0, 1);  // scalability
    w.Stuff();
}

}  // namespace qm::test::mpeg4
