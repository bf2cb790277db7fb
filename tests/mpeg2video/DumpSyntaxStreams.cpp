// Writes the syntax streams of the tests into a folder, for the fixture script that decodes them
// with ffmpeg and libmpeg2. Not a test; run by hand.
#include <cstdio>
#include <fstream>

#include "tests/mpeg2video/Mpeg2SyntaxStreams.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    for (const auto& s : qm::test::mpeg2::SyntaxStreams()) {
        const std::string path = std::string(argv[1]) + "/" + s.name + ".m2v";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(s.bytes.data()), std::streamsize(s.bytes.size()));
        if (!out) return 1;
        std::printf("%s %zu bytes\n", path.c_str(), s.bytes.size());
    }
    return 0;
}
