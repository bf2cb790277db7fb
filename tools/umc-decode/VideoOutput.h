// What the video jobs share: the output layouts by name and the writing of decoded pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "tools/umc-decode/Job.h"

namespace umcdecode {

// The layout named by --format (empty: `fallback`); NONE for an unknown name.
UMC::ColorFormat VideoFormatByName(const std::string& name, UMC::ColorFormat fallback);

// Video benches time one pass: false, with a message, when more are asked for.
bool OnePassBench(const Options& options);

// Appends the planes of a picture without row padding.
void AppendPlanes(const UMC::VideoData& picture, std::vector<uint8_t>& out);

}  // namespace umcdecode
