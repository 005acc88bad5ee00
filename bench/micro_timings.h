// The library's steps one at a time, each timed on its own: its request
// envelope taken and blanked, a request ID, a lookup of the peer's window, an
// answer copied out, a server request kept and handed over, a thread woken by
// an event, one WM_COPYDATA hop. They explain where a library round trip or
// delivery spends the time the limit does not.
#pragma once

#include "bench_context.h"

namespace vtx::bench {

void RunMicroTimings(BenchContext& bench);

}  // namespace vtx::bench
