// What keeps the DLL loaded: live COM objects (filters, pins, allocators and samples are counted
// by CBaseObject; class factories here) and IClassFactory::LockServer locks.
#pragma once

namespace qm_MPEGDecoderFilters {

void AddServerObject();
void RemoveServerObject();
void LockServer(bool lock);
// True when no object is alive and no lock is held (DllCanUnloadNow's S_OK).
bool ServerCanUnload();

}  // namespace qm_MPEGDecoderFilters
