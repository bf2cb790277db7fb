// Deterministic random inputs for tests. The seed is printed with every failure (SCOPED_TRACE in
// the caller) so that a failing case can be replayed.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace qm::test {

class Rng {
public:
    explicit Rng(uint64_t seed = 0x5EED) : m_engine(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_engine); }
    double Real(double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(m_engine);
    }
    bool Bool() { return Int(0, 1) == 1; }

    template <class T>
    void Fill(T* data, size_t count, T lo, T hi) {
        for (size_t i = 0; i < count; ++i) {
            if constexpr (std::is_floating_point_v<T>)
                data[i] = T(Real(double(lo), double(hi)));
            else
                data[i] = T(Int(int(lo), int(hi)));
        }
    }

    std::vector<uint8_t> Bytes(size_t count) {
        std::vector<uint8_t> v(count);
        Fill<uint8_t>(v.data(), count, 0, 255);
        return v;
    }

    std::mt19937_64& Engine() { return m_engine; }

private:
    std::mt19937_64 m_engine;
};

}  // namespace qm::test
