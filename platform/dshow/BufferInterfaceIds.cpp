// On Windows the IIDs of the media buffer interfaces that samples also implement (Windows Media
// INSSBuffer*, Media Foundation, DMO) are not in every SDK's import libraries (mingw-w64 lacks
// some): define them here from the SDK headers. Elsewhere BufferInterfaces.h defines them.
#ifdef _WIN32
#include <initguid.h>

#include "platform/dshow/BufferInterfaces.h"
#endif
