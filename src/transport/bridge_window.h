// The receiving end: a thread of the library's own with the hidden
// message-only bridge window, where the peer's answers and requests arrive.
#pragma once

#include <windows.h>

namespace vtx {

// Starts the loop thread (at load). Returns false when no thread started.
bool StartMessageLoop();
// Ends the loop thread (at unload, not at process exit): wakes it, and waits
// at most `boundMs` for it to destroy its window and unregister the class.
void StopMessageLoop(DWORD boundMs);

DWORD WINAPI MessageLoopThread(LPVOID parameter);
LRESULT CALLBACK BridgeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace vtx
