// Windows of one class that one process owns. Every host that loads the
// library has a bridge window of its own, and a test or the benchmark must
// pick the right one (the library looks up its own in src/transport/bridge_window.cpp).
#pragma once

#include <windows.h>

#include <vector>

namespace vtx::test {

// The windows of class `className` among the children of `parent` (null for
// top-level windows, HWND_MESSAGE for message-only ones) that process
// `processId` owns, in the order FindWindowEx walks them.
std::vector<HWND> WindowsOfProcess(HWND parent, const wchar_t* className, DWORD processId);

// The bridge window of process `processId`, or null.
HWND BridgeWindowOf(DWORD processId);
// The peer window ("VantixConnect") of process `processId`, or null.
HWND PeerWindowOf(DWORD processId);

}  // namespace vtx::test
