// Layers I and II: allocation, scale factors, requantisation and synthesis.
#include <cstring>

#include "SDKs/CodecFramework/mpegaudio/MpaState.h"
#include "SDKs/CodecFramework/mpegaudio/MpaTables.h"

namespace UMC {
namespace mpa {

namespace {

// Per quantisation class: value = (code * mul + add) * scale factor, which is
// C * ((code - 2^(nb-1)) / 2^(nb-1) + D) * 32768 for the class's nb bits per sample. Grouped
// classes split their code words through a table of every code word the field can hold (values
// beyond steps^3 included, split the same way), with the three fractions worked out already.
struct Requant {
    struct Group {
        float frac[3];
    };
    float mul[17];
    float add[17];
    const Group* groups[17] = {};  // grouped classes only
    Group storage[(1 << 5) + (1 << 7) + (1 << 10)];
    Requant() {
        Group* next = storage;
        for (int i = 0; i < 17; ++i) {
            const QuantClass& q = kQuantClasses[i];
            int nb = q.grouped ? (q.steps == 3 ? 2 : q.steps == 5 ? 3 : 4) : q.bits;
            double half = double(1 << (nb - 1));
            mul[i] = float(double(q.c) * 32768.0 / half);
            add[i] = float(double(q.c) * (double(q.d) - 1.0) * 32768.0);
            if (!q.grouped) continue;
            groups[i] = next;
            for (int word = 0; word < (1 << q.bits); ++word, ++next) {
                int c = word;
                for (int k = 0; k < 3; ++k) {
                    next->frac[k] = float(c % q.steps) * mul[i] + add[i];
                    c /= q.steps;
                }
            }
        }
    }
};
const Requant& Requantiser() {
    static const Requant r;
    return r;
}

void Finish(State* s, int slots) {
    for (int ch = 0; ch < s->header.channels; ++ch)
        Synthesise(s, s->subbandSamples[ch], s->pcm[ch], ch, slots);
}

}  // namespace

int DecodeLayer1(State* s, const uint8_t* frame, size_t length) {
    const int channels = s->header.channels;
    const int jsbound = channels == 2 ? s->jsbound : 32;
    CachedBitReader br(frame, length, s->header.crcPresent ? 48 : 32);

    for (int sb = 0; sb < 32; ++sb) {
        if (sb < jsbound) {
            for (int ch = 0; ch < channels; ++ch) s->allocation[ch][sb] = int16_t(br.Get(4));
        } else {
            int16_t a = int16_t(br.Get(4));
            s->allocation[0][sb] = s->allocation[1][sb] = a;
        }
    }
    // 15 is forbidden; such a subband carries nothing we can use.
    for (int ch = 0; ch < channels; ++ch)
        for (int sb = 0; sb < 32; ++sb)
            if (s->allocation[ch][sb] == 15) s->allocation[ch][sb] = 0;
    for (int sb = 0; sb < 32; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            s->scaleIndex[ch][sb][0] = s->allocation[ch][sb] ? uint8_t(br.Get(6)) : 63;

    const size_t endBits = length * 8;
    for (int blk = 0; blk < 12; ++blk) {
        if (br.Pos() >= endBits) {
            for (int ch = 0; ch < channels; ++ch)
                std::memset(s->subbandSamples[ch] + 32 * blk, 0, sizeof(float) * 32 * (12 - blk));
            break;
        }
        for (int sb = 0; sb < 32; ++sb) {
            if (sb < jsbound) {
                for (int ch = 0; ch < channels; ++ch) {
                    int a = s->allocation[ch][sb];
                    float v = 0.0f;
                    if (a) {
                        int nb = a + 1;
                        int code = int(br.Get(nb));
                        float frac =
                            float(code - (1 << (nb - 1)) + 1) * (2.0f / float((1 << nb) - 1));
                        v = frac * 32768.0f * kScaleFactors[s->scaleIndex[ch][sb][0]];
                    }
                    s->subbandSamples[ch][32 * blk + sb] = v;
                }
            } else {
                int a = s->allocation[0][sb];
                float frac = 0.0f;
                if (a) {
                    int nb = a + 1;
                    int code = int(br.Get(nb));
                    frac = float(code - (1 << (nb - 1)) + 1) * (2.0f / float((1 << nb) - 1));
                }
                for (int ch = 0; ch < channels; ++ch)
                    s->subbandSamples[ch][32 * blk + sb] =
                        a ? frac * 32768.0f * kScaleFactors[s->scaleIndex[ch][sb][0]] : 0.0f;
            }
        }
    }
    s->reader.Set(frame, length, br.Pos());
    Finish(s, 12);
    return kFrameDecoded;
}

// Free-format streams made by relabelling a fixed-rate stream keep the protection words computed
// over the old header: accepted when the header with the bit rate index of the frame's measured
// rate gives the word (a damaged frame still fails).
bool FreeFormatCrcMatches(const FrameHeader& h, const uint8_t* frame, size_t length, size_t bits,
                          uint16_t read) {
    if (h.bitrateIndex != 0 || length <= size_t(h.paddingBit)) return false;
    const int hz = SampleRate(h);
    // Lengths are rounded down from the rate (44.1 kHz): the nearest rate is the one.
    const int kbps =
        int((uint64_t(length - size_t(h.paddingBit)) * uint64_t(hz) + 72000u) / 144000u);
    const int16_t* rates = kBitrates[3 * h.id + 1];
    for (int index = 1; index < 15; ++index) {
        if (rates[index] != kbps) continue;
        const uint8_t header[2] = {uint8_t((frame[2] & 0x0F) | (index << 4)), frame[3]};
        return Crc16Bits(Crc16Bits(0xFFFF, header, 0, 16), frame, 48, bits) == read;
    }
    return false;
}

int DecodeLayer2(State* s, const uint8_t* frame, size_t length) {
    const int channels = s->header.channels;
    if (s->allocTable < 0) {
        // No allocation table for this bit rate: the frame carries nothing we can decode.
        for (int ch = 0; ch < channels; ++ch) std::memset(s->pcm[ch], 0, sizeof(s->pcm[ch]));
        return kFrameDecoded;
    }
    const AllocTable& tab = Layer2Table(s->allocTable);
    const int sblimit = tab.sblimit;
    const int jsbound = channels == 2 ? s->jsbound : sblimit;
    const size_t start = s->header.crcPresent ? 48 : 32;
    CachedBitReader br(frame, length, start);

    for (int sb = 0; sb < sblimit; ++sb) {
        int nbal = tab.nbal[sb];
        if (sb < jsbound) {
            for (int ch = 0; ch < channels; ++ch) s->allocation[ch][sb] = int16_t(br.Get(nbal));
        } else {
            int16_t a = int16_t(br.Get(nbal));
            s->allocation[0][sb] = s->allocation[1][sb] = a;
        }
    }
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch)
            s->scfsi[ch][sb] = s->allocation[ch][sb] ? uint8_t(br.Get(2)) : 0;
    if (s->header.crcPresent) {
        const size_t bits = br.Pos() - start;
        if (br.Pos() > length * 8) return -1;
        uint16_t crc = Crc16Bits(0xFFFF, frame, 16, 16);
        crc = Crc16Bits(crc, frame, 48, bits);
        uint16_t read = uint16_t((frame[4] << 8) | frame[5]);
        s->header.crcRead = read;
        s->header.crcComputed = crc;
        if (crc != read && !FreeFormatCrcMatches(s->header, frame, length, bits, read))
            return -1;  // damaged allocation or selection: the frame is discarded
    }
    for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < channels; ++ch) {
            uint8_t* sf = s->scaleIndex[ch][sb];
            if (!s->allocation[ch][sb]) {
                sf[0] = sf[1] = sf[2] = 63;
                continue;
            }
            switch (s->scfsi[ch][sb]) {
                case 0:
                    sf[0] = uint8_t(br.Get(6));
                    sf[1] = uint8_t(br.Get(6));
                    sf[2] = uint8_t(br.Get(6));
                    break;
                case 1:
                    sf[0] = sf[1] = uint8_t(br.Get(6));
                    sf[2] = uint8_t(br.Get(6));
                    break;
                case 2:
                    sf[0] = sf[1] = sf[2] = uint8_t(br.Get(6));
                    break;
                default:
                    sf[0] = uint8_t(br.Get(6));
                    sf[1] = sf[2] = uint8_t(br.Get(6));
                    break;
            }
        }

    // Per subband and coded channel what the sample loop needs, gathered first so that the loop
    // reads only locals (its stores into the state could alias the state's byte arrays). Above
    // jsbound one code serves both channels, each with its own scale factors.
    struct Coded {
        const Requant::Group* groups;  // grouped classes
        float mul, add;                // the others
        int32_t bits;
        int32_t outputs;  // 1, or 2 above jsbound in stereo
        float* dst[2];
        float scale[2][3];
    };
    const Requant& rq = Requantiser();
    Coded coded[64];
    int count = 0;
    for (int sb = 0; sb < sblimit; ++sb) {
        const int nch = sb < jsbound ? channels : 1;
        for (int ch = 0; ch < nch; ++ch) {
            const int a = s->allocation[ch][sb];
            const int k = a ? tab.cls[sb][a] : -1;
            if (k < 0) continue;  // its samples stay 0
            Coded& d = coded[count++];
            d.groups = rq.groups[k];
            d.mul = rq.mul[k];
            d.add = rq.add[k];
            d.bits = kQuantClasses[k].bits;
            d.outputs = sb >= jsbound && channels == 2 ? 2 : 1;
            for (int o = 0; o < d.outputs; ++o) {
                const int c = ch + o;
                d.dst[o] = s->subbandSamples[c] + sb;
                for (int part = 0; part < 3; ++part)
                    d.scale[o][part] = kScaleFactors[s->scaleIndex[c][sb][part]];
            }
        }
    }
    for (int ch = 0; ch < channels; ++ch)
        std::memset(s->subbandSamples[ch], 0, sizeof(s->subbandSamples[ch]));
    for (int gr = 0; gr < 12; ++gr) {
        const int part = gr >> 2, offset = 96 * gr;
        for (int n = 0; n < count; ++n) {
            const Coded& d = coded[n];
            // One fill covers the entry (at most three 16-bit codes): no test per code.
            br.Fill();
            float f0, f1, f2;
            if (d.groups) {
                const Requant::Group& g = d.groups[br.Take(d.bits)];
                f0 = g.frac[0];
                f1 = g.frac[1];
                f2 = g.frac[2];
            } else {
                f0 = float(br.Take(d.bits)) * d.mul + d.add;
                f1 = float(br.Take(d.bits)) * d.mul + d.add;
                f2 = float(br.Take(d.bits)) * d.mul + d.add;
            }
            for (int o = 0; o < d.outputs; ++o) {
                float* dst = d.dst[o] + offset;
                const float scale = d.scale[o][part];
                dst[0] = f0 * scale;
                dst[32] = f1 * scale;
                dst[64] = f2 * scale;
            }
        }
    }
    s->reader.Set(frame, length, br.Pos());
    Finish(s, 36);
    return kFrameDecoded;
}

}  // namespace mpa
}  // namespace UMC
