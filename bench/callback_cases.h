// Delivery of a server request to the host: from the moment its sender
// starts the send (sender_process.h) until the host's callback runs. The
// library hands it to the callback of vtx_init(0, "", 0, callback) on its
// worker thread; the limit is the fastest hand-over: the minimal host's
// message-only window, on a thread of its own, copies the text and sets an
// event, and the thread waiting on it calls the callback. Then a burst: the
// peer sends many at once, timed until the callback has had them all.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

// Runs last: the library's worker, once started, polls until unload.
void RunCallbackCases(BenchContext& bench);

}  // namespace vtx::bench
