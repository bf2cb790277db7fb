// AC-3 elementary streams: the input type a demultiplexer would give (MEDIASUBTYPE_DOLBY_AC3,
// WAVEFORMATEX with the stream's rate, channels and byte rate).
#include <cstdio>

#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "tools/qmdecode/StreamProbe.h"

namespace qmdecode {

std::optional<std::string> ProbeAc3Stream(std::span<const uint8_t> d, ProbedStream* s) {
    for (size_t p = 0; p + 8 <= d.size() && p < 65536; ++p) {
        if (d[p] != 0x0B || d[p + 1] != 0x77) continue;
        UMC::ac3::BitReader br;
        br.Set(d.data() + p, d.size() - p);
        UMC::ac3::Bsi bsi{};
        if (!UMC::ac3::ParseSyncInfo(br, &bsi) || !UMC::ac3::ParseBsi(br, &bsi)) continue;
        const size_t next = p + size_t(bsi.frameWords) * 2;
        const bool confirmed =
            next + 2 <= d.size() ? d[next] == 0x0B && d[next + 1] == 0x77 : next == d.size();
        if (!confirmed) continue;
        s->kind = StreamKind::Ac3;
        s->sampleRate = bsi.sampleRate;
        s->channels = bsi.nfchans + bsi.lfeon;
        CMediaType& mt = s->inputType;
        mt.InitMediaType();
        mt.majortype = MEDIATYPE_Audio;
        mt.subtype = MEDIASUBTYPE_DOLBY_AC3;
        mt.formattype = FORMAT_WaveFormatEx;
        auto* wfx = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
        if (!wfx) return "out of memory";
        *wfx = WAVEFORMATEX{0x2000,
                            WORD(s->channels),
                            DWORD(s->sampleRate),
                            DWORD(bsi.bitrateKbps * 125),
                            WORD(bsi.frameWords * 2),
                            0,
                            0};
        char text[96];
        std::snprintf(text, sizeof(text), "AC-3 audio, %d Hz, %d channels, %d kbit/s",
                      s->sampleRate, s->channels, bsi.bitrateKbps);
        s->description = text;
        return std::nullopt;
    }
    return "no AC-3 sync frame";
}

}  // namespace qmdecode
