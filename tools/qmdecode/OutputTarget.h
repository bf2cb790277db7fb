// Where qmdecode writes and reads: "-" names standard output or input (in binary mode), and
// --output-format chooses the container when the name has no telling extension.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/InputFile.h"

namespace qmdecode {

std::FILE* OpenOutputFile(const std::string& path);
// Flushes standard output, closes anything else; false on a write error.
bool CloseOutputFile(std::FILE* file);
bool IsStandardStream(std::FILE* file);

// y4m or raw pictures, wav or raw PCM: from `format` ("y4m", "wav", "raw") when given, else
// from the name's extension; "-" without a format gets the container form.
bool WantsContainer(const std::string& path, const std::string& format, const char* extension);

// "out.wav" -> "out.1.wav": the name for output that follows a format change.
std::string NumberedName(const std::string& path, int number);

// The whole input, mapped or read ("-": standard input, including what PeekInput took).
bool OpenInputFile(const std::string& path, qmtool::InputFile& file);
// The first `size` bytes (fewer at the end), kept for OpenInputFile and the demultiplexer.
std::vector<uint8_t> PeekInput(const std::string& path, size_t size);
// What PeekInput took from standard input (moved out).
std::vector<uint8_t> TakePeekedStdin();

}  // namespace qmdecode
