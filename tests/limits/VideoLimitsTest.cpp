// Picture sizes at the limit decode; one sample beyond, in either side or in area, is refused
// before the frame memory is asked for.
#include <gtest/gtest.h>

#include <algorithm>

#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "SDKs/CodecFramework/core/MemoryAllocator.h"
#include "SDKs/CodecFramework/mpeg4video/MPEG4VideoDecoder.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg2video/Mpeg2StreamWriter.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace {

using qm::test::mpeg2::StreamWriter;

// Remembers the largest block asked for.
class RecordingAllocator : public UMC::DefaultMemoryAllocator {
public:
    UMC::Status Alloc(UMC::MemID* id, size_t size, uint32_t flags, uint32_t alignment) override {
        largest = std::max(largest, size);
        return DefaultMemoryAllocator::Alloc(id, size, flags, alignment);
    }
    size_t largest = 0;
};

struct Size {
    int width, height;
};
// The largest sizes taken and the smallest refused beside each.
constexpr Size kLegal[] = {{4096, 2304}, {2304, 4096}, {4096, 16}, {16, 4096}};
constexpr Size kIllegal[] = {{4096, 2305}, {2305, 4096}, {4097, 16}, {16, 4097}, {16383, 16383}};
constexpr size_t kSmallBlock = 1 << 20;  // anything for the picture itself is far above

std::vector<uint8_t> Mpeg2Picture(Size size, bool mpeg2) {
    StreamWriter w;
    StreamWriter::Sequence s;
    s.width = size.width;
    s.height = size.height;
    s.mpeg2 = mpeg2;
    w.SequenceHeader(s);
    StreamWriter::Picture p;
    p.codingExtension = mpeg2;
    w.PictureHeader(p);
    w.Slice(0, 8);
    const int dc[6] = {100, 100, 100, 100, 128, 128};
    int pred[3] = {128, 128, 128};
    w.IntraMacroblockDcOnly(1, dc, 6, pred);
    return w.Data();
}

// Init with the headers as decoder-specific data (none: the declared size alone).
template <class Decoder>
UMC::Status Init(std::vector<uint8_t> headers, RecordingAllocator& allocator,
                 Size declared = {0, 0}) {
    Decoder decoder;
    UMC::VideoDecoderParams params;
    UMC::MediaData initial;
    initial.SetBufferPointer(headers.data(), headers.size());
    initial.SetDataSize(headers.size());
    if (!headers.empty()) params.m_pData = &initial;
    params.lpMemoryAllocator = &allocator;
    params.info.clip_width = declared.width;
    params.info.clip_height = declared.height;
    return decoder.Init(&params);
}

TEST(VideoLimits, Mpeg2TakesTheLargestPictureAndRefusesLarger) {
    spInitProcessorDispatch();
    for (const Size size : kLegal) {
        const auto result = qm::test::mpeg2::Decode(Mpeg2Picture(size, true), 1, 0);
        ASSERT_EQ(result.pictures.size(), 1u) << size.width << "x" << size.height;
        EXPECT_EQ(result.pictures[0].width, size.width);
        EXPECT_EQ(result.pictures[0].height, size.height);
        RecordingAllocator allocator;
        EXPECT_EQ(Init<UMC::MPEG2VideoDecoder>(Mpeg2Picture(size, true), allocator),
                  UMC::STATUS_OK);
        EXPECT_GE(allocator.largest, size_t(size.width) * size_t(size.height) * 3);
    }
    for (const Size size : kIllegal) {
        EXPECT_TRUE(qm::test::mpeg2::Decode(Mpeg2Picture(size, true), 1, 0).pictures.empty())
            << size.width << "x" << size.height;
        RecordingAllocator allocator;
        EXPECT_EQ(Init<UMC::MPEG2VideoDecoder>(Mpeg2Picture(size, true), allocator),
                  UMC::STATUS_INVALID_STREAM);
        EXPECT_LT(allocator.largest, kSmallBlock);
    }
    // MPEG-1 headers hold 12 bits a side: 4095 x 4095 is still too many samples.
    EXPECT_TRUE(qm::test::mpeg2::Decode(Mpeg2Picture({4095, 4095}, false), 1, 0).pictures.empty());
    EXPECT_EQ(qm::test::mpeg2::Decode(Mpeg2Picture({4095, 2304}, false), 1, 0).pictures.size(), 1u);
}

TEST(VideoLimits, Mpeg2StreamTurningHostileMidwayKeepsItsFramesAndDecodesNothingMore) {
    spInitProcessorDispatch();
    std::vector<uint8_t> stream = Mpeg2Picture({64, 64}, true);
    const std::vector<uint8_t> hostile = Mpeg2Picture({16383, 16383}, true);
    stream.insert(stream.end(), hostile.begin(), hostile.end());
    const std::vector<uint8_t> again = Mpeg2Picture({64, 64}, true);
    stream.insert(stream.end(), again.begin(), again.end());
    const auto result = qm::test::mpeg2::Decode(stream, 1, 0);
    ASSERT_EQ(result.pictures.size(), 2u);
    for (const auto& picture : result.pictures) EXPECT_EQ(picture.width, 64);
}

// A VOL of `size` (with a static sprite of `sprite` when given), then the VOP start code.
std::vector<uint8_t> Mpeg4Vol(Size size, Size sprite = {0, 0}) {
    qm::test::mpeg4::BitWriter w;
    qm::test::mpeg4::VolSpec vol;
    vol.width = size.width;
    vol.height = size.height;
    vol.spriteWidth = sprite.width;
    vol.spriteHeight = sprite.height;
    qm::test::mpeg4::PutVol(w, vol);
    w.StartCode(0xB6);
    return w.Bytes();
}

TEST(VideoLimits, Mpeg4TakesTheLargestLayerAndSpriteAndRefusesLarger) {
    spInitProcessorDispatch();
    for (const Size size : kLegal) {
        RecordingAllocator allocator;
        EXPECT_EQ(Init<UMC::MPEG4VideoDecoder>(Mpeg4Vol(size), allocator), UMC::STATUS_OK)
            << size.width << "x" << size.height;
        EXPECT_GE(allocator.largest, size_t(size.width) * size_t(size.height));
        RecordingAllocator spriteAllocator;
        EXPECT_EQ(Init<UMC::MPEG4VideoDecoder>(Mpeg4Vol({16, 16}, size), spriteAllocator),
                  UMC::STATUS_OK);
        EXPECT_GE(spriteAllocator.largest, size_t(size.width) * size_t(size.height));
        // Without a layer, the size a format block declares.
        RecordingAllocator declared;
        EXPECT_EQ(Init<UMC::MPEG4VideoDecoder>({}, declared, size), UMC::STATUS_OK);
    }
    for (const Size size : kIllegal) {
        if (size.width > 8191) continue;  // 13 bits a side
        RecordingAllocator allocator;
        EXPECT_NE(Init<UMC::MPEG4VideoDecoder>(Mpeg4Vol(size), allocator), UMC::STATUS_OK)
            << size.width << "x" << size.height;
        EXPECT_LT(allocator.largest, kSmallBlock);
        RecordingAllocator spriteAllocator;
        EXPECT_NE(Init<UMC::MPEG4VideoDecoder>(Mpeg4Vol({16, 16}, size), spriteAllocator),
                  UMC::STATUS_OK);
        EXPECT_LT(spriteAllocator.largest, kSmallBlock);
        RecordingAllocator declared;
        EXPECT_EQ(Init<UMC::MPEG4VideoDecoder>({}, declared, size), UMC::STATUS_INVALID_PARAMS);
    }
}

}  // namespace
