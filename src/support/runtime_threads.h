// The DLL's own definitions of the C++ runtime's thread primitives (MinGW,
// win32 thread model; see runtime_threads.cpp). Elsewhere there is nothing
// to release.
#pragma once

namespace vtx {

#if defined(VTX_RUNTIME_THREADS_SHIM)
// Frees the TLS indexes and semaphores the runtime took while loaded.
// Called once at unload, after the library's own threads have ended.
void ReleaseRuntimeThreadResources();
#else
inline void ReleaseRuntimeThreadResources() {}
#endif

}  // namespace vtx
