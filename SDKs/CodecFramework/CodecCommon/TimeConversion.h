// Times between media samples (100-ns units) and codec containers (seconds).
#pragma once

#include "platform/win32/WinTypes.h"

namespace qm {

inline double ReferenceTimeToSeconds(REFERENCE_TIME t) {
    return double(t) / 10000000.0;
}

// Rounds half away from zero.
inline REFERENCE_TIME SecondsToReferenceTime(double s) {
    const double units = s * 10000000.0;
    return REFERENCE_TIME(units >= 0 ? units + 0.5 : units - 0.5);
}

}  // namespace qm
