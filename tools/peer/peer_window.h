// The peer's top-level window of class "VantixConnect": hidden, found by
// class, and the address every request comes to. Its window procedure hands
// each message to the PeerEngine.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "peer/peer_engine.h"

namespace vtx::peer {

inline constexpr wchar_t kPeerWindowClass[] = L"VantixConnect";

class PeerWindow {
    struct CreateKey {
        explicit CreateKey() = default;
    };

public:
    // Creates the window on the calling thread, which must pump its
    // messages; null with `error` set when Windows refuses.
    static std::unique_ptr<PeerWindow> Create(PeerEngine& engine, std::string* error);
    ~PeerWindow();
    PeerWindow(const PeerWindow&) = delete;
    PeerWindow& operator=(const PeerWindow&) = delete;

    HWND Handle() const { return window_; }

    PeerWindow(CreateKey, HWND window) : window_(window) {}

private:
    HWND window_;
};

}  // namespace vtx::peer
