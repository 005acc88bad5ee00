// A small host: opens a session with the companion application, sends a
// request, asks for the job ID, collects a server request and closes the
// session, printing every result. Links vtxbridge.dll through its import
// library, as a chart program would.
#include <windows.h>

#include <cstdio>
#include <string>

#include "vtxbridge.h"

namespace {

int failures = 0;

void Report(const char* call, int result, int expected) {
    std::printf("%-28s -> %d%s\n", call, result, result == expected ? "" : "   (unexpected)");
    if (result != expected) ++failures;
}

}  // namespace

int main() {
    std::printf("vtxbridge %d.%d.%d demo host\n", VTXBRIDGE_VERSION_MAJOR, VTXBRIDGE_VERSION_MINOR,
                VTXBRIDGE_VERSION_PATCH);
    // Without the peer every call would show the run-the-peer-first box.
    for (int i = 0; i < 100 && FindWindowW(L"VantixConnect", nullptr) == nullptr; ++i) Sleep(100);
    if (FindWindowW(L"VantixConnect", nullptr) == nullptr) {
        std::printf("the companion application (or vtxpeer.exe) is not running\n");
        return 1;
    }

    Report("vtx_init(0, \"demo\", 1, 0)", vtx_init(0, "demo", 1, nullptr), VTX_RESULT_OK);

    const char* answer = vtx_sendrequest("{\"request\":\"hello\"}", 19);
    std::printf("%-28s -> %s\n", "vtx_sendrequest", answer);

    char jobId[64];
    unsigned int jobIdLength = sizeof(jobId);
    Report("vtx_getjobid", vtx_getjobid(jobId, &jobIdLength), VTX_RESULT_OK);
    std::printf("%-28s    \"%s\" (%u)\n", "", jobId, jobIdLength);

    Report("vtx_iswcalive", vtx_iswcalive(), VTX_RESULT_OK);

    char request[256];
    unsigned int requestLength = sizeof(request);
    const int collected = vtx_getrequestmessage(request, &requestLength);
    std::printf("%-28s -> %d%s%s\n", "vtx_getrequestmessage", collected, collected == VTX_RESULT_OK ? "  " : "",
                collected == VTX_RESULT_OK ? request : "");

    Report("vtx_deinit", vtx_deinit(), VTX_RESULT_OK);
    std::printf(failures == 0 ? "round trip complete\n" : "round trip had %d unexpected results\n", failures);
    return failures == 0 ? 0 : 1;
}
