#include "SDKs/CodecFramework/core/Status.h"

namespace UMC {

const char* GetStatusString(Status status) {
    switch (status) {
        case STATUS_OK:
            return "STATUS_OK";
        case STATUS_FAILED:
            return "STATUS_FAILED";
        case STATUS_NOT_INITIALIZED:
            return "STATUS_NOT_INITIALIZED";
        case STATUS_NOT_ENOUGH_DATA:
            return "STATUS_NOT_ENOUGH_DATA";
        case STATUS_NULL_PTR:
            return "STATUS_NULL_PTR";
        case STATUS_TIMEOUT:
            return "STATUS_TIMEOUT";
        case STATUS_INIT_FAILED:
            return "STATUS_INIT_FAILED";
        case STATUS_SYNC_NOT_FOUND:
            return "STATUS_SYNC_NOT_FOUND";
        case STATUS_NOT_ENOUGH_BUFFER:
            return "STATUS_NOT_ENOUGH_BUFFER";
        case STATUS_END_OF_STREAM:
            return "STATUS_END_OF_STREAM";
        case STATUS_ALLOC_FAILED:
            return "STATUS_ALLOC_FAILED";
        case STATUS_INVALID_STREAM:
            return "STATUS_INVALID_STREAM";
        case STATUS_UNSUPPORTED:
            return "STATUS_UNSUPPORTED";
        case STATUS_NOT_IMPLEMENTED:
            return "STATUS_NOT_IMPLEMENTED";
        case STATUS_INVALID_PARAMS:
            return "STATUS_INVALID_PARAMS";
    }
    return status > 0 ? "STATUS_WARNING" : "STATUS_UNKNOWN_ERROR";
}

}  // namespace UMC
