// The host process's private bytes before and after many requests through
// the library: whatever a request leaves behind shows up as growth.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

void RunMemoryCase(BenchContext& bench);

}  // namespace vtx::bench
