// The implementation of a kernel that a benchmark's first range argument numbers: 0 the plain
// reference, k the k-th registered SIMD variant, -1 the one the dispatch selects (labelled
// "best=" and its set); null (and the benchmark skipped) when the machine cannot run it.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "primitives/dispatch/Kernel.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace qm::bench {

template <class Fn>
Fn* Pick(const sp::Kernel<Fn>& kernel, int64_t index, benchmark::State& state) {
    spInitProcessorDispatch();
    if (index < 0) {
        Fn* fn = kernel.Current();
        const char* isa = "plain";
        for (const auto& v : kernel.Variants())
            if (v.fn == fn) isa = sp::IsaName(v.isa);
        state.SetLabel(std::string("best=") + isa);
        return fn;
    }
    if (index == 0) {
        state.SetLabel("plain");
        return kernel.Reference();
    }
    const auto variants = kernel.Variants();
    if (size_t(index) > variants.size() || !sp::HostRuns(variants[size_t(index) - 1].isa)) {
        state.SkipWithError("variant not available");
        return nullptr;
    }
    state.SetLabel(sp::IsaName(variants[size_t(index) - 1].isa));
    return variants[size_t(index) - 1].fn;
}

}  // namespace qm::bench
