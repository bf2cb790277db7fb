// What the fixture script recorded about each container: per stream its codec, the size and
// CRC-32 of ffmpeg's copy of it, and ffprobe's packet times in 90 kHz ticks (-1 for a packet
// without one).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qm::test {

struct ExpectedStream {
    int index = 0;
    std::string codec;
    bool IsVideo() const { return codec.find("video") != std::string::npos || codec == "mpeg4"; }
    size_t size = 0;
    uint32_t crc = 0;
    std::vector<int64_t> pts;
};

std::filesystem::path ContainerDir();
// `name` without extension ("dvd").
std::vector<ExpectedStream> ReadExpected(const std::string& name);
// The time the demultiplexer counts from: the earliest first packet time of any stream.
int64_t TimeBase(const std::vector<ExpectedStream>& streams);
// 90 kHz ticks to 100-ns units, rounded to nearest.
int64_t ToReferenceTime(int64_t ticks);

}  // namespace qm::test
