// checkasm-style verification of kernel variants: every SIMD variant that this machine runs is
// called next to the plain reference on the same inputs, and the outputs must match.
//
//   qm::test::ForEachVariant(sp::kernels::copy8u, [&](auto* variant, auto* reference) {
//       ... call both on identical inputs, EXPECT equal outputs ...
//   });
//
// Variants that the machine cannot run are reported as skipped in the test output.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "primitives/dispatch/Kernel.h"

namespace qm::test {

template <class Fn, class Check>
int ForEachVariant(const sp::Kernel<Fn>& kernel, Check check) {
    int tested = 0;
    for (const sp::Variant<Fn>& v : kernel.Variants()) {
        if (!sp::HostRuns(v.isa)) {
            std::printf("[ SKIPPED  ] %s/%s: not supported by this processor\n", kernel.Name(),
                        sp::IsaName(v.isa));
            continue;
        }
        SCOPED_TRACE(std::string(kernel.Name()) + " variant " + sp::IsaName(v.isa));
        check(v.fn, kernel.Reference());
        ++tested;
    }
    return tested;
}

// Byte-exact comparison that names the first differing index.
inline ::testing::AssertionResult SameBytes(const void* a, const void* b, size_t n) {
    const auto* pa = static_cast<const unsigned char*>(a);
    const auto* pb = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < n; ++i)
        if (pa[i] != pb[i])
            return ::testing::AssertionFailure()
                   << "first difference at byte " << i << ": " << int(pa[i]) << " vs " << int(pb[i]);
    return ::testing::AssertionSuccess();
}

}  // namespace qm::test
