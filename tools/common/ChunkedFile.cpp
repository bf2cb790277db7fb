#include "tools/common/ChunkedFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace qmtool {

ChunkedFile::~ChunkedFile() {
    if (m_file) std::fclose(m_file);
}

bool ChunkedFile::Open(const std::string& path) {
    if (m_file) std::fclose(m_file);
    m_file = std::fopen(path.c_str(), "rb");
    m_pos = m_end = 0;
    m_eof = m_failed = false;
    return m_file != nullptr;
}

size_t ChunkedFile::Ensure(size_t want) {
    while (Size() < want && !m_eof) {
        // Slide the unread bytes to the front before the buffer has to grow.
        if (m_pos > 0 && m_pos >= m_buffer.size() / 2) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_pos, Size());
            m_end -= m_pos;
            m_pos = 0;
        }
        const size_t needed = m_end + std::max(kChunk, want - Size());
        if (m_buffer.size() < needed) m_buffer.resize(needed);
        const size_t got = std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - m_end, m_file);
        m_end += got;
        if (got == 0) {
            m_eof = true;
            m_failed = std::ferror(m_file) != 0;
        }
    }
    return Size();
}

namespace {

template <class Bytes>
bool ReadInto(const std::string& path, Bytes& data) {
    data.clear();
    // A folder opens for reading on some systems and seeks to an absurd end.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    // A file of known size is read into place at once; a pipe grows the vector chunk by chunk.
    // The byte past the end is asked for too, so that the first short read ends the loop.
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (size > 0) data.reserve(size_t(size) + 1);
    }
    std::rewind(file);
    for (;;) {
        const size_t have = data.size();
        const size_t want = data.capacity() > have ? data.capacity() - have : ChunkedFile::kChunk;
        data.resize(have + want);
        const size_t got = std::fread(data.data() + have, 1, want, file);
        data.resize(have + got);
        if (got < want) break;  // the end, or an error
    }
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    return ReadInto(path, data);
}
bool ReadWholeFile(const std::string& path, FileBytes& data) {
    return ReadInto(path, data);
}

}  // namespace qmtool
