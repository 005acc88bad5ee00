// vtxcli's server-request callbacks. The library calls them on its worker
// thread; each delivery is printed at once and counted, and the command
// thread waits on the count for wait-callback.
#pragma once

#include <chrono>
#include <cstddef>

#include "vtxbridge.h"

namespace vtx::cli {

// The callback for vtx_init (ANSI text) and for vtx_initw (UTF-16 text).
void VTX_CALL NarrowCallback(const void* text, unsigned int length);
void VTX_CALL WideCallback(const void* text, unsigned int length);

// Deliveries since vtxcli started.
std::size_t CallbackCount();
// Waits until at least `count` deliveries arrived in all, or `timeout`
// passed; returns the count seen at the end.
std::size_t WaitForCallbacks(std::size_t count, std::chrono::milliseconds timeout);

}  // namespace vtx::cli
