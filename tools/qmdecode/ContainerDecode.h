// qmdecode on container files (MPEG program/transport streams, VOB, AVI): lists the streams
// (--info), writes one elementary stream unchanged (--demux), or decodes the first video and
// first audio stream (--video N / --audio N choose others) through one graph:
// demultiplexer -> decoder filters -> sinks.
#pragma once

#include <optional>

namespace qmdecode {

// Handles the command line when its input is a container; nullopt when it is not (the
// elementary-stream path takes over, with standard input's first bytes kept for it).
std::optional<int> RunContainer(int argc, char** argv);

}  // namespace qmdecode
