// libFuzzer target: AVI parsing (chunks, lists, OpenDML parts, packed B-VOPs).
#include "VideoIO/MPEGSystemFilters/AviParser.h"
#include "fuzz/systemstreams/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return qm_fuzz::FuzzParser<qm_MPEGSystemFilters::AviParser>(data, size);
}
