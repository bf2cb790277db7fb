// libFuzzer target: MPEG-1 system, program stream and VOB parsing.
#include "VideoIO/MPEGSystemFilters/ProgramStreamParser.h"
#include "fuzz/systemstreams/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return qm_fuzz::FuzzParser<qm_MPEGSystemFilters::ProgramStreamParser>(data, size);
}
