// The pictures of a YUV4MPEG2 file, as the tools write them (4:2:0, or 4:2:2 with "C422").
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace qm::test {

struct Y4m {
    int width = 0, height = 0;
    std::vector<std::vector<uint8_t>> frames;  // the payloads, without their FRAME lines
};

// Empty when the header is not a YUV4MPEG2 one; a frame cut short is left out.
inline Y4m ParseY4m(const std::vector<uint8_t>& file) {
    Y4m y;
    const std::string text(file.begin(), file.end());
    const size_t eol = text.find('\n');
    if (text.rfind("YUV4MPEG2 ", 0) != 0 || eol == std::string::npos) return y;
    const std::string header = text.substr(0, eol);
    const size_t w = header.find(" W"), h = header.find(" H");
    if (w == std::string::npos || h == std::string::npos) return y;
    y.width = std::atoi(header.c_str() + w + 2);
    y.height = std::atoi(header.c_str() + h + 2);
    const size_t chromaRows =
        header.find("C422") != std::string::npos ? size_t(y.height) : size_t(y.height + 1) / 2;
    const size_t frame =
        size_t(y.width) * size_t(y.height) + 2 * (size_t(y.width + 1) / 2) * chromaRows;
    for (size_t at = eol + 1; text.compare(at, 5, "FRAME") == 0;) {
        const size_t start = text.find('\n', at) + 1;
        if (start == 0 || start + frame > text.size()) break;
        y.frames.emplace_back(file.begin() + ptrdiff_t(start),
                              file.begin() + ptrdiff_t(start + frame));
        at = start + frame;
    }
    return y;
}

}  // namespace qm::test
