// umc-decode [--codec NAME] [--threads N] [--format F] [--bench [--passes N]] INPUT [OUTPUT]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tools/umc-decode/Job.h"

namespace umcdecode {

std::vector<Job>& MutableJobs() {
    static std::vector<Job> jobs;
    return jobs;
}
const std::vector<Job>& Jobs() {
    return MutableJobs();
}

JobRegistration::JobRegistration(const char* codec, JobFunction run, ProbeFunction probe) {
    MutableJobs().push_back({codec, run, probe});
}

}  // namespace umcdecode

namespace {

void Usage() {
    std::fprintf(
        stderr,
        "usage: umc-decode [--codec NAME] [--threads N] [--format F] [--bench [--passes N]]"
        " INPUT [OUTPUT]\ncodecs:");
    for (const auto& job : umcdecode::Jobs()) std::fprintf(stderr, " %s", job.codec);
    std::fprintf(stderr, "\n");
}

}  // namespace

int main(int argc, char** argv) {
    umcdecode::Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "umc-decode: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--codec") {
            options.codec = value("--codec");
        } else if (arg == "--threads") {
            options.threads = std::atoi(value("--threads").c_str());
            if (options.threads < 1 || options.threads > 8) {
                std::fprintf(stderr, "umc-decode: --threads must be 1 to 8\n");
                return 2;
            }
        } else if (arg == "--format") {
            options.format = value("--format");
        } else if (arg == "--bench") {
            options.bench = true;
        } else if (arg == "--passes") {
            options.passes = std::atoi(value("--passes").c_str());
            if (options.passes < 1) {
                std::fprintf(stderr, "umc-decode: --passes must be 1 or more\n");
                return 2;
            }
        } else if (arg == "-h" || arg == "--help") {
            Usage();
            return 0;
        } else if (arg == "--channels" || arg == "--conceal") {
            // job options that take a value
            options.extra.push_back(arg);
            options.extra.push_back(value(arg.c_str()));
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            options.extra.push_back(arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty() || positional.size() > 2 || (!options.bench && positional.size() != 2)) {
        Usage();
        return 2;
    }
    if (options.passes > 0 && !options.bench) {
        std::fprintf(stderr, "umc-decode: --passes goes with --bench\n");
        return 2;
    }
    options.input = positional[0];
    if (positional.size() == 2) options.output = positional[1];

    spInitProcessorDispatch();

    const umcdecode::Job* chosen = nullptr;
    if (!options.codec.empty()) {
        for (const auto& job : umcdecode::Jobs())
            if (options.codec == job.codec) chosen = &job;
        if (!chosen) {
            std::fprintf(stderr, "umc-decode: unknown codec '%s'\n", options.codec.c_str());
            return 2;
        }
    } else {
        std::ifstream in(options.input, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "umc-decode: cannot read '%s'\n", options.input.c_str());
            return 1;
        }
        std::vector<unsigned char> head(64 * 1024);
        in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size()));
        head.resize(size_t(in.gcount()));
        for (const auto& job : umcdecode::Jobs())
            if (!chosen && job.probe && job.probe(head.data(), head.size())) chosen = &job;
        if (!chosen) {
            std::fprintf(stderr, "umc-decode: '%s' is no stream that a codec here knows\n",
                         options.input.c_str());
            return 1;
        }
    }
    return chosen->run(options);
}
