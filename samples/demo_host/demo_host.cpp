// A small host holding one complete session with the companion application:
// it opens the session with a callback, sends a request and reads the
// answer, receives a server request through the callback, and closes the
// session, saying in plain words what happens. Links vtxbridge.dll through
// its import library, as a chart program would.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "vtxbridge.h"

namespace {

std::atomic<int> serverRequests{0};
HANDLE firstServerRequest = nullptr;

// Runs on the library's worker thread; the text is valid during the call only.
void VTX_CALL OnServerRequest(const void* text, unsigned int length) {
    std::printf("  <- the companion asks something of us (through the callback): \"%.*s\" (%u bytes)\n",
                static_cast<int>(length), static_cast<const char*>(text), length);
    if (++serverRequests == 1) SetEvent(firstServerRequest);
}

bool Step(const char* what, int result) {
    std::printf("%s: %d, %s\n", what, result, vtx_resultdescription(result));
    return result == VTX_RESULT_OK;
}

}  // namespace

int main() {
    std::printf("vtxbridge %d.%d.%d demo host\n", VTXBRIDGE_VERSION_MAJOR, VTXBRIDGE_VERSION_MINOR,
                VTXBRIDGE_VERSION_PATCH);
    // Without the companion every call would show the run-it-first box.
    for (int i = 0; i < 100 && FindWindowW(L"VantixConnect", nullptr) == nullptr; ++i) Sleep(100);
    if (FindWindowW(L"VantixConnect", nullptr) == nullptr) {
        std::printf("The companion application (or vtxpeer.exe) is not running.\n");
        return 1;
    }
    firstServerRequest = CreateEventW(nullptr, TRUE, FALSE, nullptr);

    std::printf("Opening a session; the companion's requests are to come through our callback.\n");
    if (!Step("  session opened", vtx_init(0, "demo", 0, &OnServerRequest))) return 1;

    std::printf("Sending a request and waiting for its answer.\n");
    const char* answer = vtx_sendrequest("{\"request\":\"hello\"}", 19);
    int failure = VTX_RESULT_OK;
    const bool answered = !vtx_errortextcode(answer, &failure);
    if (answered) {
        std::printf("  -> the answer: %s\n", answer);
    } else {
        std::printf("  -> no answer: %d, %s\n", failure, vtx_resultdescription(failure));
    }

    std::printf("Waiting for a request from the companion.\n");
    const bool served = WaitForSingleObject(firstServerRequest, 5000) == WAIT_OBJECT_0;
    if (!served) std::printf("  none came within five seconds\n");

    std::printf("Closing the session.\n");
    const bool closed = Step("  session closed", vtx_deinit());
    CloseHandle(firstServerRequest);

    const bool complete = answered && served && closed;
    std::printf(complete ? "The session went through from start to end.\n" : "The session did not go through.\n");
    return complete ? 0 : 1;
}
