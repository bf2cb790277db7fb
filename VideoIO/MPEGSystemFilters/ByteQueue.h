// The unparsed tail of a parser's input: bytes are appended at the back and consumed from the
// front; the consumed part is dropped only once it outweighs what is left, so each byte is moved
// a bounded number of times.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm_MPEGSystemFilters {

class ByteQueue {
public:
    void Append(const uint8_t* data, size_t size) {
        if (m_head > 0 && m_head >= m_bytes.size() - m_head) {
            m_bytes.erase(m_bytes.begin(), m_bytes.begin() + std::ptrdiff_t(m_head));
            m_consumedBefore += m_head;
            m_head = 0;
        }
        m_bytes.insert(m_bytes.end(), data, data + size);
    }
    const uint8_t* Data() const { return m_bytes.data() + m_head; }
    size_t Size() const { return m_bytes.size() - m_head; }
    void Consume(size_t n) { m_head += n < Size() ? n : Size(); }
    void Clear() {
        m_consumedBefore += m_bytes.size();
        m_bytes.clear();
        m_head = 0;
    }
    // Input offset of Data()[0].
    uint64_t Offset() const { return m_consumedBefore + m_head; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_head = 0;
    uint64_t m_consumedBefore = 0;
};

}  // namespace qm_MPEGSystemFilters
