#include "tools/common/InputFile.h"

#include "tools/common/ChunkedFile.h"

#if defined(__linux__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define QM_MAP_FILES 1
#endif

namespace qmtool {

namespace {

#if defined(QM_MAP_FILES)
// The file's pages, or null when it is no regular file or cannot be mapped.
void* MapWholeFile(const std::string& path, size_t* size) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return nullptr;
    struct stat st {};
    void* p = nullptr;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        int flags = MAP_PRIVATE;
#if defined(MAP_POPULATE)
        // One call maps every cached page instead of a fault per few pages while decoding.
        flags |= MAP_POPULATE;
#endif
        p = ::mmap(nullptr, size_t(st.st_size), PROT_READ, flags, fd, 0);
        if (p == MAP_FAILED) {
            p = nullptr;
        } else {
            *size = size_t(st.st_size);
#if defined(MADV_SEQUENTIAL)
            ::madvise(p, *size, MADV_SEQUENTIAL);
#endif
        }
    }
    ::close(fd);
    return p;
}
#endif

}  // namespace

InputFile::~InputFile() {
    Close();
}

void InputFile::Close() {
#if defined(QM_MAP_FILES)
    if (m_mapping) ::munmap(m_mapping, m_mappedSize);
#endif
    m_mapping = nullptr;
    m_mappedSize = 0;
    m_bytes.clear();
    m_data = nullptr;
    m_size = 0;
}

bool InputFile::Open(const std::string& path) {
    Close();
#if defined(QM_MAP_FILES)
    if ((m_mapping = MapWholeFile(path, &m_mappedSize)) != nullptr) {
        m_data = static_cast<const uint8_t*>(m_mapping);
        m_size = m_mappedSize;
        return true;
    }
#endif
    if (!ReadWholeFile(path, m_bytes)) return false;
    m_data = m_bytes.data();
    m_size = m_bytes.size();
    return true;
}

void InputFile::Adopt(std::vector<uint8_t>&& bytes) {
    Close();
    m_bytes = std::move(bytes);
    m_data = m_bytes.data();
    m_size = m_bytes.size();
}

}  // namespace qmtool
