// Video format blocks (VIDEOINFOHEADER, VIDEOINFOHEADER2, MPEG1VIDEOINFO, MPEG2VIDEOINFO, DVINFO,
// ANALOGVIDEOINFO) and the interlace and video sample flags, with the SDK's names and layouts.
// On Windows the SDK's amvideo.h and dvdmedia.h are used.
#pragma once

#include "platform/dshow/Strmif.h"

#ifdef _WIN32
#include <amvideo.h>
#include <dvdmedia.h>
#else

typedef struct tagVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;

typedef struct tagVIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    union {
        DWORD dwControlFlags;
        DWORD dwReserved1;
    };
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER2;

typedef struct tagMPEG1VIDEOINFO {
    VIDEOINFOHEADER hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    BYTE bSequenceHeader[1];
} MPEG1VIDEOINFO;

typedef struct tagMPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    DWORD dwProfile;
    DWORD dwLevel;
    DWORD dwFlags;
    DWORD dwSequenceHeader[1];
} MPEG2VIDEOINFO;

typedef struct tag_DVINFO {
    DWORD dwDVAAuxSrc;
    DWORD dwDVAAuxCtl;
    DWORD dwDVAAuxSrc1;
    DWORD dwDVAAuxCtl1;
    DWORD dwDVVAuxSrc;
    DWORD dwDVVAuxCtl;
    DWORD dwDVReserved[2];
} DVINFO;

typedef struct tagAnalogVideoInfo {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwActiveWidth;
    DWORD dwActiveHeight;
    REFERENCE_TIME AvgTimePerFrame;
} ANALOGVIDEOINFO;

// VIDEOINFOHEADER2.dwInterlaceFlags
enum AMINTERLACE_FLAGS {
    AMINTERLACE_IsInterlaced = 0x00000001,
    AMINTERLACE_1FieldPerSample = 0x00000002,
    AMINTERLACE_Field1First = 0x00000004,
    AMINTERLACE_UNUSED = 0x00000008,
    AMINTERLACE_FieldPatternMask = 0x00000030,
    AMINTERLACE_FieldPatField1Only = 0x00000000,
    AMINTERLACE_FieldPatField2Only = 0x00000010,
    AMINTERLACE_FieldPatBothRegular = 0x00000020,
    AMINTERLACE_FieldPatBothIrregular = 0x00000030,
    AMINTERLACE_DisplayModeMask = 0x000000C0,
    AMINTERLACE_DisplayModeBobOnly = 0x00000000,
    AMINTERLACE_DisplayModeWeaveOnly = 0x00000040,
    AMINTERLACE_DisplayModeBobOrWeave = 0x00000080
};

// Size of a VIDEOINFOHEADER-style block before its bitmap header.
#define SIZE_PREHEADER (offsetof(VIDEOINFOHEADER, bmiHeader))
#define SIZE_MPEG1VIDEOINFO(pv) \
    (offsetof(MPEG1VIDEOINFO, bSequenceHeader[0]) + (pv)->cbSequenceHeader)
#define SIZE_MPEG2VIDEOINFO(pv) \
    (offsetof(MPEG2VIDEOINFO, dwSequenceHeader[0]) + (pv)->cbSequenceHeader)

static_assert(sizeof(VIDEOINFOHEADER) == 88 && offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(sizeof(VIDEOINFOHEADER2) == 112 && offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);
static_assert(sizeof(MPEG1VIDEOINFO) == 104 && offsetof(MPEG1VIDEOINFO, bSequenceHeader) == 96);
static_assert(sizeof(MPEG2VIDEOINFO) == 136 && offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132);
static_assert(sizeof(DVINFO) == 32 && sizeof(ANALOGVIDEOINFO) == 48);
#endif

// Video sample flags (IMediaSample2 type-specific flags); not in every SDK's headers.
#ifndef AM_VIDEO_FLAG_FIELD_MASK
#define AM_VIDEO_FLAG_FIELD_MASK 0x0003L
#define AM_VIDEO_FLAG_INTERLEAVED_FRAME 0x0000L
#define AM_VIDEO_FLAG_FIELD1 0x0001L
#define AM_VIDEO_FLAG_FIELD2 0x0002L
#define AM_VIDEO_FLAG_FIELD1FIRST 0x0004L
#define AM_VIDEO_FLAG_WEAVE 0x0008L
#define AM_VIDEO_FLAG_IPB_MASK 0x0030L
#define AM_VIDEO_FLAG_I_SAMPLE 0x0000L
#define AM_VIDEO_FLAG_P_SAMPLE 0x0010L
#define AM_VIDEO_FLAG_B_SAMPLE 0x0020L
#define AM_VIDEO_FLAG_REPEAT_FIELD 0x0040L
#endif
