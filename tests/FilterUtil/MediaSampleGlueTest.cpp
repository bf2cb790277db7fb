// Media samples into codec containers: payload, length and times as the sample states them.
#include <gtest/gtest.h>

#include <vector>

#include "SDKs/CodecFramework/CodecCommon/MediaSampleGlue.h"
#include "SDKs/CodecFramework/core/MediaData.h"
#include "VideoIO/FilterUtil/QMMediaSample.h"

using qm_DSFilters::QMMediaSample;

namespace {

TEST(MediaSampleGlue, TimesAsTheSampleHasThem) {
    std::vector<BYTE> memory(100);
    QMMediaSample* sample = new QMMediaSample(nullptr, memory.data(), LONG(memory.size()));
    ASSERT_EQ(sample->SetActualDataLength(40), S_OK);
    REFERENCE_TIME start = 25000000, stop = 35000000;
    const struct {
        bool withStart, withStop, withTime;
        double start, end;
    } cases[] = {
        {true, true, true, 2.5, 3.5},
        // A start without a stop (VFW_S_NO_STOP_TIME) is still a start; the end is unknown.
        {true, false, true, 2.5, -1.0},
        {false, false, true, -1.0, -1.0},
        {true, true, false, -1.0, -1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.withStart << c.withStop << c.withTime);
        ASSERT_EQ(sample->SetTime(c.withStart ? &start : nullptr, c.withStop ? &stop : nullptr),
                  S_OK);
        UMC::MediaData data;
        ASSERT_EQ(qm::MediaSampleToMediaData(sample, &data, c.withTime), S_OK);
        EXPECT_EQ(data.GetDataPointer(), memory.data());
        EXPECT_EQ(data.GetBufferSize(), memory.size());
        EXPECT_EQ(data.GetDataSize(), 40u);
        double s = 0, e = 0;
        ASSERT_EQ(data.GetTime(s, e), UMC::STATUS_OK);
        EXPECT_DOUBLE_EQ(s, c.start);
        EXPECT_DOUBLE_EQ(e, c.end);
    }
    sample->Release();
}

}  // namespace
