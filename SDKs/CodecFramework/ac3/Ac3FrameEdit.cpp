// Editing sync frames in place: clearing the dither flags of every block and writing CRC words
// that match the frame's contents. Used to make reference copies and damaged test streams.
#include <cstring>
#include <vector>

#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {
namespace ac3 {

void WriteCrcs(uint8_t* frame, size_t frameBytes) {
    const int n = int(frameBytes / 2);
    const int f = n / 8 + n / 2;
    // crc2 closes the frame: the remainder over the data followed by crc2 is then 0.
    frame[frameBytes - 2] = frame[frameBytes - 1] = 0;
    const uint16_t crc2 = Crc16(frame + 2 * f, size_t(2 * (n - f)) - 2);
    frame[frameBytes - 2] = uint8_t(crc2 >> 8);
    frame[frameBytes - 1] = uint8_t(crc2);

    // crc1 leads its range, so it is the solution of a linear system: the remainder is linear in
    // the 16 bits of the word.
    const size_t length = size_t(2 * f - 2);
    frame[2] = frame[3] = 0;
    const uint16_t target = Crc16(frame + 2, length);
    std::vector<uint8_t> unit(length, 0);
    uint16_t column[16];
    for (int bit = 0; bit < 16; ++bit) {
        unit[0] = uint8_t(bit < 8 ? 0x80 >> bit : 0);
        unit[1] = uint8_t(bit >= 8 ? 0x80 >> (bit - 8) : 0);
        column[bit] = Crc16(unit.data(), length);
    }
    // Gaussian elimination over GF(2): rows are remainder bits, the unknowns the word's bits.
    uint32_t rows[16];
    for (int r = 0; r < 16; ++r) {
        uint32_t row = ((target >> r) & 1u) << 16;
        for (int bit = 0; bit < 16; ++bit) row |= uint32_t((column[bit] >> r) & 1u) << bit;
        rows[r] = row;
    }
    int rank = 0;
    int pivotOf[16];
    for (int bit = 0; bit < 16; ++bit) {
        pivotOf[bit] = -1;
        for (int r = rank; r < 16; ++r) {
            if (!((rows[r] >> bit) & 1u)) continue;
            std::swap(rows[r], rows[rank]);
            for (int o = 0; o < 16; ++o)
                if (o != rank && ((rows[o] >> bit) & 1u)) rows[o] ^= rows[rank];
            pivotOf[bit] = rank++;
            break;
        }
    }
    uint16_t word = 0;
    for (int bit = 0; bit < 16; ++bit)
        if (pivotOf[bit] >= 0 && ((rows[pivotOf[bit]] >> 16) & 1u))
            word = uint16_t(word | (bit < 8 ? 0x8000 >> bit : 0x80 >> (bit - 8)));
    frame[2] = uint8_t(word >> 8);
    frame[3] = uint8_t(word);
}

bool ClearDitherFlags(State* s, uint8_t* frame, size_t frameBytes) {
    BitReader br;
    br.Set(frame, frameBytes);
    Bsi bsi{};
    if (!ParseSyncInfo(br, &bsi) || size_t(bsi.frameWords) * 2 != frameBytes || !ParseBsi(br, &bsi))
        return false;
    s->bsi = bsi;
    s->haveBsi = 1;
    ChooseOutput(s);
    StartFrame(s);
    for (int blk = 0; blk < kBlocks; ++blk) {
        const size_t flags = br.pos + size_t(bsi.nfchans);
        for (int ch = 0; ch < bsi.nfchans; ++ch) {
            const size_t bit = flags + size_t(ch);
            frame[bit >> 3] = uint8_t(frame[bit >> 3] & ~(0x80u >> (bit & 7)));
        }
        if (!ParseAudioBlock(s, br, blk)) return false;
    }
    WriteCrcs(frame, frameBytes);
    return true;
}

namespace {

struct BitWriter {
    uint8_t* data;
    size_t size;  // bytes
    size_t pos = 0;
    void Put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i, ++pos)
            if (pos < size * 8 && ((v >> i) & 1u))
                data[pos >> 3] = uint8_t(data[pos >> 3] | (0x80u >> (pos & 7)));
    }
};

void Copy(BitReader& br, BitWriter& bw, size_t bits) {
    for (; bits >= 16; bits -= 16) bw.Put(br.Get(16), 16);
    bw.Put(br.Get(int(bits)), int(bits));
}

// Parses a frame for where its bsi and each block end and whether any block uses coupling; false
// when it does not parse.
struct FrameLayout {
    Bsi bsi{};
    size_t bsiStart = 0, bsiEnd = 0;
    size_t blockEnd[kBlocks] = {};
    bool coupling = false;
};

bool Layout(State* s, const uint8_t* frame, size_t frameBytes, FrameLayout* l) {
    Bsi* bsi = &l->bsi;
    BitReader parse;
    parse.Set(frame, frameBytes);
    if (!ParseSyncInfo(parse, bsi) || size_t(bsi->frameWords) * 2 != frameBytes) return false;
    l->bsiStart = parse.pos;
    if (!ParseBsi(parse, bsi)) return false;
    l->bsiEnd = parse.pos;
    s->bsi = *bsi;
    s->haveBsi = 1;
    ChooseOutput(s);
    StartFrame(s);
    for (int blk = 0; blk < kBlocks; ++blk) {
        if (!ParseAudioBlock(s, parse, blk)) return false;
        l->blockEnd[blk] = parse.pos;
        l->coupling = l->coupling || s->blk.cplinu;
    }
    return true;
}

// Copies the auxiliary bits up to crc2, shortened or padded with zeros by the change in length,
// and closes the frame with new CRCs. False when the longer syntax did not fit.
bool FinishFrame(BitReader& br, size_t frameBytes, BitWriter& bw, uint8_t* out, size_t outBytes) {
    const size_t end = frameBytes * 8 - 16, outEnd = outBytes * 8 - 16;
    while (br.pos < end && bw.pos < outEnd) bw.Put(br.Get1(), 1);
    while (br.pos < end)
        if (br.Get1()) return false;
    if (bw.pos > outEnd) return false;
    WriteCrcs(out, outBytes);
    return true;
}

}  // namespace

bool ConvertToDualMono(State* s, const uint8_t* frame, size_t frameBytes, uint8_t* out) {
    FrameLayout l;
    if (!Layout(s, frame, frameBytes, &l) || l.bsi.acmod != 2 || l.bsi.lfeon || l.coupling)
        return false;

    std::memset(out, 0, frameBytes);
    BitReader br;
    br.Set(frame, frameBytes);
    BitWriter bw{out, frameBytes};
    Copy(br, bw, l.bsiStart);
    Copy(br, bw, 5 + 3);  // bsid, bsmod
    br.Get(3);
    bw.Put(0, 3);     // acmod 1+1
    br.Get(2);        // dsurmod: only in 2/0
    Copy(br, bw, 1);  // lfeon
    const uint32_t dialnorm = br.Get(5);
    bw.Put(dialnorm, 5);
    for (int field : {8, 8, 7}) {  // compr, langcod, mixlevel and roomtyp
        const uint32_t present = br.Get1();
        bw.Put(present, 1);
        if (present) Copy(br, bw, size_t(field));
    }
    bw.Put(dialnorm, 5);  // dialnorm2
    bw.Put(0, 3);         // no compr2, langcod2, mixlevel2
    Copy(br, bw, l.bsiEnd - br.pos);
    for (int blk = 0; blk < kBlocks; ++blk) {
        Copy(br, bw, 4);  // blksw and dithflag of both channels
        const uint32_t dynrnge = br.Get1();
        bw.Put(dynrnge, 1);
        if (dynrnge) Copy(br, bw, 8);
        bw.Put(0, 1);  // dynrng2e
        const uint32_t cplstre = br.Get1();
        bw.Put(cplstre, 1);
        if (cplstre) Copy(br, bw, 1);  // cplinu, 0
        if (br.Get1()) br.Get(4);      // rematstr and the flags: not in 1+1
        Copy(br, bw, l.blockEnd[blk] - br.pos);
    }
    return FinishFrame(br, frameBytes, bw, out, frameBytes);
}

bool WriteGainWords(State* s, const uint8_t* frame, size_t frameBytes, const int dynrng[kBlocks],
                    int compr, uint8_t* out, size_t outBytes) {
    FrameLayout l;
    if (!Layout(s, frame, frameBytes, &l) || l.bsi.acmod == 0 || outBytes < frameBytes)
        return false;
    int frmsizecod = 0;
    while (frmsizecod < 38 && size_t(FrameWords(l.bsi.fscod, frmsizecod)) * 2 != outBytes)
        ++frmsizecod;
    if (frmsizecod == 38) return false;

    std::memset(out, 0, outBytes);
    BitReader br;
    br.Set(frame, frameBytes);
    BitWriter bw{out, outBytes};
    // Up to compre: sync info, bsid, bsmod, acmod, the mix levels and dsurmod, lfeon, dialnorm.
    const int acmod = l.bsi.acmod;
    Copy(br, bw,
         l.bsiStart + 5 + 3 + 3 + ((acmod & 1) && acmod != 1 ? 2 : 0) + ((acmod & 4) ? 2 : 0) +
             (acmod == 2 ? 2 : 0) + 1 + 5);
    if (br.Get1()) br.Get(8);
    bw.Put(compr >= 0 ? 1 : 0, 1);
    if (compr >= 0) bw.Put(uint32_t(compr), 8);
    Copy(br, bw, l.bsiEnd - br.pos);
    for (int blk = 0; blk < kBlocks; ++blk) {
        Copy(br, bw, size_t(2 * l.bsi.nfchans));  // blksw and dithflag
        if (br.Get1()) br.Get(8);
        bw.Put(dynrng[blk] >= 0 ? 1 : 0, 1);
        if (dynrng[blk] >= 0) bw.Put(uint32_t(dynrng[blk]), 8);
        Copy(br, bw, l.blockEnd[blk] - br.pos);
    }
    out[4] = uint8_t((l.bsi.fscod << 6) | frmsizecod);
    return FinishFrame(br, frameBytes, bw, out, outBytes);
}

}  // namespace ac3
}  // namespace UMC
