// The codec framework's description of an audio stream, read from a DirectShow audio type.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/core/AudioCodec.h"
#include "platform/dshow/DShow.h"

namespace qm {

// Stream type codes of the audio codecs.
inline constexpr int32_t kAudioStreamPCM = 1;
inline constexpr int32_t kAudioStreamLPCM = 2;
inline constexpr int32_t kAudioStreamAC3 = 4;
inline constexpr int32_t kAudioStreamMPEGLayer1 = 0x210;
inline constexpr int32_t kAudioStreamMPEGLayer2 = 0x220;
inline constexpr int32_t kAudioStreamMPEGLayer3 = 0x240;
inline constexpr int32_t kAudioStreamAAC = 0x800;

// The stream type of an audio media type by its subtype (and, for PCM, LPCM and MPEG-1 audio
// payloads, its WAVEFORMATEX / MPEG1WAVEFORMAT block). A type that is not audio, or an LPCM
// block with a format tag, is reported and leaves 0 with S_OK; subtypes without a stream type
// give E_NOTIMPL.
HRESULT GetAudioStreamType(const AM_MEDIA_TYPE& mt, int32_t* pStreamType);

// Channels, sample rate, bits per sample, stream type and bit rate from a WAVEFORMATEX audio
// type (E_INVALIDARG when not audio, E_NOTIMPL for another format type).
HRESULT GetAudioStreamInfo(const AM_MEDIA_TYPE& mt, UMC::AudioStreamInfo* pInfo);

}  // namespace qm
