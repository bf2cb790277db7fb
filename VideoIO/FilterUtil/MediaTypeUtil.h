// Readers, writers and builders of DirectShow media types, the subtype list predicates the
// filters and the sample allocator ask, and ratio helpers. Readers take the type and an out
// value; they honour cbFormat (a block shorter than its structure counts as missing), report
// every failure through the check forms and return its HRESULT: E_INVALIDARG (or E_UNEXPECTED
// where noted) for a missing block, E_NOTIMPL for a format type they do not read.
#pragma once

#include <cstdint>
#include <span>

#include "platform/dshow/DShow.h"

namespace qm {

// Picture size: VideoInfo, VideoInfo2 (bitmap header as stored), MPEGVideo, MPEG2Video
// (rcTarget when right and bottom are both non-zero, else the bitmap header), DvInfo (720 x 576
// for 50-Hz systems, else 720 x 480). The height keeps its sign.
HRESULT GetPictureSize(const AM_MEDIA_TYPE& mt, LONG* pWidth, LONG* pHeight);
// Picture aspect ratio: VideoInfo (width, |height|), VideoInfo2 and MPEG2Video (the stored
// ratio), MPEGVideo (width, height as stored), DvInfo (from the display-select field).
HRESULT GetPictureAspectRatio(const AM_MEDIA_TYPE& mt, LONG* pX, LONG* pY);
// Average time per frame in 100-ns units; WaveFormatEx gives 10 000 000 / nSamplesPerSec,
// FORMAT_None 400 000 (reported as unexpected, S_OK returned).
HRESULT GetAverageTimePerFrame(const AM_MEDIA_TYPE& mt, REFERENCE_TIME* pAvgTimePerFrame);
// Sample size in bytes (for MPEG video blocks, bit rate x frame time: a buffer-size hint);
// FORMAT_None 144 000 (reported as unexpected, S_OK returned).
HRESULT GetSampleSize(const AM_MEDIA_TYPE& mt, LONG* pSampleSize);
// AMINTERLACE_* flags: MPEG2Video and VideoInfo2 as stored, DvInfo from its control word,
// VideoInfo and MPEGVideo 0; E_INVALIDARG for other format types.
HRESULT GetInterlaceFlags(const AM_MEDIA_TYPE& mt, DWORD* pFlags);

// Bytes per row of a device-independent bitmap: bitCount x width bits padded to whole 32-bit
// words.
int64_t DibRowBytes(WORD bitCount, LONG width);
// Bytes of one picture of `subtype`: DIB rows x |height|, and for the 4:2:0 planar subtypes
// (YV12, IYUV, I420, NV12) at least their planes, whose chroma keeps a sample for an odd last
// column and row (luma rows of YV12 and NV12 are padded to an even width).
int64_t VideoImageSize(const GUID& subtype, WORD bitCount, LONG width, LONG height);
// The row step of the pictures of an RGB video type with a VideoInfo or VideoInfo2 block: DIB
// rows, as biSizeImage counts them. 0 for every other type (its rows follow its colour format's
// layout) and for a block it cannot read; never reports.
size_t RgbRowStep(const AM_MEDIA_TYPE& mt);

// Writers: S_FALSE where the format cannot carry the value (VideoInfo, MPEG-1 video subtypes),
// E_INVALIDARG for other format types.
HRESULT SetPictureAspectRatio(AM_MEDIA_TYPE& mt, LONG x, LONG y);
HRESULT SetInterlaceFlags(AM_MEDIA_TYPE& mt, DWORD flags);

// Builds a VIDEOINFOHEADER2 video type (112 + extraSize bytes of format). A null subtype keeps
// the type's subtype. Negative heights are kept (top-down pictures).
HRESULT CreateVideoInfoHeader2Type(CMediaType* pMediaType, LONG width, LONG height, LONG aspectX,
                                   LONG aspectY, DWORD interlaceFlags, const GUID* pSubtype,
                                   REFERENCE_TIME avgTimePerFrame, DWORD bitRate,
                                   const BYTE* pExtra = nullptr, ULONG extraSize = 0);
// Builds a WAVEFORMATEX audio type: bits a multiple of 8 and at most 32, at most 2 channels.
HRESULT CreateWaveFormatExType(CMediaType* pMediaType, WORD formatTag, WORD nbrOfChannels,
                               DWORD samplesPerSec, WORD nbrOfBitsPerSample, DWORD avgBytesPerSec,
                               const BYTE* pExtra = nullptr, WORD extraSize = 0);
// The same with the average byte rate of uncompressed audio and no extra bytes.
HRESULT CreatePcmWaveFormatExType(CMediaType* pMediaType, WORD formatTag, WORD nbrOfChannels,
                                  DWORD samplesPerSec, WORD nbrOfBitsPerSample);
// Builds a WAVEFORMATEXTENSIBLE audio type (bits a multiple of 8; no other limit).
HRESULT CreateWaveFormatExtensibleType(CMediaType* pMediaType, WORD formatTag, WORD nbrOfChannels,
                                       DWORD samplesPerSec, WORD nbrOfBitsPerSample,
                                       DWORD channelMask);

// Subtype lists (in their order) and the predicates over them; each predicate also requires
// its major type.
std::span<const GUID> MPEG4VideoSubtypes();
std::span<const GUID> MPEGAudioSubtypes();
std::span<const GUID> AC3AudioSubtypes();
std::span<const GUID> UncompressedVideoSubtypes();
std::span<const GUID> RGBVideoSubtypes();
std::span<const GUID> PCMAudioSubtypes();
bool IsMPEG2VideoType(const AM_MEDIA_TYPE& mt);
bool IsMPEG1VideoType(const AM_MEDIA_TYPE& mt);
bool IsMPEG4VideoType(const AM_MEDIA_TYPE& mt);
bool IsMPEGAudioType(const AM_MEDIA_TYPE& mt);
bool IsAC3AudioType(const AM_MEDIA_TYPE& mt);
bool IsDVDLPCMAudioType(const AM_MEDIA_TYPE& mt);
bool IsUncompressedVideoType(const AM_MEDIA_TYPE& mt);
bool IsRGBVideoType(const AM_MEDIA_TYPE& mt);
bool IsPCMAudioType(const AM_MEDIA_TYPE& mt);

// Greatest common divisor of the magnitudes (binary algorithm); gcd(a, 0) = |a|.
uint32_t GreatestCommonDivisor(int32_t a, int32_t b);
// Divides both by their greatest common divisor (nothing changes when both are 0).
void ReduceRatio(int32_t* pX, int32_t* pY);

}  // namespace qm
