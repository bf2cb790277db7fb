// Pushes arbitrary bytes through source -> AC-3 filter -> sink. Byte 0 picks the sample size and
// whether samples carry times (negative ones included); the rest is the stream.
#include <cstdint>

#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"
#include "fuzz/FilterFeed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t piece = size_t(1) << (data[0] % 13);  // 1 byte to 4 KiB
    const int times = (data[0] >> 4) % 3;              // 0 stamped, 1 some negative, 2 some none
    ++data;
    --size;
    const CMediaType input =
        qmfuzz::WaveType(MEDIASUBTYPE_DOLBY_AC3, WAVEFORMATEX{0x2000, 6, 48000, 56000, 1792, 0, 0});

    qmfuzz::FeedFilter(qm_MPEGDecoderFilters::CreateAC3AudioDecoderFilter, input, data, size, piece,
                       [times](size_t index) {
                           const REFERENCE_TIME t = REFERENCE_TIME(index) * 320000;
                           qm::graph::SampleSpec spec;
                           if (!(times == 2 && index % 3 == 1)) {
                               spec.start = (times == 1 && index % 4 == 2) ? -t - 1 : t;
                               spec.stop = *spec.start + 320000;
                           }
                           return spec;
                       });
    return 0;
}
