// Where tests find committed fixtures and the shared conformance folder, reading and writing
// files, and a scratch folder of the test's own.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
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

// False when the file could not be written whole.
inline bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    return out.good();
}

// A folder in the temporary directory, named for the process (test programs run in parallel),
// removed with everything in it at the end. Remove files held open before that on Windows.
class ScratchDir {
public:
    explicit ScratchDir(const std::string& tag)
        : m_dir(std::filesystem::temp_directory_path() /
                ("qm_" + tag + "_" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(m_dir);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return m_dir / name; }
    // The path as a string, for command lines.
    std::string operator()(const std::string& name) const { return (m_dir / name).string(); }

private:
    std::filesystem::path m_dir;
};

// A file of 16-bit little-endian samples.
inline std::vector<int16_t> ReadPcm(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(uint16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
    return pcm;
}

}  // namespace qm::test
