// Round-trip latency, one request in flight: the minimal host (the limit)
// and vtx_sendrequest / vtx_sendrequestw, narrow and wide, with the peer
// answering inline and late.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

void RunLatencyCases(BenchContext& bench);

}  // namespace vtx::bench
