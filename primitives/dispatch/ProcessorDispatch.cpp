#include "primitives/dispatch/ProcessorDispatch.h"

#include <cstring>

#include "primitives/dispatch/Cpuid.h"

namespace sp::detail {

std::atomic<int32_t> g_processorClass{0};

namespace {
std::atomic<int32_t> g_lowPower{0};
std::atomic<uint64_t> g_detectedMask{0};
std::atomic<int32_t> g_detectionDone{0};
std::atomic<uint64_t> g_enabledMask{7};
std::atomic<int32_t> g_wideVectorPermission{1};
std::atomic<int32_t> g_cacheSize{0};
std::atomic<int32_t> g_cacheStatus{1};  // 1: not yet queried
}  // namespace

void ResetDispatchState() {
    g_processorClass = 0;
    g_lowPower = 0;
    g_detectedMask = 0;
    g_detectionDone = 0;
    g_enabledMask = 7;
    g_wideVectorPermission = 1;
    g_cacheSize = 0;
    g_cacheStatus = 1;
}

namespace {

SpStatus Detect(uint64_t* mask) {
    SpCpuidRegs r{};
    if (!Cpuid(1, 0, &r)) return spStsCpuDetectErr;
    uint64_t m = 0;
    if (r.edx & (1u << 23)) m |= spFeatureMmx;
    if (r.edx & (1u << 25)) m |= spFeatureSse;
    if (r.edx & (1u << 26)) m |= spFeatureSse2;
    if (r.ecx & (1u << 0)) m |= spFeatureSse3;
    if (r.ecx & (1u << 9)) m |= spFeatureSsse3;
    if (r.ecx & (1u << 22)) m |= spFeatureMovbe;
    if (r.ecx & (1u << 19)) m |= spFeatureSse41;
    if (r.ecx & (1u << 20)) m |= spFeatureSse42;
    if (r.ecx & (1u << 28)) m |= spFeatureAvx;
    const uint32_t xsaveAvx = (1u << 27) | (1u << 28);
    if ((r.ecx & xsaveAvx) == xsaveAvx && (Xgetbv(0) & 6) == 6) m |= spFeatureAvxOsSave;
    if (r.ecx & (1u << 25)) m |= spFeatureAes;
    if (r.ecx & (1u << 1)) m |= spFeatureClmul;
    if (((r.eax >> 8) & 0xF) == 0xB) {
        SpCpuidRegs x{};
        if (Cpuid(0x20000001, 0, &x) && (x.edx & 0x2)) m |= spFeatureFamilyB;
    }
    *mask = m;
    return spStsNoErr;
}

SpStatus CachedFeatures(uint64_t* mask) {
    if (!g_detectionDone.load()) {
        uint64_t m = 0;
        SpStatus st = Detect(&m);
        if (st != spStsNoErr) return st;
        g_detectedMask = m;
        g_detectionDone = 1;
    }
    *mask = g_detectedMask.load();
    return spStsNoErr;
}

}  // namespace

bool IsGenuineIntel() {
    SpCpuidRegs r{};
    if (!Cpuid(0, 0, &r)) return false;
    char vendor[13];
    std::memcpy(vendor, &r.ebx, 4);
    std::memcpy(vendor + 4, &r.edx, 4);
    std::memcpy(vendor + 8, &r.ecx, 4);
    vendor[12] = '\0';
    return std::strcmp(vendor, "GenuineIntel") == 0;
}

}  // namespace sp::detail

using namespace sp::detail;

SpStatus spInitProcessorDispatch() {
    uint64_t m = 0;
    SpStatus st = CachedFeatures(&m);
    if (st != spStsNoErr) {
        g_processorClass = 0;
        g_lowPower = 0;
        g_enabledMask = 7;
        return st;
    }
    int32_t cls;
    uint64_t enabled;
    int32_t lowPower = 0;
    if ((m & spFeatureAvx) && (m & spFeatureAvxOsSave) && g_wideVectorPermission.load() == 1) {
        cls = 5;
        enabled = m & 0xFDF;
    } else if (m & spFeatureSse41) {
        cls = 4;
        enabled = m & 0xCDF;
    } else if ((m & spFeatureMovbe) && (m & spFeatureSsse3)) {
        cls = 3;
        enabled = m & 0x3F;
        lowPower = 1;
    } else if (m & spFeatureSsse3) {
        cls = 2;
        enabled = m & 0x1F;
    } else if (m & spFeatureSse3) {
        cls = 1;
        enabled = m & 0xF;
    } else {
        cls = 0;
        enabled = m & 0x7;
    }
    g_enabledMask = enabled;
    g_lowPower = lowPower;
    g_processorClass.store(cls, std::memory_order_relaxed);
    if (cls == 0) return spStsNoSse3;
    if (!IsGenuineIntel()) return spStsNonIntelCpu;
    return spStsNoErr;
}

SpStatus spGetProcessorFeatures(uint64_t* mask) {
    if (!mask) return spStsNullPtrErr;
    return CachedFeatures(mask);
}

bool spIsFeatureEnabled(uint64_t mask) {
    return (g_enabledMask.load() & mask) == mask;
}

void spSetWideVectorPermission(int32_t permitted) {
    g_wideVectorPermission = permitted;
}

int32_t spGetProcessorClass() {
    return g_processorClass.load(std::memory_order_relaxed);
}

int32_t spGetLowPowerFlag() {
    return g_lowPower.load();
}

namespace sp::detail {
namespace {

// Data and unified caches of the leaf-2 descriptor list, largest first.
struct Leaf2Cache {
    uint8_t descriptor;
    int32_t size;
};
constexpr int32_t K = 1024;
constexpr int32_t M = 1024 * 1024;
constexpr Leaf2Cache kLeaf2Caches[] = {
    {0xEC, 24 * M},  {0xEB, 18 * M},  {0x4D, 16 * M},  {0x4C, 12 * M},  {0xEA, 12 * M},
    {0x47, 8 * M},   {0x4B, 8 * M},   {0xE4, 8 * M},   {0x4A, 6 * M},   {0x4E, 6 * M},
    {0xDE, 6 * M},   {0x29, 4 * M},   {0x46, 4 * M},   {0x49, 4 * M},   {0xD8, 4 * M},
    {0xE3, 4 * M},   {0x48, 3 * M},   {0xDD, 3 * M},   {0x25, 2 * M},   {0x45, 2 * M},
    {0x7D, 2 * M},   {0xD2, 2 * M},   {0xD7, 2 * M},   {0xE2, 2 * M},   {0xDC, 3 * M / 2},
    {0x23, 1 * M},   {0x24, 1 * M},   {0x44, 1 * M},   {0x78, 1 * M},   {0x7C, 1 * M},
    {0x87, 1 * M},   {0xD1, 1 * M},   {0xD6, 1 * M},   {0x22, 512 * K}, {0x43, 512 * K},
    {0x7B, 512 * K}, {0x7F, 512 * K}, {0x80, 512 * K}, {0x86, 512 * K}, {0xD0, 512 * K},
    {0x21, 256 * K}, {0x42, 256 * K}, {0x7A, 256 * K}, {0x1D, 128 * K}, {0x41, 128 * K},
    {0x79, 128 * K}, {0x2C, 32 * K},  {0x68, 32 * K},  {0x0E, 24 * K},  {0x0C, 16 * K},
    {0x0D, 16 * K},  {0x60, 16 * K},  {0x67, 16 * K},  {0x0A, 8 * K},   {0x66, 8 * K},
};
static_assert(sizeof(kLeaf2Caches) / sizeof(kLeaf2Caches[0]) == 55);

SpStatus QueryLargestCache(int32_t* size) {
    *size = 0;
    SpCpuidRegs r{};
    if (!Cpuid(0, 0, &r)) return spStsNoSse3;
    const uint32_t highestLeaf = r.eax;
    if (highestLeaf < 2 || !IsGenuineIntel()) return spStsNoSse3;
    if (highestLeaf >= 4) {
        int64_t largest = 0;
        for (uint32_t sub = 0; sub < 32; ++sub) {
            SpCpuidRegs c{};
            Cpuid(4, sub, &c);
            const uint32_t type = c.eax & 0x1F;
            if (type == 0) break;
            if (type == 2) continue;  // instruction cache
            const int64_t ways = ((c.ebx >> 22) & 0x3FF) + 1;
            const int64_t partitions = ((c.ebx >> 12) & 0x3FF) + 1;
            const int64_t line = (c.ebx & 0xFFF) + 1;
            const int64_t sets = int64_t(c.ecx) + 1;
            const int64_t bytes = ways * partitions * line * sets;
            if (bytes > largest) largest = bytes;
        }
        if (largest == 0) return spStsNoCacheInfo;
        *size = largest > INT32_MAX ? INT32_MAX : int32_t(largest);
        return spStsNoErr;
    }
    SpCpuidRegs d{};
    Cpuid(2, 0, &d);
    if ((d.eax & 0xFF) != 1) return spStsNoCacheInfo;
    uint8_t bytes[16];
    int count = 0;
    const uint32_t regs[4] = {d.eax & 0xFFFFFF00u, d.ebx, d.ecx, d.edx};
    for (uint32_t reg : regs) {
        if (reg & 0x80000000u) continue;  // register carries no descriptors
        for (int i = 0; i < 4; ++i) bytes[count++] = uint8_t(reg >> (8 * i));
    }
    for (const Leaf2Cache& entry : kLeaf2Caches) {
        for (int i = 0; i < count; ++i) {
            if (bytes[i] == entry.descriptor) {
                *size = entry.size;
                return spStsNoErr;
            }
        }
    }
    return spStsNoCacheInfo;
}

}  // namespace
}  // namespace sp::detail

SpStatus spGetLargestCacheSize(int32_t* size) {
    if (!size) return spStsNullPtrErr;
    if (g_cacheStatus.load() == 1) {
        int32_t s = 0;
        SpStatus st = QueryLargestCache(&s);
        g_cacheSize = s;
        g_cacheStatus = st;
    }
    *size = g_cacheSize.load();
    return g_cacheStatus.load();
}
