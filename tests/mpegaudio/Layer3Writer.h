// Writes layer III frames with chosen side information, scale factors and quantised lines, so
// that tests can force stereo modes, block types and damage that encoders never produce. Every
// frame carries its own main data (main_data_begin 0); the lines are coded in the big-value
// region only, with one Huffman table for every region. A frame whose data do not fit is empty.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "SDKs/CodecFramework/mpegaudio/MpaTables.h"

namespace qm::test::mpa {

class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) {
            cur = uint8_t((cur << 1) | ((value >> i) & 1));
            if (++count == 8) {
                data.push_back(cur);
                cur = 0;
                count = 0;
            }
        }
        written += size_t(bits);
    }
    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out = data;
        if (count) out.push_back(uint8_t(cur << (8 - count)));
        return out;
    }
    size_t written = 0;

private:
    std::vector<uint8_t> data;
    uint8_t cur = 0;
    int count = 0;
};

struct Layer3Channel {
    int blockType = 0;  // 0 long, 1 start, 2 short, 3 stop
    bool mixed = false;
    int globalGain = 170;
    int scalefacCompress = 0;  // MPEG-1: 4 bits; MPEG-2: 9 bits
    int table = 15;            // Huffman table of every region (1..31, not 4 or 14)
    int subblockGain[3] = {0, 0, 0};
    bool preflag = false;
    bool scalefacScale = false;
    // Long bands 0..20 and short bands 0..11 of each window; MPEG-2 values in the order of the
    // partitions (long, or short window after window within a band).
    int scfLong[22] = {};
    int scfShort[13][3] = {};
    int lines[576] = {};
    // Overrides of the side information, for damaged frames.
    int part23Length = -1;
    int bigValues = -1;
};

struct Layer3Frame {
    bool mpeg1 = true;
    int bitrateIndex = 14;  // 320 kbit/s (MPEG-1), 160 kbit/s (MPEG-2)
    int samplingIndex = 1;  // 48000 / 24000 Hz
    int mode = 1;           // 0 stereo, 1 joint, 2 dual, 3 mono
    int modeExtension = 0;  // bit 0 intensity, bit 1 mid/side
    bool crc = false;       // protection word over the header's last 16 bits and the side info
    Layer3Channel gr[2][2];
};

// CRC-16 of MPEG audio (generator 0x8005, initial 0xFFFF) over `bits` bits from bit `pos`.
inline uint16_t Crc16(const std::vector<uint8_t>& data, size_t pos, size_t bits,
                      uint16_t crc = 0xFFFF) {
    for (size_t i = pos; i < pos + bits; ++i) {
        const int bit = (data[i >> 3] >> (7 - (i & 7))) & 1;
        const int top = (crc >> 15) & 1;
        crc = uint16_t(crc << 1);
        if (top ^ bit) crc ^= 0x8005;
    }
    return crc;
}

inline int FrameBytes(const Layer3Frame& f) {
    const int kbps = ::UMC::mpa::kBitrates[3 * (f.mpeg1 ? 1 : 0) + 2][f.bitrateIndex];
    const int hz = ::UMC::mpa::kSampleRates[f.mpeg1 ? 1 : 0][f.samplingIndex];
    return (f.mpeg1 ? 144000 : 72000) * kbps / hz;
}

// Scale factor widths of an MPEG-2 granule: (partition widths, partition table) for the
// channel's scalefac_compress; the right channel of an intensity frame uses the second form.
inline int Mpeg2Partitions(int sfc, bool intensityRight, int slen[4]) {
    slen[0] = slen[1] = slen[2] = slen[3] = 0;
    if (intensityRight) {
        int isc = sfc >> 1;
        if (isc < 180) {
            slen[0] = isc / 36;
            slen[1] = (isc % 36) / 6;
            slen[2] = isc % 6;
            return 3;
        }
        if (isc < 244) {
            isc -= 180;
            slen[0] = (isc % 64) >> 4;
            slen[1] = (isc % 16) >> 2;
            slen[2] = isc % 4;
            return 4;
        }
        isc -= 244;
        slen[0] = isc / 3;
        slen[1] = isc % 3;
        return 5;
    }
    if (sfc < 400) {
        slen[0] = (sfc >> 4) / 5;
        slen[1] = (sfc >> 4) % 5;
        slen[2] = (sfc % 16) >> 2;
        slen[3] = sfc % 4;
        return 0;
    }
    if (sfc < 500) {
        sfc -= 400;
        slen[0] = (sfc >> 2) / 5;
        slen[1] = (sfc >> 2) % 5;
        slen[2] = sfc % 4;
        return 1;
    }
    sfc -= 500;
    slen[0] = sfc / 3;
    slen[1] = sfc % 3;
    return 2;
}

inline void WriteScalefactors(BitWriter& w, const Layer3Frame& f, const Layer3Channel& c, int ch) {
    const bool isShort = c.blockType == 2;
    if (f.mpeg1) {
        const int slen1 = ::UMC::mpa::kSlen[0][c.scalefacCompress];
        const int slen2 = ::UMC::mpa::kSlen[1][c.scalefacCompress];
        if (isShort) {
            int sfb = 0;
            if (c.mixed) {
                for (; sfb < 8; ++sfb) w.Put(uint32_t(c.scfLong[sfb]), slen1);
                sfb = 3;
            }
            for (; sfb < 12; ++sfb)
                for (int win = 0; win < 3; ++win)
                    w.Put(uint32_t(c.scfShort[sfb][win]), sfb < 6 ? slen1 : slen2);
        } else {
            for (int sfb = 0; sfb < 21; ++sfb)
                w.Put(uint32_t(c.scfLong[sfb]), sfb < 11 ? slen1 : slen2);
        }
        return;
    }
    int slen[4];
    const int table = Mpeg2Partitions(c.scalefacCompress, ch == 1 && (f.modeExtension & 1), slen);
    const int kind = isShort ? (c.mixed ? 2 : 1) : 0;
    const uint8_t* counts = ::UMC::mpa::kScfPartitions[table][kind];
    std::vector<int> values;
    if (kind == 0) {
        for (int sfb = 0; sfb < 21; ++sfb) values.push_back(c.scfLong[sfb]);
    } else {
        int sfb = 0;
        if (kind == 2) {
            for (; sfb < 6; ++sfb) values.push_back(c.scfLong[sfb]);
            sfb = 3;
        }
        for (; sfb < 12; ++sfb)
            for (int win = 0; win < 3; ++win) values.push_back(c.scfShort[sfb][win]);
    }
    size_t k = 0;
    for (int part = 0; part < 4; ++part)
        for (int i = 0; i < counts[part]; ++i, ++k)
            w.Put(uint32_t(k < values.size() ? values[k] : 0), slen[part]);
}

inline void WriteLines(BitWriter& w, const Layer3Channel& c, int bigValues) {
    const ::UMC::mpa::HuffTable& t = ::UMC::mpa::kHuffTables[c.table];
    for (int i = 0; i < 2 * bigValues; i += 2) {
        const int x = std::abs(c.lines[i]), y = std::abs(c.lines[i + 1]);
        const int cx = x < 15 || !t.linbits ? x : 15, cy = y < 15 || !t.linbits ? y : 15;
        const int index = cx * t.size + cy;
        w.Put(t.codes[index], t.lengths[index]);
        if (t.linbits && cx == 15) w.Put(uint32_t(x - 15), t.linbits);
        if (x) w.Put(c.lines[i] < 0 ? 1 : 0, 1);
        if (t.linbits && cy == 15) w.Put(uint32_t(y - 15), t.linbits);
        if (y) w.Put(c.lines[i + 1] < 0 ? 1 : 0, 1);
    }
}

inline std::vector<uint8_t> WriteFrame(const Layer3Frame& f) {
    const int channels = f.mode == 3 ? 1 : 2;
    const int granules = f.mpeg1 ? 2 : 1;
    // Main data first: their lengths go into the side information.
    BitWriter main;
    int part23[2][2] = {}, bigValues[2][2] = {};
    for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < channels; ++ch) {
            const Layer3Channel& c = f.gr[gr][ch];
            int last = 575;
            while (last >= 0 && c.lines[last] == 0) --last;
            const int bv = (last + 2) / 2;
            const size_t before = main.written;
            WriteScalefactors(main, f, c, ch);
            WriteLines(main, c, bv);
            part23[gr][ch] = c.part23Length >= 0 ? c.part23Length : int(main.written - before);
            bigValues[gr][ch] = c.bigValues >= 0 ? c.bigValues : bv;
        }
    BitWriter w;
    w.Put(0xFFF, 12);
    w.Put(f.mpeg1 ? 1 : 0, 1);
    w.Put(1, 2);  // layer III
    w.Put(f.crc ? 0 : 1, 1);
    w.Put(uint32_t(f.bitrateIndex), 4);
    w.Put(uint32_t(f.samplingIndex), 2);
    w.Put(0, 1);  // padding
    w.Put(0, 1);
    w.Put(uint32_t(f.mode), 2);
    w.Put(uint32_t(f.modeExtension), 2);
    w.Put(0, 4);              // copyright, original, emphasis
    if (f.crc) w.Put(0, 16);  // filled in below
    w.Put(0, f.mpeg1 ? 9 : 8);
    w.Put(0, f.mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));
    if (f.mpeg1) w.Put(0, 4 * channels);  // scfsi
    for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < channels; ++ch) {
            const Layer3Channel& c = f.gr[gr][ch];
            w.Put(uint32_t(part23[gr][ch]), 12);
            w.Put(uint32_t(bigValues[gr][ch]), 9);
            w.Put(uint32_t(c.globalGain), 8);
            w.Put(uint32_t(c.scalefacCompress), f.mpeg1 ? 4 : 9);
            if (c.blockType) {
                w.Put(1, 1);
                w.Put(uint32_t(c.blockType), 2);
                w.Put(c.mixed ? 1 : 0, 1);
                w.Put(uint32_t(c.table), 5);
                w.Put(uint32_t(c.table), 5);
                for (int g : c.subblockGain) w.Put(uint32_t(g), 3);
            } else {
                w.Put(0, 1);
                for (int r = 0; r < 3; ++r) w.Put(uint32_t(c.table), 5);
                w.Put(7, 4);
                w.Put(7, 3);
            }
            if (f.mpeg1) w.Put(c.preflag ? 1 : 0, 1);
            w.Put(c.scalefacScale ? 1 : 0, 1);
            w.Put(0, 1);  // count1 table A
        }
    std::vector<uint8_t> frame = w.Bytes();
    if (f.crc) {
        const size_t sideBits = 8 * (frame.size() - 6);
        const uint16_t crc = Crc16(frame, 48, sideBits, Crc16(frame, 16, 16));
        frame[4] = uint8_t(crc >> 8);
        frame[5] = uint8_t(crc);
    }
    const std::vector<uint8_t> data = main.Bytes();
    frame.insert(frame.end(), data.begin(), data.end());
    if (frame.size() > size_t(FrameBytes(f))) return {};  // the main data do not fit
    frame.resize(size_t(FrameBytes(f)), 0);
    return frame;
}

}  // namespace qm::test::mpa
