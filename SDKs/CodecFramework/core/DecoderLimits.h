// Sizes above which the decoders refuse a stream before allocating anything for it. Stream
// syntax allows far more (MPEG-2 up to 16383 x 16383, MPEG-4 8191 x 8191), enough for one
// hostile header to ask for gigabytes; these cover every profile and level the decoders serve,
// 4K included.
#pragma once

#include <cstdint>

namespace UMC {

// Each side of a picture (MPEG-2, MPEG-4 and its static sprites) and the samples in one.
inline constexpr int32_t kMaxPictureSide = 4096;
inline constexpr int64_t kMaxPictureSamples = int64_t(4096) * 2304;

inline constexpr bool PictureSizeAllowed(int64_t width, int64_t height) {
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPictureSamples;
}

// Audio channels a decoder filter's format block may declare (5.1 and 7.1 included); the output
// buffers are sized from it.
inline constexpr int32_t kMaxAudioChannels = 8;

}  // namespace UMC
