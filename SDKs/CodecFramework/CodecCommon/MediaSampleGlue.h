// Binds media samples to codec containers: compressed payloads to UMC::MediaData, output sample
// memory to UMC::VideoData laid out for the output media type.
#pragma once

#include "SDKs/CodecFramework/core/MediaData.h"
#include "SDKs/CodecFramework/core/VideoData.h"
#include "platform/dshow/DShow.h"

namespace qm {

// The container gets the sample's memory and actual length and, with withTime, its times in
// seconds (a sample without times keeps -1).
HRESULT MediaSampleToMediaData(IMediaSample* pSample, UMC::MediaData* pData, bool withTime);

// Lays a picture of the type's size and colour format over the sample's memory; interlaced
// top-field-first types give picture structure 7, everything else 3.
HRESULT InitVideoDataFromSample(const CMediaType& mt, IMediaSample* pMediaSample,
                                UMC::VideoData* pData);

}  // namespace qm
