#include "support/process_windows.h"

#include "transport/window_names.h"

namespace vtx::test {
namespace {

HWND FirstOf(const std::vector<HWND>& windows) { return windows.empty() ? nullptr : windows.front(); }

}  // namespace

std::vector<HWND> WindowsOfProcess(HWND parent, const wchar_t* className, DWORD processId) {
    std::vector<HWND> owned;
    HWND candidate = nullptr;
    while ((candidate = ::FindWindowExW(parent, candidate, className, nullptr)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(candidate, &owner);
        if (owner == processId) owned.push_back(candidate);
    }
    return owned;
}

HWND BridgeWindowOf(DWORD processId) { return FirstOf(WindowsOfProcess(HWND_MESSAGE, kBridgeClassName, processId)); }

HWND PeerWindowOf(DWORD processId) { return FirstOf(WindowsOfProcess(nullptr, kPeerClassName, processId)); }

}  // namespace vtx::test
