// A kernel's entry table: the plain reference implementation plus SIMD variants, spread over the
// six processor-class slots. Declaring a kernel:
//
//   const sp::Kernel<CopyFn> kCopy{"spCopy8u", CopyPlain,
//                                  {{sp::Isa::SSE2, x86::CopySse2}, {sp::Isa::AVX2,
//                                  x86::CopyAvx2}}};
//   SpStatus spCopy8u(const uint8_t* s, uint8_t* d, int n) { return kCopy.Current()(s, d, n); }
//
// Slot c gets the most advanced variant whose instruction set class c may use and that this
// machine really runs (class 5 needs only AVX; an AVX2 variant goes there only where AVX2 exists),
// else the reference.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "primitives/dispatch/ProcessorDispatch.h"

namespace sp {

enum class Isa : uint8_t { Plain, SSE2, SSSE3, SSE41, AVX2 };

const char* IsaName(Isa isa);

// True when this machine executes the instruction set (the hardware, not an installed source).
bool HostRuns(Isa isa);

// The most advanced instruction set that each processor class may use.
inline constexpr Isa kClassIsa[6] = {Isa::SSE2,  Isa::SSE2,  Isa::SSSE3,
                                     Isa::SSSE3, Isa::SSE41, Isa::AVX2};

template <class Fn>
struct Variant {
    Isa isa;
    Fn* fn;
};

template <class Fn>
class Kernel {
public:
    static constexpr int kMaxVariants = 6;

    // Constant: a kernel table needs no code at load time. Each slot is chosen on its first use.
    constexpr Kernel(const char* name, Fn* reference, std::initializer_list<Variant<Fn>> simd = {})
        : m_name(name), m_reference(reference) {
        for (const Variant<Fn>& v : simd)
            if (m_count < kMaxVariants) m_variants[m_count++] = v;
    }

    // The implementation for the chosen processor class.
    Fn* Current() const { return Slot(detail::g_processorClass.load(std::memory_order_relaxed)); }
    Fn* Slot(int cls) const {
        Fn* fn = m_slots[cls].load(std::memory_order_relaxed);
        return fn ? fn : Choose(cls);
    }
    Fn* Reference() const { return m_reference; }
    const char* Name() const { return m_name; }
    std::span<const Variant<Fn>> Variants() const { return {m_variants, size_t(m_count)}; }

private:
    const char* m_name;
    Fn* m_reference;
    Variant<Fn> m_variants[kMaxVariants] = {};
    int m_count = 0;
    // Filled on first use; racing first users store the same pointer.
    mutable std::atomic<Fn*> m_slots[6] = {};

    Fn* Choose(int cls) const {
        Fn* chosen = m_reference;
        Isa chosenIsa = Isa::Plain;
        for (int i = 0; i < m_count; ++i) {
            const Variant<Fn>& v = m_variants[i];
            if (v.fn && v.isa <= kClassIsa[cls] && v.isa >= chosenIsa && HostRuns(v.isa)) {
                chosen = v.fn;
                chosenIsa = v.isa;
            }
        }
        m_slots[cls].store(chosen, std::memory_order_relaxed);
        return chosen;
    }
};

}  // namespace sp

#if defined(__x86_64__) || defined(_M_X64)
#define SP_HAVE_X86_VARIANTS 1
#else
#define SP_HAVE_X86_VARIANTS 0
#endif
