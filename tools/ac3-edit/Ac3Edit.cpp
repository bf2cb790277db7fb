// ac3-edit undither IN OUT: copies an AC-3 stream with every block's dither flags cleared and the
// CRCs recomputed. Two correct decoders differ only in their noise generators on the original;
// on the copy they must agree to rounding.
// ac3-edit dualmono IN OUT: rewrites a 2/0 stream without coupling as a 1+1 (dual mono) stream of
// the same frame sizes, for the dual-mono paths that the encoders at hand cannot produce.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "tools/common/ChunkedFile.h"

int main(int argc, char** argv) {
    const bool undither = argc == 4 && std::strcmp(argv[1], "undither") == 0;
    const bool dualMono = argc == 4 && std::strcmp(argv[1], "dualmono") == 0;
    if (!undither && !dualMono) {
        std::fprintf(stderr, "usage: ac3-edit undither|dualmono IN.ac3 OUT.ac3\n");
        return 2;
    }
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
