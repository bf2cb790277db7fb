#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "tests/support/ReportCapture.h"

namespace {

using qm::test::ReportCapture;

template <typename T>
CMediaType TypeWith(const GUID& major, const GUID& format, const T& block, ULONG size = sizeof(T)) {
    CMediaType mt(&major);
    mt.SetFormatType(&format);
    mt.SetFormat(reinterpret_cast<const BYTE*>(&block), size);
    return mt;
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
    LONG w = 0, h = 0;
    CMediaType mpeg2 =
        TypeWith(MEDIATYPE_Video, FORMAT_MPEG2Video, Mpeg2Info(704, 480, RECT{0, 0, 720, 576}));
    ASSERT_EQ(qm::GetPictureSize(mpeg2, &w, &h), S_OK);
    EXPECT_EQ(w, 720);
    EXPECT_EQ(h, 576);
    // With rcTarget all zero, or only one side set, the bitmap header counts.
    for (RECT target : {RECT{0, 0, 0, 0}, RECT{0, 0, 720, 0}}) {
        CMediaType t = TypeWith(MEDIATYPE_Video, FORMAT_MPEG2Video, Mpeg2Info(704, -480, target));
        ASSERT_EQ(qm::GetPictureSize(t, &w, &h), S_OK);
        EXPECT_EQ(w, 704);
        EXPECT_EQ(h, -480);
    }
    MPEG1VIDEOINFO mpeg1{};
    mpeg1.hdr.bmiHeader.biWidth = 352;
    mpeg1.hdr.bmiHeader.biHeight = 288;
    mpeg1.hdr.rcTarget = RECT{0, 0, 320, 240};
    ASSERT_EQ(qm::GetPictureSize(TypeWith(MEDIATYPE_Video, FORMAT_MPEGVideo, mpeg1), &w, &h), S_OK);
    EXPECT_EQ(w, 320);
    EXPECT_EQ(h, 240);
    DVINFO dv{};
    dv.dwDVVAuxSrc = 1u << 21;
    ASSERT_EQ(qm::GetPictureSize(TypeWith(MEDIATYPE_Video, FORMAT_DvInfo, dv), &w, &h), S_OK);
    EXPECT_EQ(h, 576);
    dv.dwDVVAuxSrc = 0;
    ASSERT_EQ(qm::GetPictureSize(TypeWith(MEDIATYPE_Video, FORMAT_DvInfo, dv), &w, &h), S_OK);
    EXPECT_EQ(h, 480);
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
    EXPECT_EQ(qm::GetPictureSize(TypeWith(MEDIATYPE_Video, FORMAT_VideoInfo, vih, sizeof(vih) - 1),
                                 &w, &h),
              E_INVALIDARG);
    CMediaType mpeg2 = TypeWith(MEDIATYPE_Video, FORMAT_MPEG2Video, Mpeg2Info(1, 1, {}), 131);
    EXPECT_EQ(qm::GetPictureSize(mpeg2, &w, &h), E_INVALIDARG);
    EXPECT_TRUE(reports.Contains("pHeader != 0"));
    LONG size = 7;
    EXPECT_EQ(qm::GetSampleSize(mpeg2, &size), E_UNEXPECTED);
    EXPECT_TRUE(reports.Contains("pVideoInfo != 0"));
    EXPECT_EQ(size, 0);

    CMediaType audio = TypeWith(MEDIATYPE_Audio, FORMAT_WaveFormatEx, WAVEFORMATEX{});
    EXPECT_EQ(qm::GetPictureSize(audio, &w, &h), E_NOTIMPL);
    EXPECT_TRUE(reports.Contains("QMLogHRESULT"));
    DWORD flags = 5;
    EXPECT_EQ(qm::GetInterlaceFlags(audio, &flags), E_INVALIDARG);  // not E_NOTIMPL here
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(qm::GetPictureSize(audio, nullptr, &h), E_POINTER);
}

TEST(MediaTypeUtil, AspectRatioTimePerFrameAndSampleSize) {
    LONG x = 0, y = 0;
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biWidth = 640;
    vih.bmiHeader.biHeight = -480;
    vih.bmiHeader.biSizeImage = 614400;
    vih.AvgTimePerFrame = 333667;
    CMediaType vi = TypeWith(MEDIATYPE_Video, FORMAT_VideoInfo, vih);
    ASSERT_EQ(qm::GetPictureAspectRatio(vi, &x, &y), S_OK);
    EXPECT_EQ(x, 640);
    EXPECT_EQ(y, 480);
    REFERENCE_TIME avg = 0;
    ASSERT_EQ(qm::GetAverageTimePerFrame(vi, &avg), S_OK);
    EXPECT_EQ(avg, 333667);
    LONG size = 0;
    ASSERT_EQ(qm::GetSampleSize(vi, &size), S_OK);
    EXPECT_EQ(size, 614400);

    MPEG1VIDEOINFO mpeg1{};
    mpeg1.hdr.bmiHeader.biWidth = 352;
    mpeg1.hdr.bmiHeader.biHeight = -288;
    ASSERT_EQ(qm::GetPictureAspectRatio(TypeWith(MEDIATYPE_Video, FORMAT_MPEGVideo, mpeg1), &x, &y),
              S_OK);
    EXPECT_EQ(y, -288);  // as stored

    CMediaType mpeg2 = TypeWith(MEDIATYPE_Video, FORMAT_MPEG2Video, Mpeg2Info(720, 480, {}));
    ASSERT_EQ(qm::GetPictureAspectRatio(mpeg2, &x, &y), S_OK);
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 9);
    // 8 Mbit/s at 25 frames/s is 320 000 bits a frame; 64-bit arithmetic, truncated.
    ASSERT_EQ(qm::GetSampleSize(mpeg2, &size), S_OK);
    EXPECT_EQ(size, 320000);
    MPEG2VIDEOINFO big = Mpeg2Info(720, 480, {});
    big.hdr.dwBitRate = 0xFFFFFFFF;
    big.hdr.AvgTimePerFrame = 333667;
    ASSERT_EQ(qm::GetSampleSize(TypeWith(MEDIATYPE_Video, FORMAT_MPEG2Video, big), &size), S_OK);
    EXPECT_EQ(size, LONG(uint64_t(0xFFFFFFFF) * 333667 / 10000000));

    WAVEFORMATEX wfx{};
    wfx.wFormatTag = 1;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = 48000;
    wfx.wBitsPerSample = 16;
    CMediaType wave = TypeWith(MEDIATYPE_Audio, FORMAT_WaveFormatEx, wfx);
    ASSERT_EQ(qm::GetAverageTimePerFrame(wave, &avg), S_OK);
    EXPECT_EQ(avg, 208);
    ASSERT_EQ(qm::GetSampleSize(wave, &size), S_OK);
    EXPECT_EQ(size, 4);
    wfx.wFormatTag = 0x55;
    {
        ReportCapture reports;
        EXPECT_EQ(qm::GetSampleSize(TypeWith(MEDIATYPE_Audio, FORMAT_WaveFormatEx, wfx), &size),
                  E_INVALIDARG);
        EXPECT_TRUE(reports.Contains(
            "(pWaveFormat->wFormatTag == 1) || (pWaveFormat->wFormatTag == 0xFFFE)"));
    }
    wfx.nSamplesPerSec = 0;
    EXPECT_EQ(qm::GetAverageTimePerFrame(TypeWith(MEDIATYPE_Audio, FORMAT_WaveFormatEx, wfx), &avg),
              E_INVALIDARG);

    CMediaType none(&MEDIATYPE_Video);
    none.SetFormatType(&FORMAT_None);
    ReportCapture reports;
    ASSERT_EQ(qm::GetAverageTimePerFrame(none, &avg), S_OK);
    EXPECT_EQ(avg, 400000);
    ASSERT_EQ(qm::GetSampleSize(none, &size), S_OK);
    EXPECT_EQ(size, 144000);
    EXPECT_EQ(reports.Count(), 2u);  // both unexpected, both reported
    ANALOGVIDEOINFO analog{};
    analog.AvgTimePerFrame = 200000;
    ASSERT_EQ(
        qm::GetAverageTimePerFrame(TypeWith(MEDIATYPE_Video, FORMAT_AnalogVideo, analog), &avg),
        S_OK);
    EXPECT_EQ(avg, 200000);
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ctl);
        DVINFO dv{};
        dv.dwDVVAuxCtl = c.ctl;
        CMediaType mt = TypeWith(MEDIATYPE_Video, FORMAT_DvInfo, dv);
        LONG x = 0, y = 0;
        DWORD flags = 0;
        ASSERT_EQ(qm::GetPictureAspectRatio(mt, &x, &y), S_OK);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        ASSERT_EQ(qm::GetInterlaceFlags(mt, &flags), S_OK);
        EXPECT_EQ(flags, c.interlace);
    }
    // An unknown display-select value without the qualifier bits is reported, and 4:3.
    ReportCapture reports;
    DVINFO dv{};
    dv.dwDVVAuxCtl = 0x00500;
    LONG x = 0, y = 0;
    ASSERT_EQ(qm::GetPictureAspectRatio(TypeWith(MEDIATYPE_Video, FORMAT_DvInfo, dv), &x, &y),
              S_OK);
    EXPECT_EQ(x * 3, y * 4);
    EXPECT_EQ(reports.Count(), 1u);
    REFERENCE_TIME avg = 0;
    LONG size = 0;
    ASSERT_EQ(qm::GetAverageTimePerFrame(TypeWith(MEDIATYPE_Video, FORMAT_DvInfo, dv), &avg), S_OK);
    EXPECT_EQ(avg, 333667);
    ASSERT_EQ(qm::GetSampleSize(TypeWith(MEDIATYPE_Video, FORMAT_DvInfo, dv), &size), S_OK);
    EXPECT_EQ(size, 120000);
}

TEST(MediaTypeUtil, WritersChangeOnlyWhatTheFormatCarries) {
    VIDEOINFOHEADER vih{};
    CMediaType vi = TypeWith(MEDIATYPE_Video, FORMAT_VideoInfo, vih);
    EXPECT_EQ(qm::SetInterlaceFlags(vi, 0x25), S_FALSE);
    EXPECT_EQ(std::memcmp(vi.Format(), &vih, sizeof(vih)), 0);
    EXPECT_EQ(qm::SetPictureAspectRatio(vi, 16, 9), S_FALSE);

    CMediaType mpeg2 = TypeWith(MEDIATYPE_Video, FORMAT_MPEG2Video, Mpeg2Info(720, 480, {}));
    ASSERT_EQ(qm::SetPictureAspectRatio(mpeg2, 4, 3), S_OK);
    ASSERT_EQ(qm::SetInterlaceFlags(mpeg2, 0x11), S_OK);
    LONG x = 0, y = 0;
    DWORD flags = 0;
    qm::GetPictureAspectRatio(mpeg2, &x, &y);
    qm::GetInterlaceFlags(mpeg2, &flags);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(y, 3);
    EXPECT_EQ(flags, 0x11u);

    // MPEG-1 subtypes without a writable block.
    CMediaType mpeg1(&MEDIATYPE_Video);
    mpeg1.SetSubtype(&MEDIASUBTYPE_MPEG1Payload);
    mpeg1.SetFormatType(&FORMAT_MPEGVideo);
    EXPECT_EQ(qm::SetInterlaceFlags(mpeg1, 1), S_FALSE);
    EXPECT_EQ(qm::SetPictureAspectRatio(mpeg1, 4, 3), S_FALSE);

    // DV: 16:9 sets display select 2; the interlace writer and reader agree.
    DVINFO dv{};
    CMediaType dvType = TypeWith(MEDIATYPE_Video, FORMAT_DvInfo, dv);
    ASSERT_EQ(qm::SetPictureAspectRatio(dvType, 32, 18), S_OK);
    ASSERT_EQ(qm::GetPictureAspectRatio(dvType, &x, &y), S_OK);
    EXPECT_EQ(x, 16);
    EXPECT_EQ(y, 9);
    ASSERT_EQ(qm::SetPictureAspectRatio(dvType, 4, 3), S_OK);
    EXPECT_EQ(reinterpret_cast<DVINFO*>(dvType.Format())->dwDVVAuxCtl & 0x700u, 0u);
    for (DWORD f : {0x0u, 0x01u, 0x11u, 0x21u, 0x25u}) {
        ASSERT_EQ(qm::SetInterlaceFlags(dvType, f), S_OK);
        ASSERT_EQ(qm::GetInterlaceFlags(dvType, &flags), S_OK);
        EXPECT_EQ(flags, f);
    }

    ReportCapture reports;
    CMediaType audio = TypeWith(MEDIATYPE_Audio, FORMAT_WaveFormatEx, WAVEFORMATEX{});
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
    EXPECT_EQ(vih->bmiHeader.biSizeImage, 518400u);
    EXPECT_EQ(vih->bmiHeader.biBitCount, 12);
    EXPECT_EQ(vih->bmiHeader.biCompression, MEDIASUBTYPE_YV12.Data1);
    EXPECT_EQ(vih->bmiHeader.biPlanes, 1);
    EXPECT_EQ(vih->bmiHeader.biSize, 40u);
    EXPECT_EQ(vih->rcTarget.right, 720);
    EXPECT_EQ(vih->rcTarget.bottom, 480);
    EXPECT_EQ(vih->dwInterlaceFlags, 0x25u);
    EXPECT_EQ(vih->dwPictAspectRatioX, 4u);
    EXPECT_EQ(vih->dwBitRate, 1000u);
    EXPECT_TRUE(IsEqualGUID(mt.majortype, MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_YV12));
    EXPECT_TRUE(IsEqualGUID(mt.formattype, FORMAT_VideoInfo2));
    EXPECT_EQ(mt.lSampleSize, 518400u);
    EXPECT_TRUE(mt.bFixedSizeSamples);
    EXPECT_FALSE(mt.bTemporalCompression);

    // RGB24 at 722 x -4: 2 168 bytes a row, the size is positive, rcTarget height too.
    const BYTE extra[3] = {7, 8, 9};
    ASSERT_EQ(
        qm::CreateVideoInfoHeader2Type(&mt, 722, -4, 1, 1, 0, &MEDIASUBTYPE_RGB24, 1, 0, extra, 3),
        S_OK);
    ASSERT_EQ(mt.FormatLength(), 115u);
    vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.Format());
    EXPECT_EQ(vih->bmiHeader.biSizeImage, 8672u);
    EXPECT_EQ(vih->bmiHeader.biCompression, BI_RGB);
    EXPECT_EQ(vih->bmiHeader.biHeight, -4);
    EXPECT_EQ(vih->rcSource.bottom, 4);
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
    EXPECT_EQ(wfx->wFormatTag, 0x50);
    EXPECT_EQ(wfx->nAvgBytesPerSec, 24000u);
    EXPECT_EQ(wfx->nBlockAlign, 4);
    EXPECT_EQ(wfx->cbSize, 2);
    EXPECT_EQ(mt.Format()[19], 0x34);
    EXPECT_EQ(mt.lSampleSize, 4u);
    EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_MPEG1AudioPayload));
    EXPECT_TRUE(IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx));

    ASSERT_EQ(qm::CreatePcmWaveFormatExType(&mt, 1, 2, 48000, 16), S_OK);
    EXPECT_EQ(reinterpret_cast<const WAVEFORMATEX*>(mt.Format())->nAvgBytesPerSec, 192000u);
    EXPECT_TRUE(IsEqualGUID(mt.subtype, MEDIASUBTYPE_PCM));

    // Extensible: no channel or bit limit beyond whole bytes.
    ASSERT_EQ(qm::CreateWaveFormatExtensibleType(&mt, 1, 6, 48000, 24, 0x3F), S_OK);
    ASSERT_EQ(mt.FormatLength(), 40u);
    const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(mt.Format());
    EXPECT_EQ(ext->Format.wFormatTag, 0xFFFE);
    EXPECT_EQ(ext->Format.nBlockAlign, 18);
    EXPECT_EQ(ext->Format.nAvgBytesPerSec, 864000u);
    EXPECT_EQ(ext->Format.cbSize, 22);
    EXPECT_EQ(ext->Samples.wValidBitsPerSample, 24);
    EXPECT_EQ(ext->dwChannelMask, 0x3Fu);
    EXPECT_TRUE(IsEqualGUID(ext->SubFormat, MEDIASUBTYPE_PCM));
    EXPECT_EQ(mt.lSampleSize, 18u);
    EXPECT_EQ(qm::CreateWaveFormatExtensibleType(&mt, 1, 6, 48000, 20, 0x3F), E_INVALIDARG);
}

TEST(MediaTypeUtil, SubtypeListsNeedTheirMajorType) {
    CMediaType mt(&MEDIATYPE_Video);
    const GUID xvid = qm::MediaSubtypeFromFourCC(qm::MakeFourCC('X', 'V', 'I', 'D'));
    mt.SetSubtype(&xvid);
    EXPECT_TRUE(qm::IsMPEG4VideoType(mt));
    mt.SetType(&MEDIATYPE_Audio);
    EXPECT_FALSE(qm::IsMPEG4VideoType(mt));
    mt.SetSubtype(&MEDIASUBTYPE_MPEG2_AUDIO);
    EXPECT_TRUE(qm::IsMPEGAudioType(mt));
    EXPECT_FALSE(qm::IsAC3AudioType(mt));
    const GUID ac3 = qm::MediaSubtypeFromFourCC(0x2000);
    mt.SetSubtype(&ac3);
    EXPECT_TRUE(qm::IsAC3AudioType(mt));
    mt.SetSubtype(&MEDIASUBTYPE_IEEE_FLOAT);
    EXPECT_TRUE(qm::IsPCMAudioType(mt));
    mt.SetSubtype(&MEDIASUBTYPE_DVD_LPCM_AUDIO);
    EXPECT_TRUE(qm::IsDVDLPCMAudioType(mt));
    mt.SetType(&MEDIATYPE_Video);
    EXPECT_FALSE(qm::IsDVDLPCMAudioType(mt));
    mt.SetSubtype(&MEDIASUBTYPE_MPEG1Payload);
    EXPECT_TRUE(qm::IsMPEG1VideoType(mt));
    EXPECT_FALSE(qm::IsMPEG2VideoType(mt));
    mt.SetSubtype(&MEDIASUBTYPE_RGB4);
    EXPECT_TRUE(qm::IsRGBVideoType(mt));
    EXPECT_FALSE(qm::IsUncompressedVideoType(mt));
    mt.SetSubtype(&qm::MEDIASUBTYPE_Y800);
    EXPECT_TRUE(qm::IsUncompressedVideoType(mt));
    ASSERT_EQ(qm::UncompressedVideoSubtypes().size(), 21u);
    EXPECT_TRUE(IsEqualGUID(qm::UncompressedVideoSubtypes()[3],
                            qm::MediaSubtypeFromFourCC(qm::MakeFourCC('Y', 'U', 'Y', 'V'))));
    EXPECT_EQ(qm::MPEG4VideoSubtypes().size(), 9u);
    EXPECT_EQ(qm::RGBVideoSubtypes().size(), 8u);
}

TEST(MediaTypeUtil, BinaryGcdAndReduction) {
    EXPECT_EQ(qm::GreatestCommonDivisor(0, 0), 0u);
    EXPECT_EQ(qm::GreatestCommonDivisor(-12, 0), 12u);
    EXPECT_EQ(qm::GreatestCommonDivisor(0, -7), 7u);
    EXPECT_EQ(qm::GreatestCommonDivisor(720, -576), 144u);
    EXPECT_EQ(qm::GreatestCommonDivisor(INT_MIN, 0), 0x80000000u);
    EXPECT_EQ(qm::GreatestCommonDivisor(INT_MIN, 6), 2u);
    // Against Euclid on a spread of values.
    uint32_t seed = 1;
    for (int i = 0; i < 2000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const int32_t a = int32_t(seed >> 8) % 100000 - 50000;
        seed = seed * 1103515245u + 12345u;
        const int32_t b = int32_t(seed >> 8) % 100000 - 50000;
        int64_t x = a < 0 ? -int64_t(a) : a, y = b < 0 ? -int64_t(b) : b;
        while (y) {
            const int64_t t = x % y;
            x = y;
            y = t;
        }
        ASSERT_EQ(qm::GreatestCommonDivisor(a, b), uint32_t(x)) << a << " " << b;
    }
    int32_t x = 720, y = 576;
    qm::ReduceRatio(&x, &y);
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 4);
    x = -1920;
    y = 1080;
    qm::ReduceRatio(&x, &y);
    EXPECT_EQ(x, -16);
    EXPECT_EQ(y, 9);
    x = 0;
    y = 0;
    qm::ReduceRatio(&x, &y);
    EXPECT_EQ(x, 0);
}

}  // namespace
