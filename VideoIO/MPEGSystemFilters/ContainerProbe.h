// Recognises a container from the first bytes of a file and makes the parser for it.
#pragma once

#include <memory>

#include "VideoIO/MPEGSystemFilters/SystemStream.h"

namespace qm_MPEGSystemFilters {

enum class ContainerKind { None, ProgramStream, TransportStream, Avi };

const char* ContainerKindName(ContainerKind kind);

// Looks at up to the first 64 KiB.
ContainerKind ProbeContainer(const uint8_t* data, size_t size);

std::unique_ptr<SystemStreamParser> CreateParser(ContainerKind kind, IAccessUnitSink* sink);

}  // namespace qm_MPEGSystemFilters
