// The row engine behind the colour conversions that no decoder uses per picture: a reader expands
// each source row to full-resolution 4:4:4 channels (Y, U, V or R, G, B), the rows are converted
// between YUV and RGB when the two sides differ, and a writer packs (and, for subsampled
// chroma, averages) them into the destination layout. Chroma is upsampled by repetition, which
// keeps a 4:2:x -> 4:4:4 -> 4:2:x round trip exact.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "primitives/ColourKernels.h"
#include "primitives/Memory.h"

namespace sp::colour {

enum class Space { Yuv, Rgb };  // channel order Y, U, V or R, G, B

inline SpStatus CheckArgs(std::initializer_list<const void*> pointers,
                          std::initializer_list<int> steps, SpSize roi) {
    for (const void* p : pointers)
        if (!p) return spStsNullPtrErr;
    if (roi.width < 1 || roi.height < 1) return spStsSizeErr;
    for (int s : steps)
        if (s < 1) return spStsStepErr;
    return spStsNoErr;
}

// BT.601 video range from R, G, B (coefficients in units of 1/65536).
inline void RgbToYuv(int r, int g, int b, uint8_t* yuv) {
    yuv[0] = Clamp255((16829 * r + 33039 * g + 6416 * b + (16 << 16) + 32768) >> 16);
    yuv[1] = Clamp255((-9714 * r - 19070 * g + 28784 * b + (128 << 16) + 32768) >> 16);
    yuv[2] = Clamp255((28784 * r - 24103 * g - 4681 * b + (128 << 16) + 32768) >> 16);
}

using Channels = uint8_t* const*;  // three rows of one picture row: channel 0, 1, 2

// ---- readers: Read(y, width, ch) fills ch[0..2][0..width-1] with row y -------------------------

struct PlanarReader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* const* p;
    const int* step;
    int sx, sy;
    void Read(int y, int w, Channels ch) const {
        std::memcpy(ch[0], p[0] + ptrdiff_t(y) * step[0], size_t(w));
        const uint8_t* u = p[1] + ptrdiff_t(y / sy) * step[1];
        const uint8_t* v = p[2] + ptrdiff_t(y / sy) * step[2];
        for (int x = 0; x < w; ++x) ch[1][x] = u[x / sx], ch[2][x] = v[x / sx];
    }
};

struct Nv12Reader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* py;
    int stepY;
    const uint8_t* puv;
    int stepUV;
    void Read(int y, int w, Channels ch) const {
        std::memcpy(ch[0], py + ptrdiff_t(y) * stepY, size_t(w));
        const uint8_t* uv = puv + ptrdiff_t(y / 2) * stepUV;
        for (int x = 0; x < w; ++x) ch[1][x] = uv[(x / 2) * 2], ch[2][x] = uv[(x / 2) * 2 + 1];
    }
};

struct Packed422Reader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* p;
    int step;
    bool uyvy;
    void Read(int y, int w, Channels ch) const {
        const uint8_t* s = p + ptrdiff_t(y) * step;
        const int yo = uyvy ? 1 : 0, uo = uyvy ? 0 : 1;
        for (int x = 0; x < w; ++x) {
            const uint8_t* q = s + (x / 2) * 4;
            ch[0][x] = q[yo + 2 * (x & 1)];
            ch[1][x] = q[uo];
            ch[2][x] = q[uo + 2];
        }
    }
};

// Y41P: U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7 per 8 pixels.
inline constexpr int kY41pLuma[8] = {1, 3, 5, 7, 8, 9, 10, 11};

struct Y41pReader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* p;
    int step;
    void Read(int y, int w, Channels ch) const {
        const uint8_t* s = p + ptrdiff_t(y) * step;
        for (int x = 0; x < w; ++x) {
            const uint8_t* q = s + (x / 8) * 12;
            const int half = (x & 7) < 4 ? 0 : 4;
            ch[0][x] = q[kY41pLuma[x & 7]];
            ch[1][x] = q[half];
            ch[2][x] = q[half + 2];
        }
    }
};

// Y411: U Y0 Y1 V Y2 Y3 per 4 pixels.
inline constexpr int kY411Luma[4] = {1, 2, 4, 5};

struct Y411Reader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* p;
    int step;
    void Read(int y, int w, Channels ch) const {
        const uint8_t* s = p + ptrdiff_t(y) * step;
        for (int x = 0; x < w; ++x) {
            const uint8_t* q = s + (x / 4) * 6;
            ch[0][x] = q[kY411Luma[x & 3]];
            ch[1][x] = q[0];
            ch[2][x] = q[3];
        }
    }
};

enum class Rgb { Bgr24, Bgra32, R5G6B5, X1R5G5B5, X4R4G4B4 };

template <Rgb kLayout>
struct RgbReader {
    static constexpr Space kSpace = Space::Rgb;
    const uint8_t* p;
    int step;
    void Read(int y, int w, Channels ch) const {
        const uint8_t* s = p + ptrdiff_t(y) * step;
        for (int x = 0; x < w; ++x) {
            if constexpr (kLayout == Rgb::Bgr24 || kLayout == Rgb::Bgra32) {
                const uint8_t* q = s + x * (kLayout == Rgb::Bgr24 ? 3 : 4);
                ch[0][x] = q[2], ch[1][x] = q[1], ch[2][x] = q[0];
            } else {
                const int v = s[2 * x] | (s[2 * x + 1] << 8);
                int r, g, b;
                if constexpr (kLayout == Rgb::R5G6B5) {
                    r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
                    g = (g << 2) | (g >> 4);
                } else {
                    r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
                    g = (g << 3) | (g >> 2);
                }
                ch[0][x] = uint8_t((r << 3) | (r >> 2));
                ch[1][x] = uint8_t(g);
                ch[2][x] = uint8_t((b << 3) | (b >> 2));
            }
        }
    }
};

// 8-bit grey: video-range luma with neutral chroma.
struct Gray8Reader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* p;
    int step;
    void Read(int y, int w, Channels ch) const {
        std::memcpy(ch[0], p + ptrdiff_t(y) * step, size_t(w));
        std::memset(ch[1], 128, size_t(w));
        std::memset(ch[2], 128, size_t(w));
    }
};

// ---- writers: Write(y0, rows, ch, width): kRows picture rows from y0, of which `rows` exist ----

// Rounded mean of an sx x sy block of one channel, rows r[0..sy-1], columns x..x+sx-1.
inline uint8_t BlockMean(const Channels* rows, int c, int x, int sx, int sy) {
    int sum = 0;
    for (int j = 0; j < sy; ++j)
        for (int i = 0; i < sx; ++i) sum += rows[j][c][x + i];
    const int n = sx * sy;
    return uint8_t((sum + n / 2) / n);
}

template <int kSx, int kSy>
struct PlanarWriter {
    static constexpr Space kSpace = Space::Yuv;
    static constexpr int kRows = kSy;
    uint8_t* const* p;
    const int* step;
    void Write(int y0, int rows, const Channels* ch, int w) const {
        for (int j = 0; j < rows; ++j)
            std::memcpy(p[0] + ptrdiff_t(y0 + j) * step[0], ch[j][0], size_t(w));
        uint8_t* u = p[1] + ptrdiff_t(y0 / kSy) * step[1];
        uint8_t* v = p[2] + ptrdiff_t(y0 / kSy) * step[2];
        const int cw = (w + kSx - 1) / kSx;
        for (int c = 0; c < cw; ++c) {
            u[c] = BlockMean(ch, 1, c * kSx, kSx, kSy);
            v[c] = BlockMean(ch, 2, c * kSx, kSx, kSy);
        }
    }
};

struct Nv12Writer {
    static constexpr Space kSpace = Space::Yuv;
    static constexpr int kRows = 2;
    uint8_t* py;
    int stepY;
    uint8_t* puv;
    int stepUV;
    void Write(int y0, int rows, const Channels* ch, int w) const {
        for (int j = 0; j < rows; ++j)
            std::memcpy(py + ptrdiff_t(y0 + j) * stepY, ch[j][0], size_t(w));
        uint8_t* uv = puv + ptrdiff_t(y0 / 2) * stepUV;
        for (int c = 0; c < (w + 1) / 2; ++c) {
            uv[2 * c] = BlockMean(ch, 1, 2 * c, 2, 2);
            uv[2 * c + 1] = BlockMean(ch, 2, 2 * c, 2, 2);
        }
    }
};

struct Packed422Writer {
    static constexpr Space kSpace = Space::Yuv;
    static constexpr int kRows = 1;
    uint8_t* p;
    int step;
    bool uyvy;
    void Write(int y0, int, const Channels* ch, int w) const {
        uint8_t* d = p + ptrdiff_t(y0) * step;
        const Channels r = ch[0];
        for (int c = 0; c < (w + 1) / 2; ++c) {
            uint8_t* q = d + 4 * c;
            const uint8_t u = BlockMean(ch, 1, 2 * c, 2, 1), v = BlockMean(ch, 2, 2 * c, 2, 1);
            if (uyvy)
                q[0] = u, q[1] = r[0][2 * c], q[2] = v, q[3] = r[0][2 * c + 1];
            else
                q[0] = r[0][2 * c], q[1] = u, q[2] = r[0][2 * c + 1], q[3] = v;
        }
    }
};

struct Y41pWriter {
    static constexpr Space kSpace = Space::Yuv;
    static constexpr int kRows = 1;
    uint8_t* p;
    int step;
    void Write(int y0, int, const Channels* ch, int w) const {
        uint8_t* d = p + ptrdiff_t(y0) * step;
        for (int g = 0; g < (w + 7) / 8; ++g) {
            uint8_t* q = d + 12 * g;
            for (int half = 0; half < 2; ++half) {
                q[4 * half] = BlockMean(ch, 1, 8 * g + 4 * half, 4, 1);
                q[4 * half + 2] = BlockMean(ch, 2, 8 * g + 4 * half, 4, 1);
            }
            for (int i = 0; i < 8; ++i) q[kY41pLuma[i]] = ch[0][0][8 * g + i];
        }
    }
};

template <Rgb kLayout>
struct RgbWriter {
    static constexpr Space kSpace = Space::Rgb;
    static constexpr int kRows = 1;
    uint8_t* p;
    int step;
    uint8_t alpha = 255;
    void Write(int y0, int, const Channels* ch, int w) const {
        uint8_t* d = p + ptrdiff_t(y0) * step;
        const Channels c = ch[0];
        for (int x = 0; x < w; ++x) {
            const int r = c[0][x], g = c[1][x], b = c[2][x];
            if constexpr (kLayout == Rgb::Bgr24) {
                d[3 * x] = uint8_t(b), d[3 * x + 1] = uint8_t(g), d[3 * x + 2] = uint8_t(r);
            } else if constexpr (kLayout == Rgb::Bgra32) {
                d[4 * x] = uint8_t(b), d[4 * x + 1] = uint8_t(g), d[4 * x + 2] = uint8_t(r);
                d[4 * x + 3] = alpha;
            } else {
                int v;
                if constexpr (kLayout == Rgb::R5G6B5)
                    v = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
                else if constexpr (kLayout == Rgb::X1R5G5B5)
                    v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
                else
                    v = ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4);
                d[2 * x] = uint8_t(v), d[2 * x + 1] = uint8_t(v >> 8);
            }
        }
    }
};

struct Gray8Writer {
    static constexpr Space kSpace = Space::Yuv;
    static constexpr int kRows = 1;
    uint8_t* p;
    int step;
    void Write(int y0, int, const Channels* ch, int w) const {
        std::memcpy(p + ptrdiff_t(y0) * step, ch[0][0], size_t(w));
    }
};

// ---- the engine ---------------------------------------------------------------------------------

template <class Reader, class Writer>
SpStatus Run(const Reader& reader, const Writer& writer, SpSize roi) {
    constexpr int kRows = Writer::kRows;
    constexpr bool kConvert = Reader::kSpace != Writer::kSpace;
    const int w = roi.width, h = roi.height;
    const int padded = (w + 7) & ~7;  // room for the widest block (Y41P, 8 pixels)
    const int64_t bytes = int64_t(padded) * 3 * kRows * (kConvert ? 2 : 1);
    if (bytes > INT32_MAX) return spStsSizeErr;
    uint8_t* work = spAlloc8u(int(bytes));
    if (!work) return ccStsNoMemErr;
    uint8_t* in[kRows][3];
    uint8_t* out[kRows][3];
    for (int j = 0; j < kRows; ++j)
        for (int c = 0; c < 3; ++c) {
            in[j][c] = work + (ptrdiff_t(j) * 3 + c) * padded;
            out[j][c] = kConvert ? work + (ptrdiff_t(kRows + j) * 3 + c) * padded : in[j][c];
        }
    Channels rows[kRows];
    for (int j = 0; j < kRows; ++j) rows[j] = out[j];
    for (int y0 = 0; y0 < h; y0 += kRows) {
        const int available = std::min(kRows, h - y0);
        for (int j = 0; j < kRows; ++j) {
            reader.Read(std::min(y0 + j, h - 1), w, in[j]);
            for (int c = 0; c < 3; ++c) std::fill(in[j][c] + w, in[j][c] + padded, in[j][c][w - 1]);
            if constexpr (kConvert) {
                for (int x = 0; x < padded; ++x) {
                    uint8_t t[3];
                    if constexpr (Reader::kSpace == Space::Yuv) {
                        YuvToBgr(in[j][0][x], in[j][1][x], in[j][2][x], t);
                        out[j][0][x] = t[2], out[j][1][x] = t[1], out[j][2][x] = t[0];
                    } else {
                        RgbToYuv(in[j][0][x], in[j][1][x], in[j][2][x], t);
                        out[j][0][x] = t[0], out[j][1][x] = t[1], out[j][2][x] = t[2];
                    }
                }
            }
        }
        writer.Write(y0, available, rows, w);
    }
    spFree(work);
    return spStsNoErr;
}

}  // namespace sp::colour
