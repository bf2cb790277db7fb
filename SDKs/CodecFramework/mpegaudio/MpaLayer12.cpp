// Layers I and II: allocation, scale factors, requantisation and synthesis.
#include <cstring>

#include "SDKs/CodecFramework/mpegaudio/MpaState.h"
#include "SDKs/CodecFramework/mpegaudio/MpaTables.h"

namespace UMC {
namespace mpa {

namespace {

// Per quantisation class: value = (code * mul + add) * scale factor, which is
// C * ((code - 2^(nb-1)) / 2^(nb-1) + D) * 32768 for the class's nb bits per sample.
struct Requant {
    float mul[17];
    float add[17];
    int sampleBits[17];  // bits of one ungrouped sample (grouped classes: its nb for the formula)
    Requant() {
        for (int i = 0; i < 17; ++i) {
            const QuantClass& q = kQuantClasses[i];
            int nb = q.grouped ? (q.steps == 3 ? 2 : q.steps == 5 ? 3 : 4) : q.bits;
            double half = double(1 << (nb - 1));
            mul[i] = float(double(q.c) * 32768.0 / half);
            add[i] = float(double(q.c) * (double(q.d) - 1.0) * 32768.0);
            sampleBits[i] = nb;
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
    BitReader& br = s->reader;
    br.Set(frame, length, s->header.crcPresent ? 48 : 32);

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

    for (int blk = 0; blk < 12; ++blk) {
        if (br.Overrun() || br.BitsLeft() == 0) {
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
                        s->quantised[ch][32 * blk + sb] = code;
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
    BitReader& br = s->reader;
    br.Set(frame, length, start);

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
        size_t bits = br.pos - start;
        if (br.Overrun()) return -1;
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

    const Requant& rq = Requantiser();
    for (int gr = 0; gr < 12; ++gr) {
        const int part = gr >> 2;
        for (int sb = 0; sb < sblimit; ++sb) {
            const int nch = sb < jsbound ? channels : 1;
            for (int ch = 0; ch < nch; ++ch) {
                int a = s->allocation[ch][sb];
                int codes[3] = {0, 0, 0};
                int cls = a ? tab.cls[sb][a] : -1;
                if (cls >= 0) {
                    const QuantClass& q = kQuantClasses[cls];
                    if (q.grouped) {
                        int c = int(br.Get(q.bits));
                        for (int i = 0; i < 3; ++i) {
                            codes[i] = c % q.steps;
                            c /= q.steps;
                        }
                    } else {
                        for (int i = 0; i < 3; ++i) codes[i] = int(br.Get(q.bits));
                    }
                }
                const int first = ch, last = sb < jsbound ? ch : channels - 1;
                for (int c = first; c <= last; ++c) {
                    float* dst = s->subbandSamples[c] + 96 * gr + sb;
                    if (cls < 0) {
                        dst[0] = dst[32] = dst[64] = 0.0f;
                        continue;
                    }
                    float scale = kScaleFactors[s->scaleIndex[c][sb][part]];
                    for (int i = 0; i < 3; ++i) {
                        s->quantised[c][96 * gr + 32 * i + sb] = codes[i];
                        dst[32 * i] = (float(codes[i]) * rq.mul[cls] + rq.add[cls]) * scale;
                    }
                }
            }
        }
        for (int ch = 0; ch < channels; ++ch)
            for (int i = 0; i < 3; ++i)
                for (int sb = sblimit; sb < 32; ++sb)
                    s->subbandSamples[ch][96 * gr + 32 * i + sb] = 0.0f;
    }
    Finish(s, 36);
    return kFrameDecoded;
}

}  // namespace mpa
}  // namespace UMC
