// Reading the tools' input files. ChunkedFile reads a file front to back into a sliding window,
// so that a stream of any length is decoded from a buffer of a few megabytes: the caller looks at
// the window, consumes what the codec used and asks for more.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qmtool {

class ChunkedFile {
public:
    static constexpr size_t kChunk = size_t(1) << 20;

    ChunkedFile() = default;
    ~ChunkedFile();
    ChunkedFile(const ChunkedFile&) = delete;
    ChunkedFile& operator=(const ChunkedFile&) = delete;

    bool Open(const std::string& path);
    // Makes at least `want` bytes visible past the read position, fewer only at the end of the
    // file; returns the number visible. False from Failed() tells an end from a read error.
    size_t Ensure(size_t want);
    const uint8_t* Data() const { return m_buffer.data() + m_pos; }
    size_t Size() const { return m_end - m_pos; }
    void Consume(size_t n) { m_pos += n < Size() ? n : Size(); }
    bool AtEnd() const { return m_eof && m_pos == m_end; }
    bool Failed() const { return m_failed; }

private:
    std::FILE* m_file = nullptr;
    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;  // read position in the buffer
    size_t m_end = 0;  // end of valid bytes in the buffer
    bool m_eof = false;
    bool m_failed = false;
};

// The whole file, for jobs that need random access to short streams; false when unreadable.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data);

}  // namespace qmtool
