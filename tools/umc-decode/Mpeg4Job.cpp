// umc-decode --codec mpeg4: MPEG-4 Part 2 visual elementary streams (and short-header H.263
// baseline streams) to raw planar 4:2:0 frames (.yuv) or YUV4MPEG2 (.y4m), one picture per
// decoded VOP in decoding order. Only I-VOPs are decoded for now; other VOPs are skipped.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "tools/common/ChunkedFile.h"
#include "tools/umc-decode/Job.h"

namespace {

// A visual object sequence, visual object or VOL start code, or a short-header picture start,
// after nothing but zeros.
bool LooksLikeMpeg4Video(const unsigned char* data, size_t size) {
    for (size_t i = 0; i + 3 < size && i < 4096; ++i) {
        if (data[i] == 0 && data[i + 1] == 0) {
            if (data[i + 2] == 1)
                return data[i + 3] == 0xB0 || data[i + 3] == 0xB5 ||
                       (data[i + 3] >= 0x20 && data[i + 3] <= 0x2F);
            if ((data[i + 2] & 0xFC) == 0x80) return true;
        }
        if (data[i] != 0) return false;
    }
    return false;
}

void AppendPicture(const UMC::MPEG4FrameBuffer& f, int width, int height,
                   std::vector<uint8_t>& out) {
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = f.y + ptrdiff_t(y) * f.yPitch;
        out.insert(out.end(), row, row + width);
    }
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    for (const uint8_t* plane : {f.u, f.v})
        for (int y = 0; y < ch; ++y) {
            const uint8_t* row = plane + ptrdiff_t(y) * f.uvPitch;
            out.insert(out.end(), row, row + cw);
        }
}

int RunMpeg4(const umcdecode::Options& options) {
    std::vector<uint8_t> data;
    if (!qmtool::ReadWholeFile(options.input, data)) {
        std::fprintf(stderr, "umc-decode: cannot read '%s'\n", options.input.c_str());
        return 1;
    }
    if (!options.format.empty() && options.format != "i420") {
        std::fprintf(stderr, "umc-decode: mpeg4 writes i420 only\n");
        return 2;
    }
    const auto begin = std::chrono::steady_clock::now();
    UMC::mpeg4::Mpeg4StreamDecoder decoder;
    if (decoder.Open(data.data(), data.size()) != UMC::STATUS_OK) {
        std::fprintf(stderr, "umc-decode: '%s' has no usable MPEG-4 video object layer\n",
                     options.input.c_str());
        return 1;
    }
    const int width = decoder.State().vol.width, height = decoder.State().vol.height;
    const bool y4m = options.output.size() > 4 &&
                     options.output.compare(options.output.size() - 4, 4, ".y4m") == 0;
    std::ofstream outFile;
    if (!options.bench) {
        outFile.open(options.output, std::ios::binary);
        if (!outFile) {
            std::fprintf(stderr, "umc-decode: cannot write '%s'\n", options.output.c_str());
            return 1;
        }
        if (y4m) {
            char header[96];
            std::snprintf(header, sizeof header, "YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\n",
                          width, height);
            outFile << header;
        }
    }
    int frames = 0, damaged = 0;
    std::vector<uint8_t> bytes;
    const UMC::MPEG4FrameBuffer* frame = nullptr;
    int32_t result = 0;
    while (decoder.Next(&frame, &result) == UMC::STATUS_OK) {
        ++frames;
        damaged += result != 0 ? 1 : 0;
        if (options.bench) continue;
        if (decoder.State().vol.width != width || decoder.State().vol.height != height) {
            std::fprintf(stderr, "umc-decode: the picture size changes; stopping\n");
            break;
        }
        bytes.clear();
        AppendPicture(*frame, width, height, bytes);
        if (y4m) outFile << "FRAME\n";
        outFile.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (frames == 0) {
        std::fprintf(stderr, "umc-decode: no picture could be decoded from '%s'\n",
                     options.input.c_str());
        return 1;
    }
    if (options.bench) {
        std::printf("frames %d seconds %.3f fps %.1f threads 1\n", frames, seconds,
                    double(frames) / seconds);
    } else if (!outFile) {
        std::fprintf(stderr, "umc-decode: writing '%s' failed\n", options.output.c_str());
        return 1;
    }
    if (damaged) std::fprintf(stderr, "umc-decode: %d damaged pictures\n", damaged);
    return 0;
}

const umcdecode::JobRegistration kRegistration("mpeg4", RunMpeg4, LooksLikeMpeg4Video);

}  // namespace
