// Seeded damage to a stream, of the kinds that storage and transmission cause: bit flips, bytes
// inserted or lost, a cut, a chunk repeated, two chunks swapped.
#pragma once

#include <cstdint>
#include <vector>

namespace qm::test {

enum class DamageKind { BitFlips, Insertions, Deletions, Truncation, Repeat, Swap };
constexpr int kDamageKinds = 6;

const char* DamageName(DamageKind kind);

// The same (stream, kind, seed) gives the same result on every machine.
std::vector<uint8_t> Damage(const std::vector<uint8_t>& clean, DamageKind kind, uint64_t seed);

}  // namespace qm::test
