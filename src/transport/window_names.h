// Window classes both sides know each other by.
#pragma once

namespace vtx {

// The peer's top-level window.
inline constexpr wchar_t kPeerClassName[] = L"VantixConnect";
// The library's hidden message-only window; also its title.
inline constexpr wchar_t kBridgeClassName[] = L"VantixBridge";

}  // namespace vtx
