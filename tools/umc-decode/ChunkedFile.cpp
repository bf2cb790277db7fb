#include "tools/umc-decode/ChunkedFile.h"

#include <algorithm>
#include <cstring>

namespace umcdecode {

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

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data) {
    ChunkedFile file;
    if (!file.Open(path)) return false;
    data.clear();
    while (file.Ensure(ChunkedFile::kChunk) > 0) {
        data.insert(data.end(), file.Data(), file.Data() + file.Size());
        file.Consume(file.Size());
    }
    return !file.Failed();
}

}  // namespace umcdecode
