// Round trips per second with 1, 2 and 4 host threads sending at once, each
// with its own answer buffer: through the library (vtx_sendrequestparam) and
// through the minimal host, the peer answering inline and late.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

void RunThroughputCases(BenchContext& bench);

}  // namespace vtx::bench
