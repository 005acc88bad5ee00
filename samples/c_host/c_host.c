/*
 * c_host: a minimal chart host in plain C (C99).
 *
 * Opens a polling session with the companion application, sends one request
 * and prints the answer, collects one server request and answers it, and
 * closes the session. Exit code 0 when every step succeeded, 1 otherwise.
 *
 * The companion application (or vtxpeer.exe, the substitute peer) must be
 * running first: otherwise the first call that sends shows the library's
 * "start the companion application first" message box and waits until it is
 * closed. To try it with the substitute peer, start
 *
 *     vtxpeer.exe -c "answer 1008 inline payload=\"{\\\"request\\\":\\\"sign\\\"}\""
 *
 * which answers every poll with a server request, then run c_host.exe.
 *
 * Built by CMakeLists.txt beside this file: find_package(vtxbridge) and
 * vtxbridge::vtxbridge, linked through the import library. See docs/api.md.
 */
#include <stdio.h>
#include <string.h>

#include <windows.h>

#include "vtxbridge.h"

static int failures = 0;

static void report(const char* call, int result, int expected) {
    if (result == expected) {
        printf("%s -> %d\n", call, result);
    } else {
        printf("%s -> %d (expected %d)\n", call, result, expected);
        ++failures;
    }
}

int main(void) {
    static const char request[] = "{\"request\":\"hello\"}";
    static const char response[] = "{\"answer\":\"done\"}";
    const char* answer;
    char serverRequest[4096];
    unsigned int length = 0;
    int result = VTX_RESULT_NOTHING_QUEUED;
    int attempt;

    printf("vtxbridge %d.%d.%d C host\n", VTXBRIDGE_VERSION_MAJOR, VTXBRIDGE_VERSION_MINOR,
           VTXBRIDGE_VERSION_PATCH);

    /* pollMode 1: server requests are collected with vtx_getrequestmessage;
     * no callback. */
    result = vtx_init(0, "c_host", 1, NULL);
    report("vtx_init", result, VTX_RESULT_OK);
    if (result != VTX_RESULT_OK) return 1;

    /* The text belongs to the library and is overwritten by the next
     * vtx_sendrequest: copy it to keep it. */
    answer = vtx_sendrequest(request, (int)strlen(request));
    printf("vtx_sendrequest -> %s\n", answer);
    /* The library's error text (its code is not needed here) rather than an
     * answer of the peer. */
    if (vtx_errortextcode(answer, NULL)) ++failures;

    /* Each call polls the peer, then hands over the oldest queued server
     * request. A real host polls on a timer; here, up to about five seconds. */
    for (attempt = 0; attempt < 50; ++attempt) {
        length = sizeof serverRequest; /* capacity, terminator included */
        result = vtx_getrequestmessage(serverRequest, &length);
        if (result != VTX_RESULT_NOTHING_QUEUED) break;
        Sleep(100);
    }
    if (result == VTX_RESULT_OK) {
        /* On 200, length is the text's length without the terminator. */
        printf("vtx_getrequestmessage -> 200: %s (%u)\n", serverRequest, length);
        report("vtx_sendresponse", vtx_sendresponse(response, (int)strlen(response)), VTX_RESULT_OK);
    } else {
        report("vtx_getrequestmessage", result, VTX_RESULT_OK);
    }

    report("vtx_deinit", vtx_deinit(), VTX_RESULT_OK);
    if (failures == 0) {
        printf("session complete\n");
        return 0;
    }
    printf("session failed: %d unexpected results\n", failures);
    return 1;
}
