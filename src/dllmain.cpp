// Load and unload of vtxbridge.dll. This is the DLL's entry point itself:
// no runtime start-up code runs before it or after it.
#include <windows.h>

#include "transport/bridge_context.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Loading starts nothing: the loop thread starts with the first message
    // the host sends (see LibraryThread). At process exit (reserved
    // non-null) the other threads are gone already: nothing to stop, and no
    // time to spend. An unload ends every wait and thread of the library
    // before its code goes away.
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) vtx::BridgeContext::Unload();
    return TRUE;
}
