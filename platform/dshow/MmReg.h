// Audio format blocks (WAVEFORMATEX, WAVEFORMATEXTENSIBLE, MPEG1WAVEFORMAT), format tags and
// speaker positions, with the SDK's names and packed layouts. On Windows the SDK's mmreg.h.
#pragma once

#include "platform/com/Guid.h"

#ifdef _WIN32
#include <mmreg.h>
#else

#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;

typedef struct {
    WAVEFORMATEX Format;
    union {
        WORD wValidBitsPerSample;
        WORD wSamplesPerBlock;
        WORD wReserved;
    } Samples;
    DWORD dwChannelMask;
    GUID SubFormat;
} WAVEFORMATEXTENSIBLE, *PWAVEFORMATEXTENSIBLE;

typedef struct mpeg1waveformat_tag {
    WAVEFORMATEX wfx;
    WORD fwHeadLayer;
    DWORD dwHeadBitrate;
    WORD fwHeadMode;
    WORD fwHeadModeExt;
    WORD wHeadEmphasis;
    WORD fwHeadFlags;
    DWORD dwPTSLow;
    DWORD dwPTSHigh;
} MPEG1WAVEFORMAT;
#pragma pack(pop)

inline constexpr WORD WAVE_FORMAT_UNKNOWN = 0x0000;
inline constexpr WORD WAVE_FORMAT_PCM = 0x0001;
inline constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 0x0003;
inline constexpr WORD WAVE_FORMAT_MPEG = 0x0050;
inline constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;
inline constexpr WORD WAVE_FORMAT_DOLBY_AC3_SPDIF = 0x0092;
inline constexpr WORD WAVE_FORMAT_RAW_AAC1 = 0x00FF;
inline constexpr WORD WAVE_FORMAT_MPEG_ADTS_AAC = 0x1600;
inline constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// MPEG1WAVEFORMAT.fwHeadLayer
inline constexpr WORD ACM_MPEG_LAYER1 = 0x0001;
inline constexpr WORD ACM_MPEG_LAYER2 = 0x0002;
inline constexpr WORD ACM_MPEG_LAYER3 = 0x0004;
// MPEG1WAVEFORMAT.fwHeadMode
inline constexpr WORD ACM_MPEG_STEREO = 0x0001;
inline constexpr WORD ACM_MPEG_JOINTSTEREO = 0x0002;
inline constexpr WORD ACM_MPEG_DUALCHANNEL = 0x0004;
inline constexpr WORD ACM_MPEG_SINGLECHANNEL = 0x0008;

inline constexpr DWORD SPEAKER_FRONT_LEFT = 0x1;
inline constexpr DWORD SPEAKER_FRONT_RIGHT = 0x2;
inline constexpr DWORD SPEAKER_FRONT_CENTER = 0x4;
inline constexpr DWORD SPEAKER_LOW_FREQUENCY = 0x8;
inline constexpr DWORD SPEAKER_BACK_LEFT = 0x10;
inline constexpr DWORD SPEAKER_BACK_RIGHT = 0x20;
inline constexpr DWORD SPEAKER_FRONT_LEFT_OF_CENTER = 0x40;
inline constexpr DWORD SPEAKER_FRONT_RIGHT_OF_CENTER = 0x80;
inline constexpr DWORD SPEAKER_BACK_CENTER = 0x100;
inline constexpr DWORD SPEAKER_SIDE_LEFT = 0x200;
inline constexpr DWORD SPEAKER_SIDE_RIGHT = 0x400;

static_assert(sizeof(WAVEFORMATEX) == 18 && sizeof(WAVEFORMATEXTENSIBLE) == 40);
static_assert(sizeof(MPEG1WAVEFORMAT) == 40 && offsetof(MPEG1WAVEFORMAT, dwPTSHigh) == 36);
#endif
