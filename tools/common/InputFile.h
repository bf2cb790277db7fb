// A whole input file in memory without copying it: mapped read-only where the system can map it,
// read into a buffer where it cannot (pipes, standard input, Windows). Reading a file into fresh
// memory pays a page fault for every 4 KiB on top of the copy; the mapping shares the system's
// cached pages.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qmtool {

class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False when the file cannot be opened or read.
    bool Open(const std::string& path);
    // Takes bytes read elsewhere (standard input).
    void Adopt(std::vector<uint8_t>&& bytes);

    const uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    std::span<const uint8_t> Bytes() const { return {m_data, m_size}; }
    bool Mapped() const { return m_mapping != nullptr; }

private:
    void Close();

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    void* m_mapping = nullptr;
    size_t m_mappedSize = 0;
    std::vector<uint8_t> m_bytes;
};

}  // namespace qmtool
