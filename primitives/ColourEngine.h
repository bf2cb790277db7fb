// The row engine behind the colour conversions that no decoder uses per picture: a reader expands
// each source row to full-resolution 4:4:4 channels (Y, U, V or R, G, B), the rows are converted
// between YUV and RGB when the two sides differ, and a writer packs (and, for subsampled
// chroma, averages) them into the destination layout. Chroma is upsampled by repetition, which
// keeps a 4:2:x -> 4:4:4 -> 4:2:x round trip exact.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "primitives/ColourKernels.h"

namespace sp::colour {

enum class Space { Yuv, Rgb };  // channel order Y, U, V or R, G, B

// BT.601 video range from R, G, B (coefficients in units of 1/65536).
inline void RgbToYuv(int r, int g, int b, uint8_t* yuv) {
    yuv[0] = Clamp255((16829 * r + 33039 * g + 6416 * b + (16 << 16) + 32768) >> 16);
    yuv[1] = Clamp255((-9714 * r - 19070 * g + 28784 * b + (128 << 16) + 32768) >> 16);
    yuv[2] = Clamp255((28784 * r - 24103 * g - 4681 * b + (128 << 16) + 32768) >> 16);
}

using Channels = uint8_t* const*;  // three rows of one picture row: channel 0, 1, 2

// ---- readers: Read(y, x0, n, ch) fills ch[0..2][0..n-1] with pixels x0..x0+n-1 of row y -------

struct PlanarReader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* const* p;
    const ptrdiff_t* step;
    int sx, sy;
    void Read(int y, int x0, int n, Channels ch) const {
        std::memcpy(ch[0], p[0] + y * step[0] + x0, size_t(n));
        const uint8_t* u = p[1] + y / sy * step[1];
        const uint8_t* v = p[2] + y / sy * step[2];
        for (int x = 0; x < n; ++x) ch[1][x] = u[(x0 + x) / sx], ch[2][x] = v[(x0 + x) / sx];
    }
};

struct Nv12Reader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* py;
    ptrdiff_t stepY;
    const uint8_t* puv;
    ptrdiff_t stepUV;
    void Read(int y, int x0, int n, Channels ch) const {
        std::memcpy(ch[0], py + y * stepY + x0, size_t(n));
        const uint8_t* uv = puv + y / 2 * stepUV + x0;  // x0 is even
        for (int x = 0; x < n; ++x) ch[1][x] = uv[(x / 2) * 2], ch[2][x] = uv[(x / 2) * 2 + 1];
    }
};

struct Packed422Reader {
    static constexpr Space kSpace = Space::Yuv;
    const uint8_t* p;
    ptrdiff_t step;
    bool uyvy;
    void Read(int y, int x0, int n, Channels ch) const {
        const uint8_t* s = p + y * step + 2 * x0;
        const int yo = uyvy ? 1 : 0, uo = uyvy ? 0 : 1;
        for (int x = 0; x < n; ++x) {
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
    ptrdiff_t step;
    void Read(int y, int x0, int n, Channels ch) const {
        const uint8_t* s = p + y * step + x0 / 8 * 12;
        for (int x = 0; x < n; ++x) {
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
    ptrdiff_t step;
    void Read(int y, int x0, int n, Channels ch) const {
        const uint8_t* s = p + y * step + x0 / 4 * 6;
        for (int x = 0; x < n; ++x) {
            const uint8_t* q = s + (x / 4) * 6;
            ch[0][x] = q[kY411Luma[x & 3]];
            ch[1][x] = q[0];
            ch[2][x] = q[3];
        }
    }
};

enum class Rgb { Bgr24, Bgra32, R5G6B5, X1R5G5B5, X4R4G4B4 };

// Bytes per pixel of an RGB layout.
constexpr int RgbBytes(Rgb layout) {
    return layout == Rgb::Bgr24 ? 3 : layout == Rgb::Bgra32 ? 4 : 2;
}

template <Rgb kLayout>
struct RgbReader {
    static constexpr Space kSpace = Space::Rgb;
    const uint8_t* p;
    ptrdiff_t step;
    void Read(int y, int x0, int n, Channels ch) const {
        constexpr int kBytes = RgbBytes(kLayout);
        const uint8_t* s = p + y * step + x0 * kBytes;
        for (int x = 0; x < n; ++x) {
            const uint8_t* q = s + x * kBytes;
            if constexpr (kBytes > 2) {
                ch[0][x] = q[2], ch[1][x] = q[1], ch[2][x] = q[0];
            } else {
                const int v = q[0] | (q[1] << 8);
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
    ptrdiff_t step;
    void Read(int y, int x0, int n, Channels ch) const {
        std::memcpy(ch[0], p + y * step + x0, size_t(n));
        std::memset(ch[1], 128, size_t(n));
        std::memset(ch[2], 128, size_t(n));
    }
};

// ---- writers: Write(y0, rows, ch, x0, n): kRows picture rows from y0, of which `rows` exist, --
// ---- pixels x0..x0+n-1 (x0 a multiple of the widest block) ----------------------------------

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
    const ptrdiff_t* step;
    void Write(int y0, int rows, const Channels* ch, int x0, int n) const {
        for (int j = 0; j < rows; ++j)
            std::memcpy(p[0] + (y0 + j) * step[0] + x0, ch[j][0], size_t(n));
        uint8_t* u = p[1] + y0 / kSy * step[1] + x0 / kSx;
        uint8_t* v = p[2] + y0 / kSy * step[2] + x0 / kSx;
        const int cw = (n + kSx - 1) / kSx;
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
    ptrdiff_t stepY;
    uint8_t* puv;
    ptrdiff_t stepUV;
    void Write(int y0, int rows, const Channels* ch, int x0, int n) const {
        for (int j = 0; j < rows; ++j) std::memcpy(py + (y0 + j) * stepY + x0, ch[j][0], size_t(n));
        uint8_t* uv = puv + y0 / 2 * stepUV + x0;
        for (int c = 0; c < (n + 1) / 2; ++c) {
            uv[2 * c] = BlockMean(ch, 1, 2 * c, 2, 2);
            uv[2 * c + 1] = BlockMean(ch, 2, 2 * c, 2, 2);
        }
    }
};

struct Packed422Writer {
    static constexpr Space kSpace = Space::Yuv;
    static constexpr int kRows = 1;
    uint8_t* p;
    ptrdiff_t step;
    bool uyvy;
    void Write(int y0, int, const Channels* ch, int x0, int n) const {
        uint8_t* d = p + y0 * step + 2 * x0;
        const Channels r = ch[0];
        for (int c = 0; c < (n + 1) / 2; ++c) {
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
    ptrdiff_t step;
    void Write(int y0, int, const Channels* ch, int x0, int n) const {
        uint8_t* d = p + y0 * step + x0 / 8 * 12;
        for (int g = 0; g < (n + 7) / 8; ++g) {
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
    ptrdiff_t step;
    uint8_t alpha = 255;
    void Write(int y0, int, const Channels* ch, int x0, int n) const {
        uint8_t* d = p + y0 * step + x0 * RgbBytes(kLayout);
        const Channels c = ch[0];
        for (int x = 0; x < n; ++x) {
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
    ptrdiff_t step;
    void Write(int y0, int, const Channels* ch, int x0, int n) const {
        std::memcpy(p + y0 * step + x0, ch[0][0], size_t(n));
    }
};

// ---- the engine ---------------------------------------------------------------------------------

// Pixels per pass: a multiple of the widest block (Y41P, 8 pixels), small enough for the stack.
inline constexpr int kEngineColumns = 256;

// The picture goes through in strips of kEngineColumns pixels, each row of a strip padded to whole
// blocks by repeating its last pixel.
template <class Reader, class Writer>
void Run(const Reader& reader, const Writer& writer, SpSize roi) {
    constexpr int kRows = Writer::kRows;
    constexpr bool kConvert = Reader::kSpace != Writer::kSpace;
    uint8_t in[kRows][3][kEngineColumns];
    uint8_t converted[kConvert ? kRows : 1][3][kEngineColumns];
    uint8_t* inRows[kRows][3];
    uint8_t* outRows[kRows][3];
    Channels out[kRows];
    for (int j = 0; j < kRows; ++j) {
        for (int c = 0; c < 3; ++c) {
            inRows[j][c] = in[j][c];
            outRows[j][c] = kConvert ? converted[j][c] : in[j][c];
        }
        out[j] = outRows[j];
    }
    const int w = roi.width, h = roi.height;
    for (int y0 = 0; y0 < h; y0 += kRows) {
        const int available = std::min(kRows, h - y0);
        for (int x0 = 0; x0 < w; x0 += kEngineColumns) {
            const int n = std::min(kEngineColumns, w - x0), padded = (n + 7) & ~7;
            for (int j = 0; j < kRows; ++j) {
                uint8_t* const* row = inRows[j];
                reader.Read(std::min(y0 + j, h - 1), x0, n, row);
                for (int c = 0; c < 3; ++c) std::fill(row[c] + n, row[c] + padded, row[c][n - 1]);
                if constexpr (kConvert) {
                    for (int x = 0; x < padded; ++x) {
                        uint8_t t[3];
                        if constexpr (Reader::kSpace == Space::Yuv) {
                            YuvToBgr(row[0][x], row[1][x], row[2][x], t);
                            outRows[j][0][x] = t[2], outRows[j][1][x] = t[1],
                            outRows[j][2][x] = t[0];
                        } else {
                            RgbToYuv(row[0][x], row[1][x], row[2][x], t);
                            outRows[j][0][x] = t[0], outRows[j][1][x] = t[1],
                            outRows[j][2][x] = t[2];
                        }
                    }
                }
            }
            writer.Write(y0, available, out, x0, n);
        }
    }
}

}  // namespace sp::colour
