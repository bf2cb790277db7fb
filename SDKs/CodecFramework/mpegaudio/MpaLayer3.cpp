// Layer III: side information, reservoir, scale factors, Huffman decoding, requantisation, stereo,
// reordering, alias reduction, IMDCT with overlap, and synthesis.
#include <cmath>
#include <cstring>

#include "SDKs/CodecFramework/mpegaudio/MpaState.h"
#include "SDKs/CodecFramework/mpegaudio/MpaTables.h"
#include "primitives/Signal.h"

namespace UMC {
namespace mpa {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Layer3Constants {
    float cs[8], ca[8];
    float isRatioL[7], isRatioR[7];  // MPEG-1 intensity, is_pos 0..6
    float lsfRatio[2][32];           // MPEG-2 intensity: io^k for both intensity scales
    Layer3Constants() {
        static const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int i = 0; i < 8; ++i) {
            double sq = std::sqrt(1.0 + c[i] * c[i]);
            cs[i] = float(1.0 / sq);
            ca[i] = float(c[i] / sq);
        }
        for (int i = 0; i < 7; ++i) {
            if (i == 6) {
                isRatioL[i] = 1.0f;
                isRatioR[i] = 0.0f;
                continue;
            }
            double r = std::tan(double(i) * kPi / 12.0);
            isRatioL[i] = float(r / (1.0 + r));
            isRatioR[i] = float(1.0 / (1.0 + r));
        }
        for (int scale = 0; scale < 2; ++scale) {
            double io = scale ? std::sqrt(0.5) : std::pow(2.0, -0.25);
            for (int k = 0; k < 32; ++k) lsfRatio[scale][k] = float(std::pow(io, double(k)));
        }
    }
};
const Layer3Constants& Constants() {
    static const Layer3Constants k;
    return k;
}

int BandRow(const FrameHeader& h) {
    if (h.id == 1) return h.samplingIndex;
    return 3 + h.samplingIndex + (h.mpeg25 ? 3 : 0);
}

int ReadSideInfo(State* s, const uint8_t* frame, size_t length) {
    const FrameHeader& h = s->header;
    const int channels = h.channels;
    const size_t sideBytes = h.id == 1 ? (channels == 1 ? 17 : 32) : (channels == 1 ? 9 : 17);
    const size_t start = 4 + (h.crcPresent ? 2 : 0);
    if (start + sideBytes > length) return -1;
    BitReader br;
    br.Set(frame + start, sideBytes);
    SideInfo& si = s->side;
    const int granules = h.id == 1 ? 2 : 1;
    if (h.id == 1) {
        si.mainDataBegin = int32_t(br.Get(9));
        si.privateBits = int32_t(br.Get(channels == 1 ? 5 : 3));
        for (int ch = 0; ch < channels; ++ch)
            for (int g = 0; g < 4; ++g) si.scfsi[ch][g] = int32_t(br.Get1());
    } else {
        si.mainDataBegin = int32_t(br.Get(8));
        si.privateBits = int32_t(br.Get(channels == 1 ? 1 : 2));
        std::memset(si.scfsi, 0, sizeof(si.scfsi));
    }
    for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < channels; ++ch) {
            GranuleChannel& g = si.gr[gr][ch];
            g.part23Length = int32_t(br.Get(12));
            g.bigValues = int32_t(br.Get(9));
            g.globalGain = int32_t(br.Get(8));
            g.scalefacCompress = int32_t(br.Get(h.id == 1 ? 4 : 9));
            g.windowSwitching = int32_t(br.Get1());
            if (g.windowSwitching) {
                g.blockType = int32_t(br.Get(2));
                g.mixedBlock = int32_t(br.Get1());
                g.tableSelect[0] = int32_t(br.Get(5));
                g.tableSelect[1] = int32_t(br.Get(5));
                g.tableSelect[2] = 0;
                for (int w = 0; w < 3; ++w) g.subblockGain[w] = -8 * int32_t(br.Get(3));
                g.region0Count = (g.blockType == 2 && !g.mixedBlock) ? 8 : 7;
                g.region1Count = 20 - g.region0Count;
            } else {
                g.blockType = 0;
                g.mixedBlock = 0;
                for (int r = 0; r < 3; ++r) g.tableSelect[r] = int32_t(br.Get(5));
                g.subblockGain[0] = g.subblockGain[1] = g.subblockGain[2] = 0;
                g.region0Count = int32_t(br.Get(4));
                g.region1Count = int32_t(br.Get(3));
            }
            g.preflag = h.id == 1 ? int32_t(br.Get1()) : 0;
            g.scalefacScale = int32_t(br.Get1());
            g.count1Table = int32_t(br.Get1());
        }
    return int(sideBytes);
}

bool IsShort(const GranuleChannel& g) {
    return g.windowSwitching && g.blockType == 2;
}

// MPEG-1 scale factors (ISO/IEC 11172-3 2.4.2.7).
void ReadScalefactorsMpeg1(State* s, BitReader& br, int gr, int ch) {
    const GranuleChannel& g = s->side.gr[gr][ch];
    Layer3Channel& c = s->l3[ch];
    const int slen1 = kSlen[0][g.scalefacCompress], slen2 = kSlen[1][g.scalefacCompress];
    if (IsShort(g)) {
        int sfb = 0;
        if (g.mixedBlock) {
            for (; sfb < 8; ++sfb) c.scfLong[sfb] = int16_t(br.Get(slen1));
            sfb = 3;
        }
        for (; sfb < 12; ++sfb) {
            int bits = sfb < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w) c.scfShort[sfb][w] = int16_t(br.Get(bits));
        }
        c.scfShort[12][0] = c.scfShort[12][1] = c.scfShort[12][2] = 0;
        return;
    }
    static const int kGroups[5] = {0, 6, 11, 16, 21};
    for (int grp = 0; grp < 4; ++grp) {
        if (gr == 1 && s->side.scfsi[ch][grp]) continue;  // reused from granule 0
        int bits = grp < 2 ? slen1 : slen2;
        for (int sfb = kGroups[grp]; sfb < kGroups[grp + 1]; ++sfb)
            c.scfLong[sfb] = int16_t(br.Get(bits));
    }
    c.scfLong[21] = 0;
}

// MPEG-2 and 2.5 scale factors (ISO/IEC 13818-3 2.4.3.2); returns the preflag.
int ReadScalefactorsMpeg2(State* s, BitReader& br, int ch) {
    const GranuleChannel& g = s->side.gr[0][ch];
    Layer3Channel& c = s->l3[ch];
    int slen[4] = {0, 0, 0, 0};
    int table, preflag = 0;
    int sfc = g.scalefacCompress;
    if (ch == 1 && s->header.intensity) {
        int isc = sfc >> 1;
        if (isc < 180) {
            slen[0] = isc / 36;
            slen[1] = (isc % 36) / 6;
            slen[2] = (isc % 36) % 6;
            table = 3;
        } else if (isc < 244) {
            isc -= 180;
            slen[0] = (isc % 64) >> 4;
            slen[1] = (isc % 16) >> 2;
            slen[2] = isc % 4;
            table = 4;
        } else {
            isc -= 244;
            slen[0] = isc / 3;
            slen[1] = isc % 3;
            table = 5;
        }
    } else if (sfc < 400) {
        slen[0] = (sfc >> 4) / 5;
        slen[1] = (sfc >> 4) % 5;
        slen[2] = (sfc % 16) >> 2;
        slen[3] = sfc % 4;
        table = 0;
    } else if (sfc < 500) {
        sfc -= 400;
        slen[0] = (sfc >> 2) / 5;
        slen[1] = (sfc >> 2) % 5;
        slen[2] = sfc % 4;
        table = 1;
    } else {
        sfc -= 500;
        slen[0] = sfc / 3;
        slen[1] = sfc % 3;
        table = 2;
        preflag = 1;
    }
    const int kind = IsShort(g) ? (g.mixedBlock ? 2 : 1) : 0;
    const uint8_t* counts = kScfPartitions[table][kind];
    int16_t values[40];
    int16_t maxima[40];
    int n = 0;
    for (int part = 0; part < 4; ++part)
        for (int i = 0; i < counts[part] && n < 40; ++i, ++n) {
            values[n] = int16_t(br.Get(slen[part]));
            maxima[n] = int16_t((1 << slen[part]) - 1);
        }
    for (; n < 40; ++n) values[n] = 0, maxima[n] = 0;
    int k = 0;
    if (kind == 0) {
        for (int sfb = 0; sfb < 21; ++sfb, ++k) {
            c.scfLong[sfb] = values[k];
            c.isMaxLong[sfb] = maxima[k];
        }
        c.scfLong[21] = 0;
        c.isMaxLong[21] = c.isMaxLong[20];
    } else {
        int sfb = 0;
        if (kind == 2) {
            for (; sfb < 6; ++sfb, ++k) {
                c.scfLong[sfb] = values[k];
                c.isMaxLong[sfb] = maxima[k];
            }
            sfb = 3;
        }
        for (; sfb < 12; ++sfb) {
            for (int w = 0; w < 3; ++w, ++k) c.scfShort[sfb][w] = values[k];
            c.isMaxShort[sfb] = maxima[k - 1];
        }
        c.scfShort[12][0] = c.scfShort[12][1] = c.scfShort[12][2] = 0;
        c.isMaxShort[12] = c.isMaxShort[11];
    }
    return preflag;
}

// Bit position helpers for the Huffman kernels: (byte pointer, bit offset).
size_t BitPos(const uint8_t* base, const uint8_t* p, int off) {
    return size_t(p - base) * 8 + size_t(off);
}

int ReadBit(const uint8_t*& p, int& off) {
    int bit = (*p >> (7 - off)) & 1;
    if (++off == 8) {
        off = 0;
        ++p;
    }
    return bit;
}

// Decodes the granule's spectral values into c.quant; returns false for an undefined table.
bool DecodeHuffman(State* s, const GranuleChannel& g, Layer3Channel& c, const uint8_t* base,
                   size_t bitStart, size_t bitEnd) {
    const BandTable& bands = kBands[BandRow(s->header)];
    const bool eightK = s->header.mpeg25 && s->header.samplingIndex == 2;
    int bigEnd = g.bigValues * 2;
    if (bigEnd > 576) bigEnd = 576;
    int r1, r2;
    if (g.windowSwitching && g.blockType == 2) {
        r1 = eightK ? 72 : 36;
        r2 = 576;
    } else if (g.windowSwitching && eightK) {
        r1 = 108;
        r2 = 576;
    } else {
        int i1 = g.region0Count + 1, i2 = g.region0Count + g.region1Count + 2;
        r1 = bands.longBounds[i1 > 22 ? 22 : i1];
        r2 = bands.longBounds[i2 > 22 ? 22 : i2];
    }
    if (r1 > bigEnd) r1 = bigEnd;
    if (r2 > bigEnd) r2 = bigEnd;
    if (r2 < r1) r2 = r1;

    const uint8_t* p = base + (bitStart >> 3);
    int off = int(bitStart & 7);
    const int bounds[4] = {0, r1, r2, bigEnd};
    static const int8_t kSpec[32] = {-1, 0,  1,  2,  -1, 3,  4,  5,  6,  7,  8,
                                     9,  10, 11, -1, 12, 13, 13, 13, 13, 13, 13,
                                     13, 13, 14, 14, 14, 14, 14, 14, 14, 14};
    for (int r = 0; r < 3; ++r) {
        int n = bounds[r + 1] - bounds[r];
        if (n <= 0) continue;
        int t = g.tableSelect[r];
        if (t == 4 || t == 14) return false;
        if (t == 0) {
            std::memset(c.quant + bounds[r], 0, sizeof(int16_t) * size_t(n));
            continue;
        }
        acHuffmanDecodePairsEscape(&p, &off, s->huff[kSpec[t]], c.quant + bounds[r], n,
                                   kHuffTables[t].linbits);
        // A damaged region may run far: stop reading there; the lines after it are zero.
        if (BitPos(base, p, off) > bitEnd + 4096) {
            bigEnd = bounds[r + 1];
            break;
        }
    }
    int i = bigEnd;
    const AcHuffmanSpec* quad = s->huff[15 + g.count1Table];
    while (i < 576 && BitPos(base, p, off) < bitEnd) {
        int16_t v = 0;
        acHuffmanDecodeQuads(&p, &off, &v, quad);
        int16_t vals[4] = {int16_t((v >> 3) & 1), int16_t((v >> 2) & 1), int16_t((v >> 1) & 1),
                           int16_t(v & 1)};
        for (int k = 0; k < 4; ++k)
            if (vals[k] && ReadBit(p, off)) vals[k] = int16_t(-vals[k]);
        if (BitPos(base, p, off) > bitEnd) break;  // overshoot: drop the quadruple
        for (int k = 0; k < 4 && i + k < 576; ++k) c.quant[i + k] = vals[k];
        i += 4;
    }
    if (i < 576) std::memset(c.quant + i, 0, sizeof(int16_t) * size_t(576 - i));
    int nz = i < 576 ? i : 576;
    while (nz > 0 && c.quant[nz - 1] == 0) --nz;
    c.nonZero = nz;
    return true;
}

void Requantise(State* s, const GranuleChannel& g, Layer3Channel& c) {
    const BandTable& bands = kBands[BandRow(s->header)];
    const int nz = c.nonZero;
    if (nz == 0) {
        std::memset(c.xr, 0, sizeof(float) * 576);
        return;
    }
    acPow43(c.quant, c.xr, nz);
    if (nz < 576) std::memset(c.xr + nz, 0, sizeof(float) * size_t(576 - nz));
    // Exponents in quarter steps, offset so that full scale comes out as 32768.
    const int shift = 2 * (1 + g.scalefacScale);
    int16_t exps[40];
    int bounds[41];
    int nb = 0;
    bounds[0] = 0;
    auto addBand = [&](int end, int exponent) {
        exps[nb] = int16_t(exponent);
        bounds[++nb] = end;
    };
    const int base = g.globalGain;  // offset 150 = 210 - 60 (the 2^15 of full scale)
    if (!IsShort(g)) {
        for (int sfb = 0; sfb < 22 && bands.longBounds[sfb] < nz; ++sfb) {
            int sf = c.scfLong[sfb] + (g.preflag ? kPretab[sfb] : 0);
            addBand(bands.longBounds[sfb + 1], base - shift * sf);
        }
    } else {
        int sfb = 0;
        if (g.mixedBlock) {
            const int longBands = s->header.id == 1 ? 8 : 6;
            for (; sfb < longBands && bands.longBounds[sfb] < nz; ++sfb) {
                int sf = c.scfLong[sfb] + (g.preflag ? kPretab[sfb] : 0);
                addBand(bands.longBounds[sfb + 1], base - shift * sf);
            }
            sfb = 3;
        }
        for (; sfb < 13 && 3 * bands.shortBounds[sfb] < nz; ++sfb) {
            int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
            for (int w = 0; w < 3; ++w)
                addBand(3 * bands.shortBounds[sfb] + (w + 1) * width,
                        base + g.subblockGain[w] - shift * c.scfShort[sfb][w]);
        }
    }
    if (nb == 0) return;
    float factors[40];
    acPow2QuarterStep(exps, 150, factors, nb);
    acScaleBands(c.xr, factors, bounds, nb);
}

void MidSide(float* l, float* r, int from, int to) {
    const float k = 0.70710677f;
    for (int i = from; i < to; ++i) {
        float m = l[i], sd = r[i];
        l[i] = (m + sd) * k;
        r[i] = (m - sd) * k;
    }
}

void IntensityBand(State* s, int from, int to, int pos, int maxPos, int scale) {
    float* l = s->l3[0].xr;
    float* r = s->l3[1].xr;
    const Layer3Constants& k = Constants();
    float kl, kr;
    if (s->header.id == 1) {
        if (pos >= 7) {
            if (s->header.midSide) MidSide(l, r, from, to);
            return;
        }
        kl = k.isRatioL[pos];
        kr = k.isRatioR[pos];
    } else {
        if (pos == maxPos) {
            if (s->header.midSide) MidSide(l, r, from, to);
            return;
        }
        if (pos == 0) {
            kl = kr = 1.0f;
        } else if (pos & 1) {
            kl = k.lsfRatio[scale][(pos + 1) >> 1];
            kr = 1.0f;
        } else {
            kl = 1.0f;
            kr = k.lsfRatio[scale][pos >> 1];
        }
    }
    for (int i = from; i < to; ++i) {
        float v = l[i];
        l[i] = v * kl;
        r[i] = v * kr;
    }
}

// The intensity position of band `sfb` (whose scale factors sit `stride` apart). The last band
// carries no scale factor: it takes the position of the band below. In MPEG-2 it does so only when
// that band is itself intensity-coded; otherwise it is coded with position 0.
void LastBandPosition(const FrameHeader& h, int sfb, int last, int firstIntensity,
                      const int16_t* positions, const int16_t* maxima, int stride, int& pos,
                      int& maxPos) {
    if (sfb < last) {
        pos = positions[sfb * stride];
        maxPos = maxima[sfb];
    } else if (h.id == 1 || firstIntensity < last) {
        pos = positions[(last - 1) * stride];
        maxPos = maxima[last - 1];
    } else {
        pos = 0;
        maxPos = -1;
    }
}

void Stereo(State* s, const GranuleChannel& g, int rightNonZero) {
    const FrameHeader& h = s->header;
    float* l = s->l3[0].xr;
    float* r = s->l3[1].xr;
    const int nz = s->l3[0].nonZero;
    if (!h.intensity) {
        if (h.midSide) MidSide(l, r, 0, nz);
        return;
    }
    const BandTable& bands = kBands[BandRow(h)];
    const Layer3Channel& rc = s->l3[1];
    const int scale = s->side.gr[0][1].scalefacCompress & 1;
    if (!IsShort(g)) {
        int sfb = 0;
        while (sfb < 22 && bands.longBounds[sfb + 1] <= rightNonZero) ++sfb;
        if (sfb < 22 && bands.longBounds[sfb] < rightNonZero) ++sfb;  // band holds right data
        int isStart = sfb < 22 ? bands.longBounds[sfb] : 576;
        if (h.midSide) MidSide(l, r, 0, isStart < nz ? isStart : nz);
        const int firstBand = sfb;
        for (; sfb < 22; ++sfb) {
            int pos, maxPos;
            LastBandPosition(h, sfb, 21, firstBand, rc.scfLong, rc.isMaxLong, 1, pos, maxPos);
            IntensityBand(s, bands.longBounds[sfb], bands.longBounds[sfb + 1], pos, maxPos, scale);
        }
        return;
    }
    // Short blocks: per window, the bands above the right channel's last non-zero line.
    const int firstShort = g.mixedBlock ? 3 : 0;
    int maxStart = firstShort;
    for (int w = 0; w < 3; ++w) {
        int last = -1;  // last short band of window w with right-channel data
        for (int sfb = firstShort; sfb < 13; ++sfb) {
            int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
            int start = 3 * bands.shortBounds[sfb] + w * width;
            for (int i = start; i < start + width; ++i)
                if (rc.xr[i] != 0.0f) {
                    last = sfb;
                    break;
                }
        }
        int isFirst = last + 1 > firstShort ? last + 1 : firstShort;
        if (isFirst > maxStart) maxStart = isFirst;
        for (int sfb = firstShort; sfb < 13; ++sfb) {
            int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
            int start = 3 * bands.shortBounds[sfb] + w * width;
            if (sfb < isFirst) {
                if (h.midSide) MidSide(l, r, start, start + width);
            } else {
                int pos, maxPos;
                LastBandPosition(h, sfb, 12, isFirst, &rc.scfShort[0][w], rc.isMaxShort, 3, pos,
                                 maxPos);
                IntensityBand(s, start, start + width, pos, maxPos, scale);
            }
        }
    }
    if (g.mixedBlock) {
        const int longBands = h.id == 1 ? 8 : 6;
        const int switchLine = 3 * bands.shortBounds[3];
        if (maxStart > 3 || rightNonZero > switchLine) {
            if (h.midSide) MidSide(l, r, 0, switchLine);
        } else {
            int sfb = 0;
            while (sfb < longBands && bands.longBounds[sfb + 1] <= rightNonZero) ++sfb;
            if (sfb < longBands && bands.longBounds[sfb] < rightNonZero) ++sfb;
            if (h.midSide) MidSide(l, r, 0, bands.longBounds[sfb]);
            for (; sfb < longBands; ++sfb)
                IntensityBand(s, bands.longBounds[sfb], bands.longBounds[sfb + 1], rc.scfLong[sfb],
                              rc.isMaxLong[sfb], scale);
        }
    }
}

void Reorder(State* s, const GranuleChannel& g, Layer3Channel& c) {
    const BandTable& bands = kBands[BandRow(s->header)];
    float tmp[576];
    const int first = g.mixedBlock ? 3 : 0;
    int lastWidth = 0;
    for (int sfb = first; sfb < 13; ++sfb) {
        int start = 3 * bands.shortBounds[sfb];
        int width = bands.shortBounds[sfb + 1] - bands.shortBounds[sfb];
        if (start <= c.nonZero) lastWidth = width;
        if (start >= c.nonZero) break;
        for (int i = 0; i < width; ++i)
            for (int w = 0; w < 3; ++w) tmp[start + 3 * i + w] = c.xr[start + w * width + i];
        std::memcpy(c.xr + start, tmp + start, sizeof(float) * size_t(3 * width));
    }
    int nz = c.nonZero + 3 * lastWidth;
    c.nonZero = nz > 576 ? 576 : nz;
}

// The butterflies at the subband boundaries below the last non-zero line, at most `boundaries`
// of them (a mixed block has one, between its two long subbands).
void AliasReduce(Layer3Channel& c, int boundaries = 31) {
    int limit = c.nonZero - 10;
    if (limit > 558) limit = 558;
    if (limit > 0) {
        const Layer3Constants& k = Constants();
        int count = (limit + 17) / 18;
        if (count > boundaries) count = boundaries;
        for (int sb = 1; sb <= count && sb < 32; ++sb) {
            float* lo = c.xr + 18 * sb - 1;
            float* hi = c.xr + 18 * sb;
            // Through copies, so that the compiler sees the two sides apart and vectorises.
            float a[8], b[8], outLo[8], outHi[8];
            for (int i = 0; i < 8; ++i) {
                a[i] = lo[-i];
                b[i] = hi[i];
            }
            for (int i = 0; i < 8; ++i) {
                outLo[i] = a[i] * k.cs[i] - b[i] * k.ca[i];
                outHi[i] = b[i] * k.cs[i] + a[i] * k.ca[i];
            }
            for (int i = 0; i < 8; ++i) {
                lo[-i] = outLo[i];
                hi[i] = outHi[i];
            }
        }
    }
    int nz = c.nonZero + 14;
    c.nonZero = nz > 576 ? 576 : nz;
}

// IMDCT, windowing, overlap, frequency inversion and transposition into time slots.
void Imdct(State* s, const GranuleChannel& g, Layer3Channel& c, float* slots) {
    int active = ((c.nonZero + 26) * 3641) >> 16;
    if (active > 32) active = 32;
    int processed = active > c.prevSubbands ? active : c.prevSubbands;
    c.prevSubbands = active;
    float time[18];
    std::memset(slots, 0, sizeof(float) * 576);
    auto blockType = [&g](int sb) {
        return g.mixedBlock && sb < 2 ? 0 : g.windowSwitching ? g.blockType : 0;
    };
    // The long transforms first, all of them: the windowing reads their outputs with wider loads
    // than the transform's stores, which stalls when it follows each transform directly.
    float longOut[32][36];
    for (int sb = 0; sb < active; ++sb)
        if (blockType(sb) != 2) acInverseMdct(c.xr + 18 * sb, longOut[sb], s->mdct36, s->mdctWork);
    for (int sb = 0; sb < processed; ++sb) {
        float* ov = c.overlap[sb];
        const int bt = blockType(sb);
        if (sb >= active) {
            std::memcpy(time, ov, sizeof(time));
            std::memset(ov, 0, sizeof(float) * 18);
        } else if (bt != 2) {
            const float* y = longOut[sb];
            const float* win = s->window[bt];
            for (int i = 0; i < 18; ++i) {
                time[i] = y[i] * win[i] + ov[i];
                ov[i] = y[18 + i] * win[18 + i];
            }
        } else {
            float y[3][12];
            for (int w = 0; w < 3; ++w) {
                float in[6];
                for (int k = 0; k < 6; ++k) in[k] = c.xr[18 * sb + 3 * k + w];
                acInverseMdct(in, y[w], s->mdct12, s->mdctWork);
                for (int i = 0; i < 12; ++i) y[w][i] *= s->window[2][i];
            }
            for (int i = 0; i < 6; ++i) {
                time[i] = ov[i];
                time[6 + i] = ov[6 + i] + y[0][i];
                time[12 + i] = ov[12 + i] + y[0][6 + i] + y[1][i];
                ov[i] = y[1][6 + i] + y[2][i];
                ov[6 + i] = y[2][6 + i];
                ov[12 + i] = 0.0f;
            }
        }
        if (sb & 1)
            for (int i = 1; i < 18; i += 2) time[i] = -time[i];
        for (int i = 0; i < 18; ++i) slots[32 * i + sb] = time[i];
    }
}

}  // namespace

void InitLayer3Tables(State* s) {
    for (int i = 0; i < 36; ++i) {
        double longWin = std::sin(kPi / 36.0 * (i + 0.5));
        s->window[0][i] = float(longWin * 18.0);
        double start, stop;
        if (i < 18)
            start = longWin;
        else if (i < 24)
            start = 1.0;
        else if (i < 30)
            start = std::sin(kPi / 12.0 * (i - 18 + 0.5));
        else
            start = 0.0;
        if (i < 6)
            stop = 0.0;
        else if (i < 12)
            stop = std::sin(kPi / 12.0 * (i - 6 + 0.5));
        else if (i < 18)
            stop = 1.0;
        else
            stop = longWin;
        s->window[1][i] = float(start * 18.0);
        s->window[3][i] = float(stop * 18.0);
        s->window[2][i] = float(std::sin(kPi / 12.0 * ((i % 12) + 0.5)) * 6.0);
    }
}

int DecodeLayer3(State* s, const uint8_t* frame, size_t length) {
    const FrameHeader& h = s->header;
    const int channels = h.channels;
    int sideBytes = ReadSideInfo(s, frame, length);
    if (sideBytes < 0) return -1;
    const size_t mainStartInFrame = 4 + (h.crcPresent ? 2 : 0) + size_t(sideBytes);
    const size_t mainLength = length - mainStartInFrame;
    if (mainLength > size_t(kReservoirSize)) return -1;

    // Reservoir: compact when needed, then append this frame's main data.
    const int mdb = s->side.mainDataBegin;
    int fill = s->reservoirFill;
    if (size_t(fill) + mainLength > size_t(kReservoirSize)) {
        int keepFrom = fill - mdb;
        if (keepFrom < 0) keepFrom = 0;
        keepFrom &= ~3;
        std::memmove(s->reservoir, s->reservoir + keepFrom, size_t(fill - keepFrom));
        fill -= keepFrom;
        if (size_t(fill) + mainLength > size_t(kReservoirSize)) fill = 0;
    }
    const bool haveMainData = mdb <= fill;
    const int mainStart = fill - mdb;
    std::memcpy(s->reservoir + fill, frame + mainStartInFrame, mainLength);
    fill += int(mainLength);
    s->reservoirFill = fill;
    std::memset(s->reservoir + fill, 0, 8);
    if (!haveMainData) return -1;

    const int granules = h.id == 1 ? 2 : 1;
    const size_t bitsAvailable = size_t(fill) * 8;
    size_t bitPos = size_t(mainStart) * 8;
    float slots[576];
    for (int gr = 0; gr < granules; ++gr) {
        int rightNonZero = 0;
        for (int ch = 0; ch < channels; ++ch) {
            const GranuleChannel& g = s->side.gr[gr][ch];
            Layer3Channel& c = s->l3[ch];
            if (bitPos + size_t(g.part23Length) > bitsAvailable) return kUndecodableFrame;
            const size_t end = bitPos + size_t(g.part23Length);
            BitReader br;
            br.Set(s->reservoir, size_t(fill), bitPos);
            GranuleChannel gc = g;
            if (h.id == 1) {
                ReadScalefactorsMpeg1(s, br, gr, ch);
            } else {
                gc.preflag = ReadScalefactorsMpeg2(s, br, ch);
            }
            if (br.pos > end) {
                // Scale factors alone overrun the granule: nothing else can be trusted.
                std::memset(c.quant, 0, sizeof(c.quant));
                c.nonZero = 0;
            } else if (!DecodeHuffman(s, gc, c, s->reservoir, br.pos, end)) {
                return kUndecodableFrame;
            }
            s->side.gr[gr][ch].preflag = gc.preflag;
            if (ch == 1) rightNonZero = c.nonZero;
            Requantise(s, gc, c);
            bitPos = end;
        }
        const GranuleChannel& g0 = s->side.gr[gr][0];
        if (channels == 2 && h.mode == 1 && h.modeExtension != 0) {
            int nz = s->l3[0].nonZero > s->l3[1].nonZero ? s->l3[0].nonZero : s->l3[1].nonZero;
            s->l3[0].nonZero = s->l3[1].nonZero = nz;
            Stereo(s, g0, rightNonZero);
        }
        for (int ch = 0; ch < channels; ++ch) {
            const GranuleChannel& g = s->side.gr[gr][ch];
            Layer3Channel& c = s->l3[ch];
            if (IsShort(g)) {
                Reorder(s, g, c);
                if (g.mixedBlock) AliasReduce(c, 1);
            } else {
                AliasReduce(c);
            }
            Imdct(s, g, c, slots);
            Synthesise(s, slots, s->pcm[ch] + 576 * gr, ch, 18);
        }
    }
    return kFrameDecoded;
}

}  // namespace mpa
}  // namespace UMC
