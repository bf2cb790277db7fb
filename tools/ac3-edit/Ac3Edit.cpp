// ac3-edit undither IN OUT: copies an AC-3 stream with every block's dither flags cleared and the
// CRCs recomputed. Two correct decoders differ only in their noise generators on the original;
// on the copy they must agree to rounding.
// ac3-edit dualmono IN OUT: rewrites a 2/0 stream without coupling as a 1+1 (dual mono) stream of
// the same frame sizes, for the dual-mono paths that the encoders at hand cannot produce.
// ac3-edit gain BYTES IN OUT: rewrites every frame with dynamic range words (a boost, a cut,
// blocks that keep the previous word), grown to BYTES per frame to make room: the encoders at
// hand write none.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "tools/common/ChunkedFile.h"

namespace {

// Frames of one size rewritten into frames of `grown` bytes, the gain words changing from frame
// to frame (-1: the block keeps the previous block's gain).
int WriteGainStream(size_t grown, const char* inPath, const char* outPath) {
    std::vector<uint8_t> data;
    if (!qmtool::ReadWholeFile(inPath, data)) {
        std::fprintf(stderr, "ac3-edit: cannot read '%s'\n", inPath);
        return 1;
    }
    static const int kWords[3][UMC::ac3::kBlocks] = {
        {0x10, -1, -1, 0xE0, -1, -1}, {0xE0, 0x05, -1, -1, 0x08, -1}, {-1, -1, 0xC8, -1, -1, 0x00}};
    size_t size = 0;
    UMC::ac3::StateInit(nullptr, &size);
    std::vector<uint8_t> memory(size + 16);
    UMC::ac3::StateInit(memory.data(), &size);
    auto* state = reinterpret_cast<UMC::ac3::State*>(memory.data());
    std::vector<uint8_t> out;
    size_t pos = 0;
    int frames = 0;
    while (pos + 5 <= data.size() && data[pos] == 0x0B && data[pos + 1] == 0x77) {
        const int words = UMC::ac3::FrameWords(data[pos + 4] >> 6, data[pos + 4] & 0x3f);
        const size_t bytes = size_t(words) * 2;
        if (words == 0 || pos + bytes > data.size()) break;
        out.resize(out.size() + grown);
        if (!UMC::ac3::WriteGainWords(state, data.data() + pos, bytes, kWords[frames % 3], -1,
                                      out.data() + out.size() - grown, grown)) {
            std::fprintf(stderr, "ac3-edit: frame %d has no room for the gain words\n", frames);
            return 1;
        }
        ++frames;
        pos += bytes;
    }
    std::ofstream file(outPath, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    std::fprintf(stderr, "%s: %d frames rewritten with gain words\n", inPath, frames);
    return file && frames > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool undither = argc == 4 && std::strcmp(argv[1], "undither") == 0;
    const bool dualMono = argc == 4 && std::strcmp(argv[1], "dualmono") == 0;
    const bool gain = argc == 5 && std::strcmp(argv[1], "gain") == 0;
    if (!undither && !dualMono && !gain) {
        std::fprintf(stderr,
                     "usage: ac3-edit undither|dualmono IN.ac3 OUT.ac3\n"
                     "       ac3-edit gain FRAME_BYTES IN.ac3 OUT.ac3\n");
        return 2;
    }
    if (gain) return WriteGainStream(std::strtoul(argv[2], nullptr, 10), argv[3], argv[4]);
    std::vector<uint8_t> data;
    if (!qmtool::ReadWholeFile(argv[2], data)) {
        std::fprintf(stderr, "ac3-edit: cannot read '%s'\n", argv[2]);
        return 1;
    }
    size_t size = 0;
    UMC::ac3::StateInit(nullptr, &size);
    std::vector<uint8_t> memory(size + 16);
    UMC::ac3::StateInit(memory.data(), &size);
    auto* state = reinterpret_cast<UMC::ac3::State*>(memory.data());
    std::vector<uint8_t> converted(data.size());
    size_t pos = 0;
    int frames = 0, failed = 0;
    while (pos + 5 <= data.size()) {
        if (data[pos] != 0x0B || data[pos + 1] != 0x77) {
            ++pos;
            continue;
        }
        const int words = UMC::ac3::FrameWords(data[pos + 4] >> 6, data[pos + 4] & 0x3f);
        if (words == 0 || pos + size_t(words) * 2 > data.size()) break;
        const size_t bytes = size_t(words) * 2;
        const bool ok = undither ? UMC::ac3::ClearDitherFlags(state, data.data() + pos, bytes)
                                 : UMC::ac3::ConvertToDualMono(state, data.data() + pos, bytes,
                                                               converted.data() + pos);
        if (ok && dualMono) std::memcpy(data.data() + pos, converted.data() + pos, bytes);
        ok ? ++frames : ++failed;
        pos += bytes;
    }
    std::ofstream out(argv[3], std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    std::fprintf(stderr, "%s: %d frames rewritten, %d left as they were\n", argv[2], frames,
                 failed);
    return out && failed == 0 ? 0 : 1;
}
