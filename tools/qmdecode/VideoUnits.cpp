#include "tools/qmdecode/VideoUnits.h"

#include "SDKs/CodecFramework/mpeg2video/Mpeg2BitReader.h"

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
    UMC::Mpeg2BitReader bs;
    bs.Init(d, n);
    for (int code; (code = bs.FindStartCode()) >= 0; bs.Skip(32)) {
        const size_t i = size_t(bs.ptr - d);
        const bool opensUnit = code == 0xB3 || code == 0xB8 || code == 0x00;
        if (opensUnit && unitHasPicture) close(i);
        if (code == 0xB8) framesBeforeGop = framesSeen;
        if (code == 0x00 && i + 5 < n) {
            const int tr = (int(d[i + 4]) << 2) | (d[i + 5] >> 6);
            // The picture structure from the picture coding extension, when there is one.
            int structure = 3;
            UMC::Mpeg2BitReader ext;
            ext.Init(d + i + 4, n - i - 4);
            while (ext.FindStartCode() == 0xB5 && ext.end - ext.ptr > 7) {
                if ((ext.ptr[4] >> 4) == 8) structure = ext.ptr[6] & 3;
                ext.Skip(32);
            }
            pts = (framesBeforeGop + tr) * period;
            if (structure == 3 || !pendingFirstField) ++framesSeen;
            pendingFirstField = structure != 3 && !pendingFirstField;
            unitHasPicture = true;
        }
    }
    close(n);
    return units;
}

}  // namespace qmdecode
