#include "tools/qmdecode/OutputTarget.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <utility>
#include "tools/qmdecode/OutputWriters.h"

namespace qmdecode {

namespace {

std::vector<uint8_t>& PeekedStdin() {
    static std::vector<uint8_t> bytes;
    return bytes;
}

void SetBinary([[maybe_unused]] std::FILE* file) {
#ifdef _WIN32
    _setmode(_fileno(file), _O_BINARY);
#endif
}

}  // namespace

std::FILE* OpenOutputFile(const std::string& path) {
    if (path == "-") {
        SetBinary(stdout);
        return stdout;
    }
    return std::fopen(path.c_str(), "wb");
}

bool CloseOutputFile(std::FILE* file) {
    if (!file) return true;
    if (file == stdout) return std::fflush(file) == 0;
    return std::fclose(file) == 0;
}

bool IsStandardStream(std::FILE* file) {
    return file == stdout || file == stdin;
}

bool WantsContainer(const std::string& path, const std::string& format, const char* extension) {
    if (!format.empty()) return format != "raw";
    return path == "-" || EndsWith(path, extension);
}

std::string NumberedName(const std::string& path, int number) {
    if (path == "-") return path;
    const size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
    std::string name(path, 0, dot);
    name += '.';
    name += std::to_string(number);
    name.append(path, dot, std::string::npos);
    return name;
}

std::vector<uint8_t> PeekInput(const std::string& path, size_t size) {
    std::vector<uint8_t> bytes(size);
    if (path == "-") {
        SetBinary(stdin);
        std::vector<uint8_t>& kept = PeekedStdin();
        while (kept.size() < size) {
            const size_t old = kept.size();
            kept.resize(size);
            const size_t n = std::fread(kept.data() + old, 1, size - old, stdin);
            kept.resize(old + n);
            if (n == 0) break;
        }
        return kept;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    bytes.resize(std::fread(bytes.data(), 1, size, f));
    std::fclose(f);
    return bytes;
}

std::vector<uint8_t> TakePeekedStdin() {
    return std::move(PeekedStdin());
}

bool OpenInputFile(const std::string& path, qmtool::InputFile& file) {
    if (path != "-") return file.Open(path);
    SetBinary(stdin);
    std::vector<uint8_t> data = TakePeekedStdin();
    uint8_t buffer[1 << 16];
    for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), stdin)) > 0;)
        data.insert(data.end(), buffer, buffer + n);
    file.Adopt(std::move(data));
    return !std::ferror(stdin);
}

}  // namespace qmdecode
