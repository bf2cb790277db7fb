// Joint-stereo layer III streams that force the intensity-stereo cases: the intensity bound of the
// right channel per window of short blocks and within mixed blocks, illegal positions, the last
// band, both intensity scales of MPEG-2, and frames that switch between intensity alone and
// intensity with mid/side; and one MPEG-2 stream of preflag scale factors. The oracle decodes of
// these streams are committed beside the fixtures.
#pragma once

#include <string>
#include <vector>

#include "tests/mpegaudio/Layer3Writer.h"

namespace qm::test::mpa {

struct NamedStream {
    std::string name;
    std::vector<uint8_t> bytes;
};

class StreamRng {
public:
    explicit StreamRng(uint32_t seed) : m_state(seed) {}
    int Int(int lo, int hi) {  // inclusive
        m_state = m_state * 1664525u + 1013904223u;
        return lo + int((m_state >> 8) % uint32_t(hi - lo + 1));
    }

private:
    uint32_t m_state;
};

// Granule block types in turn: long, start, short, short, mixed, stop, long, start, mixed, stop
// (a mixed block is never followed by a short one, a switch the two oracles decode apart).
inline void BlockOfGranule(int k, bool allowMixed, int& type, bool& mixed) {
    static const int kTypes[10] = {0, 1, 2, 2, 2, 3, 0, 1, 2, 3};
    static const bool kMixed[10] = {false, false, false, false, true,
                                    false, false, false, true,  false};
    type = kTypes[k % 10];
    mixed = allowMixed && kMixed[k % 10];
}

inline void FillIntensityGranule(Layer3Frame& f, int gr, int k, bool allowMixed, int maxPos,
                                 StreamRng& rng) {
    const ::UMC::mpa::BandTable& bands = ::UMC::mpa::kBands[f.samplingIndex + (f.mpeg1 ? 0 : 3)];
    int type;
    bool mixed;
    BlockOfGranule(k, allowMixed, type, mixed);
    Layer3Channel& l = f.gr[gr][0];
    Layer3Channel& r = f.gr[gr][1];
    for (Layer3Channel* c : {&l, &r}) {
        c->blockType = type;
        c->mixed = mixed;
        c->globalGain = 170;
    }
    // Left: small values over the lower part of the spectrum, scale factors 0..3.
    const int leftEnd = f.mpeg1 ? 300 : 220;
    for (int i = 0; i < leftEnd; ++i) l.lines[i] = rng.Int(0, 9) < 3 ? 0 : rng.Int(-3, 3);
    l.scalefacCompress = f.mpeg1 ? 13 : 202;  // 3/3 bits; MPEG-2: 2 bits in every partition
    for (int sfb = 0; sfb < 21; ++sfb) l.scfLong[sfb] = rng.Int(0, 3);
    for (int sfb = 0; sfb < 12; ++sfb)
        for (int w = 0; w < 3; ++w) l.scfShort[sfb][w] = rng.Int(0, 3);
    // Right: data below a bound, intensity positions 0..maxPos above it (7 is illegal).
    r.scalefacCompress = f.mpeg1 ? 13 : 258 + (k & 1);  // MPEG-2: 3 bits each, both scales
    for (int sfb = 0; sfb < 21; ++sfb) r.scfLong[sfb] = rng.Int(0, maxPos);
    for (int sfb = 0; sfb < 12; ++sfb)
        for (int w = 0; w < 3; ++w) r.scfShort[sfb][w] = rng.Int(0, maxPos);
    if (type != 2) {
        static const int kBounds[6] = {0, 1, 4, 8, 12, 16};  // long band index of the bound
        const int end = bands.longBounds[kBounds[rng.Int(0, 5)]];
        for (int i = 0; i < end && i < leftEnd; ++i) r.lines[i] = rng.Int(-2, 2);
        return;
    }
    // Short windows: each its own bound (band 0..12); mixed blocks keep the long part empty
    // unless every window is.
    const int first = mixed ? 3 : 0;
    bool any = false;
    for (int w = 0; w < 3; ++w) {
        const int bound = rng.Int(first, 10);
        for (int sfb = first; sfb < bound; ++sfb) {
            const int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
            const int start = 3 * bands.shortBounds[sfb] + w * width;
            for (int i = start; i < start + width && i < leftEnd; ++i) {
                r.lines[i] = rng.Int(-2, 2);
                any = any || r.lines[i];
            }
        }
    }
    if (mixed && !any) {
        const int end = rng.Int(0, 1) ? 0 : 3 * bands.shortBounds[3] / 2;
        for (int i = 0; i < end; ++i) r.lines[i] = rng.Int(-2, 2);
    }
}

// `frames` frames; the mode extension switches between intensity with mid/side and intensity
// alone every four frames.
inline std::vector<uint8_t> IntensityStream(bool mpeg1, int frames, bool allowMixed, int maxPos,
                                            uint32_t seed) {
    StreamRng rng(seed);
    std::vector<uint8_t> out;
    int k = 0;
    for (int n = 0; n < frames; ++n) {
        Layer3Frame f;
        f.mpeg1 = mpeg1;
        f.mode = 1;
        f.modeExtension = (n / 4) % 2 ? 1 : 3;
        for (int gr = 0; gr < (mpeg1 ? 2 : 1); ++gr)
            FillIntensityGranule(f, gr, k++, allowMixed, maxPos, rng);
        const std::vector<uint8_t> bytes = WriteFrame(f);
        if (bytes.empty()) return {};
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

// MPEG-2 without intensity: scale factors of the third partition table (scalefac_compress 500
// and up, which sets the preflag), in long, short and mixed blocks.
inline std::vector<uint8_t> PreflagStream(int frames, uint32_t seed) {
    StreamRng rng(seed);
    std::vector<uint8_t> out;
    for (int n = 0; n < frames; ++n) {
        Layer3Frame f;
        f.mpeg1 = false;
        f.mode = 1;
        f.modeExtension = n % 2 ? 0 : 2;
        for (int ch = 0; ch < 2; ++ch) {
            Layer3Channel& c = f.gr[0][ch];
            BlockOfGranule(n, true, c.blockType, c.mixed);
            c.scalefacCompress = ch == 0 ? 500 + 3 * 3 + 2 : 202;  // slen 3 and 2; 2 bits each
            for (int sfb = 0; sfb < 21; ++sfb) c.scfLong[sfb] = rng.Int(0, 3);
            for (int sfb = 0; sfb < 12; ++sfb)
                for (int w = 0; w < 3; ++w) c.scfShort[sfb][w] = rng.Int(0, 3);
            for (int i = 0; i < 200; ++i) c.lines[i] = rng.Int(0, 9) < 3 ? 0 : rng.Int(-3, 3);
        }
        const std::vector<uint8_t> bytes = WriteFrame(f);
        if (bytes.empty()) return {};
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

// MPEG-2 splits the cases: the oracles part on illegal positions (ffmpeg decodes them as
// intensity) and on intensity in mixed blocks (mpg123 places the bound elsewhere).
inline std::vector<NamedStream> IntensityStreams() {
    return {{"is_mpeg1_48k", IntensityStream(true, 12, true, 7, 1)},
            {"is_mpeg2_24k", IntensityStream(false, 12, false, 7, 2)},
            {"is_mpeg2_24k_mixed", IntensityStream(false, 12, true, 6, 3)},
            {"preflag_mpeg2_24k", PreflagStream(12, 4)}};
}

}  // namespace qm::test::mpa
