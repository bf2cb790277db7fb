// The constant copies of SDK subtypes equal the SDK's own (on Windows they are separate values).
#include <gtest/gtest.h>

#include "platform/dshow/UuidConstants.h"

namespace {

TEST(UuidConstants, EqualTheSdkValues) {
    const struct {
        const char* name;
        const GUID& constant;
        const GUID& sdk;
    } rows[] = {
        {"MEDIASUBTYPE_ARGB32", qm::uuids::MEDIASUBTYPE_ARGB32, ::MEDIASUBTYPE_ARGB32},
        {"MEDIASUBTYPE_DOLBY_AC3", qm::uuids::MEDIASUBTYPE_DOLBY_AC3, ::MEDIASUBTYPE_DOLBY_AC3},
        {"MEDIASUBTYPE_IEEE_FLOAT", qm::uuids::MEDIASUBTYPE_IEEE_FLOAT, ::MEDIASUBTYPE_IEEE_FLOAT},
        {"MEDIASUBTYPE_IYUV", qm::uuids::MEDIASUBTYPE_IYUV, ::MEDIASUBTYPE_IYUV},
        {"MEDIASUBTYPE_MPEG1AudioPayload", qm::uuids::MEDIASUBTYPE_MPEG1AudioPayload,
         ::MEDIASUBTYPE_MPEG1AudioPayload},
        {"MEDIASUBTYPE_MPEG2_AUDIO", qm::uuids::MEDIASUBTYPE_MPEG2_AUDIO,
         ::MEDIASUBTYPE_MPEG2_AUDIO},
        {"MEDIASUBTYPE_NV12", qm::uuids::MEDIASUBTYPE_NV12, ::MEDIASUBTYPE_NV12},
        {"MEDIASUBTYPE_PCM", qm::uuids::MEDIASUBTYPE_PCM, ::MEDIASUBTYPE_PCM},
        {"MEDIASUBTYPE_RGB1", qm::uuids::MEDIASUBTYPE_RGB1, ::MEDIASUBTYPE_RGB1},
        {"MEDIASUBTYPE_RGB24", qm::uuids::MEDIASUBTYPE_RGB24, ::MEDIASUBTYPE_RGB24},
        {"MEDIASUBTYPE_RGB32", qm::uuids::MEDIASUBTYPE_RGB32, ::MEDIASUBTYPE_RGB32},
        {"MEDIASUBTYPE_RGB4", qm::uuids::MEDIASUBTYPE_RGB4, ::MEDIASUBTYPE_RGB4},
        {"MEDIASUBTYPE_RGB555", qm::uuids::MEDIASUBTYPE_RGB555, ::MEDIASUBTYPE_RGB555},
        {"MEDIASUBTYPE_RGB565", qm::uuids::MEDIASUBTYPE_RGB565, ::MEDIASUBTYPE_RGB565},
        {"MEDIASUBTYPE_RGB8", qm::uuids::MEDIASUBTYPE_RGB8, ::MEDIASUBTYPE_RGB8},
        {"MEDIASUBTYPE_UYVY", qm::uuids::MEDIASUBTYPE_UYVY, ::MEDIASUBTYPE_UYVY},
        {"MEDIASUBTYPE_YUY2", qm::uuids::MEDIASUBTYPE_YUY2, ::MEDIASUBTYPE_YUY2},
        {"MEDIASUBTYPE_YV12", qm::uuids::MEDIASUBTYPE_YV12, ::MEDIASUBTYPE_YV12},
        {"MEDIASUBTYPE_YVU9", qm::uuids::MEDIASUBTYPE_YVU9, ::MEDIASUBTYPE_YVU9},
        {"MEDIASUBTYPE_YVYU", qm::uuids::MEDIASUBTYPE_YVYU, ::MEDIASUBTYPE_YVYU},
    };
    for (const auto& row : rows) EXPECT_TRUE(IsEqualGUID(row.constant, row.sdk)) << row.name;
}

}  // namespace
