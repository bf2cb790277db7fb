#include "VideoIO/MPEGSystemFilters/ContainerProbe.h"

#include <algorithm>
#include <cstring>

#include "VideoIO/MPEGSystemFilters/AviParser.h"
#include "VideoIO/MPEGSystemFilters/ProgramStreamParser.h"
#include "VideoIO/MPEGSystemFilters/TransportStreamParser.h"

namespace qm_MPEGSystemFilters {

namespace {

bool TransportSyncAt(const uint8_t* p, size_t size, size_t at, size_t packet) {
    int seen = 0;
    for (size_t i = at; i < size && seen < 5; i += packet, ++seen)
        if (p[i] != 0x47) return false;
    return seen >= 3;
}

}  // namespace

const char* ContainerKindName(ContainerKind kind) {
    switch (kind) {
        case ContainerKind::ProgramStream:
            return "MPEG program stream";
        case ContainerKind::TransportStream:
            return "MPEG transport stream";
        case ContainerKind::Avi:
            return "AVI";
        case ContainerKind::None:
            break;
    }
    return "none";
}

ContainerKind ProbeContainer(const uint8_t* p, size_t size) {
    size = std::min<size_t>(size, 65536);
    if (size >= 12 && std::memcmp(p, "RIFF", 4) == 0 &&
        (std::memcmp(p + 8, "AVI ", 4) == 0 || std::memcmp(p + 8, "AVIX", 4) == 0))
        return ContainerKind::Avi;
    for (size_t i = 0; i < 188 && i < size; ++i) {
        if (TransportSyncAt(p, size, i, 188)) return ContainerKind::TransportStream;
        if (TransportSyncAt(p, size, i + 4, 192)) return ContainerKind::TransportStream;
    }
    // A program stream starts with a pack header, perhaps after some leading junk; an
    // elementary video stream starts with a sequence header instead.
    for (size_t i = 0; i + 4 <= size; ++i) {
        if (p[i] != 0 || p[i + 1] != 0 || p[i + 2] != 1) continue;
        if (p[i + 3] == 0xBA) return ContainerKind::ProgramStream;
        if (p[i + 3] == 0xB3 || p[i + 3] < 0xB9) break;
    }
    return ContainerKind::None;
}

std::unique_ptr<SystemStreamParser> CreateParser(ContainerKind kind, IAccessUnitSink* sink) {
    switch (kind) {
        case ContainerKind::ProgramStream:
            return std::make_unique<ProgramStreamParser>(sink);
        case ContainerKind::TransportStream:
            return std::make_unique<TransportStreamParser>(sink);
        case ContainerKind::Avi:
            return std::make_unique<AviParser>(sink);
        default:
            return nullptr;
    }
}

}  // namespace qm_MPEGSystemFilters
