#include "platform/com/TaskMem.h"

#ifndef _WIN32
#include <cstdlib>

LPVOID CoTaskMemAlloc(SIZE_T size) {
    return std::malloc(size ? size : 1);
}
void CoTaskMemFree(LPVOID p) {
    std::free(p);
}
LPVOID CoTaskMemRealloc(LPVOID p, SIZE_T size) {
    return std::realloc(p, size ? size : 1);
}
#endif
