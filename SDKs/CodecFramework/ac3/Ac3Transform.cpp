// Synthesis: the mix of coded channels into output channels, the long and short inverse
// transforms, windowing with overlap-add, output gain and conversion to interleaved 16-bit PCM.
#include <cmath>
#include <cstring>

#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "primitives/Signal.h"

namespace UMC {
namespace ac3 {

namespace {

// Zeroth-order modified Bessel function of the first kind.
double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

// Coefficients of one channel to the 512 values of its block before windowing. The inverse
// transform kernel scales by 2/N; the window restores the long block's scale, so the two short
// transforms (N = 256) are halved here.
void Transform(State* s, const float* coef, int blksw, float* out) {
    if (!blksw) {
        acInverseMdct(coef, out, s->mdct512, s->mdctWork);
        return;
    }
    float* even = s->tmp;
    float* odd = s->tmp + 128;
    float* const halves[2] = {even, odd};
    spDeinterleave32(coef, 2, 128, halves);
    acInverseMdct(even, out, s->mdct256, s->mdctWork);
    acInverseMdct(odd, out + 256, s->mdct256, s->mdctWork);
    // The kernel's output is one period-window of each short transform: the first short block
    // starts a quarter period (64 values) earlier, the second a quarter period later, and the
    // values outside the kernel's window are its mirror images with the sign of the symmetry.
    std::memcpy(s->tmp, out, 512 * sizeof(float));
    const float* first = s->tmp;
    const float* second = s->tmp + 256;
    for (int n = 0; n < 64; ++n) out[n] = -0.5f * first[191 - n];
    for (int n = 64; n < 256; ++n) out[n] = 0.5f * first[n - 64];
    for (int n = 0; n < 192; ++n) out[256 + n] = 0.5f * second[n + 64];
    for (int n = 192; n < 256; ++n) out[256 + n] = -0.5f * second[n - 192];
}

void WriteOutput(State* s, float* const* pcm, int16_t* out) {
    const int n = s->outChannels;
    if (s->outputGain != 1.0f)
        for (int o = 0; o < n; ++o) spMulC32fInPlace(s->outputGain, pcm[o], kBlockSamples);
    spFloatToInt16Interleave(pcm, n, kBlockSamples, out);
}

}  // namespace

void InitWindow(State* s) {
    // Kaiser-Bessel-derived window, alpha 5, for N = 512, scaled to 16-bit output with the sign
    // of the synthesis equations.
    constexpr double kAlpha = 5.0;
    constexpr double kPi = 3.14159265358979323846;
    double kernel[257];
    double total = 0.0;
    for (int j = 0; j <= 256; ++j) {
        const double t = 4.0 * j / 512.0 - 1.0;
        kernel[j] = BesselI0(kPi * kAlpha * std::sqrt(1.0 - t * t));
        total += kernel[j];
    }
    double running = 0.0;
    for (int n = 0; n < 256; ++n) {
        running += kernel[n];
        const float w = float(std::sqrt(running / total) * -16777216.0);
        s->window[n] = w;
        s->window[511 - n] = w;
    }
}

void ReconstructBlock(State* s, int16_t* out) {
    const BlockState& b = s->blk;
    float* pcm[kMaxOut];
    for (int o = 0; o < s->outChannels; ++o) {
        const float* weights = s->mixMatrix[o];
        // Contributors and whether they share one block length.
        int first = -1, count = 0, blksw = 0;
        bool uniform = true;
        bool unit = false;
        for (int c = 0; c < kSlots; ++c) {
            if (weights[c] == 0.0f) continue;
            const int sw = c < kMaxFbw ? b.blksw[c] : 0;
            if (first < 0) {
                first = c;
                blksw = sw;
                unit = weights[c] == 1.0f;
            } else if (sw != blksw) {
                uniform = false;
            }
            ++count;
        }
        float* buf = s->buf[o];
        if (count == 0) {
            std::memset(buf, 0, 512 * sizeof(float));
        } else if (count == 1 && unit) {
            Transform(s, s->coef[first], blksw, buf);
        } else if (uniform) {
            float* mix = s->mix[o];
            spMulC32f(s->coef[first], weights[first], mix, 256);
            for (int c = first + 1; c < kSlots; ++c)
                if (weights[c] != 0.0f) spAddProductC32f(s->coef[c], weights[c], mix, 256);
            Transform(s, mix, blksw, buf);
        } else {
            // Channels with different block lengths are mixed after their transforms.
            std::memset(buf, 0, 512 * sizeof(float));
            float* one = s->mix[o];
            float staging[512];
            for (int c = first; c < kSlots; ++c) {
                if (weights[c] == 0.0f) continue;
                std::memcpy(one, s->coef[c], 256 * sizeof(float));
                Transform(s, one, c < kMaxFbw ? b.blksw[c] : 0, staging);
                spAddProductC32f(staging, weights[c], buf, 512);
            }
        }
        // Overlap-add: the first half under the rising window joins the previous block's tail.
        float* delay = s->delay[o];
        spAddProduct32f(s->window, buf, delay, 256);
        std::memcpy(buf, delay, 256 * sizeof(float));
        spMul32f(s->window + 256, buf + 256, delay, 256);
        pcm[o] = buf;
    }
    WriteOutput(s, pcm, out);
}

void ConcealBlock(State* s, int16_t* out) {
    float* pcm[kMaxOut];
    if (s->concealMode == 1) {
        if (!s->concealing)
            for (int o = 0; o < kMaxOut; ++o) spZero32f(s->delay[o], 256);
        s->concealing = 1;
        std::memset(out, 0, size_t(s->outChannels) * kBlockSamples * sizeof(int16_t));
        return;
    }
    for (int o = 0; o < s->outChannels; ++o) {
        std::memcpy(s->buf[o], s->delay[o], 256 * sizeof(float));
        spZero32f(s->delay[o], 256);
        pcm[o] = s->buf[o];
    }
    WriteOutput(s, pcm, out);
}

}  // namespace ac3
}  // namespace UMC
