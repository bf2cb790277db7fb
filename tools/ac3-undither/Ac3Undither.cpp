// ac3-undither IN OUT: copies an AC-3 stream with every block's dither flags cleared and the
// CRCs recomputed. Two correct decoders differ only in their noise generators on the original;
// on the copy they must agree to rounding.
#include <cstdio>
#include <fstream>
#include <vector>

#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "tools/common/ChunkedFile.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ac3-undither IN.ac3 OUT.ac3\n");
        return 2;
    }
    std::vector<uint8_t> data;
    if (!qmtool::ReadWholeFile(argv[1], data)) {
        std::fprintf(stderr, "ac3-undither: cannot read '%s'\n", argv[1]);
        return 1;
    }
    size_t size = 0;
    UMC::ac3::StateInit(nullptr, &size);
    std::vector<uint8_t> memory(size + 16);
    UMC::ac3::StateInit(memory.data(), &size);
    auto* state = reinterpret_cast<UMC::ac3::State*>(memory.data());
    size_t pos = 0;
    int frames = 0, failed = 0;
    while (pos + 5 <= data.size()) {
        if (data[pos] != 0x0B || data[pos + 1] != 0x77) {
            ++pos;
            continue;
        }
        const int words = UMC::ac3::FrameWords(data[pos + 4] >> 6, data[pos + 4] & 0x3f);
        if (words == 0 || pos + size_t(words) * 2 > data.size()) break;
        if (UMC::ac3::ClearDitherFlags(state, data.data() + pos, size_t(words) * 2))
            ++frames;
        else
            ++failed;
        pos += size_t(words) * 2;
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    std::fprintf(stderr, "%s: %d frames cleared, %d left as they were\n", argv[1], frames, failed);
    return out && failed == 0 ? 0 : 1;
}
