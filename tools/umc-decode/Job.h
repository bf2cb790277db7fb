// One decoding job of umc-decode per codec. A job file defines a function with this signature and
// registers it with a static JobRegistration; main.cpp parses the common options and runs it.
#pragma once

#include <string>
#include <vector>

namespace umcdecode {

struct Options {
    std::string codec;   // --codec (empty: chosen from the file's content by each job's probe)
    int threads = 1;     // --threads N
    std::string format;  // --format (empty: the stream's own layout)
    bool bench = false;  // --bench: decode into memory, print speed, write nothing
    // --passes N with --bench: exactly N whole passes (0: audio repeats passes for at least a
    // second; video always makes one). One pass is what a whole-process time compares with.
    int passes = 0;
    std::string input;
    std::string output;              // empty with --bench
    std::vector<std::string> extra;  // options main.cpp does not know, for the job to read
};

// Returns the process exit status; prints its own one-line error on failure.
using JobFunction = int (*)(const Options&);
// True when the first bytes of a file look like this job's stream (used without --codec).
using ProbeFunction = bool (*)(const unsigned char* data, size_t size);

struct JobRegistration {
    JobRegistration(const char* codec, JobFunction run, ProbeFunction probe);
};

struct Job {
    const char* codec;
    JobFunction run;
    ProbeFunction probe;
};
const std::vector<Job>& Jobs();

}  // namespace umcdecode
