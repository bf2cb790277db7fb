// State layout, synchronisation, header validation, frame lengths, CRC and output of the MPEG
// audio decoder.
#include <cstring>

#include "SDKs/CodecFramework/mpegaudio/MpaState.h"
#include "SDKs/CodecFramework/mpegaudio/MpaTables.h"
#include "primitives/Signal.h"

namespace UMC {
namespace mpa {

namespace {

// Code lists for the Huffman kernels, built once from the code tables.
struct CodeLists {
    // index: 0..14 pair tables 1,2,3,5,6,7,8,9,10,11,12,13,15,16(-23),24(-31); 15, 16 count1 A, B.
    AcHuffmanCode lists[kHuffSpecs][257];
    CodeLists() {
        static const int kPairTables[14] = {1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 15, 16};
        int slot = 0;
        for (int t : kPairTables) Fill(lists[slot++], kHuffTables[t]);
        Fill(lists[slot++], kHuffTables[24]);
        for (int q = 0; q < 2; ++q) {
            for (int i = 0; i < 16; ++i) lists[slot][i] = {kQuadCodes[q][i], kQuadLengths[q][i], i};
            lists[slot][16] = {0, 0, 0};
            ++slot;
        }
    }
    static void Fill(AcHuffmanCode* out, const HuffTable& t) {
        int n = 0;
        for (int x = 0; x < t.size; ++x)
            for (int y = 0; y < t.size; ++y, ++n) out[n] = {t.codes[n], t.lengths[n], (x << 4) | y};
        out[n] = {0, 0, 0};
    }
};

const CodeLists& Lists() {
    static const CodeLists lists;
    return lists;
}

size_t Align32(size_t v) {
    return (v + 31) & ~size_t(31);
}

FrameHeader ParseHeader(uint32_t h) {
    FrameHeader f{};
    f.id = int32_t((h >> 19) & 1);
    f.mpeg25 = ((h >> 20) & 1) ? 0 : 2;
    f.layer = 4 - int32_t((h >> 17) & 3);
    f.crcPresent = ((h >> 16) & 1) ? 0 : 1;
    f.bitrateIndex = int32_t((h >> 12) & 15);
    f.samplingIndex = int32_t((h >> 10) & 3);
    f.paddingBit = int32_t((h >> 9) & 1);
    f.privateBit = int32_t((h >> 8) & 1);
    f.mode = int32_t((h >> 6) & 3);
    f.modeExtension = int32_t((h >> 4) & 3);
    f.copyright = int32_t((h >> 3) & 1);
    f.original = int32_t((h >> 2) & 1);
    f.emphasis = int32_t(h & 3);
    f.channels = f.mode == 3 ? 1 : 2;
    return f;
}

bool Acceptable(const State* s, const FrameHeader& f) {
    if (f.samplingIndex == 3 || f.bitrateIndex == 15 || f.emphasis == 2) return false;
    if (!s->synchronised) return f.layer != 4 && !(f.id == 1 && f.mpeg25 == 2);
    return f.samplingIndex == s->saved.samplingIndex && f.layer == s->saved.layer &&
           f.id == s->saved.id && f.mpeg25 == s->savedMpeg25;
}

// Frame length in bytes for a bitrate index other than 0.
size_t FrameLength(const FrameHeader& f) {
    int kbps = BitrateKbps(f);
    int hz = SampleRate(f);
    if (f.layer == 1) return size_t((12000 * kbps / hz + f.paddingBit) * 4);
    if (f.layer == 2 || f.id == 1) return size_t(144000 * kbps / hz + f.paddingBit);
    return size_t(72000 * kbps / hz + f.paddingBit);
}

int JointBound(const FrameHeader& f) {
    return f.mode == 1 ? 4 * f.modeExtension + 4 : 32;
}

// Bits after the CRC word covered by the CRC that the search checks (layers I and III).
size_t SearchCrcBits(const FrameHeader& f) {
    if (f.layer == 1) {
        int jsb = JointBound(f);
        return size_t(4 * (f.channels * jsb + (32 - jsb)));
    }
    if (f.id == 1) return f.channels == 1 ? 136 : 256;
    return f.channels == 1 ? 72 : 136;
}

uint16_t FrameCrc(const uint8_t* frame, size_t bits) {
    uint16_t crc = Crc16Bits(0xFFFF, frame, 16, 16);
    return Crc16Bits(crc, frame, 48, bits);
}

size_t Id3Length(const uint8_t* d) {
    if (d[0] != 'I' || d[1] != 'D' || d[2] != '3') return 0;
    if (d[3] == 255 || d[4] == 255) return 0;
    if ((d[6] | d[7] | d[8] | d[9]) & 0x80) return 0;
    return 10 + ((size_t(d[6]) << 21) | (size_t(d[7]) << 14) | (size_t(d[8]) << 7) | d[9]);
}

// Free format: the bit rate follows from the measured frame length, so that the table matches
// what the encoder used.
void SelectLayer2Table(State* s, const FrameHeader& f, size_t length) {
    s->sblimit = 0;
    s->allocTable = -1;
    if (f.id == 0) {
        s->allocTable = 4;
    } else {
        int hz = SampleRate(f);
        int kbps = BitrateKbps(f);
        if (f.bitrateIndex == 0)
            kbps = int((uint64_t(length - size_t(f.paddingBit)) * 8u * uint64_t(hz)) /
                       (1152u * 1000u));
        int perChannel = kbps / (f.channels == 2 ? 2 : 1);
        if (perChannel < 49)
            s->allocTable = hz == 32000 ? 3 : 2;
        else if (perChannel > 192)
            s->allocTable = -1;
        else if (perChannel > 80 && hz != 48000)
            s->allocTable = 1;
        else
            s->allocTable = 0;
    }
    if (s->allocTable >= 0) {
        s->sblimit = Layer2Table(s->allocTable).sblimit;
        s->nbalColumns = 16;
    }
}

void InitSynthesis(State* s) {
    for (int i = 0; i < kSynthesisStates; ++i) {
        AcSynthesisState* st = nullptr;
        acSynthesisInit(&st, reinterpret_cast<uint8_t*>(s->synthesis[i]));
        s->synthesis[i] = st;
    }
}

}  // namespace

int SampleRate(const FrameHeader& h) {
    return kSampleRates[h.id + h.mpeg25][h.samplingIndex];
}
int SamplesPerFrame(const FrameHeader& h) {
    return kSamplesPerFrame[h.id][h.layer - 1];
}
int BitrateKbps(const FrameHeader& h) {
    return kBitrates[3 * h.id + h.layer - 1][h.bitrateIndex];
}

int StateInit(uint8_t* memory, size_t* size) {
    int synthSize = 0;
    acSynthesisGetStateSize(&synthSize);
    int spec36 = 0, init36 = 0, work36 = 0, spec12 = 0, init12 = 0, work12 = 0;
    if (acMdctGetSizes(36, &spec36, &init36, &work36) != 0 ||
        acMdctGetSizes(12, &spec12, &init12, &work12) != 0)
        return kUnsupported;
    const CodeLists& lists = Lists();
    int huffSizes[kHuffSpecs];
    for (int i = 0; i < kHuffSpecs; ++i)
        if (acHuffmanGetSpecSize(lists.lists[i], &huffSizes[i]) != 0) return kUnsupported;

    size_t offset = Align32(sizeof(State));
    size_t synthOffset = offset;
    offset += Align32(size_t(synthSize)) * kSynthesisStates;
    size_t mdct36Offset = offset;
    offset += Align32(size_t(spec36));
    size_t mdct12Offset = offset;
    offset += Align32(size_t(spec12));
    size_t workOffset = offset;
    offset += Align32(size_t(work36 > work12 ? work36 : work12) + 32);
    size_t initOffset = offset;
    offset += Align32(size_t(init36 > init12 ? init36 : init12) + 32);
    size_t huffOffset[kHuffSpecs];
    for (int i = 0; i < kHuffSpecs; ++i) {
        huffOffset[i] = offset;
        offset += Align32(size_t(huffSizes[i]));
    }
    *size = offset;
    if (!memory) return kFrameDecoded;

    std::memset(memory, 0, offset);
    State* s = reinterpret_cast<State*>(memory);
    for (int i = 0; i < kSynthesisStates; ++i)
        s->synthesis[i] = reinterpret_cast<AcSynthesisState*>(
            memory + synthOffset + Align32(size_t(synthSize)) * size_t(i));
    InitSynthesis(s);
    uint8_t* initBuffer = (init36 > 0 || init12 > 0) ? memory + initOffset : nullptr;
    if (acMdctInit(&s->mdct36, 36, memory + mdct36Offset, initBuffer) != 0 ||
        acMdctInit(&s->mdct12, 12, memory + mdct12Offset, initBuffer) != 0)
        return kUnsupported;
    s->mdctWork = (work36 > 0 || work12 > 0) ? memory + workOffset : nullptr;
    for (int i = 0; i < kHuffSpecs; ++i)
        if (acHuffmanInitSpec(lists.lists[i], &s->huff[i], memory + huffOffset[i]) != 0)
            return kUnsupported;
    InitLayer3Tables(s);
    s->id3Pending = -1;
    s->allocTable = -1;
    return kFrameDecoded;
}

void StateRebase(State* s, ptrdiff_t delta) {
    for (auto& p : s->synthesis) RebasePointer(p, delta);
    RebasePointer(s->mdct36, delta);
    RebasePointer(s->mdct12, delta);
    RebasePointer(s->mdctWork, delta);
    for (auto& p : s->huff) RebasePointer(p, delta);
    s->reader = BitReader();
    s->savedReader = BitReader();
}

void StateReset(State* s) {
    std::memset(&s->header, 0, sizeof(s->header));
    s->reader = BitReader();
    s->savedReader = BitReader();
    s->reservoirFill = 0;
    for (auto& ch : s->l3) {
        std::memset(ch.overlap, 0, sizeof(ch.overlap));
        ch.prevSubbands = 0;
        ch.nonZero = 0;
    }
    s->framesDecoded = 0;
    s->id3Pending = -1;
    s->streamPosition = 0;
    InitSynthesis(s);
}

void Synthesise(State* s, const float* subbands, float* pcm, int channel, int slots) {
    AcSynthesisState* st = s->synthesis[channel];
    for (int t = 0; t < slots; ++t) acSynthesis32(subbands + 32 * t, pcm + 32 * t, st, 1);
}

int DecodeFrame(State* s, const uint8_t* in, size_t size, int16_t* out, size_t outSamples,
                int checkNextHeader, size_t* consumed) {
    *consumed = 0;
    size_t pos = 0;
    // An ID3v2 tag in front of the first frame.
    if (s->id3Pending <= 0 && !s->synchronised) {
        if (size < 10) return kNeedMoreData;
        size_t tag = Id3Length(in);
        if (tag) s->id3Pending = int32_t(tag > 0x7FFFFFFF ? 0x7FFFFFFF : tag);
    }
    if (s->id3Pending > 0) {
        size_t n = size < size_t(s->id3Pending) ? size : size_t(s->id3Pending);
        pos = n;
        s->id3Pending -= int32_t(n);
        s->streamPosition += n;
        if (s->id3Pending > 0) {
            *consumed = pos;
            return kNeedMoreData;
        }
        s->id3Pending = -1;
    }

    for (size_t p = pos; p + 4 <= size; ++p) {
        if (in[p] != 0xFF || (in[p + 1] & 0xE0) != 0xE0) continue;
        uint32_t word = LoadBE32(in + p);
        FrameHeader f = ParseHeader(word);
        if (!Acceptable(s, f)) continue;
        const bool needNext = !(s->synchronised && !checkNextHeader);
        size_t length;
        if (f.bitrateIndex == 0) {
            if (s->lastBitrateIndex != 0) {
                s->header = f;
                s->header.payloadLength = 0;
                *consumed = p + 1;
                s->streamPosition += p + 1;
                return kUndecodableFrame;
            }
            const size_t unit = f.layer == 1 ? 4 : 1;
            const uint32_t mask = 0xFFFEFC00u;
            length = 0;
            if (s->freeFormatLength > 0) {
                // The length measured before, unless the header it points at disagrees.
                length = size_t(s->freeFormatLength) + unit * size_t(f.paddingBit);
                const size_t q = p + length;
                if (q + 3 <= size) {
                    uint32_t next = (uint32_t(in[q]) << 24) | (uint32_t(in[q + 1]) << 16) |
                                    (uint32_t(in[q + 2]) << 8);
                    if ((next & mask) != (word & mask)) length = 0;
                }
            }
            if (!length) {
                for (size_t q = p + 4; q + 3 <= size; ++q) {
                    uint32_t next = (uint32_t(in[q]) << 24) | (uint32_t(in[q + 1]) << 16) |
                                    (uint32_t(in[q + 2]) << 8);
                    if ((next & mask) == (word & mask)) {
                        length = q - p;
                        break;
                    }
                }
                if (!length) {
                    if (size - p < 1800 + 4) {
                        *consumed = p;
                        s->streamPosition += p;
                        return kNeedMoreData;
                    }
                    continue;
                }
                if (length > unit * size_t(f.paddingBit))
                    s->freeFormatLength = int32_t(length - unit * size_t(f.paddingBit));
            }
        } else {
            length = FrameLength(f);
        }
        if (length < 4 + (f.crcPresent ? 2u : 0u)) continue;
        if (p + length + (needNext ? 3 : 0) > size) {
            *consumed = p;
            s->streamPosition += p;
            return kNeedMoreData;
        }
        if (needNext) {
            const uint8_t* n = in + p + length;
            uint32_t next = (uint32_t(n[0]) << 24) | (uint32_t(n[1]) << 16) | (uint32_t(n[2]) << 8);
            const uint32_t mask = 0xFFFE0C00u;
            if ((next & mask) != (word & mask)) continue;
        }
        if (f.crcPresent && f.layer != 2) {
            size_t bits = SearchCrcBits(f);
            if (6 + (bits + 7) / 8 > length) continue;
            uint16_t crc = FrameCrc(in + p, bits);
            uint16_t read = uint16_t((in[p + 4] << 8) | in[p + 5]);
            if (crc != read) continue;
            f.crcRead = read;
            f.crcComputed = crc;
        }

        // Accepted.
        f.payloadLength = int32_t(length - 4);
        if (f.mode == 1) {
            f.intensity = f.modeExtension & 1;
            f.midSide = (f.modeExtension >> 1) & 1;
        }
        s->header = f;
        s->lastBitrateIndex = f.bitrateIndex;
        s->jsbound = JointBound(f);
        if (f.layer == 2) {
            SelectLayer2Table(s, f, length);
            if (s->jsbound > s->sblimit) s->jsbound = s->sblimit;
        }
        ++s->framesDecoded;
        const int spf = SamplesPerFrame(f);
        const size_t needed = size_t(spf) * size_t(f.channels);
        if (outSamples < needed) {
            *consumed = p + length;
            s->streamPosition += p + length;
            return kOutputTooSmall;
        }
        int r;
        if (f.layer == 1)
            r = DecodeLayer1(s, in + p, length);
        else if (f.layer == 2)
            r = DecodeLayer2(s, in + p, length);
        else
            r = DecodeLayer3(s, in + p, length);
        if (r < 0) {
            // Layer II CRC failure: search again from the next byte. Layer III frame without its
            // main data: skip the whole frame.
            if (f.layer == 3) p += length - 1;
            continue;
        }
        s->synchronised = 1;
        s->saved = f;
        s->savedMpeg25 = f.mpeg25;
        *consumed = p + length;
        s->streamPosition += p + length;
        if (r == kFrameDecoded) {
            const float* channels[2] = {s->pcm[0], s->pcm[1]};
            spFloatToInt16Interleave(channels, f.channels, spf, out);
        }
        return r;
    }
    // Nothing found: keep the last three bytes, which may start a header.
    size_t keep = size >= 3 ? size - 3 : 0;
    if (keep < pos) keep = pos;
    *consumed = keep;
    s->streamPosition += keep;
    return kNoSyncWord;
}

}  // namespace mpa
}  // namespace UMC
