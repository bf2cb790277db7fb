// MPEG-4 Part 2 visual elementary streams (.m4v, .cmp) and H.263 baseline streams (.h263): the
// input type an AVI or MP4 demultiplexer would give (the "MP4V" FOURCC in a VIDEOINFOHEADER with
// the headers before the first VOP after it), and one unit per VOP.
#include <cstdio>
#include <cstring>
#include <memory>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "tools/qmdecode/StreamProbe.h"

namespace qmdecode {

bool LooksLikeMpeg4Video(std::span<const uint8_t> d) {
    return UMC::mpeg4::LooksLikeMpeg4Video(d.data(), d.size());
}

std::optional<std::string> ProbeMpeg4Video(std::span<const uint8_t> d, ProbedStream* s) {
    auto state = std::make_unique<UMC::MPEG4DecoderState>();
    state->vo.verid = 1;
    UMC::Mpeg4PaddedInput input;
    input.Assign(d.data(), std::min<size_t>(d.size(), 1 << 16));
    state->bits.Init(input.Data(), input.Size());
    if (UMC::mpeg4::FindHeaders(*state) != UMC::STATUS_OK || state->vol.width <= 0 ||
        state->vol.height <= 0)
        return "no usable MPEG-4 video object layer";
    const UMC::Mpeg4Vol& vol = state->vol;
    const bool shortHeader = vol.shortVideoHeader != 0;
    s->kind = StreamKind::MpegVideo;
    s->mpeg4 = true;
    s->shortHeader = shortHeader;
    s->width = vol.width;
    s->height = vol.height;
    // Without a fixed VOP rate the stream does not say; 25 pictures a second then.
    if (shortHeader)
        s->avgTimePerFrame = 333667;
    else if (vol.fixedVopRate && vol.fixedVopTimeIncrement > 0 && vol.timeIncrementResolution > 0)
        s->avgTimePerFrame =
            (10000000LL * vol.fixedVopTimeIncrement + vol.timeIncrementResolution / 2) /
            vol.timeIncrementResolution;
    else
        s->avgTimePerFrame = 400000;

    // The headers before the first VOP go into the format block.
    size_t headers = 0;
    if (!shortHeader) {
        headers = d.size();
        for (size_t i = 0; i + 3 < d.size(); ++i)
            if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1 && d[i + 3] == 0xB6) {
                headers = i;
                break;
            }
    }
    CMediaType& mt = s->inputType;
    mt.InitMediaType();
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = qm::MediaSubtypeFromFourCC(DWORD('M') | DWORD('P') << 8 | DWORD('4') << 16 |
                                            DWORD('V') << 24);
    mt.formattype = FORMAT_VideoInfo;
    BYTE* block = mt.AllocFormatBuffer(ULONG(sizeof(VIDEOINFOHEADER) + headers));
    if (!block) return "out of memory";
    std::memset(block, 0, sizeof(VIDEOINFOHEADER));
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(block);
    info->rcSource = info->rcTarget = RECT{0, 0, vol.width, vol.height};
    info->AvgTimePerFrame = s->avgTimePerFrame;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = vol.width;
    info->bmiHeader.biHeight = vol.height;
    info->bmiHeader.biCompression =
        DWORD('M') | DWORD('P') << 8 | DWORD('4') << 16 | DWORD('V') << 24;
    if (headers) std::memcpy(block + sizeof(VIDEOINFOHEADER), d.data(), headers);

    char text[96];
    std::snprintf(text, sizeof(text), "%s video %dx%d, %.3f fps",
                  shortHeader ? "H.263" : "MPEG-4 Part 2", vol.width, vol.height,
                  10000000.0 / double(s->avgTimePerFrame));
    s->description = text;
    return std::nullopt;
}

std::vector<VideoUnit> SplitMpeg4Units(const uint8_t* data, size_t size, bool shortHeader,
                                       REFERENCE_TIME framePeriod) {
    std::vector<VideoUnit> units;
    for (size_t offset = 0; offset < size;) {
        const size_t n =
            UMC::mpeg4::Mpeg4AccessUnitLength(data + offset, size - offset, shortHeader);
        units.push_back({offset, n, REFERENCE_TIME(units.size()) * framePeriod});
        offset += n;
    }
    return units;
}

}  // namespace qmdecode
