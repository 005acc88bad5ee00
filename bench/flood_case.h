// The host's memory while the peer floods the library with wide server
// requests of 200 KB each, faster than a slow callback takes them: the
// queue's bound must keep it flat.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

void RunFloodCase(BenchContext& bench);

}  // namespace vtx::bench
