// The receiving end: a thread of the library's own with the hidden
// message-only bridge window, where the peer's answers and requests arrive.
#pragma once

#include <windows.h>

namespace vtx {

// Starts the loop thread on first use and waits at most `boundMs` until its
// window exists; later calls only wait. False when there is no window.
//
// The thread is not started at load: a thread created under the loader lock
// runs nothing until the loader lets go, and a host that unloads the library
// right after loading it would leave that thread to start in unmapped code.
// Started here, from a host thread outside the loader lock, it has its
// window before the first message goes out, and nothing exists to clean up
// for a host that never used the library.
bool EnsureMessageLoopRunning(DWORD boundMs);
// Ends the loop thread (at unload, not at process exit): wakes it, and waits
// at most `boundMs` for it to destroy its window and unregister the class.
void StopMessageLoop(DWORD boundMs);

DWORD WINAPI MessageLoopThread(LPVOID parameter);
LRESULT CALLBACK BridgeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace vtx
