// Runs a fuzz target's entry function once per file, as libFuzzer would, over the files and
// folders (searched recursively) named on the command line. Folders that do not exist are
// skipped: a target may have no regressions yet. Any sanitizer report aborts the program.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::filesystem::path> Inputs(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    if (std::filesystem::is_regular_file(root, ec)) {
        files.push_back(root);
    } else if (std::filesystem::is_directory(root, ec)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ec))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.' &&
                entry.path().extension() != ".txt")
                files.push_back(entry.path());
        std::sort(files.begin(), files.end());  // the same order on every machine
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& path : Inputs(argv[i])) {
            std::ifstream in(path, std::ios::binary);
            // An exactly sized heap copy, so that a read past the end is caught.
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
            std::vector<uint8_t> copy(bytes);
            std::fprintf(stderr, "%s\n", path.string().c_str());
            LLVMFuzzerTestOneInput(copy.empty() ? nullptr : copy.data(), copy.size());
            ++runs;
        }
    }
    std::printf("replayed %zu inputs\n", runs);
    return 0;
}
