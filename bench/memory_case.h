// The host process's private bytes before and after many requests through
// the library: whatever a request leaves behind shows up as growth.
#pragma once

#include <cstdint>
#include <string>

#include "bench_context.h"

namespace vtx::bench {

void RunMemoryCase(BenchContext& bench);

// The process's private bytes; `counter` names the counter that gave them.
std::uint64_t PrivateBytes(std::string* counter);
// True when that counter moves with 8 MB this process commits and touches.
bool CounterFollowsUse();
// Committed private pages of the process, summed over its address space.
std::uint64_t CommittedPrivateBytes();

}  // namespace vtx::bench
