#include "VideoIO/Demultiplexer/StreamMediaType.h"

#include <cstdio>
#include <cstring>

#include "VideoIO/Demultiplexer/ElementaryHeaders.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGSystemFilters/Psi.h"

namespace qm_Demultiplexer {

using qm_MPEGSystemFilters::kHdmvLpcmStreamType;
using qm_MPEGSystemFilters::StreamCoding;
using qm_MPEGSystemFilters::StreamCodingName;
using qm_MPEGSystemFilters::StreamInfo;

namespace {

template <class T>
T* NewFormat(CMediaType* type, size_t size) {
    BYTE* block = type->AllocFormatBuffer(ULONG(size));
    if (block) std::memset(block, 0, size);
    return reinterpret_cast<T*>(block);
}

void FillVideoHeader(VIDEOINFOHEADER* h, int width, int height, int64_t frameDuration,
                     uint32_t bitRate) {
    h->rcSource = h->rcTarget = RECT{0, 0, width, height};
    h->dwBitRate = bitRate;
    h->AvgTimePerFrame = frameDuration;
    h->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    h->bmiHeader.biWidth = width;
    h->bmiHeader.biHeight = height;
}

bool MpegVideoType(const uint8_t* data, size_t size, CMediaType* type, std::string* text) {
    const auto seq = FindVideoSequence(data, size);
    if (!seq) return false;
    type->majortype = MEDIATYPE_Video;
    type->bTemporalCompression = TRUE;
    const size_t headerSize = seq->headerBytes.size();
    if (seq->mpeg2) {
        type->subtype = MEDIASUBTYPE_MPEG2_VIDEO;
        type->formattype = FORMAT_MPEG2Video;
        auto* info = NewFormat<MPEG2VIDEOINFO>(
            type, offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + headerSize);
        if (!info) return false;
        VIDEOINFOHEADER2& h = info->hdr;
        h.rcSource = h.rcTarget = RECT{0, 0, seq->width, seq->height};
        h.dwBitRate = seq->bitRate;
        h.AvgTimePerFrame = seq->frameDuration;
        h.dwInterlaceFlags =
            seq->progressive ? 0 : (AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First);
        static const int kAspect[5][2] = {{0, 0}, {1, 1}, {4, 3}, {16, 9}, {221, 100}};
        int32_t ax = seq->width, ay = seq->height;
        if (seq->aspectCode >= 2 && seq->aspectCode <= 4) {
            ax = kAspect[seq->aspectCode][0];
            ay = kAspect[seq->aspectCode][1];
        }
        qm::ReduceRatio(&ax, &ay);
        h.dwPictAspectRatioX = DWORD(ax);
        h.dwPictAspectRatioY = DWORD(ay);
        h.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        h.bmiHeader.biWidth = seq->width;
        h.bmiHeader.biHeight = seq->height;
        info->cbSequenceHeader = DWORD(headerSize);
        std::memcpy(info->dwSequenceHeader, seq->headerBytes.data(), headerSize);
    } else {
        type->subtype = MEDIASUBTYPE_MPEG1Payload;
        type->formattype = FORMAT_MPEGVideo;
        auto* info =
            NewFormat<MPEG1VIDEOINFO>(type, offsetof(MPEG1VIDEOINFO, bSequenceHeader) + headerSize);
        if (!info) return false;
        FillVideoHeader(&info->hdr, seq->width, seq->height, seq->frameDuration, seq->bitRate);
        info->cbSequenceHeader = DWORD(headerSize);
        std::memcpy(info->bSequenceHeader, seq->headerBytes.data(), headerSize);
    }
    char line[128];
    std::snprintf(line, sizeof(line), "MPEG-%d video %dx%d, %.3f fps%s", seq->mpeg2 ? 2 : 1,
                  seq->width, seq->height, 1e7 / double(seq->frameDuration),
                  seq->progressive ? "" : ", interlaced");
    *text = line;
    return true;
}

bool MpegAudioType(const uint8_t* data, size_t size, CMediaType* type, std::string* text) {
    const auto f = FindAudioFrame(data, size);
    if (!f) return false;
    type->majortype = MEDIATYPE_Audio;
    type->formattype = FORMAT_WaveFormatEx;
    const WAVEFORMATEX wfx{WORD(f->layer == 3 ? WAVE_FORMAT_MPEGLAYER3 : WAVE_FORMAT_MPEG),
                           WORD(f->channels),
                           DWORD(f->sampleRate),
                           DWORD(f->kbps * 125),
                           1,
                           0,
                           0};
    if (f->layer == 3) {
        type->subtype = qm::MediaSubtypeFromFourCC(WAVE_FORMAT_MPEGLAYER3);
        auto* w = NewFormat<WAVEFORMATEX>(type, sizeof(WAVEFORMATEX));
        if (!w) return false;
        *w = wfx;
    } else {
        type->subtype = MEDIASUBTYPE_MPEG1AudioPayload;
        auto* m = NewFormat<MPEG1WAVEFORMAT>(type, sizeof(MPEG1WAVEFORMAT));
        if (!m) return false;
        m->wfx = wfx;
        m->wfx.cbSize = WORD(sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX));
        m->fwHeadLayer = f->layer == 1 ? ACM_MPEG_LAYER1 : ACM_MPEG_LAYER2;
        m->dwHeadBitrate = DWORD(f->kbps * 1000);
        static const WORD kModes[4] = {ACM_MPEG_STEREO, ACM_MPEG_JOINTSTEREO, ACM_MPEG_DUALCHANNEL,
                                       ACM_MPEG_SINGLECHANNEL};
        m->fwHeadMode = kModes[f->mode];
        m->fwHeadFlags = f->mpegVersion == 1 ? 0x0010 : 0;  // ACM_MPEG_ID_MPEG1
    }
    char line[96];
    std::snprintf(line, sizeof(line), "MPEG audio layer %d, %d Hz, %d ch, %d kbit/s", f->layer,
                  f->sampleRate, f->channels, f->kbps);
    *text = line;
    return true;
}

bool Ac3Type(const uint8_t* data, size_t size, CMediaType* type, std::string* text) {
    const auto f = FindAc3Frame(data, size);
    if (!f) return false;
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_DOLBY_AC3;
    type->formattype = FORMAT_WaveFormatEx;
    auto* w = NewFormat<WAVEFORMATEX>(type, sizeof(WAVEFORMATEX));
    if (!w) return false;
    *w = WAVEFORMATEX{0x2000, WORD(f->channels), DWORD(f->sampleRate), DWORD(f->kbps * 125), 1, 0,
                      0};
    char line[96];
    std::snprintf(line, sizeof(line), "AC-3 audio, %d Hz, %d ch, %d kbit/s", f->sampleRate,
                  f->channels, f->kbps);
    *text = line;
    return true;
}

bool LpcmType(const StreamInfo& info, CMediaType* type, std::string* text) {
    if (info.sampleRate == 0 || info.channels == 0 || info.bitsPerSample == 0) return false;
    type->majortype = MEDIATYPE_Audio;
    type->subtype = MEDIASUBTYPE_DVD_LPCM_AUDIO;
    type->formattype = FORMAT_WaveFormatEx;
    auto* w = NewFormat<WAVEFORMATEX>(type, sizeof(WAVEFORMATEX));
    if (!w) return false;
    const WORD align = WORD(info.channels * info.bitsPerSample / 8);
    *w = WAVEFORMATEX{
        0, info.channels, info.sampleRate, info.sampleRate * align, align, info.bitsPerSample, 0};
    char line[96];
    std::snprintf(line, sizeof(line), "%s LPCM audio, %u Hz, %u ch, %u bits",
                  info.containerType == kHdmvLpcmStreamType ? "Blu-ray" : "DVD",
                  unsigned(info.sampleRate), unsigned(info.channels), unsigned(info.bitsPerSample));
    *text = line;
    return true;
}

bool Mpeg4Type(const StreamInfo& info, CMediaType* type, std::string* text) {
    const DWORD fourcc = info.containerType != 0 && info.containerType != 0x10
                             ? DWORD(info.containerType)
                             : qm::MakeFourCC('M', 'P', '4', 'V');
    type->majortype = MEDIATYPE_Video;
    type->subtype = qm::MediaSubtypeFromFourCC(fourcc);
    type->formattype = FORMAT_VideoInfo;
    type->bTemporalCompression = TRUE;
    auto* h = NewFormat<VIDEOINFOHEADER>(type, sizeof(VIDEOINFOHEADER));
    if (!h) return false;
    FillVideoHeader(h, info.width, info.height, info.frameDuration, 0);
    h->bmiHeader.biCompression = fourcc;
    h->bmiHeader.biBitCount = 24;
    h->bmiHeader.biPlanes = 1;
    char line[96];
    std::snprintf(line, sizeof(line), "MPEG-4 video '%c%c%c%c' %dx%d", char(fourcc),
                  char(fourcc >> 8), char(fourcc >> 16), char(fourcc >> 24), int(info.width),
                  int(info.height));
    *text = line;
    return true;
}

}  // namespace

bool BuildStreamMediaType(const StreamInfo& info, const uint8_t* data, size_t size,
                          CMediaType* type, std::string* description) {
    type->InitMediaType();
    switch (info.coding) {
        case StreamCoding::MpegVideo:
            return MpegVideoType(data, size, type, description);
        case StreamCoding::MpegAudio:
            return MpegAudioType(data, size, type, description);
        case StreamCoding::Ac3:
            return Ac3Type(data, size, type, description);
        case StreamCoding::Lpcm:
            return LpcmType(info, type, description);
        case StreamCoding::Mpeg4Video:
            return Mpeg4Type(info, type, description);
        default:
            return false;
    }
}

std::string UntypedStreamDescription(const StreamInfo& info) {
    // Only Blu-ray LPCM headers fill in the sample size of an untyped transport stream.
    if (info.containerType == kHdmvLpcmStreamType && info.bitsPerSample != 0) {
        char line[128];
        std::snprintf(line, sizeof(line),
                      "Blu-ray LPCM audio, %u Hz, %u ch, %u bits (not decoded: only 16-bit "
                      "stereo is)",
                      unsigned(info.sampleRate), unsigned(info.channels),
                      unsigned(info.bitsPerSample));
        return line;
    }
    return StreamCodingName(info.coding);
}

}  // namespace qm_Demultiplexer
