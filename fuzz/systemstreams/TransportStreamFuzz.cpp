// libFuzzer target: transport stream parsing (sync, tables, PES reassembly).
#include "VideoIO/MPEGSystemFilters/TransportStreamParser.h"
#include "fuzz/systemstreams/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return qm_fuzz::FuzzParser<qm_MPEGSystemFilters::TransportStreamParser>(data, size);
}
