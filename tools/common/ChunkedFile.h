// Reading the tools' input files. ChunkedFile reads a file front to back into a sliding window,
// so that a stream of any length is decoded from a buffer of a few megabytes: the caller looks at
// the window, consumes what the codec used and asks for more.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
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

// Bytes whose storage is left uninitialised when the vector grows: a file read into place is
// written once, by the read, instead of being zeroed first.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <class U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using FileBytes = std::vector<uint8_t, UninitialisedAllocator<uint8_t>>;

// The whole file, for jobs that need random access to short streams; false when unreadable.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& data);
bool ReadWholeFile(const std::string& path, FileBytes& data);

}  // namespace qmtool
