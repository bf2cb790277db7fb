// Streams of chosen macroblock syntax on which every correct decoder must agree bit for bit:
// intra blocks carry only their DC coefficient (a multiple of 8 after scaling), non-intra blocks
// only an odd DC coefficient, so no inverse transform rounding or mismatch control can tell two
// decoders apart; motion vectors are random but never reach outside the reference. Each stream
// is decoded here and by ffmpeg and libmpeg2 (tests/fixtures/mpeg2/make_syntax_checksums.sh);
// the tests compare checksums of every picture.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tests/mpeg2video/Mpeg2StreamWriter.h"

namespace qm::test::mpeg2 {

struct SyntaxStream {
    std::string name;
    std::vector<uint8_t> bytes;
};

// FNV-1a, 64 bits: the checksum of a picture's packed planes (Y, Cb, Cr).
inline uint64_t Fnv64(const std::vector<uint8_t>& data) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : data) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

class SyntaxWriter {
public:
    enum Kind { kIntra, kForward, kBackward, kBoth, kNoMotion };

    struct Options {
        bool mpeg2 = true;
        int width = 64, height = 64;
        int chroma = 1;  // 1 4:2:0, 2 4:2:2
        int progressive = 1;
        int fcode = 2;
    };

    SyntaxWriter(const Options& o, uint32_t seed) : m_o(o), m_seed(seed) {
        StreamWriter::Sequence s;
        s.width = o.width;
        s.height = o.height;
        s.mpeg2 = o.mpeg2;
        s.progressive = o.progressive;
        s.chroma = o.chroma;
        m_w.SequenceHeader(s);
        m_mbw = (o.width + 15) / 16;
        m_mbh = (o.height + 15) / 16;
    }

    StreamWriter& Writer() { return m_w; }
    std::vector<uint8_t> Finish() {
        m_w.StartCode(0xB7);
        return m_w.Data();
    }
    int Random(int lo, int hi) {  // inclusive
        m_seed = m_seed * 1664525u + 1013904223u;
        return lo + int((m_seed >> 8) % uint32_t(hi - lo + 1));
    }

    // A quant matrix extension: luma and chroma non-intra W[0] (0: not loaded; 16 or 48 keep the
    // non-intra DC coefficients odd).
    // Any other value loads the intra matrix too (which DC-only intra blocks never read).
    void QuantMatrixExtension(int lumaNonIntraDc, int chromaNonIntraDc) {
        const bool intra = lumaNonIntraDc != 16 && lumaNonIntraDc != 48 && lumaNonIntraDc != 0;
        if (intra) lumaNonIntraDc = 0;
        m_w.StartCode(0xB5);
        m_w.Put(3, 4);
        m_w.Put(intra ? 1 : 0, 1);
        if (intra)
            for (int k = 0; k < 64; ++k) m_w.Put(uint32_t(k ? 20 : 8), 8);
        m_w.Put(lumaNonIntraDc ? 1 : 0, 1);
        if (lumaNonIntraDc)
            for (int k = 0; k < 64; ++k) m_w.Put(uint32_t(k ? 16 : lumaNonIntraDc), 8);
        m_w.Put(0, 1);  // chroma intra
        m_w.Put(chromaNonIntraDc ? 1 : 0, 1);
        if (chromaNonIntraDc)
            for (int k = 0; k < 64; ++k) m_w.Put(uint32_t(k ? 16 : chromaNonIntraDc), 8);
    }

    // Picture header; for MPEG-2 the coding extension with the given fields.
    void Picture(StreamWriter::Picture p) {
        m_p = p;
        m_p.fcode = m_o.fcode;
        if (!m_o.mpeg2) m_p.codingExtension = false;
        m_w.PictureHeader(m_p);
        if (m_o.mpeg2 && m_pendingMatrices) {
            QuantMatrixExtension(m_pendingMatrices >> 8, m_pendingMatrices & 255);
            m_pendingMatrices = 0;
        }
        m_rows = m_p.structure != 3 ? m_mbh / 2 : m_mbh;
    }
    // A quant matrix extension after the next picture header (MPEG-2).
    void MatricesAfterNextPicture(int lumaNonIntraDc, int chromaNonIntraDc) {
        m_pendingMatrices = (lumaNonIntraDc << 8) | chromaNonIntraDc;
    }

    int MbRows() const { return m_rows; }
    int MbWidth() const { return m_mbw; }

    // Slice header at `row`; the quantiser scale code is odd (odd non-intra DC coefficients).
    void Slice(int row) {
        m_q = 2 * Random(0, 7) + 1;
        m_w.Slice(row, m_q);
        ResetPredictors();
        m_addr = row * m_mbw - 1;
        m_first = true;
    }

    // One macroblock `increment` after the previous one (skipping increment - 1). `span`: the
    // vectors stay valid for that many macroblocks to the right (a skipped run in a B picture
    // repeats them).
    void Macroblock(int increment, Kind kind, bool coded = true, int motionType = 0,
                    bool quant = false, int span = 0) {
        if (!m_first && increment > 1) {
            // Skipped macroblocks: DC predictors reset; P pictures also reset the vectors.
            ResetDc();
            if (m_p.type == 2) ResetVectors();
        }
        m_first = false;
        m_addr += increment;
        m_row = m_addr / m_mbw;
        m_col = m_addr % m_mbw;
        m_span = span;
        m_w.AddressIncrement(increment);
        const bool field = m_p.structure != 3;
        const bool motion = kind == kForward || kind == kBackward || kind == kBoth;
        if (!motion) motionType = 0;
        if (motion && motionType == 0) motionType = field ? 1 : 2;
        if (!m_o.mpeg2 || (!field && m_p.framePredFrameDct)) motionType = motion ? 2 : 0;
        m_w.Code(TypeCode(kind, coded, quant));
        if (m_o.mpeg2 && motion && (field || !m_p.framePredFrameDct))
            m_w.Put(uint32_t(motionType), 2);
        const bool dctTypePresent =
            m_o.mpeg2 && !field && !m_p.framePredFrameDct && (kind == kIntra || coded);
        if (dctTypePresent) m_w.Put(uint32_t(Random(0, 1)), 1);
        if (quant) {
            m_q = 2 * Random(0, 7) + 1;
            m_w.Put(uint32_t(m_q), 5);
        }
        if (kind == kIntra) {
            if (m_o.mpeg2 && m_p.concealment) {
                Vectors(0, field ? 1 : 2, true);
                m_w.Put(1, 1);  // marker
            } else {
                ResetVectors();
            }
            IntraBlocks();
            return;
        }
        ResetDc();
        if (kind == kNoMotion) ResetVectors();
        if (kind == kForward || kind == kBoth) Vectors(0, motionType, false);
        if (kind == kBackward || kind == kBoth) Vectors(1, motionType, false);
        if (coded) InterBlocks();
    }

    // A D picture macroblock: DC only, then end_of_macroblock.
    void DMacroblock() {
        int dc[8];
        for (int b = 0; b < 6; ++b) dc[b] = Random(16, 235);
        m_w.IntraMacroblockDcOnly(1, dc, 6, m_dc, -1, "1", true);
        ++m_addr;
    }

    // MPEG-1 macroblock stuffing before the next address increment.
    void Stuffing() { m_w.Code("00000001111"); }

private:
    const char* TypeCode(Kind kind, bool coded, bool quant) const {
        const int type = m_p.type;
        if (type == 1) return quant ? "01" : "1";
        if (type == 2) {
            switch (kind) {
                case kIntra:
                    return quant ? "000001" : "00011";
                case kNoMotion:
                    return quant ? "00001" : "01";
                default:
                    return coded ? (quant ? "00010" : "1") : "001";
            }
        }
        switch (kind) {
            case kIntra:
                return quant ? "000001" : "00011";
            case kForward:
                return coded ? (quant ? "000011" : "0011") : "0010";
            case kBackward:
                return coded ? (quant ? "000010" : "011") : "010";
            default:
                return coded ? (quant ? "00010" : "11") : "10";
        }
    }

    void ResetDc() { m_dc[0] = m_dc[1] = m_dc[2] = 128 << m_p.dcPrecision; }
    void ResetVectors() {
        for (auto& r : m_pmv)
            for (auto& s : r)
                for (int& t : s) t = 0;
    }
    void ResetPredictors() {
        ResetDc();
        ResetVectors();
    }

    int ChromaBlocks() const { return m_o.chroma == 2 ? 4 : 2; }

    void IntraBlocks() {
        const int blocks = 4 + ChromaBlocks();
        const int shift = 3 - m_p.dcPrecision;
        for (int b = 0; b < blocks; ++b) {
            const int cc = b < 4 ? 0 : 1 + ((b - 4) & 1);
            // DC values whose scaled coefficient is a multiple of 8.
            const int step = shift >= 3 ? 1 : 1 << (3 - shift);
            const int value = (Random(16, 235) << m_p.dcPrecision) / step * step;
            m_w.DcDifferential(value - m_dc[cc], cc != 0);
            m_dc[cc] = value;
            if (m_p.type != 4) m_w.Code("10");
        }
    }

    void InterBlocks() {
        static const int kPatterns[] = {60, 4, 8, 16, 32, 1, 2, 63, 62, 61, 12, 48, 3};
        static const char* kCodes[] = {"111",   "1101",  "1100",   "1011",  "1010",
                                       "01011", "01001", "001100", "01000", "01010",
                                       "10011", "10010", "001101"};
        const int k = Random(0, 12);
        m_w.Code(kCodes[k]);
        int cbp = kPatterns[k];
        if (m_o.chroma == 2) {
            const int extra = Random(0, 3);
            m_w.Put(uint32_t(extra), 2);
            cbp = (cbp << 2) | extra;
        }
        const int blocks = 4 + ChromaBlocks();
        for (int b = 0; b < blocks; ++b) {
            if (!((cbp >> (blocks - 1 - b)) & 1)) continue;
            // Level L: coefficient (2L + 1) x q x W / 16 (MPEG-2 halves q and W/16); odd whenever
            // W / 16 is odd.
            int level = Random(-3, 3);
            if (level == 0) level = 1;
            if (level == 1 || level == -1) {
                m_w.Code("1");
                m_w.Put(level < 0 ? 1 : 0, 1);
            } else {
                m_w.Code("000001");
                m_w.Put(0, 6);
                if (m_o.mpeg2)
                    m_w.Put(uint32_t(level) & 0xFFF, 12);
                else
                    m_w.Put(uint32_t(level) & 0xFF, 8);
            }
            m_w.Code("10");
        }
    }

    // Largest vector magnitude (half samples) of the random vectors.
    static constexpr int kRange = 7;

    // A vector component in [lo, hi] (the caller's bounds), preferring random values.
    int Pick(int lo, int hi) {
        lo = std::max(lo, -kRange);
        hi = std::min(hi, kRange);
        if (lo > hi) return 0;
        return Random(lo, hi);
    }

    // Bounds of a half-sample vector component for a block of `size` samples at `pos` in a
    // plane of `extent` samples.
    static void Bounds(int pos, int size, int extent, int& lo, int& hi) {
        lo = -2 * pos;
        hi = 2 * (extent - size - pos);
    }

    void Code(int vec, int pred, int fcode) { m_w.MotionDelta(vec - pred, fcode); }

    // Writes the vectors of direction s and updates the predictors.
    void Vectors(int s, int motionType, bool concealment) {
        const bool field = m_p.structure != 3;
        const int fcode = m_p.fcode;
        const int x = m_col * 16;
        const int fieldH = m_o.height / 2;
        int lo, hi, vlo, vhi;
        if (!m_o.mpeg2) {
            Bounds(x, 16 + 16 * m_span, m_o.width, lo, hi);
            Bounds(m_row * 16, 16, m_o.height, vlo, vhi);
            int vx = Pick(lo, hi), vy = Pick(vlo, vhi);
            if (m_p.fullPel) {
                vx /= 2;
                vy /= 2;
            }
            Code(vx, m_pmv[0][s][0], fcode);
            Code(vy, m_pmv[0][s][1], fcode);
            m_pmv[0][s][0] = vx;
            m_pmv[0][s][1] = vy;
            return;
        }
        Bounds(x, 16 + 16 * m_span, m_o.width, lo, hi);
        if (!field && motionType == 2) {
            Bounds(m_row * 16, 16, m_o.height, vlo, vhi);
            const int vx = Pick(lo, hi), vy = Pick(vlo, vhi);
            Code(vx, m_pmv[0][s][0], fcode);
            Code(vy, m_pmv[0][s][1], fcode);
            for (int r = 0; r < 2; ++r) {
                m_pmv[r][s][0] = vx;
                m_pmv[r][s][1] = vy;
            }
            return;
        }
        if (!field && motionType == 1) {
            // Two field vectors in field units; each half reads 8 lines of the chosen field.
            Bounds(m_row * 8, 8, fieldH, vlo, vhi);
            for (int r = 0; r < 2; ++r) {
                const int sel = Random(0, 1);
                m_w.Put(uint32_t(sel), 1);
                const int vx = Pick(lo, hi), vy = Pick(vlo, vhi);
                Code(vx, m_pmv[r][s][0], fcode);
                Code(vy, m_pmv[r][s][1] >> 1, fcode);
                m_pmv[r][s][0] = vx;
                m_pmv[r][s][1] = vy * 2;
            }
            return;
        }
        if (motionType == 3) {
            // Dual prime (interior macroblocks only): the derived vectors reach a few lines
            // and samples further than the vector itself.
            const int vx = Random(-2, 2), vy = Random(-2, 2);
            const int dx = Random(-1, 1), dy = Random(-1, 1);
            const int predY = field ? m_pmv[0][s][1] : m_pmv[0][s][1] >> 1;
            Code(vx, m_pmv[0][s][0], fcode);
            m_w.Code(dx == 0 ? "0" : dx > 0 ? "10" : "11");
            Code(vy, predY, fcode);
            m_w.Code(dy == 0 ? "0" : dy > 0 ? "10" : "11");
            for (int r = 0; r < 2; ++r) {
                m_pmv[r][s][0] = vx;
                m_pmv[r][s][1] = field ? vy : vy * 2;
            }
            return;
        }
        // Field pictures: one field vector (field or concealment) or two 16x8 halves.
        const int halves = motionType == 2 && !concealment ? 2 : 1;
        const int height = halves == 2 ? 8 : 16;
        for (int r = 0; r < halves; ++r) {
            // A field of the same parity is always a reference; the other one too, except that
            // the first field of a P frame refers to the previous frame's.
            const int sel = Random(0, 1);
            m_w.Put(uint32_t(sel), 1);
            Bounds(m_row * 16 + r * 8, height, fieldH, vlo, vhi);
            const int vx = Pick(lo, hi), vy = Pick(vlo, vhi);
            Code(vx, m_pmv[r][s][0], fcode);
            Code(vy, m_pmv[r][s][1], fcode);
            m_pmv[r][s][0] = vx;
            m_pmv[r][s][1] = vy;
            if (halves == 1) {
                m_pmv[1][s][0] = vx;
                m_pmv[1][s][1] = vy;
            }
        }
    }

    Options m_o;
    uint32_t m_seed;
    StreamWriter m_w;
    StreamWriter::Picture m_p;
    int m_mbw = 0, m_mbh = 0, m_rows = 0;
    int m_addr = -1, m_row = 0, m_col = 0, m_span = 0;
    bool m_first = true;
    int m_q = 1;
    int m_dc[3] = {128, 128, 128};
    int m_pmv[2][2][2] = {};
    int m_pendingMatrices = 0;
};

// What a random picture may use.
struct PictureMix {
    bool skips = true;
    bool dualPrime = false;
    bool fieldMotion = true;  // field and 16x8 prediction where the picture allows them
    bool quant = true;
    int crossRows = 0;  // MPEG-1: slices of this many rows at most (0: one per row)
    bool stuffing = false;
};

// One picture of random macroblocks: every slice ends on a coded macroblock, B pictures skip
// only after a predicted macroblock whose vectors hold over the skipped run.
inline void RandomPicture(SyntaxWriter& sw, const StreamWriter::Picture& p, const PictureMix& mix) {
    sw.Picture(p);
    const int mbw = sw.MbWidth(), rows = sw.MbRows();
    const bool field = p.structure != 3;
    const bool frameMotionChoice = !field && !p.framePredFrameDct;
    using Kind = SyntaxWriter::Kind;
    int row = 0;
    while (row < rows) {
        const int sliceRows = mix.crossRows ? std::min(sw.Random(1, mix.crossRows), rows - row) : 1;
        sw.Slice(row);
        const int end = (row + sliceRows) * mbw;  // first address after the slice
        int addr = row * mbw - 1;
        bool previousIntra = true;
        while (addr < end - 1) {
            // The increment to the next macroblock, and the skipped run after it.
            int increment = 1;
            // Skipped runs stay within a row (and so within the vectors' bounds).
            const int room = std::min(end - 1 - addr, mbw - addr % mbw);
            if (addr >= row * mbw && room >= 2 && mix.skips && p.type != 1 && p.type != 4 &&
                (p.type == 2 || !previousIntra) && sw.Random(0, 2) == 0)
                increment = sw.Random(2, std::min(room, 4));
            addr += increment;
            if (mix.stuffing && sw.Random(0, 3) == 0) sw.Stuffing();
            if (p.type == 4) {
                sw.DMacroblock();
                continue;
            }
            // Might the next macroblock be reached by skipping? B pictures then hold the vectors.
            const int left = std::min(end - 1 - addr, mbw - 1 - addr % mbw);
            const int span = p.type == 3 ? std::min(left, 3) : 0;
            Kind kind = Kind::kIntra;
            if (p.type == 2) {
                const int r = sw.Random(0, 9);
                kind = r == 0 ? Kind::kIntra : r < 3 ? Kind::kNoMotion : Kind::kForward;
            } else if (p.type == 3) {
                const int r = sw.Random(0, 9);
                kind = r == 0  ? Kind::kIntra
                       : r < 4 ? Kind::kForward
                       : r < 7 ? Kind::kBackward
                               : Kind::kBoth;
            }
            int motionType = 0;
            if (kind != Kind::kIntra && kind != Kind::kNoMotion && sw.Random(0, 1)) {
                if (field && mix.fieldMotion)
                    motionType = span ? 1 : sw.Random(1, 2);
                else if (frameMotionChoice && mix.fieldMotion)
                    motionType = sw.Random(1, 2);
                // Dual prime reads a line beyond its field: only away from the edges.
                const int r = addr / mbw, c = addr % mbw;
                const bool interior = r > 0 && r + 1 < rows && c > 0 && c + 1 < mbw;
                if (mix.dualPrime && p.type == 2 && kind == Kind::kForward &&
                    (field || frameMotionChoice) && interior && sw.Random(0, 1))
                    motionType = 3;
            }
            const bool coded = kind == Kind::kNoMotion || sw.Random(0, 2) != 0;
            const bool quant = mix.quant && coded && sw.Random(0, 4) == 0;
            sw.Macroblock(increment, kind, coded || kind == Kind::kIntra, motionType, quant, span);
            previousIntra = kind == Kind::kIntra;
        }
        row += sliceRows;
    }
}

// The pictures of a field pair or a frame picture.
inline StreamWriter::Picture PictureOf(int type, int tr, int structure, bool topFirst) {
    return {.type = type,
            .temporalReference = tr,
            .structure = structure,
            .topFieldFirst = structure == 3 && topFirst ? 1 : 0,
            .progressiveFrame = structure == 3 ? 1 : 0};
}

inline void FieldPair(SyntaxWriter& sw, int firstType, int secondType, int tr, bool topFirst,
                      const PictureMix& mix, bool concealment = false) {
    for (int f = 0; f < 2; ++f) {
        StreamWriter::Picture p =
            PictureOf(f ? secondType : firstType, tr, (f == 0) == topFirst ? 1 : 2, topFirst);
        p.concealment = concealment ? 1 : 0;
        RandomPicture(sw, p, mix);
    }
}

// Frame pictures of (type, temporal reference), each adjusted by `adjust` before it is written.
template <class Adjust>
void Frames(SyntaxWriter& sw, std::initializer_list<std::pair<int, int>> pictures,
            const PictureMix& mix, Adjust adjust) {
    for (auto [type, tr] : pictures) {
        StreamWriter::Picture p = PictureOf(type, tr, 3, true);
        adjust(p);
        RandomPicture(sw, p, mix);
    }
}

inline std::vector<SyntaxStream> SyntaxStreams() {
    std::vector<SyntaxStream> out;
    // A closed GOP of the pictures `body` writes.
    auto stream = [&](const char* name, const SyntaxWriter::Options& o, uint32_t seed, auto body) {
        SyntaxWriter sw(o, seed);
        sw.Writer().Gop(true);
        body(sw);
        out.push_back({name, sw.Finish()});
    };
    // 64 x 96, interlaced: three macroblock rows per field.
    const SyntaxWriter::Options interlaced = {.height = 96, .progressive = 0},
                                mpeg1 = {.mpeg2 = false};
    const PictureMix mix, dual = {.dualPrime = true},
                          mpeg1Slices = {.crossRows = 3, .stuffing = true};
    auto keep = [](StreamWriter::Picture&) {};
    auto interlacedFrame = [](StreamWriter::Picture& p) {
        p.framePredFrameDct = 0;
        p.progressiveFrame = 0;
    };
    // Progressive frame pictures: I P B B P B with skips, quantiser changes, intra macroblocks.
    stream("frame_ipb", {}, 1, [&](SyntaxWriter& sw) {
        Frames(sw, {{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 5}, {3, 4}}, mix, keep);
    });
    // Field pairs I/I, P/P, B/B, I/P and B/B in both field orders.
    for (bool topFirst : {true, false})
        stream(topFirst ? "fields_tff" : "fields_bff", interlaced, topFirst ? 2 : 3,
               [&](SyntaxWriter& sw) {
                   FieldPair(sw, 1, 1, 0, topFirst, mix);
                   FieldPair(sw, 2, 2, 2, topFirst, mix);
                   FieldPair(sw, 3, 3, 1, topFirst, mix);
                   FieldPair(sw, 1, 2, 4, topFirst, mix);
                   FieldPair(sw, 3, 3, 3, topFirst, mix);
               });
    // Interlaced frame pictures: field and frame prediction, field DCT, dual prime.
    stream("frame_interlaced_dual_prime", interlaced, 4, [&](SyntaxWriter& sw) {
        Frames(sw, {{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 6}, {3, 4}, {3, 5}}, dual,
               [&](StreamWriter::Picture& p) {
                   interlacedFrame(p);
                   p.topFieldFirst = p.temporalReference % 2 == 0;
               });
    });
    // Dual prime in field pictures (P field pairs only; an I/P pair would have no same-parity
    // reference).
    stream("fields_dual_prime", interlaced, 5, [&](SyntaxWriter& sw) {
        FieldPair(sw, 1, 1, 0, true, dual);
        FieldPair(sw, 2, 2, 1, true, dual);
        FieldPair(sw, 2, 2, 2, false, dual);
    });
    // Concealment motion vectors in I, P and B pictures, frame and field.
    stream("concealment", interlaced, 6, [&](SyntaxWriter& sw) {
        Frames(sw, {{1, 0}, {2, 3}, {3, 1}, {3, 2}}, mix, [&](StreamWriter::Picture& p) {
            interlacedFrame(p);
            p.concealment = 1;
        });
        FieldPair(sw, 1, 1, 0, true, mix, true);
    });
    // 4:2:2 frames and fields, with quant matrix extensions: the chroma non-intra matrix
    // loaded, then luma-only extensions (is the chroma one kept or replaced?).
    stream("chroma422_matrices", {.height = 96, .chroma = 2, .progressive = 0}, 7,
           [&](SyntaxWriter& sw) {
               RandomPicture(sw, PictureOf(1, 0, 3, true), mix);
               sw.MatricesAfterNextPicture(16, 48);
               RandomPicture(sw, PictureOf(2, 3, 3, true), mix);
               sw.MatricesAfterNextPicture(1, 0);  // intra only: both non-intra ones stay
               RandomPicture(sw, PictureOf(3, 1, 3, true), mix);
               sw.MatricesAfterNextPicture(16, 0);  // luma: chroma follows it
               RandomPicture(sw, PictureOf(3, 2, 3, true), mix);
               FieldPair(sw, 2, 2, 4, true, mix);
           });
    // 4:2:0 with the same matrices: chroma takes the luma ones.
    stream("matrices_420", {}, 8, [&](SyntaxWriter& sw) {
        RandomPicture(sw, PictureOf(1, 0, 3, true), mix);
        sw.MatricesAfterNextPicture(48, 0);
        RandomPicture(sw, PictureOf(2, 1, 3, true), mix);
        sw.MatricesAfterNextPicture(16, 0);
        RandomPicture(sw, PictureOf(2, 2, 3, true), mix);
    });
    // MPEG-1: slices over several rows, macroblock stuffing, full-sample vectors, B pictures.
    stream("mpeg1_slices", mpeg1, 9, [&](SyntaxWriter& sw) {
        Frames(sw, {{1, 0}, {2, 3}, {3, 1}, {3, 2}, {2, 5}, {3, 4}}, mpeg1Slices,
               [](StreamWriter::Picture& p) { p.fullPel = p.temporalReference >= 4 ? 1 : 0; });
    });
    // MPEG-1 D pictures.
    stream("mpeg1_d_pictures", mpeg1, 10, [&](SyntaxWriter& sw) {
        Frames(sw, {{4, 0}, {4, 1}, {4, 2}}, mix, keep);
    });
    return out;
}

}  // namespace qm::test::mpeg2
