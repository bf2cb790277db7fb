#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"

#include "platform/dshow/Uuids.h"

namespace qm {
namespace {

const SubtypeColorFormat kRows[] = {
    {MEDIASUBTYPE_YUY2, UMC::YUY2},     {MEDIASUBTYPE_NV12, UMC::NV12},
    {MEDIASUBTYPE_UYVY, UMC::UYVY},     {MEDIASUBTYPE_RGB24, UMC::RGB24},
    {MEDIASUBTYPE_RGB32, UMC::RGB32},   {MEDIASUBTYPE_ARGB32, UMC::ARGB32},
    {MEDIASUBTYPE_RGB8, UMC::RGB8},     {MEDIASUBTYPE_RGB555, UMC::RGB555},
    {MEDIASUBTYPE_RGB565, UMC::RGB565}, {MEDIASUBTYPE_I420, UMC::YUV420},
    {MEDIASUBTYPE_IYUV, UMC::YUV420},   {MEDIASUBTYPE_YV12, UMC::YV12},
    {MEDIASUBTYPE_YVU9, UMC::YVU9},     {MEDIASUBTYPE_UYVY, UMC::UYVY},
    {MEDIASUBTYPE_HDYC, UMC::UYVY},     {MEDIASUBTYPE_BYRG, UMC::BAYER_RG},
    {MEDIASUBTYPE_BYGB, UMC::BAYER_GB}, {MEDIASUBTYPE_BYGR, UMC::BAYER_GR},
    {MEDIASUBTYPE_BYBG, UMC::BAYER_BG}, {MEDIASUBTYPE_Y800, UMC::Y800},
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
