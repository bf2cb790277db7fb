// The last step of a kernel entry. Entries check every argument; the implementations behind them
// trust those checks and return nothing.
#pragma once

#include "primitives/SpTypes.h"
#include "primitives/dispatch/Kernel.h"

namespace sp {

// A negative check refuses the call before any work. Otherwise `run` does the work and the entry
// returns the check: 0, or a warning that the arguments alone decide.
template <class Run>
SpStatus RunChecked(SpStatus check, Run&& run) {
    if (check < 0) return check;
    run();
    return check;
}

// The same for an implementation called with arguments that are safe to form before the check.
template <class Fn, class... Args>
SpStatus CallChecked(const Kernel<Fn>& kernel, SpStatus check, Args... args) {
    return RunChecked(check, [&] { kernel.Current()(args...); });
}

}  // namespace sp
