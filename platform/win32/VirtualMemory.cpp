#include "platform/win32/VirtualMemory.h"

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/win32/HugePages.h"
#include "platform/win32/LastError.h"
#include "platform/win32/WinError.h"

namespace {

// Reservations by base address: MEM_RELEASE gets no size, so we keep it.
std::mutex g_lock;
std::map<uintptr_t, size_t>& Reservations() {
    static std::map<uintptr_t, size_t> reservations;
    return reservations;
}

size_t PageSize() {
    static const size_t size = size_t(sysconf(_SC_PAGESIZE));
    return size;
}

int Protection(DWORD protect) {
    switch (protect) {
        case PAGE_NOACCESS:
            return PROT_NONE;
        case PAGE_READONLY:
            return PROT_READ;
        case PAGE_READWRITE:
            return PROT_READ | PROT_WRITE;
        default:
            return -1;
    }
}

// The reservation that holds [address, address + size), or end().
std::map<uintptr_t, size_t>::iterator FindReservation(uintptr_t address, size_t size) {
    auto& r = Reservations();
    auto it = r.upper_bound(address);
    if (it == r.begin()) return r.end();
    --it;
    if (address + size > it->first + it->second || address + size < address) return r.end();
    return it;
}

// Large regions (sample buffers of whole pictures) start on a huge page boundary and run to one,
// advised for huge pages; `length` grows to the mapped length.
void* MapRegion(size_t& length, int prot) {
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    if (length < qm::kHugePageBlock || !qm::HugePagesOffered() ||
        length > SIZE_T(-1) - 2 * qm::kHugePageSize) {
        void* p = mmap(nullptr, length, prot, flags, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
    const size_t huge = qm::RoundUpToHugePages(length);
    const size_t mapped = huge + qm::kHugePageSize;
    void* p = mmap(nullptr, mapped, prot, flags, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    const uintptr_t base = uintptr_t(p);
    const uintptr_t start = (base + qm::kHugePageSize - 1) / qm::kHugePageSize * qm::kHugePageSize;
    if (start > base) munmap(p, start - base);
    if (base + mapped > start + huge)
        munmap(reinterpret_cast<void*>(start + huge), base + mapped - (start + huge));
    qm::AdviseHugePages(reinterpret_cast<void*>(start), huge);
    length = huge;
    return reinterpret_cast<void*>(start);
}

}  // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    const int prot = Protection(protect);
    const DWORD kinds = allocationType & (MEM_COMMIT | MEM_RESERVE);
    if (size == 0 || prot < 0 || kinds == 0 || (allocationType & ~(MEM_COMMIT | MEM_RESERVE))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const size_t page = PageSize();
    std::lock_guard<std::mutex> lock(g_lock);
    if (address == nullptr || (allocationType & MEM_RESERVE)) {
        if (address != nullptr) {  // reserving at a chosen address is not supported here
            SetLastError(ERROR_INVALID_ADDRESS);
            return nullptr;
        }
        if (size > SIZE_T(-1) - page) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        size_t length = (size + page - 1) / page * page;
        const int mapProt = (allocationType & MEM_COMMIT) ? prot : PROT_NONE;
        void* p = MapRegion(length, mapProt);
        if (!p) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        Reservations()[uintptr_t(p)] = length;
        return p;
    }
    // Committing pages of an existing reservation.
    const uintptr_t begin = uintptr_t(address) / page * page;
    const uintptr_t end = (uintptr_t(address) + size + page - 1) / page * page;
    if (FindReservation(begin, end - begin) == Reservations().end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    if (mprotect(reinterpret_cast<void*>(begin), end - begin, prot) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<LPVOID>(begin);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    std::lock_guard<std::mutex> lock(g_lock);
    auto& r = Reservations();
    if (freeType == MEM_RELEASE) {
        auto it = r.find(uintptr_t(address));
        if (size != 0 || it == r.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        munmap(address, it->second);
        r.erase(it);
        return TRUE;
    }
    if (freeType == MEM_DECOMMIT) {
        const size_t page = PageSize();
        const uintptr_t begin = uintptr_t(address) / page * page;
        auto it = FindReservation(begin, 1);
        if (it == r.end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        // Size 0 with the base address decommits the whole reservation.
        const uintptr_t end = size == 0 ? it->first + it->second
                                        : (uintptr_t(address) + size + page - 1) / page * page;
        if (end > it->first + it->second || (size == 0 && begin != it->first)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // Fresh anonymous pages: the contents are dropped and read as zero when committed again.
        void* p = mmap(reinterpret_cast<void*>(begin), end - begin, PROT_NONE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
        if (p == MAP_FAILED) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        if (it->second >= qm::kHugePageBlock) qm::AdviseHugePages(p, end - begin);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

void GetSystemInfo(LPSYSTEM_INFO info) {
    if (!info) return;
    std::memset(info, 0, sizeof(*info));
    info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    info->dwPageSize = DWORD(PageSize());
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t(0x10000));
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t(0x7FFFFFFEFFFFull));
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    if (cpus < 1) cpus = 1;
    if (cpus > 64) cpus = 64;
    info->dwNumberOfProcessors = DWORD(cpus);
    info->dwActiveProcessorMask = cpus == 64 ? ~DWORD_PTR(0) : (DWORD_PTR(1) << cpus) - 1;
    info->dwProcessorType = PROCESSOR_AMD_X8664;
    // Windows hands out reservations on 64 KiB boundaries.
    info->dwAllocationGranularity = 65536;
    info->wProcessorLevel = 6;
}
#endif
