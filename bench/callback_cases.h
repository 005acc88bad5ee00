// Delivery of a server request to the host: from the moment the peer is told
// to send one until the host's callback runs. The library hands it to the
// callback of vtx_init(0, "", 0, callback) on its worker thread; the limit is
// the minimal host's pump thread waking a waiting thread with an event.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

// Runs last: the library's worker, once started, polls until unload.
void RunCallbackCases(BenchContext& bench);

}  // namespace vtx::bench
