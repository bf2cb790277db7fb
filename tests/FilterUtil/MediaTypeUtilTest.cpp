#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>
#include <utility>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "tests/support/ReportCapture.h"

namespace {

using qm::test::ReportCapture;
using Pair = std::pair<LONG, LONG>;

template <typename T>
CMediaType TypeWith(const GUID& major, const GUID& format, const T& block, ULONG size = sizeof(T)) {
    CMediaType mt(&major);
    mt.SetFormatType(&format);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&block), size);
    return mt;
}
template <typename T>
CMediaType Video(const GUID& format, const T& block, ULONG size = sizeof(T)) {
    return TypeWith(MEDIATYPE_Video, format, block, size);
}
CMediaType Wave(const WAVEFORMATEX& wfx) {
    return TypeWith(MEDIATYPE_Audio, FORMAT_WaveFormatEx, wfx);
}

// The readers on types they can read: the value, with S_OK checked.
Pair Size(const CMediaType& mt) {
    LONG w = 0, h = 0;
    EXPECT_EQ(qm::GetPictureSize(mt, &w, &h), S_OK);
    return {w, h};
}
Pair Aspect(const CMediaType& mt) {
    LONG x = 0, y = 0;
    EXPECT_EQ(qm::GetPictureAspectRatio(mt, &x, &y), S_OK);
    return {x, y};
}
REFERENCE_TIME AvgTime(const CMediaType& mt) {
    REFERENCE_TIME avg = 0;
    EXPECT_EQ(qm::GetAverageTimePerFrame(mt, &avg), S_OK);
    return avg;
}
LONG SampleSize(const CMediaType& mt) {
    LONG size = 0;
    EXPECT_EQ(qm::GetSampleSize(mt, &size), S_OK);
    return size;
}
DWORD Interlace(const CMediaType& mt) {
    DWORD flags = 0;
    EXPECT_EQ(qm::GetInterlaceFlags(mt, &flags), S_OK);
    return flags;
}

MPEG2VIDEOINFO Mpeg2Info(LONG width, LONG height, RECT target) {
    MPEG2VIDEOINFO info{};
    info.hdr.bmiHeader.biWidth = width;
    info.hdr.bmiHeader.biHeight = height;
    info.hdr.rcTarget = target;
    info.hdr.dwPictAspectRatioX = 16;
    info.hdr.dwPictAspectRatioY = 9;
    info.hdr.dwInterlaceFlags = 0x25;
    info.hdr.AvgTimePerFrame = 400000;
    info.hdr.dwBitRate = 8000000;
    return info;
}

TEST(MediaTypeUtil, PictureSizePrefersTheTargetRectOfMpegBlocks) {
    EXPECT_EQ(Size(Video(FORMAT_MPEG2Video, Mpeg2Info(704, 480, RECT{0, 0, 720, 576}))),
              Pair(720, 576));
    // With rcTarget all zero, or only one side set, the bitmap header counts.
    for (RECT target : {RECT{0, 0, 0, 0}, RECT{0, 0, 720, 0}})
        EXPECT_EQ(Size(Video(FORMAT_MPEG2Video, Mpeg2Info(704, -480, target))), Pair(704, -480));
    MPEG1VIDEOINFO mpeg1{};
    mpeg1.hdr.bmiHeader.biWidth = 352;
    mpeg1.hdr.bmiHeader.biHeight = 288;
    mpeg1.hdr.rcTarget = RECT{0, 0, 320, 240};
    EXPECT_EQ(Size(Video(FORMAT_MPEGVideo, mpeg1)), Pair(320, 240));
    DVINFO dv{};
    dv.dwDVVAuxSrc = 1u << 21;
    EXPECT_EQ(Size(Video(FORMAT_DvInfo, dv)).second, 576);
    dv.dwDVVAuxSrc = 0;
    EXPECT_EQ(Size(Video(FORMAT_DvInfo, dv)).second, 480);
}

TEST(MediaTypeUtil, MissingShortAndUnknownBlocksAreReported) {
    ReportCapture reports;
    LONG w = 0, h = 0;
    CMediaType none(&MEDIATYPE_Video);
    none.SetFormatType(&FORMAT_VideoInfo);
    EXPECT_EQ(qm::GetPictureSize(none, &w, &h), E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("pvih != 0"));
    // A block one byte short of its structure counts as missing.
    VIDEOINFOHEADER vih{};
    EXPECT_EQ(qm::GetPictureSize(Video(FORMAT_VideoInfo, vih, sizeof(vih) - 1), &w, &h),
              E_INVALIDARG);
    CMediaType mpeg2 = Video(FORMAT_MPEG2Video, Mpeg2Info(1, 1, {}), 131);
    EXPECT_EQ(qm::GetPictureSize(mpeg2, &w, &h), E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("pHeader != 0"));
    LONG size = 7;
    EXPECT_EQ(qm::GetSampleSize(mpeg2, &size), E_UNEXPECTED);
    EXPECT_TRUE(reports.Contains("pVideoInfo != 0"));
    EXPECT_EQ(size, 0);

    CMediaType audio = Wave(WAVEFORMATEX{});
    EXPECT_EQ(qm::GetPictureSize(audio, &w, &h), E_NOTIMPL);
    EXPECT_TRUE(reports.Contains("QMLogHRESULT"));
    DWORD flags = 5;
    EXPECT_EQ(qm::GetInterlaceFlags(audio, &flags), E_INVALIDARG);  // not E_NOTIMPL here
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(qm::GetPictureSize(audio, nullptr, &h), E_POINTER);
}

TEST(MediaTypeUtil, AspectRatioTimePerFrameAndSampleSize) {
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biWidth = 640;
    vih.bmiHeader.biHeight = -480;
    vih.bmiHeader.biSizeImage = 614400;
    vih.AvgTimePerFrame = 333667;
    CMediaType vi = Video(FORMAT_VideoInfo, vih);
    EXPECT_EQ(Aspect(vi), Pair(640, 480));
    EXPECT_EQ(AvgTime(vi), 333667);
    EXPECT_EQ(SampleSize(vi), 614400);

    MPEG1VIDEOINFO mpeg1{};
    mpeg1.hdr.bmiHeader.biWidth = 352;
    mpeg1.hdr.bmiHeader.biHeight = -288;
    EXPECT_EQ(Aspect(Video(FORMAT_MPEGVideo, mpeg1)).second, -288);  // as stored

    CMediaType mpeg2 = Video(FORMAT_MPEG2Video, Mpeg2Info(720, 480, {}));
    EXPECT_EQ(Aspect(mpeg2), Pair(16, 9));
    // 8 Mbit/s at 25 frames/s is 320 000 bits a frame; 64-bit arithmetic, truncated.
    EXPECT_EQ(SampleSize(mpeg2), 320000);
    MPEG2VIDEOINFO big = Mpeg2Info(720, 480, {});
    big.hdr.dwBitRate = 0xFFFFFFFF;
    big.hdr.AvgTimePerFrame = 333667;
    EXPECT_EQ(SampleSize(Video(FORMAT_MPEG2Video, big)),
              LONG(uint64_t(0xFFFFFFFF) * 333667 / 10000000));

    WAVEFORMATEX wfx{};
    wfx.wFormatTag = 1;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = 48000;
    wfx.wBitsPerSample = 16;
    EXPECT_EQ(AvgTime(Wave(wfx)), 208);
    EXPECT_EQ(SampleSize(Wave(wfx)), 4);
    LONG size = 0;
    REFERENCE_TIME avg = 0;
    wfx.wFormatTag = 0x55;
    {
        ReportCapture reports;
        EXPECT_EQ(qm::GetSampleSize(Wave(wfx), &size), E_INVALIDARG);
        EXPECT_TRUE(reports.Contains(
            "(pWaveFormat->wFormatTag == 1) || (pWaveFormat->wFormatTag == 0xFFFE)"));
    }
    wfx.nSamplesPerSec = 0;
    EXPECT_EQ(qm::GetAverageTimePerFrame(Wave(wfx), &avg), E_INVALIDARG);

    CMediaType none(&MEDIATYPE_Video);
    none.SetFormatType(&FORMAT_None);
    ReportCapture reports;
    EXPECT_EQ(AvgTime(none), 400000);
    EXPECT_EQ(SampleSize(none), 144000);
    EXPECT_EQ(reports.Count(), 2u);  // both unexpected, both reported
    ANALOGVIDEOINFO analog{};
    analog.AvgTimePerFrame = 200000;
    EXPECT_EQ(AvgTime(Video(FORMAT_AnalogVideo, analog)), 200000);
}

TEST(MediaTypeUtil, DvControlWordGivesAspectAndInterlace) {
    struct Case {
        DWORD ctl;
        LONG x, y;
        DWORD interlace;
    };
    const Case cases[] = {
        {0x00000, 4, 3, 0},     {0x10100, 14, 9, 0},    {0x10600, 14, 9, 0},
        {0x10300, 16, 9, 0},    {0x10700, 16, 9, 0},    {0x00100, 16, 9, 0},
        {0x00200, 16, 9, 0},    {0x20200, 4, 3, 0},     {0x100000, 4, 3, 0x11},
        {0x500000, 4, 3, 0x01}, {0x900000, 4, 3, 0x21}, {0xD00000, 4, 3, 0x25},
        {0xC00000, 4, 3, 0},
    };
    DVINFO dv{};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ctl);
        dv.dwDVVAuxCtl = c.ctl;
        EXPECT_EQ(Aspect(Video(FORMAT_DvInfo, dv)), Pair(c.x, c.y));
        EXPECT_EQ(Interlace(Video(FORMAT_DvInfo, dv)), c.interlace);
    }
    // An unknown display-select value without the qualifier bits is reported, and 4:3.
    ReportCapture reports;
    dv.dwDVVAuxCtl = 0x00500;
    const Pair xy = Aspect(Video(FORMAT_DvInfo, dv));
    EXPECT_EQ(xy.first * 3, xy.second * 4);
    EXPECT_EQ(reports.Count(), 1u);
    EXPECT_EQ(AvgTime(Video(FORMAT_DvInfo, dv)), 333667);
    EXPECT_EQ(SampleSize(Video(FORMAT_DvInfo, dv)), 120000);
}

TEST(MediaTypeUtil, WritersChangeOnlyWhatTheFormatCarries) {
    VIDEOINFOHEADER vih{};
    CMediaType vi = Video(FORMAT_VideoInfo, vih);
    EXPECT_EQ(qm::SetInterlaceFlags(vi, 0x25), S_FALSE);
    EXPECT_EQ(std::memcmp(vi.Format(), &vih, sizeof(vih)), 0);
    EXPECT_EQ(qm::SetPictureAspectRatio(vi, 16, 9), S_FALSE);

    CMediaType mpeg2 = Video(FORMAT_MPEG2Video, Mpeg2Info(720, 480, {}));
    ASSERT_EQ(qm::SetPictureAspectRatio(mpeg2, 4, 3), S_OK);
    ASSERT_EQ(qm::SetInterlaceFlags(mpeg2, 0x11), S_OK);
    EXPECT_EQ(Aspect(mpeg2), Pair(4, 3));
    EXPECT_EQ(Interlace(mpeg2), 0x11u);

    // MPEG-1 subtypes without a writable block.
    CMediaType mpeg1(&MEDIATYPE_Video);
    mpeg1.SetSubtype(&MEDIASUBTYPE_MPEG1Payload);
    mpeg1.SetFormatType(&FORMAT_MPEGVideo);
    EXPECT_EQ(qm::SetInterlaceFlags(mpeg1, 1), S_FALSE);
    EXPECT_EQ(qm::SetPictureAspectRatio(mpeg1, 4, 3), S_FALSE);

    // DV: 16:9 sets display select 2; the interlace writer and reader agree.
    CMediaType dvType = Video(FORMAT_DvInfo, DVINFO{});
    ASSERT_EQ(qm::SetPictureAspectRatio(dvType, 32, 18), S_OK);
    EXPECT_EQ(Aspect(dvType), Pair(16, 9));
    ASSERT_EQ(qm::SetPictureAspectRatio(dvType, 4, 3), S_OK);
    EXPECT_EQ(reinterpret_cast<DVINFO*>(dvType.Format())->dwDVVAuxCtl & 0x700u, 0u);
    for (DWORD f : {0x0u, 0x01u, 0x11u, 0x21u, 0x25u}) {
        ASSERT_EQ(qm::SetInterlaceFlags(dvType, f), S_OK);
        EXPECT_EQ(Interlace(dvType), f);
    }

    ReportCapture reports;
    CMediaType audio = Wave(WAVEFORMATEX{});
    EXPECT_EQ(qm::SetInterlaceFlags(audio, 1), E_INVALIDARG);
    EXPECT_EQ(qm::SetPictureAspectRatio(audio, 1, 1), E_INVALIDARG);
    EXPECT_EQ(reports.Count(), 2u);
    CMediaType empty2(&MEDIATYPE_Video);
    empty2.SetFormatType(&FORMAT_VideoInfo2);
    EXPECT_EQ(qm::SetInterlaceFlags(empty2, 1), E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("pvih != 0"));
}

TEST(MediaTypeUtil, VideoInfoHeader2BuilderSizesAndFields) {
    CMediaType mt;
    ASSERT_EQ(
        qm::CreateVideoInfoHeader2Type(&mt, 720, 480, 4, 3, 0x25, &MEDIASUBTYPE_YV12, 400000, 1000),
        S_OK);
    ASSERT_EQ(mt.FormatLength(), 112u);
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
    const BITMAPINFOHEADER* bi = &vih->bmiHeader;
    // size, bits, compression, planes, header size
    EXPECT_EQ(
        std::tuple(bi->biSizeImage, bi->biBitCount, bi->biCompression, bi->biPlanes, bi->biSize),
        std::tuple(518400u, WORD(12), MEDIASUBTYPE_YV12.Data1, WORD(1), 40u));
    // target right and bottom, interlace, aspect x, bit rate
    EXPECT_EQ(std::tuple(vih->rcTarget.right, vih->rcTarget.bottom, vih->dwInterlaceFlags,
                         vih->dwPictAspectRatioX, vih->dwBitRate),
              std::tuple(720, 480, 0x25u, 4u, 1000u));
    EXPECT_TRUE(IsEqualGUID(mt.majortype, MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_YV12));
    EXPECT_TRUE(IsEqualGUID(mt.formattype, FORMAT_VideoInfo2));
    EXPECT_EQ(std::tuple(mt.lSampleSize, mt.bFixedSizeSamples, mt.bTemporalCompression),
              std::tuple(518400u, TRUE, FALSE));

    // RGB24 at 722 x -4: 2 168 bytes a row, the size is positive, rcTarget height too.
    const BYTE extra[3] = {7, 8, 9};
    ASSERT_EQ(
        qm::CreateVideoInfoHeader2Type(&mt, 722, -4, 1, 1, 0, &MEDIASUBTYPE_RGB24, 1, 0, extra, 3),
        S_OK);
    ASSERT_EQ(mt.FormatLength(), 115u);
    vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
    bi = &vih->bmiHeader;
    EXPECT_EQ(std::tuple(bi->biSizeImage, bi->biCompression, bi->biHeight, vih->rcSource.bottom),
              std::tuple(8672u, DWORD(BI_RGB), -4, 4));
    EXPECT_EQ(mt.Format()[114], 9);

    // A null subtype keeps the type's subtype; an unknown one gets 0 bits and no compression.
    ASSERT_EQ(qm::CreateVideoInfoHeader2Type(&mt, 16, 16, 1, 1, 0, nullptr, 1, 0), S_OK);
    EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB24));
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format())->bmiHeader.biBitCount, 0);
    const GUID h264 = qm::MediaSubtypeFromFourCC(qm::MakeFourCC('H', '2', '6', '4'));
    ASSERT_EQ(qm::CreateVideoInfoHeader2Type(&mt, 16, 16, 1, 1, 0, &h264, 1, 0), S_OK);
    EXPECT_TRUE(mt.bTemporalCompression);
    const GUID dvsd = MEDIASUBTYPE_dvsd;
    ASSERT_EQ(qm::CreateVideoInfoHeader2Type(&mt, 720, 480, 4, 3, 0, &dvsd, 1, 0), S_OK);
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format())->bmiHeader.biCompression,
              qm::MakeFourCC('i', 'a', 'v', 's'));

    ReportCapture reports;
    EXPECT_EQ(qm::CreateVideoInfoHeader2Type(&mt, 16, 16, 1, 1, 0, &MEDIASUBTYPE_YV12, 0, 0),
              E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("avgTimePerFrame > 0"));
}

TEST(MediaTypeUtil, WaveFormatBuildersCheckInOrder) {
    CMediaType mt;
    ReportCapture reports;
    EXPECT_EQ(qm::CreateWaveFormatExType(&mt, 1, 3, 48000, 16, 0), E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("nbrOfChannels <= 2"));
    EXPECT_EQ(qm::CreateWaveFormatExType(&mt, 1, 2, 48000, 12, 0), E_INVALIDARG);
    EXPECT_EQ(qm::CreateWaveFormatExType(&mt, 1, 2, 48000, 40, 0), E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("nbrOfBitsPerSample <= 32"));
    // 3 channels of 12 bits: the bits-multiple check is the one reported.
    ReportCapture order;
    EXPECT_EQ(qm::CreateWaveFormatExType(&mt, 1, 3, 48000, 12, 0), E_INVALIDARG);
    ASSERT_EQ(order.Count(), 1u);
    EXPECT_TRUE(order.Contains("(nbrOfBitsPerSample % 8) == 0"));

    const BYTE extra[2] = {0x12, 0x34};
    ASSERT_EQ(qm::CreateWaveFormatExType(&mt, 0x50, 2, 44100, 16, 24000, extra, 2), S_OK);
    ASSERT_EQ(mt.FormatLength(), 20u);
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt.Format());
    // tag, bytes a second, block align, extra size, last extra byte, sample size
    EXPECT_EQ(std::tuple(wfx->wFormatTag, wfx->nAvgBytesPerSec, wfx->nBlockAlign, wfx->cbSize,
                         mt.Format()[19], mt.lSampleSize),
              std::tuple(WORD(0x50), 24000u, WORD(4), WORD(2), BYTE(0x34), 4u));
    EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_MPEG1AudioPayload));
    EXPECT_TRUE(IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx));

    ASSERT_EQ(qm::CreatePcmWaveFormatExType(&mt, 1, 2, 48000, 16), S_OK);
    EXPECT_EQ(reinterpret_cast<const WAVEFORMATEX*>(mt.Format())->nAvgBytesPerSec, 192000u);
    EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_PCM));

    // Extensible: no channel or bit limit beyond whole bytes.
    ASSERT_EQ(qm::CreateWaveFormatExtensibleType(&mt, 1, 6, 48000, 24, 0x3F), S_OK);
    ASSERT_EQ(mt.FormatLength(), 40u);
    const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(mt.Format());
    const WAVEFORMATEX& f = ext->Format;
    // tag, block align, bytes a second, extra size, valid bits, channel mask, sample size
    EXPECT_EQ(std::tuple(f.wFormatTag, f.nBlockAlign, f.nAvgBytesPerSec, f.cbSize,
                         ext->Samples.wValidBitsPerSample, ext->dwChannelMask, mt.lSampleSize),
              std::tuple(WORD(0xFFFE), WORD(18), 864000u, WORD(22), WORD(24), 0x3Fu, 18u));
    EXPECT_TRUE(IsEqualGUID(ext->SubFormat, MEDIASUBTYPE_PCM));
    EXPECT_EQ(qm::CreateWaveFormatExtensibleType(&mt, 1, 6, 48000, 20, 0x3F), E_INVALIDARG);
}

TEST(MediaTypeUtil, SubtypeListsNeedTheirMajorType) {
    const GUID xvid = qm::MediaSubtypeFromFourCC(qm::MakeFourCC('X', 'V', 'I', 'D'));
    const GUID ac3 = qm::MediaSubtypeFromFourCC(0x2000);
    struct Case {
        const GUID *major, *subtype;
        bool (*test)(const AM_MEDIA_TYPE&);
        bool expected;
    };
    const Case cases[] = {
        {&MEDIATYPE_Video, &xvid, qm::IsMPEG4VideoType, true},
        {&MEDIATYPE_Audio, &xvid, qm::IsMPEG4VideoType, false},
        {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG2_AUDIO, qm::IsMPEGAudioType, true},
        {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG2_AUDIO, qm::IsAC3AudioType, false},
        {&MEDIATYPE_Audio, &ac3, qm::IsAC3AudioType, true},
        {&MEDIATYPE_Audio, &MEDIASUBTYPE_IEEE_FLOAT, qm::IsPCMAudioType, true},
        {&MEDIATYPE_Audio, &MEDIASUBTYPE_DVD_LPCM_AUDIO, qm::IsDVDLPCMAudioType, true},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_DVD_LPCM_AUDIO, qm::IsDVDLPCMAudioType, false},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Payload, qm::IsMPEG1VideoType, true},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Payload, qm::IsMPEG2VideoType, false},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB4, qm::IsRGBVideoType, true},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB4, qm::IsUncompressedVideoType, false},
        {&MEDIATYPE_Video, &qm::MEDIASUBTYPE_Y800, qm::IsUncompressedVideoType, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(qm::GuidToString(*c.subtype));
        CMediaType mt(c.major);
        mt.SetSubtype(c.subtype);
        EXPECT_EQ(c.test(mt), c.expected);
    }
    ASSERT_EQ(qm::UncompressedVideoSubtypes().size(), 21u);
    EXPECT_TRUE(IsEqualGUID(qm::UncompressedVideoSubtypes()[3],
                            qm::MediaSubtypeFromFourCC(qm::MakeFourCC('Y', 'U', 'Y', 'V'))));
    EXPECT_EQ(qm::MPEG4VideoSubtypes().size(), 9u);
    EXPECT_EQ(qm::RGBVideoSubtypes().size(), 8u);
}

TEST(MediaTypeUtil, BinaryGcdAndReduction) {
    const std::tuple<int32_t, int32_t, uint32_t> gcds[] = {
        {0, 0, 0},      {-12, 0, 12}, {0, -7, 7}, {720, -576, 144}, {INT_MIN, 0, 0x80000000u},
        {INT_MIN, 6, 2}};
    for (const auto& [a, b, gcd] : gcds) EXPECT_EQ(qm::GreatestCommonDivisor(a, b), gcd) << a;
    // Against Euclid on a spread of values.
    uint32_t seed = 1;
    for (int i = 0; i < 2000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int32_t a = int32_t(seed >> 8) % 100000 - 50000;
        seed = seed * 1103515245u + 12345u;
        const int32_t b = int32_t(seed >> 8) % 100000 - 50000;
        int64_t x = a < 0 ? -int64_t(a) : a, y = b < 0 ? -int64_t(b) : b;
        while (y) x = std::exchange(y, x % y);
        ASSERT_EQ(qm::GreatestCommonDivisor(a, b), uint32_t(x)) << a << " " << b;
    }
    const std::pair<Pair, Pair> ratios[] = {{{720, 576}, {5, 4}}, {{-1920, 1080}, {-16, 9}}};
    for (const auto& [in, out] : ratios) {
        int32_t x = in.first, y = in.second;
        qm::ReduceRatio(&x, &y);
        EXPECT_EQ(Pair(x, y), out);
    }
    int32_t x = 0, y = 0;
    qm::ReduceRatio(&x, &y);
    EXPECT_EQ(x, 0);
}

}  // namespace
