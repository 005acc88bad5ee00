// The library's steps one at a time, each timed on its own: allocating and
// zeroing an envelope, making a request ID, a section under the named mutex,
// a lookup of the peer's window, copying an answer out, one WM_COPYDATA hop,
// a thread woken by an event, and the pause the wait sleeps. They explain
// where a library round trip spends the time the limit does not.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

void RunMicroTimings(BenchContext& bench);

}  // namespace vtx::bench
