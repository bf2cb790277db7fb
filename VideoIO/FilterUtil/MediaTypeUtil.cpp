#include "VideoIO/FilterUtil/MediaTypeUtil.h"

#include <cstring>

#include "diagnostics/CheckForms.h"
#include "platform/dshow/UuidConstants.h"

namespace qm {

namespace {

// The format block as T when it is there and long enough to hold `size` bytes of it.
template <typename T>
T* FormatAs(const AM_MEDIA_TYPE& mt, size_t size = sizeof(T)) {
    if (mt.pbFormat == nullptr || mt.cbFormat < size) return nullptr;
    return reinterpret_cast<T*>(mt.pbFormat);
}

// The fixed parts of the MPEG blocks (their sequence headers follow).
constexpr size_t kMpeg1VideoInfoSize = offsetof(MPEG1VIDEOINFO, bSequenceHeader);
constexpr size_t kMpeg2VideoInfoSize = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);

bool Is(const GUID& a, const GUID& b) {
    return IsEqualGUID(a, b) != 0;
}

// The video header of the four video format types: the VIDEOINFOHEADER of VideoInfo and
// MPEGVideo (v1) or the VIDEOINFOHEADER2 of VideoInfo2 and MPEG2Video (v2), both null when the
// block is missing or shorter than its fixed part. The accessors name their own check texts.
struct VideoHeader {
    enum Kind { kOther, kVideoInfo, kVideoInfo2, kMpeg1, kMpeg2 } kind = kOther;
    VIDEOINFOHEADER* v1 = nullptr;
    VIDEOINFOHEADER2* v2 = nullptr;

    bool Plain() const { return kind == kVideoInfo || kind == kVideoInfo2; }
    bool Mpeg() const { return kind == kMpeg1 || kind == kMpeg2; }
    const void* Found() const { return v1 ? static_cast<const void*>(v1) : v2; }
    const BITMAPINFOHEADER* Bitmap() const {
        return v1 ? &v1->bmiHeader : v2 ? &v2->bmiHeader : nullptr;
    }
    // The following need a found header.
    const RECT& Target() const { return v1 ? v1->rcTarget : v2->rcTarget; }
    REFERENCE_TIME AvgTimePerFrame() const {
        return v1 ? v1->AvgTimePerFrame : v2->AvgTimePerFrame;
    }
    DWORD BitRate() const { return v1 ? v1->dwBitRate : v2->dwBitRate; }
};

VideoHeader FindVideoHeader(const AM_MEDIA_TYPE& mt) {
    VideoHeader h;
    if (Is(mt.formattype, FORMAT_VideoInfo)) {
        h.kind = VideoHeader::kVideoInfo;
        h.v1 = FormatAs<VIDEOINFOHEADER>(mt);
    } else if (Is(mt.formattype, FORMAT_VideoInfo2)) {
        h.kind = VideoHeader::kVideoInfo2;
        h.v2 = FormatAs<VIDEOINFOHEADER2>(mt);
    } else if (Is(mt.formattype, FORMAT_MPEGVideo)) {
        h.kind = VideoHeader::kMpeg1;
        if (auto* info = FormatAs<MPEG1VIDEOINFO>(mt, kMpeg1VideoInfoSize)) h.v1 = &info->hdr;
    } else if (Is(mt.formattype, FORMAT_MPEG2Video)) {
        h.kind = VideoHeader::kMpeg2;
        if (auto* info = FormatAs<MPEG2VIDEOINFO>(mt, kMpeg2VideoInfoSize)) h.v2 = &info->hdr;
    }
    return h;
}

// DVINFO.dwDVVAuxSrc bit 21: a 50-Hz (625-line) system.
bool IsDv50Hz(const DVINFO* pDVInfo) {
    return (pDVInfo->dwDVVAuxSrc & (1u << 21)) != 0;
}

constexpr DWORD kDvInterlacedBit = 0x100000;
constexpr DWORD kDvFieldBits = 0xC00000;

DWORD DvInterlaceFlags(DWORD ctl) {
    if (!(ctl & kDvInterlacedBit)) return 0;
    switch (ctl & kDvFieldBits) {
        case 0xC00000:
            return 0x25;
        case 0x800000:
            return 0x21;
        case 0x400000:
            return 0x01;
        default:
            return 0x11;
    }
}

// Row bytes of a bitmap: bits x width rounded up to 32 bits (64-bit arithmetic).
int64_t Magnitude(int64_t v) {
    return v < 0 ? -v : v;
}

bool InList(const GUID& g, std::span<const GUID> list) {
    for (const GUID& item : list)
        if (Is(g, item)) return true;
    return false;
}

constexpr GUID FourCC(char a, char b, char c, char d) {
    return MediaSubtypeFromFourCC(MakeFourCC(a, b, c, d));
}

constexpr GUID kMPEG4Video[] = {
    FourCC('d', 'i', 'v', 'x'), FourCC('D', 'I', 'V', 'X'), FourCC('X', 'V', 'I', 'D'),
    FourCC('D', 'X', '5', '0'), FourCC('M', 'P', '4', 'V'), FourCC('m', 'p', '4', 'v'),
    FourCC('M', '4', 'S', '2'), FourCC('m', '4', 's', '2'), FourCC('D', 'I', 'V', '5')};
constexpr GUID kMPEGAudio[] = {uuids::MEDIASUBTYPE_MPEG1AudioPayload,
                               uuids::MEDIASUBTYPE_MPEG2_AUDIO, MediaSubtypeFromFourCC(0x0055)};
constexpr GUID kAC3Audio[] = {uuids::MEDIASUBTYPE_DOLBY_AC3, MediaSubtypeFromFourCC(0x0092),
                              MediaSubtypeFromFourCC(0x2000)};
constexpr GUID kUncompressedVideo[] = {
    uuids::MEDIASUBTYPE_NV12,   uuids::MEDIASUBTYPE_YUY2,  uuids::MEDIASUBTYPE_YVYU,
    FourCC('Y', 'U', 'Y', 'V'), uuids::MEDIASUBTYPE_UYVY,  uuids::MEDIASUBTYPE_IYUV,
    uuids::MEDIASUBTYPE_YV12,   MEDIASUBTYPE_I420,         uuids::MEDIASUBTYPE_RGB32,
    uuids::MEDIASUBTYPE_ARGB32, uuids::MEDIASUBTYPE_RGB24, uuids::MEDIASUBTYPE_RGB555,
    uuids::MEDIASUBTYPE_RGB565, uuids::MEDIASUBTYPE_RGB8,  uuids::MEDIASUBTYPE_YVU9,
    MEDIASUBTYPE_HDYC,          MEDIASUBTYPE_BYRG,         MEDIASUBTYPE_BYGB,
    MEDIASUBTYPE_BYGR,          MEDIASUBTYPE_BYBG,         MEDIASUBTYPE_Y800};
constexpr GUID kRGBVideo[] = {uuids::MEDIASUBTYPE_RGB1,   uuids::MEDIASUBTYPE_RGB4,
                              uuids::MEDIASUBTYPE_RGB8,   uuids::MEDIASUBTYPE_RGB555,
                              uuids::MEDIASUBTYPE_RGB565, uuids::MEDIASUBTYPE_RGB24,
                              uuids::MEDIASUBTYPE_RGB32,  uuids::MEDIASUBTYPE_ARGB32};
constexpr GUID kPCMAudio[] = {uuids::MEDIASUBTYPE_PCM, uuids::MEDIASUBTYPE_IEEE_FLOAT};

static_assert(std::size(kUncompressedVideo) == 21 && std::size(kMPEG4Video) == 9);

// Bit count and compression of the VIDEOINFOHEADER2 builder by subtype.
struct BitmapLayout {
    WORD bitCount;
    DWORD compression;
};

BitmapLayout LayoutOf(const GUID& subtype) {
    const DWORD fourcc = subtype.Data1;
    if (Is(subtype, MEDIASUBTYPE_UYVY) || Is(subtype, MEDIASUBTYPE_YUY2) ||
        Is(subtype, MEDIASUBTYPE_HDYC))
        return {16, fourcc};
    if (Is(subtype, MEDIASUBTYPE_YV12) || Is(subtype, MEDIASUBTYPE_NV12) ||
        Is(subtype, MEDIASUBTYPE_Y411) || Is(subtype, MEDIASUBTYPE_IYUV) ||
        Is(subtype, MEDIASUBTYPE_I420))
        return {12, fourcc};
    if (Is(subtype, MEDIASUBTYPE_YVU9)) return {9, fourcc};
    if (Is(subtype, MEDIASUBTYPE_BYRG) || Is(subtype, MEDIASUBTYPE_BYGB) ||
        Is(subtype, MEDIASUBTYPE_BYGR) || Is(subtype, MEDIASUBTYPE_BYBG) ||
        Is(subtype, MEDIASUBTYPE_Y800))
        return {8, fourcc};
    if (Is(subtype, MEDIASUBTYPE_RGB24)) return {24, BI_RGB};
    if (Is(subtype, MEDIASUBTYPE_RGB32) || Is(subtype, MEDIASUBTYPE_ARGB32)) return {32, BI_RGB};
    if (Is(subtype, MEDIASUBTYPE_RGB8)) return {8, BI_RGB};
    if (Is(subtype, MEDIASUBTYPE_RGB555) || Is(subtype, MEDIASUBTYPE_RGB565)) return {16, BI_RGB};
    if (Is(subtype, MEDIASUBTYPE_dvsd)) return {0, MakeFourCC('i', 'a', 'v', 's')};
    if (Is(subtype, MEDIASUBTYPE_MJPG)) return {0, MakeFourCC('M', 'J', 'P', 'G')};
    return {0, 0};
}

// Frees the format block and the pUnk reference of a type that is being rebuilt.
void DropFormat(CMediaType* pMediaType) {
    pMediaType->ResetFormatBuffer();
    if (pMediaType->pUnk) {
        pMediaType->pUnk->Release();
        pMediaType->pUnk = nullptr;
    }
}

}  // namespace

HRESULT GetPictureSize(const AM_MEDIA_TYPE& mt, LONG* pWidth, LONG* pHeight) {
    QMCheckCondition(pWidth != 0, E_POINTER);
    QMCheckCondition(pHeight != 0, E_POINTER);
    const VideoHeader header = FindVideoHeader(mt);
    if (header.Plain()) {
        const BITMAPINFOHEADER* pvih = header.Bitmap();
        QMCheckCondition(pvih != 0, E_INVALIDARG);
        *pWidth = pvih->biWidth;
        *pHeight = pvih->biHeight;
        return S_OK;
    }
    if (header.Mpeg()) {
        const BITMAPINFOHEADER* pHeader = header.Bitmap();
        QMCheckCondition(pHeader != 0, E_INVALIDARG);
        const RECT& rc = header.Target();
        const bool target = rc.right != 0 && rc.bottom != 0;
        *pWidth = target ? rc.right : pHeader->biWidth;
        *pHeight = target ? rc.bottom : pHeader->biHeight;
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_DvInfo)) {
        const DVINFO* pDVInfo = FormatAs<const DVINFO>(mt);
        QMCheckCondition(pDVInfo != 0, E_INVALIDARG);
        *pWidth = 720;
        *pHeight = IsDv50Hz(pDVInfo) ? 576 : 480;
        return S_OK;
    }
    return QMLogHRESULT(E_NOTIMPL);
}

HRESULT GetPictureAspectRatio(const AM_MEDIA_TYPE& mt, LONG* pX, LONG* pY) {
    QMCheckCondition(pX != 0, E_POINTER);
    QMCheckCondition(pY != 0, E_POINTER);
    const VideoHeader header = FindVideoHeader(mt);
    if (header.kind == VideoHeader::kVideoInfo) {
        const BITMAPINFOHEADER* pvih = header.Bitmap();
        QMCheckCondition(pvih != 0, E_INVALIDARG);
        *pX = pvih->biWidth;
        *pY = LONG(Magnitude(pvih->biHeight));  // square pixels
        return S_OK;
    }
    if (header.kind == VideoHeader::kVideoInfo2) {
        const VIDEOINFOHEADER2* pvih = header.v2;
        QMCheckCondition(pvih != 0, E_INVALIDARG);
        *pX = LONG(pvih->dwPictAspectRatioX);
        *pY = LONG(pvih->dwPictAspectRatioY);
        return S_OK;
    }
    if (header.kind == VideoHeader::kMpeg2) {
        const VIDEOINFOHEADER2* pVideoInfo = header.v2;
        QMCheckCondition(pVideoInfo != 0, E_INVALIDARG);
        *pX = LONG(pVideoInfo->dwPictAspectRatioX);
        *pY = LONG(pVideoInfo->dwPictAspectRatioY);
        return S_OK;
    }
    if (header.kind == VideoHeader::kMpeg1) {
        const BITMAPINFOHEADER* pVideoInfo = header.Bitmap();
        QMCheckCondition(pVideoInfo != 0, E_INVALIDARG);
        *pX = pVideoInfo->biWidth;
        *pY = pVideoInfo->biHeight;
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_DvInfo)) {
        const DVINFO* pDVInfo = FormatAs<const DVINFO>(mt);
        QMCheckCondition(pDVInfo != 0, E_INVALIDARG);
        const DWORD ctl = pDVInfo->dwDVVAuxCtl;
        const DWORD select = (ctl >> 8) & 7;
        *pX = 4;
        *pY = 3;
        if ((ctl & 0x30000) == 0x10000) {
            if (select == 1 || select == 2 || select == 6) {
                *pX = 14;
                *pY = 9;
            } else if (select != 0) {
                *pX = 16;
                *pY = 9;
            }
        } else if ((ctl & 0x30000) == 0) {
            if (select == 1 || select == 2) {
                *pX = 16;
                *pY = 9;
            } else if (select != 0) {
                QMLogHRESULT(E_UNEXPECTED);
            }
        }
        return S_OK;
    }
    return QMLogHRESULT(E_NOTIMPL);
}

HRESULT GetAverageTimePerFrame(const AM_MEDIA_TYPE& mt, REFERENCE_TIME* pAvgTimePerFrame) {
    QMCheckCondition(pAvgTimePerFrame != 0, E_POINTER);
    *pAvgTimePerFrame = 0;
    const VideoHeader header = FindVideoHeader(mt);
    if (header.Plain()) {
        const void* pVIH = header.Found();
        QMCheckCondition(pVIH != 0, E_INVALIDARG);
        *pAvgTimePerFrame = header.AvgTimePerFrame();
        return S_OK;
    }
    if (header.Mpeg()) {
        const void* pHeader = header.Found();
        QMCheckCondition(pHeader != 0, E_INVALIDARG);
        *pAvgTimePerFrame = header.AvgTimePerFrame();
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_AnalogVideo)) {
        const ANALOGVIDEOINFO* pHeader = FormatAs<const ANALOGVIDEOINFO>(mt);
        QMCheckCondition(pHeader != 0, E_INVALIDARG);
        *pAvgTimePerFrame = pHeader->AvgTimePerFrame;
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_DvInfo)) {
        const DVINFO* pDVInfo = FormatAs<const DVINFO>(mt);
        QMCheckCondition(pDVInfo != 0, E_INVALIDARG);
        *pAvgTimePerFrame = IsDv50Hz(pDVInfo) ? 400000 : 333667;
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_WaveFormatEx)) {
        const WAVEFORMATEX* pWaveFormat = FormatAs<const WAVEFORMATEX>(mt);
        QMCheckCondition(pWaveFormat != 0, E_INVALIDARG);
        QMCheckCondition(pWaveFormat->nSamplesPerSec != 0, E_INVALIDARG);
        *pAvgTimePerFrame = REFERENCE_TIME(10000000u / pWaveFormat->nSamplesPerSec);
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_None)) {
        *pAvgTimePerFrame = 400000;
        QMLogHRESULT(E_UNEXPECTED);
        return S_OK;
    }
    return QMLogHRESULT(E_NOTIMPL);
}

int64_t DibRowBytes(WORD bitCount, LONG width) {
    return ((int64_t(bitCount) * width + 31) / 8) & ~int64_t(3);
}

int64_t VideoImageSize(const GUID& subtype, WORD bitCount, LONG width, LONG height) {
    const int64_t w = Magnitude(width), h = Magnitude(height);
    const int64_t dib = Magnitude(DibRowBytes(bitCount, width) * height);
    const int64_t chromaRows = (h + 1) / 2;
    int64_t planes = 0;
    if (Is(subtype, MEDIASUBTYPE_IYUV) || Is(subtype, MEDIASUBTYPE_I420)) {
        planes = w * h + 2 * ((w + 1) / 2) * chromaRows;
    } else if (Is(subtype, MEDIASUBTYPE_YV12) || Is(subtype, MEDIASUBTYPE_NV12)) {
        const int64_t pitch = (w + 1) & ~int64_t(1);
        planes = pitch * (h + chromaRows);
    }
    return dib > planes ? dib : planes;
}

size_t RgbRowStep(const AM_MEDIA_TYPE& mt) {
    if (!IsRGBVideoType(mt)) return 0;
    const VideoHeader header = FindVideoHeader(mt);
    const BITMAPINFOHEADER* bmi = header.Plain() ? header.Bitmap() : nullptr;
    return bmi && bmi->biWidth > 0 ? size_t(DibRowBytes(bmi->biBitCount, bmi->biWidth)) : 0;
}

HRESULT GetSampleSize(const AM_MEDIA_TYPE& mt, LONG* pSampleSize) {
    QMCheckCondition(pSampleSize != 0, E_POINTER);
    *pSampleSize = 0;
    const VideoHeader header = FindVideoHeader(mt);
    if (header.Plain()) {
        const BITMAPINFOHEADER* pvih = header.Bitmap();
        QMCheckCondition(pvih != 0, E_INVALIDARG);
        *pSampleSize = LONG(pvih->biSizeImage);
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_DvInfo)) {
        const DVINFO* pDVInfo = FormatAs<const DVINFO>(mt);
        QMCheckCondition(pDVInfo != 0, E_INVALIDARG);
        *pSampleSize = IsDv50Hz(pDVInfo) ? 144000 : 120000;
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_WaveFormatEx)) {
        const WAVEFORMATEX* pWaveFormat = FormatAs<const WAVEFORMATEX>(mt);
        QMCheckCondition(pWaveFormat != 0, E_INVALIDARG);
        QMCheckCondition((pWaveFormat->wFormatTag == 1) || (pWaveFormat->wFormatTag == 0xFFFE),
                         E_INVALIDARG);
        *pSampleSize = LONG(pWaveFormat->wBitsPerSample / 8) * LONG(pWaveFormat->nChannels);
        return S_OK;
    }
    if (header.Mpeg()) {
        const void* pVideoInfo = header.Found();
        QMCheckCondition(pVideoInfo != 0, E_UNEXPECTED);
        *pSampleSize = LONG(int64_t(header.BitRate()) * header.AvgTimePerFrame() / 10000000);
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_None)) {
        *pSampleSize = 144000;
        QMLogHRESULT(E_UNEXPECTED);
        return S_OK;
    }
    return QMLogHRESULT(E_NOTIMPL);
}

HRESULT GetInterlaceFlags(const AM_MEDIA_TYPE& mt, DWORD* pFlags) {
    QMCheckCondition(pFlags != 0, E_POINTER);
    *pFlags = 0;
    const VideoHeader header = FindVideoHeader(mt);
    if (header.kind == VideoHeader::kMpeg2) {
        const VIDEOINFOHEADER2* pMpegVideoInfo = header.v2;
        QMCheckCondition(pMpegVideoInfo != 0, E_INVALIDARG);
        *pFlags = pMpegVideoInfo->dwInterlaceFlags;
        return S_OK;
    }
    if (header.kind == VideoHeader::kVideoInfo2) {
        const VIDEOINFOHEADER2* pVIH = header.v2;
        QMCheckCondition(pVIH != 0, E_INVALIDARG);
        *pFlags = pVIH->dwInterlaceFlags;
        return S_OK;
    }
    if (Is(mt.formattype, FORMAT_DvInfo)) {
        const DVINFO* pDVInfo = FormatAs<const DVINFO>(mt);
        QMCheckCondition(pDVInfo != 0, E_INVALIDARG);
        *pFlags = DvInterlaceFlags(pDVInfo->dwDVVAuxCtl);
        return S_OK;
    }
    if (header.kind == VideoHeader::kVideoInfo || header.kind == VideoHeader::kMpeg1) return S_OK;
    return QMLogHRESULT(E_INVALIDARG);
}

HRESULT SetPictureAspectRatio(AM_MEDIA_TYPE& mt, LONG x, LONG y) {
    const VideoHeader header = FindVideoHeader(mt);
    if (header.kind == VideoHeader::kVideoInfo) return S_FALSE;
    if (header.kind == VideoHeader::kVideoInfo2) {
        VIDEOINFOHEADER2* pvih = header.v2;
        QMCheckCondition(pvih != 0, E_INVALIDARG);
        pvih->dwPictAspectRatioX = DWORD(x);
        pvih->dwPictAspectRatioY = DWORD(y);
        return S_OK;
    }
    if (header.kind == VideoHeader::kMpeg2) {
        VIDEOINFOHEADER2* pMPEG2Vih = header.v2;
        QMCheckCondition(pMPEG2Vih != 0, E_INVALIDARG);
        pMPEG2Vih->dwPictAspectRatioX = DWORD(x);
        pMPEG2Vih->dwPictAspectRatioY = DWORD(y);
        return S_OK;
    }
    if (Is(mt.subtype, MEDIASUBTYPE_MPEG1Video) || Is(mt.subtype, MEDIASUBTYPE_MPEG1Payload))
        return S_FALSE;
    if (Is(mt.formattype, FORMAT_DvInfo)) {
        DVINFO* pDVInfo = FormatAs<DVINFO>(mt);
        QMCheckCondition(pDVInfo != 0, E_INVALIDARG);
        const bool wide = y != 0 && int64_t(x) * 9 == int64_t(y) * 16;
        pDVInfo->dwDVVAuxCtl = (pDVInfo->dwDVVAuxCtl & ~DWORD(0x700)) | (wide ? 0x200u : 0u);
        return S_OK;
    }
    return QMLogHRESULT(E_INVALIDARG);
}

HRESULT SetInterlaceFlags(AM_MEDIA_TYPE& mt, DWORD flags) {
    const VideoHeader header = FindVideoHeader(mt);
    if (header.kind == VideoHeader::kVideoInfo) return S_FALSE;
    if (header.kind == VideoHeader::kVideoInfo2) {
        VIDEOINFOHEADER2* pvih = header.v2;
        QMCheckCondition(pvih != 0, E_INVALIDARG);
        pvih->dwInterlaceFlags = flags;
        return S_OK;
    }
    if (header.kind == VideoHeader::kMpeg2) {
        VIDEOINFOHEADER2* pMPEG2Vih = header.v2;
        QMCheckCondition(pMPEG2Vih != 0, E_INVALIDARG);
        pMPEG2Vih->dwInterlaceFlags = flags;
        return S_OK;
    }
    if (Is(mt.subtype, MEDIASUBTYPE_MPEG1Video) || Is(mt.subtype, MEDIASUBTYPE_MPEG1Payload))
        return S_FALSE;
    if (Is(mt.formattype, FORMAT_DvInfo)) {
        DVINFO* pDVInfo = FormatAs<DVINFO>(mt);
        QMCheckCondition(pDVInfo != 0, E_INVALIDARG);
        // The inverse of the reader: the interlaced bit and the two field bits.
        DWORD ctl = pDVInfo->dwDVVAuxCtl & ~(kDvInterlacedBit | kDvFieldBits);
        if (flags & AMINTERLACE_IsInterlaced) {
            ctl |= kDvInterlacedBit;
            if (flags & AMINTERLACE_Field1First)
                ctl |= 0xC00000;
            else if ((flags & AMINTERLACE_FieldPatternMask) == AMINTERLACE_FieldPatBothRegular)
                ctl |= 0x800000;
            else if ((flags & AMINTERLACE_FieldPatternMask) != AMINTERLACE_FieldPatField2Only)
                ctl |= 0x400000;
        }
        pDVInfo->dwDVVAuxCtl = ctl;
        return S_OK;
    }
    return QMLogHRESULT(E_INVALIDARG);
}

HRESULT CreateVideoInfoHeader2Type(CMediaType* pMediaType, LONG width, LONG height, LONG aspectX,
                                   LONG aspectY, DWORD interlaceFlags, const GUID* pSubtype,
                                   REFERENCE_TIME avgTimePerFrame, DWORD bitRate,
                                   const BYTE* pExtra, ULONG extraSize) {
    QMCheckCondition(pMediaType != 0, E_POINTER);
    QMCheckCondition((pExtra != 0) || (extraSize == 0), E_INVALIDARG);
    QMCheckCondition(avgTimePerFrame > 0, E_INVALIDARG);
    QMCheckCondition(extraSize <= 0x7FFFFFFF - sizeof(VIDEOINFOHEADER2), E_INVALIDARG);

    DropFormat(pMediaType);
    pMediaType->SetFormatType(&FORMAT_VideoInfo2);
    auto* pVideoHeader = reinterpret_cast<VIDEOINFOHEADER2*>(
        pMediaType->AllocFormatBuffer(ULONG(sizeof(VIDEOINFOHEADER2) + extraSize)));
    QMCheckCondition(pVideoHeader != 0, E_OUTOFMEMORY);
    std::memset(pVideoHeader, 0, sizeof(VIDEOINFOHEADER2) + extraSize);

    BITMAPINFOHEADER& bmi = pVideoHeader->bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = width;
    bmi.biHeight = height;
    bmi.biPlanes = 1;
    if (pSubtype) {
        const BitmapLayout layout = LayoutOf(*pSubtype);
        bmi.biBitCount = layout.bitCount;
        bmi.biCompression = layout.compression;
        pMediaType->SetSubtype(pSubtype);
    }
    const int64_t imageSize = VideoImageSize(pMediaType->subtype, bmi.biBitCount, width, height);
    bmi.biSizeImage = DWORD(imageSize);

    pVideoHeader->rcSource = RECT{0, 0, width, LONG(Magnitude(height))};
    pVideoHeader->rcTarget = pVideoHeader->rcSource;
    pVideoHeader->dwBitRate = bitRate;
    pVideoHeader->AvgTimePerFrame = avgTimePerFrame;
    pVideoHeader->dwInterlaceFlags = interlaceFlags;
    pVideoHeader->dwPictAspectRatioX = DWORD(aspectX);
    pVideoHeader->dwPictAspectRatioY = DWORD(aspectY);
    if (extraSize) std::memcpy(pVideoHeader + 1, pExtra, extraSize);

    pMediaType->SetType(&MEDIATYPE_Video);
    pMediaType->bFixedSizeSamples = TRUE;
    pMediaType->bTemporalCompression =
        Is(pMediaType->subtype, MediaSubtypeFromFourCC(MakeFourCC('H', '2', '6', '4')));
    pMediaType->lSampleSize = ULONG(imageSize);
    return S_OK;
}

HRESULT CreateWaveFormatExType(CMediaType* pMediaType, WORD formatTag, WORD nbrOfChannels,
                               DWORD samplesPerSec, WORD nbrOfBitsPerSample, DWORD avgBytesPerSec,
                               const BYTE* pExtra, WORD extraSize) {
    QMCheckCondition(pMediaType != 0, E_POINTER);
    QMCheckCondition((pExtra != 0) || (extraSize == 0), E_INVALIDARG);
    QMCheckCondition((nbrOfBitsPerSample % 8) == 0, E_INVALIDARG);
    QMCheckCondition(nbrOfChannels <= 2, E_INVALIDARG);
    QMCheckCondition(nbrOfBitsPerSample <= 32, E_INVALIDARG);

    FreeMediaType(*pMediaType);
    pMediaType->InitMediaType();
    pMediaType->SetType(&MEDIATYPE_Audio);
    const GUID subtype = MediaSubtypeFromFourCC(formatTag);
    pMediaType->SetSubtype(&subtype);
    pMediaType->SetFormatType(&FORMAT_WaveFormatEx);
    auto* pwfex = reinterpret_cast<WAVEFORMATEX*>(
        pMediaType->AllocFormatBuffer(ULONG(sizeof(WAVEFORMATEX) + extraSize)));
    QMCheckCondition(pwfex != 0, E_OUTOFMEMORY);

    pMediaType->lSampleSize = ULONG(nbrOfChannels) * nbrOfBitsPerSample / 8;
    pwfex->wFormatTag = formatTag;
    pwfex->nChannels = nbrOfChannels;
    pwfex->nSamplesPerSec = samplesPerSec;
    pwfex->nAvgBytesPerSec = avgBytesPerSec;
    pwfex->nBlockAlign = WORD(pMediaType->lSampleSize);
    pwfex->wBitsPerSample = nbrOfBitsPerSample;
    pwfex->cbSize = extraSize;
    if (extraSize) std::memcpy(pwfex + 1, pExtra, extraSize);
    pMediaType->bFixedSizeSamples = TRUE;
    pMediaType->bTemporalCompression = FALSE;
    return S_OK;
}

HRESULT CreatePcmWaveFormatExType(CMediaType* pMediaType, WORD formatTag, WORD nbrOfChannels,
                                  DWORD samplesPerSec, WORD nbrOfBitsPerSample) {
    const WORD blockAlign = WORD(DWORD(nbrOfChannels) * nbrOfBitsPerSample / 8);
    return CreateWaveFormatExType(pMediaType, formatTag, nbrOfChannels, samplesPerSec,
                                  nbrOfBitsPerSample, DWORD(blockAlign) * samplesPerSec);
}

HRESULT CreateWaveFormatExtensibleType(CMediaType* pMediaType, WORD formatTag, WORD nbrOfChannels,
                                       DWORD samplesPerSec, WORD nbrOfBitsPerSample,
                                       DWORD channelMask) {
    QMCheckCondition(pMediaType != 0, E_POINTER);
    QMCheckCondition((nbrOfBitsPerSample % 8) == 0, E_INVALIDARG);

    FreeMediaType(*pMediaType);
    pMediaType->InitMediaType();
    pMediaType->SetType(&MEDIATYPE_Audio);
    const GUID subtype = MediaSubtypeFromFourCC(formatTag);
    pMediaType->SetSubtype(&subtype);
    pMediaType->SetFormatType(&FORMAT_WaveFormatEx);
    auto* pwfex = reinterpret_cast<WAVEFORMATEXTENSIBLE*>(
        pMediaType->AllocFormatBuffer(sizeof(WAVEFORMATEXTENSIBLE)));
    QMCheckCondition(pwfex != 0, E_OUTOFMEMORY);

    pwfex->Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    pwfex->Format.nChannels = nbrOfChannels;
    pwfex->Format.nSamplesPerSec = samplesPerSec;
    pwfex->Format.nBlockAlign = WORD(nbrOfBitsPerSample / 8 * nbrOfChannels);
    pwfex->Format.nAvgBytesPerSec = DWORD(pwfex->Format.nBlockAlign) * samplesPerSec;
    pwfex->Format.wBitsPerSample = nbrOfBitsPerSample;
    pwfex->Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    pwfex->Samples.wValidBitsPerSample = nbrOfBitsPerSample;
    pwfex->dwChannelMask = channelMask;
    pwfex->SubFormat = subtype;
    pMediaType->lSampleSize = pwfex->Format.nBlockAlign;
    pMediaType->bFixedSizeSamples = TRUE;
    return S_OK;
}

std::span<const GUID> MPEG4VideoSubtypes() {
    return kMPEG4Video;
}
std::span<const GUID> MPEGAudioSubtypes() {
    return kMPEGAudio;
}
std::span<const GUID> AC3AudioSubtypes() {
    return kAC3Audio;
}
std::span<const GUID> UncompressedVideoSubtypes() {
    return kUncompressedVideo;
}
std::span<const GUID> RGBVideoSubtypes() {
    return kRGBVideo;
}
std::span<const GUID> PCMAudioSubtypes() {
    return kPCMAudio;
}

bool IsMPEG2VideoType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Video) && Is(mt.subtype, MEDIASUBTYPE_MPEG2_VIDEO);
}
bool IsMPEG1VideoType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Video) && Is(mt.subtype, MEDIASUBTYPE_MPEG1Payload);
}
bool IsMPEG4VideoType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Video) && InList(mt.subtype, kMPEG4Video);
}
bool IsMPEGAudioType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Audio) && InList(mt.subtype, kMPEGAudio);
}
bool IsAC3AudioType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Audio) && InList(mt.subtype, kAC3Audio);
}
bool IsDVDLPCMAudioType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Audio) && Is(mt.subtype, MEDIASUBTYPE_DVD_LPCM_AUDIO);
}
bool IsUncompressedVideoType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Video) && InList(mt.subtype, kUncompressedVideo);
}
bool IsRGBVideoType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Video) && InList(mt.subtype, kRGBVideo);
}
bool IsPCMAudioType(const AM_MEDIA_TYPE& mt) {
    return Is(mt.majortype, MEDIATYPE_Audio) && InList(mt.subtype, kPCMAudio);
}

uint32_t GreatestCommonDivisor(int32_t a, int32_t b) {
    uint32_t u = a < 0 ? 0u - uint32_t(a) : uint32_t(a);
    uint32_t v = b < 0 ? 0u - uint32_t(b) : uint32_t(b);
    if (u == 0) return v;
    if (v == 0) return u;
    int shift = 0;
    while (((u | v) & 1) == 0) {
        u >>= 1;
        v >>= 1;
        ++shift;
    }
    while ((u & 1) == 0) u >>= 1;
    do {
        while ((v & 1) == 0) v >>= 1;
        if (u > v) {
            const uint32_t t = u;
            u = v;
            v = t;
        }
        v -= u;
    } while (v != 0);
    return u << shift;
}

void ReduceRatio(int32_t* pX, int32_t* pY) {
    if (!pX || !pY) return;
    const uint32_t g = GreatestCommonDivisor(*pX, *pY);
    if (g <= 1) return;
    *pX = int32_t(int64_t(*pX) / int64_t(g));
    *pY = int32_t(int64_t(*pY) / int64_t(g));
}

}  // namespace qm
