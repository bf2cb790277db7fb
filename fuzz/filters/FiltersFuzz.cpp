// Pushes arbitrary bytes through source -> decoder filter -> sink. Byte 0 chooses the filter
// (MPEG-2 video, MPEG audio, DVD LPCM, MPEG-4 video) and the sample size; the input types are
// fixed (MPEG-4 without a VOL in the format block), so the data decides everything else.
#include <cstdint>
#include <cstring>

#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"
#include "fuzz/FilterFeed.h"

namespace {

CMediaType VideoType() {
    CMediaType t;
    t.majortype = MEDIATYPE_Video;
    t.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    t.formattype = FORMAT_MPEG2Video;
    const size_t size = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(t.AllocFormatBuffer(ULONG(size)));
    std::memset(info, 0, size);
    info->hdr.rcTarget = RECT{0, 0, 176, 144};
    info->hdr.AvgTimePerFrame = 400000;
    info->hdr.dwPictAspectRatioX = 4;
    info->hdr.dwPictAspectRatioY = 3;
    info->hdr.bmiHeader.biWidth = 176;
    info->hdr.bmiHeader.biHeight = 144;
    return t;
}

CMediaType Mpeg4Type() {
    CMediaType t;
    t.majortype = MEDIATYPE_Video;
    t.subtype = GUID{0x5634504D, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};  // MP4V
    t.formattype = FORMAT_VideoInfo;
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(t.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    std::memset(info, 0, sizeof(VIDEOINFOHEADER));
    info->rcTarget = RECT{0, 0, 176, 144};
    info->AvgTimePerFrame = 400000;
    info->bmiHeader.biWidth = 176;
    info->bmiHeader.biHeight = 144;
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int kind = data[0] % 4;
    const size_t piece = size_t(1) << (data[1] % 13);  // 1 byte to 4 KiB
    data += 2;
    size -= 2;
    HRESULT(*create)
    (IBaseFilter**) = kind == 0   ? qm_MPEGDecoderFilters::CreateMPEG2VideoDecoderFilter
                      : kind == 1 ? qm_MPEGDecoderFilters::CreateMPEGAudioDecoderFilter
                      : kind == 2 ? qm_MPEGDecoderFilters::CreateDVDAudioDecoderFilter
                                  : qm_MPEGDecoderFilters::CreateMPEG4VideoDecoderFilter;
    const CMediaType input =
        kind == 0   ? VideoType()
        : kind == 3 ? Mpeg4Type()
        : kind == 2 ? qmfuzz::WaveType(MEDIASUBTYPE_DVD_LPCM_AUDIO,
                                       WAVEFORMATEX{0, 2, 48000, 192000, 4, 16, 0})
                    : qmfuzz::WaveType(GUID{0x55, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}},
                                       WAVEFORMATEX{0x55, 2, 48000, 16000, 1, 0, 0});

    qmfuzz::FeedFilter(create, input, data, size, piece, [](size_t index) {
        qm::graph::SampleSpec spec;
        spec.start = REFERENCE_TIME(index) * 400000;
        spec.stop = *spec.start + 400000;
        return spec;
    });
    return 0;
}
