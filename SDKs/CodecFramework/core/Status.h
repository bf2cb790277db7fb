// Result of every framework and codec operation: 0 success, failures negative, warnings positive.
#pragma once

#include <cstdint>

namespace UMC {

typedef int32_t Status;

// The Windows headers define STATUS_TIMEOUT as a macro; the codec's name wins inside this list.
#pragma push_macro("STATUS_TIMEOUT")
#undef STATUS_TIMEOUT
enum : Status {
    STATUS_OK = 0,
    STATUS_FAILED = -999,
    STATUS_NOT_INITIALIZED = -998,
    STATUS_NOT_ENOUGH_DATA = -996,
    STATUS_NULL_PTR = -995,
    STATUS_TIMEOUT = -987,
    STATUS_INIT_FAILED = -899,
    STATUS_SYNC_NOT_FOUND = -897,
    STATUS_NOT_ENOUGH_BUFFER = -896,
    STATUS_END_OF_STREAM = -895,
    STATUS_ALLOC_FAILED = -883,
    STATUS_INVALID_STREAM = -881,
    STATUS_UNSUPPORTED = -879,
    STATUS_NOT_IMPLEMENTED = -878,
    STATUS_INVALID_PARAMS = -876,
};
#pragma pop_macro("STATUS_TIMEOUT")

// The name of a status ("STATUS_NOT_ENOUGH_DATA"), or "STATUS_<number>" text for other values.
const char* GetStatusString(Status status);

}  // namespace UMC
