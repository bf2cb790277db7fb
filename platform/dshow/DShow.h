// Everything of the DirectShow layer in one include: interfaces, structures, GUIDs, event codes
// and the filter base classes.
#pragma once

#include "platform/dshow/Allocator.h"
#include "platform/dshow/AmVideo.h"
#include "platform/dshow/BaseFilter.h"
#include "platform/dshow/BufferInterfaces.h"
#include "platform/dshow/EventCodes.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/MmReg.h"
#include "platform/dshow/Strmif.h"
#include "platform/dshow/Transform.h"
#include "platform/dshow/Uuids.h"
#include "platform/dshow/WxUtil.h"
