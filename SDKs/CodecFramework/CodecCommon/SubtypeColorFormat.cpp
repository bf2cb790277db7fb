#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"

#include "platform/dshow/UuidConstants.h"

namespace qm {
namespace {

constexpr SubtypeColorFormat kRows[] = {
    {uuids::MEDIASUBTYPE_YUY2, UMC::YUY2},
    {uuids::MEDIASUBTYPE_NV12, UMC::NV12},
    {uuids::MEDIASUBTYPE_UYVY, UMC::UYVY},
    {uuids::MEDIASUBTYPE_RGB24, UMC::RGB24},
    {uuids::MEDIASUBTYPE_RGB32, UMC::RGB32},
    {uuids::MEDIASUBTYPE_ARGB32, UMC::ARGB32},
    {uuids::MEDIASUBTYPE_RGB8, UMC::RGB8},
    {uuids::MEDIASUBTYPE_RGB555, UMC::RGB555},
    {uuids::MEDIASUBTYPE_RGB565, UMC::RGB565},
    {MEDIASUBTYPE_I420, UMC::YUV420},
    {uuids::MEDIASUBTYPE_IYUV, UMC::YUV420},
    {uuids::MEDIASUBTYPE_YV12, UMC::YV12},
    {uuids::MEDIASUBTYPE_YVU9, UMC::YVU9},
    {uuids::MEDIASUBTYPE_UYVY, UMC::UYVY},
    {MEDIASUBTYPE_HDYC, UMC::UYVY},
    {MEDIASUBTYPE_BYRG, UMC::BAYER_RG},
    {MEDIASUBTYPE_BYGB, UMC::BAYER_GB},
    {MEDIASUBTYPE_BYGR, UMC::BAYER_GR},
    {MEDIASUBTYPE_BYBG, UMC::BAYER_BG},
    {MEDIASUBTYPE_Y800, UMC::Y800},
};
static_assert(sizeof(kRows) / sizeof(kRows[0]) == 20);

}  // namespace

int GetSubtypeColorFormatCount() {
    return int(sizeof(kRows) / sizeof(kRows[0]));
}

const SubtypeColorFormat& GetSubtypeColorFormat(int row) {
    return kRows[row];
}

UMC::ColorFormat ColorFormatFromSubtype(REFGUID subtype) {
    for (const SubtypeColorFormat& row : kRows)
        if (IsEqualGUID(row.subtype, subtype)) return row.format;
    return UMC::NONE;
}

GUID SubtypeFromColorFormat(UMC::ColorFormat format) {
    for (const SubtypeColorFormat& row : kRows)
        if (row.format == format) return row.subtype;
    return GUID_NULL;
}

}  // namespace qm
