// What every case works with: the options, the peer, the minimal host, the
// library and the results to fill.
#pragma once

#include "library_client.h"
#include "options.h"
#include "peer_runner.h"
#include "raw_host.h"
#include "results.h"

namespace vtx::bench {

struct BenchContext {
    const Options& options;
    PeerRunner& peer;
    RawHost& raw;
    LibraryClient& library;
    Results& results;
};

// Progress on standard error, so standard output holds only the report.
void Progress(const char* format, ...);

}  // namespace vtx::bench
