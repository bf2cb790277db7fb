#include <gtest/gtest.h>

#include <tuple>

#include "SDKs/CodecFramework/CodecCommon/AudioStreamDescription.h"
#include "tests/support/ReportCapture.h"

namespace {

using qm::test::ReportCapture;

CMediaType AudioType(const GUID& subtype, WORD formatTag, WORD layer = 0) {
    CMediaType mt(&MEDIATYPE_Audio);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_WaveFormatEx);
    MPEG1WAVEFORMAT block{};
    block.wfx.wFormatTag = formatTag;
    block.wfx.nChannels = 2;
    block.wfx.nSamplesPerSec = 44100;
    block.wfx.nAvgBytesPerSec = 16000;
    block.wfx.wBitsPerSample = 16;
    block.fwHeadLayer = layer;
    mt.SetFormat(reinterpret_cast<BYTE*>(&block), sizeof(block));
    return mt;
}

TEST(AudioStreamDescription, StreamTypeBySubtypeAndHeader) {
    struct Case {
        GUID subtype;
        WORD tag, layer;
        HRESULT hr;
        int32_t type;
    };
    const GUID fourcc50 = qm::MediaSubtypeFromFourCC(0x50);
    const Case cases[] = {
        {MEDIASUBTYPE_PCM, 1, 0, S_OK, 1},
        {MEDIASUBTYPE_PCM, 3, 0, E_NOTIMPL, 0},
        {MEDIASUBTYPE_DVD_LPCM_AUDIO, 0, 0, S_OK, 2},
        {MEDIASUBTYPE_DVD_LPCM_AUDIO, 1, 0, S_OK, 0},  // reported, type stays 0
        {fourcc50, 0x50, 1, S_OK, 0x210},
        {fourcc50, 0x50, 4, S_OK, 0x240},
        {fourcc50, 0x50, 3, E_NOTIMPL, 0},
        {qm::MediaSubtypeFromFourCC(0x55), 0x55, 0, S_OK, 0x240},
        {MEDIASUBTYPE_DOLBY_AC3, 0, 0, S_OK, 4},
        {qm::MediaSubtypeFromFourCC(0x2000), 0, 0, S_OK, 4},
        {qm::MediaSubtypeFromFourCC(0x1600), 0, 0, S_OK, 0x800},
        {qm::MediaSubtypeFromFourCC(0x00FF), 0, 0, S_OK, 0x800},
        {MEDIASUBTYPE_MPEG2_AUDIO, 0, 0, E_NOTIMPL, 0},
        {qm::MediaSubtypeFromFourCC(0x92), 0, 0, E_NOTIMPL, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qm::GuidToString(c.subtype) + " tag " + std::to_string(c.tag));
        ReportCapture reports;
        int32_t type = -1;
        EXPECT_EQ(qm::GetAudioStreamType(AudioType(c.subtype, c.tag, c.layer), &type), c.hr);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(reports.Count() > 0, c.hr != S_OK || c.type == 0);
    }
    ReportCapture reports;
    CMediaType video(&MEDIATYPE_Video);
    int32_t type = -1;
    EXPECT_EQ(qm::GetAudioStreamType(video, &type), S_OK);
    EXPECT_EQ(type, 0);
    EXPECT_TRUE(reports.Contains("mt.majortype == MEDIATYPE_Audio"));
    CMediaType lpcm = AudioType(MEDIASUBTYPE_DVD_LPCM_AUDIO, 7);
    qm::GetAudioStreamType(lpcm, &type);
    EXPECT_TRUE(reports.Contains("pAudioHeader->wFormatTag == 0x0000"));
    // An MPEG-1 payload whose block stops before the layer field.
    CMediaType shortBlock = AudioType(qm::MediaSubtypeFromFourCC(0x50), 0x50, 2);
    shortBlock.cbFormat = sizeof(WAVEFORMATEX);
    EXPECT_EQ(qm::GetAudioStreamType(shortBlock, &type), E_INVALIDARG);
}

TEST(AudioStreamDescription, StreamInfoFromWaveFormat) {
    UMC::AudioStreamInfo info;
    info.channel_mask = 99;
    ASSERT_EQ(qm::GetAudioStreamInfo(AudioType(qm::MediaSubtypeFromFourCC(0x50), 0x50, 2), &info),
              S_OK);
    EXPECT_EQ(std::tuple(info.channels, info.sample_frequency, info.bitPerSample, info.channel_mask,
                         info.stream_type, info.bitrate),
              std::tuple(2, 44100, 16, 0u, 0x220, 128000));
    ReportCapture reports;
    CMediaType video(&MEDIATYPE_Video);
    EXPECT_EQ(qm::GetAudioStreamInfo(video, &info), E_INVALIDARG);
    CMediaType other = AudioType(MEDIASUBTYPE_PCM, 1);
    other.SetFormatType(&FORMAT_VideoInfo);
    EXPECT_EQ(qm::GetAudioStreamInfo(other, &info), E_NOTIMPL);
    EXPECT_EQ(qm::GetAudioStreamInfo(AudioType(MEDIASUBTYPE_MPEG2_AUDIO, 0), &info), E_NOTIMPL);
    CMediaType empty(&MEDIATYPE_Audio);
    empty.SetFormatType(&FORMAT_WaveFormatEx);
    EXPECT_EQ(qm::GetAudioStreamInfo(empty, &info), E_INVALIDARG);
}

}  // namespace
