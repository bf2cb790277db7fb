#include "tools/qmdecode/StreamProbe.h"

#include <cstdio>
#include <cstring>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"

namespace qmdecode {
namespace {

class Bits {
public:
    Bits(const uint8_t* p, size_t n) : m_p(p), m_n(n) {}
    uint32_t Get(int count) {
        uint32_t v = 0;
        for (int i = 0; i < count; ++i) {
            const size_t byte = m_pos >> 3;
            const uint32_t bit = byte < m_n ? (m_p[byte] >> (7 - (m_pos & 7))) & 1 : 0;
            v = (v << 1) | bit;
            ++m_pos;
        }
        return v;
    }

private:
    const uint8_t* m_p;
    size_t m_n;
    size_t m_pos = 0;
};

// Offset of the next start code 00 00 01 xx at or after `from`, or npos.
size_t FindStartCode(std::span<const uint8_t> d, size_t from) {
    for (size_t i = from; i + 3 < d.size(); ++i)
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) return i;
    return std::string::npos;
}

// Frame periods in 100-ns units by frame_rate_code (1..8), as fractions.
bool FramePeriod(uint32_t code, int64_t* num, int64_t* den) {
    static const int64_t kNum[9] = {0, 1001, 1, 1, 1001, 1, 1, 1001, 1};
    static const int64_t kDen[9] = {0, 24000, 24, 25, 30000, 30, 50, 60000, 60};
    if (code < 1 || code > 8) return false;
    *num = kNum[code];
    *den = kDen[code];
    return true;
}

std::optional<std::string> ProbeVideo(std::span<const uint8_t> d, ProbedStream* s) {
    size_t seq = FindStartCode(d, 0);
    while (seq != std::string::npos && d[seq + 3] != 0xB3) seq = FindStartCode(d, seq + 3);
    if (seq == std::string::npos) return "no MPEG video sequence header";
    Bits b(d.data() + seq + 4, d.size() - seq - 4);
    int width = int(b.Get(12)), height = int(b.Get(12));
    const uint32_t aspectCode = b.Get(4), rateCode = b.Get(4);
    if (width == 0 || height == 0) return "sequence header with an empty picture size";
    int64_t num = 0, den = 0;
    if (!FramePeriod(rateCode, &num, &den)) {
        num = 1;
        den = 30;
    }
    // The headers that belong to the sequence header: its extensions, up to the next start code
    // of another kind.
    size_t end = FindStartCode(d, seq + 4);
    bool progressive = true;
    while (end != std::string::npos && d[end + 3] == 0xB5) {
        Bits e(d.data() + end + 4, d.size() - end - 4);
        if (e.Get(4) == 1) {  // sequence extension
            s->mpeg2 = true;
            e.Get(8);  // profile and level
            progressive = e.Get(1) != 0;
            e.Get(2);  // chroma format
            width |= int(e.Get(2)) << 12;
            height |= int(e.Get(2)) << 12;
            e.Get(12 + 1 + 8 + 1);  // bit rate extension, marker, vbv extension, low delay
            const int64_t n = e.Get(2), dd = e.Get(5);
            num *= dd + 1;
            den *= n + 1;
        }
        end = FindStartCode(d, end + 4);
    }
    if (end == std::string::npos) end = d.size();
    s->kind = StreamKind::MpegVideo;
    s->width = width;
    s->height = height;
    s->avgTimePerFrame = (10000000LL * num + den / 2) / den;
    const std::vector<uint8_t> header(d.begin() + ptrdiff_t(seq), d.begin() + ptrdiff_t(end));

    // Display aspect ratio from the MPEG-2 code; MPEG-1 codes are pixel ratios (taken as square).
    LONG ax = width, ay = height;
    if (s->mpeg2) {
        if (aspectCode == 2) ax = 4, ay = 3;
        if (aspectCode == 3) ax = 16, ay = 9;
        if (aspectCode == 4) ax = 221, ay = 100;
    }
    CMediaType& mt = s->inputType;
    mt.InitMediaType();
    mt.majortype = MEDIATYPE_Video;
    if (s->mpeg2) {
        mt.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
        mt.formattype = FORMAT_MPEG2Video;
        const size_t fixed = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
        BYTE* block = mt.AllocFormatBuffer(ULONG(fixed + header.size()));
        if (!block) return "out of memory";
        std::memset(block, 0, fixed + header.size());
        auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(block);
        info->hdr.rcSource = info->hdr.rcTarget = RECT{0, 0, width, height};
        info->hdr.AvgTimePerFrame = s->avgTimePerFrame;
        info->hdr.dwPictAspectRatioX = DWORD(ax);
        info->hdr.dwPictAspectRatioY = DWORD(ay);
        info->hdr.dwInterlaceFlags =
            progressive ? 0 : (AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First);
        info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->hdr.bmiHeader.biWidth = width;
        info->hdr.bmiHeader.biHeight = height;
        info->cbSequenceHeader = DWORD(header.size());
        std::memcpy(reinterpret_cast<BYTE*>(info->dwSequenceHeader), header.data(), header.size());
    } else {
        mt.subtype = MEDIASUBTYPE_MPEG1Payload;
        mt.formattype = FORMAT_MPEGVideo;
        const size_t fixed = offsetof(MPEG1VIDEOINFO, bSequenceHeader);
        BYTE* block = mt.AllocFormatBuffer(ULONG(fixed + header.size()));
        if (!block) return "out of memory";
        std::memset(block, 0, fixed + header.size());
        auto* info = reinterpret_cast<MPEG1VIDEOINFO*>(block);
        info->hdr.rcSource = info->hdr.rcTarget = RECT{0, 0, width, height};
        info->hdr.AvgTimePerFrame = s->avgTimePerFrame;
        info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->hdr.bmiHeader.biWidth = width;
        info->hdr.bmiHeader.biHeight = height;
        info->cbSequenceHeader = DWORD(header.size());
        std::memcpy(info->bSequenceHeader, header.data(), header.size());
    }
    mt.bTemporalCompression = TRUE;
    char text[128];
    std::snprintf(text, sizeof(text), "MPEG-%d video %dx%d, %.3f fps%s", s->mpeg2 ? 2 : 1, width,
                  height, 1e7 / double(s->avgTimePerFrame), progressive ? "" : ", interlaced");
    s->description = text;
    return std::nullopt;
}

// Size of an ID3v2 tag at the start, or 0.
size_t Id3v2Size(std::span<const uint8_t> d) {
    if (d.size() < 10 || d[0] != 'I' || d[1] != 'D' || d[2] != '3') return 0;
    const size_t size = (size_t(d[6] & 0x7F) << 21) | (size_t(d[7] & 0x7F) << 14) |
                        (size_t(d[8] & 0x7F) << 7) | size_t(d[9] & 0x7F);
    return 10 + size + ((d[5] & 0x10) ? 10 : 0);
}

std::optional<std::string> ProbeAudio(std::span<const uint8_t> d, ProbedStream* s) {
    static const int kRates[3][3] = {
        {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    static const int kBitrates[2][3][16] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
    for (size_t i = Id3v2Size(d); i + 4 <= d.size(); ++i) {
        if (d[i] != 0xFF || (d[i + 1] & 0xE0) != 0xE0) continue;
        const int version = (d[i + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        const int layerBits = (d[i + 1] >> 1) & 3;
        const int bitrateIndex = d[i + 2] >> 4;
        const int rateIndex = (d[i + 2] >> 2) & 3;
        const int mode = d[i + 3] >> 6;
        if (version == 1 || layerBits == 0 || bitrateIndex == 15 || rateIndex == 3) continue;
        const int layer = 4 - layerBits;
        const int row = version == 3 ? 0 : version == 2 ? 1 : 2;
        // A header counts only when the next frame starts with a matching one (free-format
        // frames: somewhere within the next 8 KiB).
        auto matches = [&](size_t j) {
            return j + 4 <= d.size() && d[j] == 0xFF && (d[j + 1] & 0xFE) == (d[i + 1] & 0xFE) &&
                   ((d[j + 2] >> 2) & 3) == rateIndex && (d[j + 2] >> 4) != 15;
        };
        const int kbpsHere = kBitrates[version == 3 ? 0 : 1][layer - 1][bitrateIndex];
        bool confirmed = false;
        if (kbpsHere > 0) {
            const int rate = kRates[row][rateIndex];
            const int padding = (d[i + 2] >> 1) & 1;
            size_t length;
            if (layer == 1)
                length = size_t((12 * kbpsHere * 1000 / rate + padding) * 4);
            else if (layer == 3 && version != 3)
                length = size_t(72 * kbpsHere * 1000 / rate + padding);
            else
                length = size_t(144 * kbpsHere * 1000 / rate + padding);
            confirmed = i + length + 4 > d.size() ? i + length == d.size() : matches(i + length);
        } else {
            for (size_t j = i + 4; j < i + 8192 && !confirmed; ++j) confirmed = matches(j);
        }
        if (!confirmed) continue;
        s->kind = StreamKind::MpegAudio;
        s->layer = layer;
        s->sampleRate = kRates[row][rateIndex];
        s->channels = mode == 3 ? 1 : 2;
        const int kbps = kBitrates[version == 3 ? 0 : 1][layer - 1][bitrateIndex];
        CMediaType& mt = s->inputType;
        mt.InitMediaType();
        mt.majortype = MEDIATYPE_Audio;
        mt.formattype = FORMAT_WaveFormatEx;
        if (layer == 3) {
            mt.subtype = qm::MediaSubtypeFromFourCC(0x55);
            auto* wfx = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
            if (!wfx) return "out of memory";
            *wfx = WAVEFORMATEX{
                0x55, WORD(s->channels), DWORD(s->sampleRate), DWORD(kbps * 125), 1, 0, 0};
        } else {
            mt.subtype = MEDIASUBTYPE_MPEG1AudioPayload;
            auto* mwf =
                reinterpret_cast<MPEG1WAVEFORMAT*>(mt.AllocFormatBuffer(sizeof(MPEG1WAVEFORMAT)));
            if (!mwf) return "out of memory";
            std::memset(mwf, 0, sizeof(*mwf));
            mwf->wfx = WAVEFORMATEX{0x50,
                                    WORD(s->channels),
                                    DWORD(s->sampleRate),
                                    DWORD(kbps * 125),
                                    1,
                                    0,
                                    WORD(sizeof(MPEG1WAVEFORMAT) - 18)};
            mwf->fwHeadLayer = WORD(layer == 1 ? 1 : 2);
            mwf->dwHeadBitrate = DWORD(kbps * 1000);
        }
        char text[128];
        std::snprintf(text, sizeof(text), "MPEG-%s audio layer %s, %d Hz, %s, %d kbit/s",
                      version == 3   ? "1"
                      : version == 2 ? "2"
                                     : "2.5",
                      layer == 1   ? "I"
                      : layer == 2 ? "II"
                                   : "III",
                      s->sampleRate, s->channels == 1 ? "mono" : "stereo", kbps);
        s->description = text;
        return std::nullopt;
    }
    return "no MPEG audio frame header";
}

std::optional<std::string> DescribeLpcm(int rate, ProbedStream* s) {
    if (rate < 8000 || rate > 192000) return "LPCM rate out of range";
    s->kind = StreamKind::Lpcm;
    s->sampleRate = rate;
    s->channels = 2;
    CMediaType& mt = s->inputType;
    mt.InitMediaType();
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_DVD_LPCM_AUDIO;
    mt.formattype = FORMAT_WaveFormatEx;
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!wfx) return "out of memory";
    *wfx = WAVEFORMATEX{0, 2, DWORD(rate), DWORD(rate * 4), 4, 16, 0};
    char text[96];
    std::snprintf(text, sizeof(text), "DVD LPCM audio, %d Hz, stereo, 16 bits", rate);
    s->description = text;
    return std::nullopt;
}

bool LooksLikeVideo(std::span<const uint8_t> d) {
    return d.size() >= 4 && d[0] == 0 && d[1] == 0 && d[2] == 1 && d[3] == 0xB3;
}

}  // namespace

std::optional<std::string> ProbeStream(std::span<const uint8_t> data,
                                       std::optional<StreamKind> forced, int lpcmRate,
                                       ProbedStream* stream) {
    // The probes start from InitMediaType, which does not free a format block: a stream probed
    // again would leak the last one.
    stream->inputType.ResetFormatBuffer();
    if (forced) {
        switch (*forced) {
            case StreamKind::MpegVideo:
                return LooksLikeMpeg4Video(data) ? ProbeMpeg4Video(data, stream)
                                                 : ProbeVideo(data, stream);
            case StreamKind::MpegAudio:
                return ProbeAudio(data, stream);
            case StreamKind::Lpcm:
                return DescribeLpcm(lpcmRate, stream);
            case StreamKind::Ac3:
                return ProbeAc3Stream(data, stream);
        }
    }
    if (LooksLikeVideo(data)) return ProbeVideo(data, stream);
    if (LooksLikeMpeg4Video(data)) return ProbeMpeg4Video(data, stream);
    if (!ProbeAc3Stream(data, stream)) return std::nullopt;
    if (!ProbeAudio(data, stream)) return std::nullopt;
    return "unknown stream: neither an MPEG video sequence header nor an MPEG audio frame "
           "(DVD LPCM needs --type lpcm)";
}

}  // namespace qmdecode
