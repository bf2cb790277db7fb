// Fuzzes the MPEG-4 header parsers and VOP decoding: the whole input is one elementary stream
// (MPEG-4 or short header) decoded VOP by VOP, the ends of each picture's rows read; then
// the same input through the two-reference driver of the tests, which decodes P-, B- and S-VOPs.
// Any crash, hang, leak or sanitizer report is a finding.
#include <cstddef>
#include <cstdint>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4InterDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool dispatched = (spInitProcessorDispatch(), true);
    (void)dispatched;
    {
        qm::test::mpeg4::InterDriver inter;  // Packed() reads every visible sample
        inter.Run(std::vector<uint8_t>(data, data + size));
    }
    UMC::mpeg4::Mpeg4StreamDecoder decoder;
    if (decoder.Open(data, size) != UMC::STATUS_OK) return 0;
    const UMC::MPEG4FrameBuffer* frame = nullptr;
    int32_t result = 0;
    volatile uint32_t sum = 0;
    for (int vops = 0; vops < 64 && decoder.Next(&frame, &result) == UMC::STATUS_OK; ++vops) {
        // Both ends of every visible row: what a bad plane description would miss, at a cost
        // that does not grow with the picture's width.
        const int width = decoder.State().vol.width, height = decoder.State().vol.height;
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = frame->y + ptrdiff_t(y) * frame->yPitch;
            sum = sum + row[0] + row[width - 1];
        }
        const int cw = (width + 1) / 2;
        for (int y = 0; y < (height + 1) / 2; ++y) {
            const uint8_t* u = frame->u + ptrdiff_t(y) * frame->uvPitch;
            const uint8_t* v = frame->v + ptrdiff_t(y) * frame->uvPitch;
            sum = sum + u[0] + u[cw - 1] + v[0] + v[cw - 1];
        }
    }
    return 0;
}
