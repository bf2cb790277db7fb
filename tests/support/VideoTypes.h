// Video media types with a VIDEOINFOHEADER format block, as the filter-side tests use them.
#pragma once

#include "platform/dshow/DShow.h"

namespace qm::test {

// biSizeImage is the 4:2:0 picture size unless sampleSize gives another.
inline CMediaType VideoInfoType(LONG width, LONG height, const GUID& subtype = MEDIASUBTYPE_YV12,
                                LONG sampleSize = 0) {
    CMediaType mt(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biSize = sizeof(vih.bmiHeader);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biSizeImage = DWORD(sampleSize > 0 ? sampleSize : width * height * 3 / 2);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
    return mt;
}

}  // namespace qm::test
