#include <gtest/gtest.h>

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "platform/dshow/Uuids.h"

namespace {

TEST(SubtypeColorFormat, BothDirectionsTakeTheFirstRow) {
    EXPECT_EQ(qm::ColorFormatFromSubtype(MEDIASUBTYPE_YV12), UMC::YV12);
    EXPECT_EQ(qm::ColorFormatFromSubtype(qm::MEDIASUBTYPE_I420), UMC::YUV420);
    EXPECT_EQ(qm::ColorFormatFromSubtype(MEDIASUBTYPE_IYUV), UMC::YUV420);
    EXPECT_EQ(qm::ColorFormatFromSubtype(qm::MEDIASUBTYPE_HDYC), UMC::UYVY);
    EXPECT_EQ(qm::ColorFormatFromSubtype(MEDIASUBTYPE_RGB32), UMC::RGB32);
    EXPECT_EQ(qm::ColorFormatFromSubtype(MEDIASUBTYPE_MPEG2_VIDEO), UMC::NONE);
    // YUV420 maps back to I420 (its first row), UYVY to the UYVY subtype, not HDYC.
    EXPECT_TRUE(IsEqualGUID(qm::SubtypeFromColorFormat(UMC::YUV420), qm::MEDIASUBTYPE_I420));
    EXPECT_TRUE(IsEqualGUID(qm::SubtypeFromColorFormat(UMC::UYVY), MEDIASUBTYPE_UYVY));
    EXPECT_TRUE(IsEqualGUID(qm::SubtypeFromColorFormat(UMC::YUV444), GUID_NULL));
    EXPECT_EQ(qm::GuidToString(qm::MEDIASUBTYPE_Y800), "{30303859-0000-0010-8000-00AA00389B71}");
}

}  // namespace
