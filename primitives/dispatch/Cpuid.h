// Where the processor identification comes from. The hardware instruction by default; tests
// install a table of their own to drive every processor class, vendor and cache path.
#pragma once

#include <cstdint>

struct SpCpuidRegs {
    uint32_t eax, ebx, ecx, edx;
};

struct SpCpuidSource {
    // Fills regs for (leaf, subleaf); false when the instruction is not available.
    bool (*cpuid)(uint32_t leaf, uint32_t subleaf, SpCpuidRegs* regs);
    // Reads extended control register `index` (only called when the OS reports XSAVE use).
    uint64_t (*xgetbv)(uint32_t index);
};

// Installs a source (null restores the hardware) and forgets every cached result, so that the
// next spInitProcessorDispatch starts from the initial state.
void spSetCpuidSource(const SpCpuidSource* source);

namespace sp::detail {
bool Cpuid(uint32_t leaf, uint32_t subleaf, SpCpuidRegs* regs);
uint64_t Xgetbv(uint32_t index);
// The hardware, regardless of the installed source (used to decide which variants can run).
bool HardwareCpuid(uint32_t leaf, uint32_t subleaf, SpCpuidRegs* regs);
uint64_t HardwareXgetbv(uint32_t index);
}  // namespace sp::detail
