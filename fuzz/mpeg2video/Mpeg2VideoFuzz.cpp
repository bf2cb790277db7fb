// Fuzzes the MPEG-1/MPEG-2 video decoder: the input is fed in access units (and, by its first byte,
// also in arbitrary pieces, with one or two slice threads and display or decode order), then the
// decoder is flushed. Any crash, hang, leak or sanitizer report is a finding.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

// Reads both ends of every row of each output picture, so a bad plane description shows up at
// once. Not every sample: a few bytes of input can make thousands of pictures of the largest size.
class TouchStage : public UMC::BaseCodec {
public:
    UMC::Status GetFrame(UMC::MediaData* input, UMC::MediaData*) override {
        auto* in = UMC::DynamicCast<UMC::VideoData>(input);
        if (!in) return UMC::STATUS_NULL_PTR;
        for (int p = 0; p < in->GetNumPlanes(); ++p) {
            const UMC::VideoData::PlaneInfo* info = in->GetPlaneInfo(p);
            if (info->m_width <= 0) continue;
            for (int y = 0; y < info->m_height; ++y) {
                const uint8_t* row = info->m_pPlane + size_t(y) * info->m_nPitch;
                sum += row[0] + row[info->m_width - 1];
            }
        }
        return UMC::STATUS_OK;
    }
    UMC::Status Reset() override { return UMC::STATUS_OK; }
    uint64_t sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool dispatched = (spInitProcessorDispatch(), true);
    (void)dispatched;
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const std::vector<uint8_t> stream(data + 1, data + size);

    TouchStage stage;
    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    params.numThreads = (mode & 1) ? 2 : 1;
    params.lFlags = (mode & 2) ? UMC::FLAG_VDEC_REORDER : 0;
    params.pPostProcessing = &stage;
    if (decoder.Init(&params) != UMC::STATUS_OK) return 0;
    if (mode & 4) {
        UMC::VideoDecoderParams trick;
        trick.lTrickModesFlag = (mode & 8) ? UMC::UMC_TRICK_MODES_REF_ONLY : 0;
        decoder.SetParams(&trick);
        decoder.SkipVideoFrame(mode >> 5);
    }
    UMC::VideoData out;

    const size_t piece = (mode & 0x40) ? 1 + (mode >> 3) * 7 : 0;
    size_t pos = 0;
    int calls = 0;
    while (pos < stream.size() && calls < 4096) {
        size_t unit = piece ? std::min(piece, stream.size() - pos)
                            : UMC::Mpeg2AccessUnitLength(stream.data() + pos, stream.size() - pos);
        UMC::MediaData in;
        in.SetBufferPointer(const_cast<uint8_t*>(stream.data()) + pos, unit);
        in.SetDataSize(unit);
        while (in.GetDataSize() > 0 && calls < 4096) {
            ++calls;
            const size_t before = in.GetDataSize();
            UMC::Status st = decoder.GetFrame(&in, &out);
            if (st != UMC::STATUS_OK && in.GetDataSize() == before) break;
        }
        pos += unit;
    }
    for (int i = 0; i < 4 && decoder.GetFrame(nullptr, &out) == UMC::STATUS_OK; ++i) {
    }
    UMC::MediaData userData;
    while (decoder.GetUserData(&userData) == UMC::STATUS_OK) {
    }
    return 0;
}
