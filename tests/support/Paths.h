// Where tests find committed fixtures and the shared conformance folder, and reading them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qm::test {

inline std::filesystem::path SourceDir() {
    return QM_SOURCE_DIR;
}
inline std::filesystem::path FixtureDir() {
    return SourceDir() / "tests" / "fixtures";
}
// ../shared beside the checkout; tests that need it report themselves skipped when it is absent.
inline std::filesystem::path SharedDir() {
    return QM_SHARED_DIR;
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A file of 16-bit little-endian samples.
inline std::vector<int16_t> ReadPcm(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return pcm;
}

}  // namespace qm::test
