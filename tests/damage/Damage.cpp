#include "tests/damage/Damage.h"

#include <algorithm>
#include <iterator>

#include "tests/support/Random.h"

namespace qm::test {

const char* DamageName(DamageKind kind) {
    static const char* const kNames[kDamageKinds] = {
        "bit flips", "insertions", "deletions", "truncation", "repeated chunk", "swapped chunks"};
    return kNames[int(kind)];
}

std::vector<uint8_t> Damage(const std::vector<uint8_t>& clean, DamageKind kind, uint64_t seed) {
    Rng rng(seed);
    std::vector<uint8_t> d = clean;
    if (d.size() < 16) return d;
    const auto at = [&](size_t size) { return size_t(rng.Int(0, int(size - 1))); };
    // Chunks up to an eighth of the stream: long enough to span frames.
    const auto chunk = [&] { return size_t(rng.Int(1, int(std::max<size_t>(d.size() / 8, 2)))); };
    switch (kind) {
        case DamageKind::BitFlips:
            // Sparse flips over the whole stream, and one burst.
            for (int i = rng.Int(1, 24); i > 0; --i)
                d[at(d.size())] ^= uint8_t(1u << rng.Int(0, 7));
            for (size_t p = at(d.size()), n = 0; p < d.size() && n < 32; ++p, ++n)
                d[p] ^= uint8_t(rng.Int(1, 255));
            break;
        case DamageKind::Insertions:
            for (int i = rng.Int(1, 8); i > 0; --i) {
                const std::vector<uint8_t> bytes = rng.Bytes(size_t(rng.Int(1, 16)));
                d.insert(d.begin() + std::ptrdiff_t(at(d.size())), bytes.begin(), bytes.end());
            }
            break;
        case DamageKind::Deletions:
            for (int i = rng.Int(1, 8); i > 0 && d.size() > 32; --i) {
                const size_t p = at(d.size() - 16);
                d.erase(d.begin() + std::ptrdiff_t(p),
                        d.begin() + std::ptrdiff_t(p + size_t(rng.Int(1, 16))));
            }
            break;
        case DamageKind::Truncation:
            d.resize(at(d.size()));
            break;
        case DamageKind::Repeat: {
            const size_t n = chunk(), p = at(d.size() - n);
            const std::vector<uint8_t> copy(d.begin() + std::ptrdiff_t(p),
                                            d.begin() + std::ptrdiff_t(p + n));
            d.insert(d.begin() + std::ptrdiff_t(p + n), copy.begin(), copy.end());
            break;
        }
        case DamageKind::Swap: {
            // Two neighbouring chunks trade places: [a][b] becomes [b][a].
            const size_t a = chunk(), b = chunk();
            if (a + b >= d.size()) break;
            const size_t p = at(d.size() - a - b);
            std::rotate(d.begin() + std::ptrdiff_t(p), d.begin() + std::ptrdiff_t(p + a),
                        d.begin() + std::ptrdiff_t(p + a + b));
            break;
        }
    }
    return d;
}

}  // namespace qm::test
