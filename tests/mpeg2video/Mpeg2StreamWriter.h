// Writes small MPEG-1/MPEG-2 video streams bit by bit for the decoder tests: headers with chosen
// fields and slices of hand-built macroblocks (DC-only blocks, skips, zero vectors, dual prime).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace qm::test::mpeg2 {

class StreamWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) PutBit((value >> i) & 1);
    }
    // '0'/'1' characters.
    void Code(const char* bits) {
        for (const char* p = bits; *p; ++p) PutBit(*p == '1');
    }
    void Align() {
        while (m_bits) PutBit(0);
    }
    void StartCode(uint8_t value) {
        Align();
        for (uint8_t b : {uint8_t(0), uint8_t(0), uint8_t(1), value}) m_data.push_back(b);
    }
    void Bytes(const std::vector<uint8_t>& bytes) {
        Align();
        m_data.insert(m_data.end(), bytes.begin(), bytes.end());
    }
    std::vector<uint8_t>& Data() {
        Align();
        return m_data;
    }

    struct Sequence {
        int width = 32, height = 32;
        int aspect = 1, frameRateCode = 3;
        int bitRateValue = 1000;
        int constrained = 0;
        bool mpeg2 = true;
        int profileLevel = 0x48;
        int progressive = 1;
        int chroma = 1;
        int bitRateExt = 0;
        int frameRateExtN = 0, frameRateExtD = 0;
        bool extension = true;  // write the sequence extension when mpeg2
    };
    void SequenceHeader(const Sequence& s) {
        StartCode(0xB3);
        Put(uint32_t(s.width) & 0xFFF, 12);
        Put(uint32_t(s.height) & 0xFFF, 12);
        Put(uint32_t(s.aspect), 4);
        Put(uint32_t(s.frameRateCode), 4);
        Put(uint32_t(s.bitRateValue), 18);
        Put(1, 1);
        Put(20, 10);
        Put(uint32_t(s.constrained), 1);
        Put(0, 1);
        Put(0, 1);
        if (s.mpeg2 && s.extension) {
            StartCode(0xB5);
            Put(1, 4);
            Put(uint32_t(s.profileLevel), 8);
            Put(uint32_t(s.progressive), 1);
            Put(uint32_t(s.chroma), 2);
            Put(uint32_t(s.width >> 12), 2);
            Put(uint32_t(s.height >> 12), 2);
            Put(uint32_t(s.bitRateExt), 12);
            Put(1, 1);
            Put(0, 8);
            Put(0, 1);
            Put(uint32_t(s.frameRateExtN), 2);
            Put(uint32_t(s.frameRateExtD), 5);
        }
    }
    void Gop(bool closed, bool broken = false) {
        StartCode(0xB8);
        Put(0, 1);
        Put(0, 5);
        Put(0, 6);
        Put(1, 1);
        Put(0, 6);
        Put(0, 6);
        Put(closed ? 1 : 0, 1);
        Put(broken ? 1 : 0, 1);
    }
    void UserData(const std::vector<uint8_t>& payload) {
        StartCode(0xB2);
        Bytes(payload);
    }

    struct Picture {
        int type = 1;  // 1 I, 2 P, 3 B, 4 D
        int temporalReference = 0;
        int fcode = 1;  // MPEG-1 forward/backward f_code; MPEG-2 all four
        int structure = 3;
        int topFieldFirst = 1;
        int framePredFrameDct = 1;
        int concealment = 0;
        int qScaleType = 0;
        int intraVlc = 0;
        int alternateScan = 0;
        int repeatFirstField = 0;
        int progressiveFrame = 1;
        int dcPrecision = 0;
        bool codingExtension = true;  // MPEG-2 streams
        int fullPel = 0;              // MPEG-1 full_pel_forward/backward_vector
    };
    void PictureHeader(const Picture& p) {
        StartCode(0x00);
        Put(uint32_t(p.temporalReference), 10);
        Put(uint32_t(p.type), 3);
        Put(0xFFFF, 16);
        if (p.type == 2 || p.type == 3) {
            Put(uint32_t(p.fullPel), 1);
            Put(uint32_t(p.fcode), 3);
        }
        if (p.type == 3) {
            Put(uint32_t(p.fullPel), 1);
            Put(uint32_t(p.fcode), 3);
        }
        Put(0, 1);
        if (p.codingExtension) {
            StartCode(0xB5);
            Put(8, 4);
            // I pictures code a forward f_code only for concealment vectors.
            const uint32_t f = p.type == 1 && !p.concealment ? 15u : uint32_t(p.fcode);
            const uint32_t b = p.type == 3 ? uint32_t(p.fcode) : 15u;
            Put(f, 4);
            Put(f, 4);
            Put(b, 4);
            Put(b, 4);
            Put(uint32_t(p.dcPrecision), 2);
            Put(uint32_t(p.structure), 2);
            Put(uint32_t(p.topFieldFirst), 1);
            Put(uint32_t(p.framePredFrameDct), 1);
            Put(uint32_t(p.concealment), 1);
            Put(uint32_t(p.qScaleType), 1);
            Put(uint32_t(p.intraVlc), 1);
            Put(uint32_t(p.alternateScan), 1);
            Put(uint32_t(p.repeatFirstField), 1);
            Put(1, 1);
            Put(uint32_t(p.progressiveFrame), 1);
            Put(0, 1);
        }
    }
    // slice_vertical_position = row + 1.
    void Slice(int row, int quantiserScaleCode) {
        StartCode(uint8_t(row + 1));
        Put(uint32_t(quantiserScaleCode), 5);
        Put(0, 1);
    }

    // macroblock_address_increment (with escapes for values above 33).
    void AddressIncrement(int increment) {
        static const char* kCodes[34] = {
            nullptr,       "1",           "011",         "010",         "0011",
            "0010",        "00011",       "00010",       "0000111",     "0000110",
            "00001011",    "00001010",    "00001001",    "00001000",    "00000111",
            "00000110",    "0000010111",  "0000010110",  "0000010101",  "0000010100",
            "0000010011",  "0000010010",  "00000100011", "00000100010", "00000100001",
            "00000100000", "00000011111", "00000011110", "00000011101", "00000011100",
            "00000011011", "00000011010", "00000011001", "00000011000"};
        while (increment > 33) {
            Code("00000001000");
            increment -= 33;
        }
        Code(kCodes[increment]);
    }
    // motion_code and motion_residual of one vector component difference (f_code 1..9).
    void MotionDelta(int delta, int fcode) {
        static const char* kCodes[17] = {
            "1",          "01",         "001",        "0001",       "000011",    "0000101",
            "0000100",    "0000011",    "000001011",  "000001010",  "000001001", "0000010001",
            "0000010000", "0000001111", "0000001110", "0000001101", "0000001100"};
        const int r = fcode - 1;
        if (delta == 0) {
            Code("1");
            return;
        }
        const int magnitude = std::abs(delta) - 1;
        Code(kCodes[(magnitude >> r) + 1]);
        Put(delta < 0 ? 1 : 0, 1);
        if (r) Put(uint32_t(magnitude & ((1 << r) - 1)), r);
    }
    // dct_dc_size and dct_dc_differential.
    void DcDifferential(int diff, bool chroma) {
        static const char* kLuma[] = {"100",     "00",       "01",        "101",
                                      "110",     "1110",     "11110",     "111110",
                                      "1111110", "11111110", "111111110", "111111111"};
        static const char* kChroma[] = {"00",       "01",        "10",         "110",
                                        "1110",     "11110",     "111110",     "1111110",
                                        "11111110", "111111110", "1111111110", "1111111111"};
        int size = 0;
        while ((1 << size) <= std::abs(diff)) ++size;
        Code(chroma ? kChroma[size] : kLuma[size]);
        if (size) Put(uint32_t(diff < 0 ? diff + (1 << size) - 1 : diff), size);
    }
    // An intra macroblock of DC-only blocks (I-picture type "1"); dc[b] are the block DC values
    // (predictors start from `pred`, updated here).
    void IntraMacroblockDcOnly(int increment, const int* dc, int blocks, int* pred,
                               int dctType = -1, const char* mbType = "1", bool dPicture = false) {
        AddressIncrement(increment);
        Code(mbType);
        if (dctType >= 0) Put(uint32_t(dctType), 1);
        for (int b = 0; b < blocks; ++b) {
            const int cc = b < 4 ? 0 : 1 + ((b - 4) & 1);
            DcDifferential(dc[b] - pred[cc], cc != 0);
            pred[cc] = dc[b];
            if (!dPicture) Code("10");  // end of block
        }
        if (dPicture) Put(1, 1);  // end_of_macroblock
    }

    // A picture of flat intra macroblocks (luma `value`, chroma 128), one slice per row.
    void FlatIntraPicture(int mbWidth, int rows, int value) {
        FlatIntraPicture(mbWidth, rows, value, Picture());
    }
    void FlatIntraPicture(int mbWidth, int rows, int value, const Picture& p) {
        PictureHeader(p);
        const int dc[6] = {value, value, value, value, 128, 128};
        for (int row = 0; row < rows; ++row) {
            Slice(row, 8);
            int pred[3] = {128, 128, 128};
            for (int col = 0; col < mbWidth; ++col)
                IntraMacroblockDcOnly(1, dc, 6, pred, -1, p.type == 1 ? "1" : "00011");
        }
    }
    // The sequence end code, then the whole stream.
    std::vector<uint8_t>& End() {
        StartCode(0xB7);
        return Data();
    }

    std::vector<uint8_t> m_data;

private:
    void PutBit(bool bit) {
        m_cur = uint8_t((m_cur << 1) | (bit ? 1 : 0));
        if (++m_bits == 8) {
            m_data.push_back(m_cur);
            m_cur = 0;
            m_bits = 0;
        }
    }
    uint8_t m_cur = 0;
    int m_bits = 0;
};

}  // namespace qm::test::mpeg2
