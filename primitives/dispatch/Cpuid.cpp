#include "primitives/dispatch/Cpuid.h"

#include <atomic>

#include "primitives/dispatch/ProcessorDispatch.h"

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#define SP_X86 1
#ifdef _MSC_VER
#include <immintrin.h>
#include <intrin.h>
#else
#include <cpuid.h>
#endif
#endif

namespace sp::detail {

bool HardwareCpuid(uint32_t leaf, uint32_t subleaf, SpCpuidRegs* regs) {
#if SP_X86
#ifdef _MSC_VER
    int r[4];
    __cpuidex(r, int(leaf), int(subleaf));
    regs->eax = uint32_t(r[0]);
    regs->ebx = uint32_t(r[1]);
    regs->ecx = uint32_t(r[2]);
    regs->edx = uint32_t(r[3]);
#else
    __cpuid_count(leaf, subleaf, regs->eax, regs->ebx, regs->ecx, regs->edx);
#endif
    return true;
#else
    (void)leaf;
    (void)subleaf;
    *regs = {};
    return false;
#endif
}

uint64_t HardwareXgetbv(uint32_t index) {
#if SP_X86
#ifdef _MSC_VER
    return _xgetbv(index);
#else
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(index));
    return (uint64_t(hi) << 32) | lo;
#endif
#else
    (void)index;
    return 0;
#endif
}

namespace {
const SpCpuidSource kHardware = {HardwareCpuid, HardwareXgetbv};
std::atomic<const SpCpuidSource*> g_source{&kHardware};
}  // namespace

bool Cpuid(uint32_t leaf, uint32_t subleaf, SpCpuidRegs* regs) {
    return g_source.load(std::memory_order_acquire)->cpuid(leaf, subleaf, regs);
}

uint64_t Xgetbv(uint32_t index) {
    return g_source.load(std::memory_order_acquire)->xgetbv(index);
}

void SetSource(const SpCpuidSource* source) {
    g_source.store(source ? source : &kHardware, std::memory_order_release);
}

}  // namespace sp::detail

void spSetCpuidSource(const SpCpuidSource* source) {
    sp::detail::SetSource(source);
    sp::detail::ResetDispatchState();
}
