#include "primitives/dispatch/Kernel.h"

#include "primitives/dispatch/Cpuid.h"

namespace sp {

const char* IsaName(Isa isa) {
    switch (isa) {
        case Isa::Plain:
            return "plain";
        case Isa::SSE2:
            return "sse2";
        case Isa::SSSE3:
            return "ssse3";
        case Isa::SSE41:
            return "sse4.1";
        case Isa::AVX2:
            return "avx2";
    }
    return "?";
}

namespace {
bool Probe(Isa isa) {
    SpCpuidRegs r1{}, r7{}, r0{};
    if (isa == Isa::Plain) return true;
    if (!detail::HardwareCpuid(0, 0, &r0) || !detail::HardwareCpuid(1, 0, &r1)) return false;
    switch (isa) {
        case Isa::SSE2:
            return (r1.edx >> 26) & 1;
        case Isa::SSSE3:
            return (r1.ecx >> 9) & 1;
        case Isa::SSE41:
            return (r1.ecx >> 19) & 1;
        case Isa::AVX2: {
            const uint32_t osxsaveAvx = (1u << 27) | (1u << 28);
            if ((r1.ecx & osxsaveAvx) != osxsaveAvx) return false;
            if ((detail::HardwareXgetbv(0) & 6) != 6) return false;
            if (r0.eax < 7) return false;
            detail::HardwareCpuid(7, 0, &r7);
            return (r7.ebx >> 5) & 1;
        }
        default:
            return false;
    }
}
}  // namespace

bool HostRuns(Isa isa) {
    static const unsigned runs = [] {
        unsigned bits = 0;
        for (int i = 0; i <= int(Isa::AVX2); ++i)
            if (Probe(Isa(i))) bits |= 1u << i;
        return bits;
    }();
    return (runs >> unsigned(isa)) & 1;
}

}  // namespace sp
