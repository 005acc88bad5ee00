// vtxbridge.dll as a host uses it: loaded with LoadLibrary, exports resolved
// by name, one session open; each request checks that the peer echoed its
// payload, so a fast wrong answer never counts as a round trip.
#pragma once

#include <string>

#include "support/bridge_library.h"

namespace vtx::bench {

class LibraryClient {
public:
    LibraryClient() = default;

    bool Loaded() const { return library_.Loaded() && library_.Missing().empty(); }

    // Opens a session that collects server requests by polling, so no worker
    // thread sends polls while requests are timed.
    bool OpenPolling();
    // Closes the session, then opens one whose server requests go to
    // `callback` on the library's worker thread.
    bool ReopenWithCallback(ServerRequestCallback callback);
    bool Close();
    // Unloads the library (FreeLibrary); the client is unusable afterwards.
    void Unload() { library_.Unload(); }

    // vtx_sendrequest / vtx_sendrequestw: the library-owned result string.
    bool RequestNarrow();
    bool RequestWide();
    // vtx_sendrequestparam into the caller's own buffer: safe on any thread.
    bool RequestIntoBuffer();

    // The library's bridge window in this process; null before the first send.
    static HWND BridgeWindow();

private:
    test::BridgeLibrary library_;
};

}  // namespace vtx::bench
