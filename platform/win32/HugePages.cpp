#include "platform/win32/HugePages.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

// The address sanitizer must see every block at its exact size to catch overruns.
#if defined(__SANITIZE_ADDRESS__)
#define QM_NO_HUGE_PAGES 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QM_NO_HUGE_PAGES 1
#endif
#endif

namespace qm {

bool HugePagesOffered() {
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(QM_NO_HUGE_PAGES)
    return true;
#else
    return false;
#endif
}

void AdviseHugePages(void* block, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE) && !defined(QM_NO_HUGE_PAGES)
    madvise(block, size, MADV_HUGEPAGE);
#else
    (void)block;
    (void)size;
#endif
}

}  // namespace qm
