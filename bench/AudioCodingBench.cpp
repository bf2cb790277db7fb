// Synthesis filter bank, inverse MDCT and the PCM conversion: the plain reference next to each
// SIMD variant. The argument picks the implementation: 0 plain, 1.. the variants in table order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <queue>
#include <vector>

#include "bench/VariantPick.h"
#include "primitives/AudioCoding.h"
#include "primitives/AudioCodingKernels.h"
#include "primitives/SignalKernels.h"

namespace {

using qm::bench::Pick;

std::vector<float> Signal(size_t n) {
    std::vector<float> v(n);
    uint32_t seed = 12345;
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = float(int32_t(seed) >> 16);
    }
    return v;
}

// One layer III granule of one channel: 18 steps of 32 subband samples.
void BM_Synthesis32(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::acSynthesis32, int(state.range(0)), state);
    if (!fn) return;
    std::vector<uint8_t> memory(kAcSynthesisStateSize);
    AcSynthesisState* synth = nullptr;
    acSynthesisInit(&synth, memory.data());
    const std::vector<float> in = Signal(576);
    std::vector<float> out(576);
    for (auto _ : state) {
        for (int slot = 0; slot < 18; ++slot)
            fn(&in[size_t(slot) * 32], &out[size_t(slot) * 32], synth, 1);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 576);  // PCM samples
}
BENCHMARK(BM_Synthesis32)->DenseRange(0, 2);

// A layer III granule of long blocks (32 transforms of 36) or short blocks (96 of 12), and one
// AC-3 block (512).
void BM_InverseMdct(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::acInverseMdct, int(state.range(0)), state);
    if (!fn) return;
    const int n = int(state.range(1));
    int specSize = 0, initSize = 0, workSize = 0;
    acMdctGetSizes(n, &specSize, &initSize, &workSize);
    std::vector<uint8_t> specMemory(static_cast<size_t>(specSize)),
        work(static_cast<size_t>(workSize));
    AcMdctSpec* spec = nullptr;
    acMdctInit(&spec, n, specMemory.data(), nullptr);
    const int transforms = n == 36 ? 32 : n == 12 ? 96 : 1;
    const std::vector<float> in = Signal(size_t(transforms) * size_t(n / 2));
    std::vector<float> out(size_t(transforms) * size_t(n));
    for (auto _ : state) {
        for (int t = 0; t < transforms; ++t)
            fn(&in[size_t(t) * size_t(n / 2)], &out[size_t(t) * size_t(n)], spec, work.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * transforms);  // transforms
}
BENCHMARK(BM_InverseMdct)->ArgsProduct({{0, 1, 2}, {36, 12, 256, 512}});

// A stereo MPEG-1 frame: 1152 samples per channel to interleaved 16-bit PCM.
void BM_FloatToInt16Interleave(benchmark::State& state) {
    auto* fn = Pick(sp::kernels::floatToInt16Interleave, int(state.range(0)), state);
    if (!fn) return;
    const std::vector<float> left = Signal(1152), right = Signal(1152);
    const float* src[2] = {left.data(), right.data()};
    std::vector<int16_t> out(2304);
    for (auto _ : state) {
        fn(src, 2, 1152, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 2304);
}
BENCHMARK(BM_FloatToInt16Interleave)->DenseRange(0, 2);

// A 16 x 16 pair table with Huffman code lengths for a skewed distribution (small magnitudes
// common, as in layer III big values), and a stream of 288 pairs (576 lines) coded with it.
struct PairTable {
    std::vector<AcHuffmanCode> codes;
    std::vector<uint8_t> stream;
    std::vector<uint8_t> specMemory;
    AcHuffmanSpec* spec = nullptr;

    explicit PairTable(int linbits) {
        std::vector<double> weight(256);
        for (int v = 0; v < 256; ++v)
            weight[size_t(v)] = 1.0 / double((1 + (v >> 4)) * (1 + (v & 15)));
        std::vector<int> length(256, 0);
        // Huffman lengths: merge the two lightest groups until one is left.
        using Node = std::pair<double, std::vector<int>>;
        auto heavier = [](const Node& a, const Node& b) { return a.first > b.first; };
        std::priority_queue<Node, std::vector<Node>, decltype(heavier)> queue(heavier);
        for (int v = 0; v < 256; ++v) queue.push({weight[size_t(v)], {v}});
        while (queue.size() > 1) {
            Node a = queue.top();
            queue.pop();
            Node b = queue.top();
            queue.pop();
            for (int v : a.second) ++length[size_t(v)];
            for (int v : b.second) ++length[size_t(v)];
            a.second.insert(a.second.end(), b.second.begin(), b.second.end());
            queue.push({a.first + b.first, a.second});
        }
        std::vector<int> order(256);
        for (int v = 0; v < 256; ++v) order[size_t(v)] = v;
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return length[size_t(a)] < length[size_t(b)]; });
        uint32_t code = 0;
        int len = length[size_t(order[0])];
        std::vector<AcHuffmanCode> byValue(256);
        for (int v : order) {
            code <<= (length[size_t(v)] - len);
            len = length[size_t(v)];
            byValue[size_t(v)] = {code++, len, v};
            codes.push_back(byValue[size_t(v)]);
        }
        codes.push_back({0, 0, 0});
        int size = 0;
        acHuffmanGetSpecSize(codes.data(), &size);
        specMemory.resize(static_cast<size_t>(size));
        acHuffmanInitSpec(codes.data(), &spec, specMemory.data());
        // Values drawn with the same skew.
        uint64_t bits = 0;
        int count = 0;
        auto put = [&](uint32_t value, int n) {
            for (int i = n - 1; i >= 0; --i) {
                bits = bits << 1 | ((value >> i) & 1);
                if (++count == 8) stream.push_back(uint8_t(bits)), count = 0, bits = 0;
            }
        };
        uint32_t seed = 99;
        for (int pair = 0; pair < 288; ++pair) {
            seed = seed * 1664525u + 1013904223u;
            const int x = std::min(15, int(seed >> 28) * int((seed >> 24) & 15) / 15);
            const int y = std::min(15, int((seed >> 20) & 15) * int((seed >> 16) & 15) / 15);
            const AcHuffmanCode& c = byValue[size_t(x << 4 | y)];
            put(c.code, c.length);
            for (int v : {x, y}) {
                if (linbits > 0 && v == 15) put(seed & ((1u << linbits) - 1), linbits);
                if (v != 0) put(seed >> 31, 1);
            }
        }
        put(0, 7);
        stream.resize(stream.size() + 8, 0);
    }
};

// The big-value region of one granule of one channel: 576 lines.
void BM_HuffmanPairsEscape(benchmark::State& state) {
    const PairTable table(int(state.range(0)));
    std::vector<int16_t> lines(576);
    for (auto _ : state) {
        const uint8_t* p = table.stream.data();
        int offset = 0;
        acHuffmanDecodePairsEscape(&p, &offset, table.spec, lines.data(), 576, int(state.range(0)));
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * 576);
}
BENCHMARK(BM_HuffmanPairsEscape)->Arg(0)->Arg(6);

}  // namespace
