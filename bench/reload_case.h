// What a reload costs a host: load/unload cycles of vtxbridge.dll per second,
// with nothing used and with a session, and the private memory each cycle
// leaves behind (a VirtualQuery walk, which works where the counters do not).
#pragma once

#include "bench_context.h"

namespace vtx::bench {

// Runs with the benchmark's own load of the library already unloaded.
void RunReloadCases(BenchContext& bench);

}  // namespace vtx::bench
