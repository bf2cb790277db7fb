#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <optional>
#include <tuple>
#include <utility>

#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "tests/FilterUtil/Steps.h"
#include "tests/support/ReportCapture.h"

namespace {

using qm::test::ExpectSteps;
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

MPEG2VIDEOINFO Mpeg2Info(LONG width, LONG height, RECT target, DWORD bitRate = 8000000,
                         REFERENCE_TIME avg = 400000) {
    MPEG2VIDEOINFO info{};
    info.hdr.bmiHeader.biWidth = width;
    info.hdr.bmiHeader.biHeight = height;
    info.hdr.rcTarget = target;
    info.hdr.dwPictAspectRatioX = 16;
    info.hdr.dwPictAspectRatioY = 9;
    info.hdr.dwInterlaceFlags = 0x25;
    info.hdr.AvgTimePerFrame = avg;
    info.hdr.dwBitRate = bitRate;
    return info;
}
template <class Block>
CMediaType Mpeg1(LONG width, LONG height, RECT target) {
    Block b{};
    b.hdr.bmiHeader.biWidth = width;
    b.hdr.bmiHeader.biHeight = height;
    b.hdr.rcTarget = target;
    return Video(FORMAT_MPEGVideo, b);
}
CMediaType Dv(DWORD src, DWORD ctl) {
    DVINFO dv{};
    dv.dwDVVAuxSrc = src;
    dv.dwDVVAuxCtl = ctl;
    return Video(FORMAT_DvInfo, dv);
}
WAVEFORMATEX Pcm(WORD tag, DWORD rate) {
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = tag;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = 16;
    return wfx;
}

// What each reader makes of each format block; a missing value is not read for that block.
TEST(MediaTypeUtil, ReadersOverEveryFormatBlock) {
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biWidth = 640;
    vih.bmiHeader.biHeight = -480;
    vih.bmiHeader.biSizeImage = 614400;
    vih.AvgTimePerFrame = 333667;
    CMediaType none(&MEDIATYPE_Video);
    none.SetFormatType(&FORMAT_None);
    ANALOGVIDEOINFO analog{};
    analog.AvgTimePerFrame = 200000;
    struct Row {
        CMediaType type;
        std::optional<Pair> size = {}, aspect = {};
        std::optional<REFERENCE_TIME> avg = {};
        std::optional<LONG> sampleSize = {};
        std::optional<DWORD> interlace = {};
        size_t reports = 0;
    };
    const std::optional<Pair> any;
    const Row rows[] = {
        // MPEG blocks prefer the target rect; with it all zero, or one side set, the bitmap's.
        {Video(FORMAT_MPEG2Video, Mpeg2Info(704, 480, {0, 0, 720, 576})), Pair(720, 576),
         Pair(16, 9), 400000, 320000, 0x25u},  // 8 Mbit/s at 25 frames/s: 320 000 bits a frame
        {Video(FORMAT_MPEG2Video, Mpeg2Info(704, -480, {0, 0, 0, 0})), Pair(704, -480)},
        {Video(FORMAT_MPEG2Video, Mpeg2Info(704, -480, {0, 0, 720, 0})), Pair(704, -480)},
        // 64-bit arithmetic, truncated.
        {Video(FORMAT_MPEG2Video, Mpeg2Info(720, 480, {}, 0xFFFFFFFF, 333667)),
         any,
         any,
         {},
         LONG(uint64_t(0xFFFFFFFF) * 333667 / 10000000)},
        {Mpeg1<MPEG1VIDEOINFO>(352, 288, {0, 0, 320, 240}), Pair(320, 240)},
        {Mpeg1<MPEG1VIDEOINFO>(352, -288, {}), any, Pair(352, -288)},  // as stored
        {Video(FORMAT_VideoInfo, vih), Pair(640, -480), Pair(640, 480), 333667, 614400},
        {Video(FORMAT_AnalogVideo, analog), any, any, 200000},
        // Both unexpected, both reported.
        {none, any, any, 400000, 144000, {}, 2},
        {Wave(Pcm(1, 48000)), any, any, 208, 4},
        // DV: the source word gives the system; the control word the aspect and interlace.
        {Dv(1u << 21, 0), Pair(720, 576), Pair(4, 3), 400000, 144000, 0u},
        {Dv(0, 0), Pair(720, 480), any, 333667, 120000},
        {Dv(0, 0x10100), any, Pair(14, 9), {}, {}, 0u},
        {Dv(0, 0x10600), any, Pair(14, 9), {}, {}, 0u},
        {Dv(0, 0x10300), any, Pair(16, 9), {}, {}, 0u},
        {Dv(0, 0x00100), any, Pair(16, 9), {}, {}, 0u},
        {Dv(0, 0x20200), any, Pair(4, 3), {}, {}, 0u},
        {Dv(0, 0x100000), any, Pair(4, 3), {}, {}, 0x11u},
        {Dv(0, 0x900000), any, Pair(4, 3), {}, {}, 0x21u},
        {Dv(0, 0xD00000), any, Pair(4, 3), {}, {}, 0x25u},
        {Dv(0, 0xC00000), any, Pair(4, 3), {}, {}, 0u},
        // An unknown display select without the qualifier bits is reported, and 4:3.
        {Dv(0, 0x00500), any, Pair(4, 3), {}, {}, {}, 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message()
                     << qm::GuidToString(r.type.formattype) << " row " << (&r - rows));
        ReportCapture reports;
        LONG x = 0, y = 0, size = 0;
        REFERENCE_TIME avg = 0;
        DWORD flags = 0;
        if (r.size) {
            EXPECT_EQ(qm::GetPictureSize(r.type, &x, &y), S_OK);
            EXPECT_EQ(Pair(x, y), *r.size);
        }
        if (r.aspect) {
            EXPECT_EQ(qm::GetPictureAspectRatio(r.type, &x, &y), S_OK);
            EXPECT_EQ(Pair(x, y), *r.aspect);
        }
        if (r.avg) {
            EXPECT_EQ(qm::GetAverageTimePerFrame(r.type, &avg), S_OK);
            EXPECT_EQ(avg, *r.avg);
        }
        if (r.sampleSize) {
            EXPECT_EQ(qm::GetSampleSize(r.type, &size), S_OK);
            EXPECT_EQ(size, *r.sampleSize);
        }
        if (r.interlace) {
            EXPECT_EQ(qm::GetInterlaceFlags(r.type, &flags), S_OK);
            EXPECT_EQ(flags, *r.interlace);
        }
        EXPECT_EQ(reports.Count(), r.reports);
    }
}

// Missing, short and unknown blocks: the status and the condition reported; outputs cleared.
TEST(MediaTypeUtil, ReadersRefuseWhatTheyCannotRead) {
    LONG w = 0, h = 0, size = 7;
    REFERENCE_TIME avg = 0;
    DWORD flags = 5;
    CMediaType none(&MEDIATYPE_Video);
    none.SetFormatType(&FORMAT_VideoInfo);
    // A block one byte short of its structure counts as missing.
    const CMediaType shortVih =
        Video(FORMAT_VideoInfo, VIDEOINFOHEADER{}, sizeof(VIDEOINFOHEADER) - 1);
    const CMediaType mpeg2 = Video(FORMAT_MPEG2Video, Mpeg2Info(1, 1, {}), 131);
    const CMediaType audio = Wave(WAVEFORMATEX{}), mp3 = Wave(Pcm(0x55, 48000)),
                     noRate = Wave(Pcm(0x55, 0));
    ExpectSteps({
        {[&] { return qm::GetPictureSize(none, &w, &h); }, E_INVALIDARG, "pvih != 0"},
        {[&] { return qm::GetPictureSize(shortVih, &w, &h); }, E_INVALIDARG},
        {[&] { return qm::GetPictureSize(mpeg2, &w, &h); }, E_INVALIDARG, "pHeader != 0"},
        {[&] { return qm::GetSampleSize(mpeg2, &size); }, E_UNEXPECTED, "pVideoInfo != 0"},
        {[&] { return qm::GetPictureSize(audio, &w, &h); }, E_NOTIMPL, "QMLogHRESULT"},
        {[&] { return qm::GetInterlaceFlags(audio, &flags); }, E_INVALIDARG},  // not E_NOTIMPL
        {[&] { return qm::GetPictureSize(audio, nullptr, &h); }, E_POINTER},
        {[&] { return qm::GetSampleSize(mp3, &size); }, E_INVALIDARG,
         "(pWaveFormat->wFormatTag == 1) || (pWaveFormat->wFormatTag == 0xFFFE)"},
        {[&] { return qm::GetAverageTimePerFrame(noRate, &avg); }, E_INVALIDARG},
    });
    EXPECT_EQ(std::tuple(size, flags), std::tuple(0, 0u));
}

// Each writer changes what the block carries, reads back as written (in lowest terms), and
// leaves blocks without the field untouched with S_FALSE.
TEST(MediaTypeUtil, WritersChangeOnlyWhatTheFormatCarries) {
    CMediaType mpeg1Payload(&MEDIATYPE_Video);
    mpeg1Payload.SetSubtype(&MEDIASUBTYPE_MPEG1Payload);
    mpeg1Payload.SetFormatType(&FORMAT_MPEGVideo);
    struct Row {
        CMediaType type;
        LONG x, y;
        HRESULT hr;
        DWORD flags;
        Pair read;
    };
    const Row rows[] = {
        {Video(FORMAT_VideoInfo, VIDEOINFOHEADER{}), 16, 9, S_FALSE, 0x25, {}},
        {mpeg1Payload, 4, 3, S_FALSE, 1, {}},  // MPEG-1 without a writable block
        {Video(FORMAT_MPEG2Video, Mpeg2Info(720, 480, {})), 4, 3, S_OK, 0x11, {4, 3}},
        // DV: 16:9 sets display select 2, 4:3 clears it.
        {Dv(0, 0), 32, 18, S_OK, 0, {16, 9}},
        {Dv(0, 0x10300), 4, 3, S_OK, 0x01, {4, 3}},
        {Dv(0, 0), 4, 3, S_OK, 0x11, {4, 3}},
        {Dv(0, 0), 4, 3, S_OK, 0x25, {4, 3}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << (&r - rows));
        CMediaType mt = r.type;
        EXPECT_EQ(qm::SetPictureAspectRatio(mt, r.x, r.y), r.hr);
        EXPECT_EQ(qm::SetInterlaceFlags(mt, r.flags), r.hr);
        if (r.hr == S_FALSE) {
            EXPECT_TRUE(mt == r.type);
            continue;
        }
        LONG x = 0, y = 0;
        DWORD flags = 0;
        EXPECT_EQ(qm::GetPictureAspectRatio(mt, &x, &y), S_OK);
        EXPECT_EQ(qm::GetInterlaceFlags(mt, &flags), S_OK);
        EXPECT_EQ(std::tuple(x, y, flags), std::tuple(r.read.first, r.read.second, r.flags));
    }
    CMediaType audio = Wave(WAVEFORMATEX{}), emptyVih2(&MEDIATYPE_Video);
    emptyVih2.SetFormatType(&FORMAT_VideoInfo2);
    ExpectSteps({
        {[&] { return qm::SetInterlaceFlags(audio, 1); }, E_INVALIDARG, "QMLogHRESULT"},
        {[&] { return qm::SetPictureAspectRatio(audio, 1, 1); }, E_INVALIDARG, "QMLogHRESULT"},
        {[&] { return qm::SetInterlaceFlags(emptyVih2, 1); }, E_INVALIDARG, "pvih != 0"},
    });
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
        {&MEDIATYPE_Audio, &ac3, qm::IsAC3AudioType, true},
        {&MEDIATYPE_Audio, &MEDIASUBTYPE_IEEE_FLOAT, qm::IsPCMAudioType, true},
        {&MEDIATYPE_Audio, &MEDIASUBTYPE_DVD_LPCM_AUDIO, qm::IsDVDLPCMAudioType, true},
        {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Payload, qm::IsMPEG1VideoType, true},
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
