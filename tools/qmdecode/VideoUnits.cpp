#include "tools/qmdecode/VideoUnits.h"

namespace qmdecode {

std::vector<VideoUnit> SplitVideoUnits(const uint8_t* d, size_t n, REFERENCE_TIME period) {
    std::vector<VideoUnit> units;
    size_t unitStart = 0;
    bool unitHasPicture = false;
    int64_t framesBeforeGop = 0, framesSeen = 0;
    bool pendingFirstField = false;
    REFERENCE_TIME pts = 0;
    auto close = [&](size_t end) {
        if (end > unitStart) units.push_back({unitStart, end - unitStart, pts});
        unitStart = end;
        unitHasPicture = false;
    };
    for (size_t i = 0; i + 3 < n; ++i) {
        if (d[i] != 0 || d[i + 1] != 0 || d[i + 2] != 1) continue;
        const uint8_t code = d[i + 3];
        const bool opensUnit = code == 0xB3 || code == 0xB8 || code == 0x00;
        if (opensUnit && unitHasPicture) close(i);
        if (code == 0xB8) framesBeforeGop = framesSeen;
        if (code == 0x00 && i + 5 < n) {
            const int tr = (int(d[i + 4]) << 2) | (d[i + 5] >> 6);
            // The picture structure from the picture coding extension, when there is one.
            int structure = 3;
            for (size_t j = i + 4; j + 7 < n; ++j) {
                if (d[j] != 0 || d[j + 1] != 0 || d[j + 2] != 1) continue;
                if (d[j + 3] == 0xB5 && (d[j + 4] >> 4) == 8) structure = d[j + 6] & 3;
                if (d[j + 3] != 0xB5) break;
            }
            pts = (framesBeforeGop + tr) * period;
            if (structure == 3 || !pendingFirstField) ++framesSeen;
            pendingFirstField = structure != 3 && !pendingFirstField;
            unitHasPicture = true;
        }
        i += 3;
    }
    close(n);
    return units;
}

}  // namespace qmdecode
