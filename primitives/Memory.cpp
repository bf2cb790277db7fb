#include "primitives/Memory.h"

#include <cstdlib>
#include <cstring>

#include "platform/win32/HugePages.h"
#include "primitives/MemoryKernels.h"

namespace {

// Wrapped: on Windows the C runtime's functions are imported, and a table of their addresses
// would be filled by code at load time.
void* RuntimeAllocate(size_t n) {
    return std::malloc(n);
}
void* RuntimeAllocateZeroed(size_t count, size_t size) {
    return std::calloc(count, size);
}
void* RuntimeReallocate(void* p, size_t n) {
    return std::realloc(p, n);
}
void RuntimeRelease(void* p) {
    std::free(p);
}
constinit const SpMemoryFunctions kRuntime = {RuntimeAllocate, RuntimeAllocateZeroed,
                                              RuntimeReallocate, RuntimeRelease};

// Pictures and frame stores on huge pages, in whole huge pages so that the last one is advised
// too. The runtime's release takes it back like any other block.
void* HugePageAllocate(size_t n) {
#if defined(__linux__)
    if (n < qm::kHugePageBlock || !qm::HugePagesOffered()) return nullptr;
    const size_t bytes = qm::RoundUpToHugePages(n);
    void* p = nullptr;
    if (posix_memalign(&p, qm::kHugePageSize, bytes) != 0) return nullptr;
    qm::AdviseHugePages(p, bytes);
    return p;
#else
    (void)n;
    return nullptr;
#endif
}

void Copy8uPlain(const uint8_t* src, uint8_t* dst, int len) {
    std::memmove(dst, src, size_t(len));
}

void Set8uPlain(uint8_t value, uint8_t* dst, int len) {
    std::memset(dst, value, size_t(len));
}

void Set16sPlain(int16_t value, int16_t* dst, int len) {
    for (int i = 0; i < len; ++i) dst[i] = value;
}

void CopyRegion8uPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                       SpSize roi) {
    if (srcStep == roi.width && dstStep == roi.width) {
        std::memcpy(dst, src, size_t(roi.width) * size_t(roi.height));
        return;
    }
    for (int y = 0; y < roi.height; ++y)
        std::memcpy(dst + y * dstStep, src + y * srcStep, size_t(roi.width));
}

void CopyRegionStores8uPlain(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep,
                             SpSize roi, bool) {
    CopyRegion8uPlain(src, srcStep, dst, dstStep, roi);
}

}  // namespace

namespace sp::kernels {
#if SP_HAVE_X86_VARIANTS
constinit const Kernel<Copy8uFn> copy8u{"spCopy8u", Copy8uPlain, {{Isa::SSE2, x86::Copy8uSse2}}};
// The C runtime's memset is already the fastest fill on every class.
constinit const Kernel<Set8uFn> set8u{"spSet8u", Set8uPlain};
constinit const Kernel<Set16sFn> set16s{"spSet16s", Set16sPlain, {{Isa::SSE2, x86::Set16sSse2}}};
constinit const Kernel<CopyRegion8uFn> copyRegion8u{
    "spCopyRegion8u", CopyRegion8uPlain, {{Isa::SSE2, x86::CopyRegion8uSse2}}};
constinit const Kernel<CopyRegionStores8uFn> copyRegionStores8u{
    "spCopyRegionStores8u", CopyRegionStores8uPlain, {{Isa::SSE2, x86::CopyRegionStores8uSse2}}};
#else
constinit const Kernel<Copy8uFn> copy8u{"spCopy8u", Copy8uPlain};
constinit const Kernel<Set8uFn> set8u{"spSet8u", Set8uPlain};
constinit const Kernel<Set16sFn> set16s{"spSet16s", Set16sPlain};
constinit const Kernel<CopyRegion8uFn> copyRegion8u{"spCopyRegion8u", CopyRegion8uPlain};
constinit const Kernel<CopyRegionStores8uFn> copyRegionStores8u{"spCopyRegionStores8u",
                                                                CopyRegionStores8uPlain};
#endif
}  // namespace sp::kernels

const SpMemoryFunctions& spGetMemoryFunctions() {
    return kRuntime;
}

uint8_t* spAlloc8u(int n) {
    if (n < 1) return nullptr;
    // 40 spare bytes: up to 31 to reach a 32-byte boundary plus 8 for the raw address.
    void* block = HugePageAllocate(size_t(n) + 40);
    uint8_t* raw = static_cast<uint8_t*>(block ? block : kRuntime.allocate(size_t(n) + 40));
    if (!raw) return nullptr;
    uint8_t* aligned =
        reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(raw) + 39) & ~uintptr_t(31));
    std::memcpy(aligned - 8, &raw, sizeof(raw));
    return aligned;
}

int16_t* spAlloc16s(int n) {
    if (n < 1 || n > INT32_MAX / 2) return nullptr;
    return reinterpret_cast<int16_t*>(spAlloc8u(2 * n));
}

void spFree(void* p) {
    if (!p) return;
    void* raw;
    std::memcpy(&raw, static_cast<uint8_t*>(p) - 8, sizeof(raw));
    kRuntime.release(raw);
}

// Every argument is checked here; the implementations behind the entries trust them.
SpStatus spCopy8u(const uint8_t* src, uint8_t* dst, int len) {
    if (!src || !dst) return spStsNullPtrErr;
    if (len < 1) return spStsSizeErr;
    sp::kernels::copy8u.Current()(src, dst, len);
    return spStsNoErr;
}

SpStatus spSet8u(uint8_t value, uint8_t* dst, int len) {
    if (!dst) return spStsNullPtrErr;
    if (len < 1) return spStsSizeErr;
    sp::kernels::set8u.Current()(value, dst, len);
    return spStsNoErr;
}

SpStatus spSet16s(int16_t value, int16_t* dst, int len) {
    if (!dst) return spStsNullPtrErr;
    if (len < 1) return spStsSizeErr;
    sp::kernels::set16s.Current()(value, dst, len);
    return spStsNoErr;
}

namespace {
SpStatus CheckRegion(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    if (!src || !dst) return spStsNullPtrErr;
    if (roi.width < 1 || roi.height < 1) return spStsSizeErr;
    if (srcStep < 1 || dstStep < 1) return spStsStepErr;
    return spStsNoErr;
}
}  // namespace

SpStatus spCopyRegion8u(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi) {
    if (const SpStatus st = CheckRegion(src, srcStep, dst, dstStep, roi)) return st;
    sp::kernels::copyRegion8u.Current()(src, srcStep, dst, dstStep, roi);
    return spStsNoErr;
}

SpStatus spCopyRegionStores8u(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, SpCopyStores stores) {
    if (const SpStatus st = CheckRegion(src, srcStep, dst, dstStep, roi)) return st;
    bool stream = false;
    switch (stores) {
        case spCopyStoresBySize:
            sp::kernels::copyRegion8u.Current()(src, srcStep, dst, dstStep, roi);
            return spStsNoErr;
        case spCopyStoresCached:
            break;
        case spCopyStoresStreamed:
            stream = true;
            break;
        default:
            return spStsBadArgErr;
    }
    sp::kernels::copyRegionStores8u.Current()(src, srcStep, dst, dstStep, roi, stream);
    return spStsNoErr;
}
