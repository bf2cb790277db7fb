// Comparison helpers shared by the primitives tests.
#pragma once

#include <climits>
#include <string>
#include <type_traits>
#include <vector>

#include "tests/support/KernelCheck.h"

namespace qm::test {

// Status wildcard for ExpectVariantsMatch: the variant returns whatever the reference returns.
constexpr int kAnyStatus = INT_MIN;

// For every variant, `call(fn, out)` runs the variant and the reference, each on its own copy
// of `base`: both leave the same bytes and, for implementations that return a status, both
// return `status` (the same status with kAnyStatus).
template <class Fn, class T, class Call>
void ExpectVariantsMatch(const sp::Kernel<Fn>& kernel, const std::vector<T>& base, Call call,
                         int status = 0) {
    ForEachVariant(kernel, [&](auto* fn, auto* ref) {
        std::vector<T> a = base, b = base;
        if constexpr (std::is_void_v<decltype(call(fn, a.data()))>) {
            call(fn, a.data());
            call(ref, b.data());
        } else {
            const int got = call(fn, a.data()), want = call(ref, b.data());
            EXPECT_EQ(got, want);
            if (status != kAnyStatus) {
                EXPECT_EQ(want, status);
            }
        }
        EXPECT_TRUE(SameBytes(a.data(), b.data(), a.size() * sizeof(T)));
    });
}

// Calls check(fn) for the plain version and every variant this machine runs.
template <class Fn, class Check>
void ForAll(const sp::Kernel<Fn>& kernel, Check check) {
    {
        SCOPED_TRACE(std::string(kernel.Name()) + " plain");
        check(kernel.Reference());
    }
    ForEachVariant(kernel, [&](auto* fn, auto*) { check(fn); });
}

}  // namespace qm::test
