/*
 * dynload_host: a chart host in C89 that loads vtxbridge.dll at run time with
 * LoadLibrary and GetProcAddress, without an import library: the way a
 * plug-in or a host in another language does it.
 *
 * Checks the loaded DLL's version, looks for the peer window first (so an
 * unattended run never meets the library's message box), opens a polling
 * session, sends a request, reads the job ID into a buffer that always fits,
 * closes the session, shows how an error text reads without a session, and
 * unloads the DLL. Exit codes: 0 every step succeeded; 1 a step failed; 2 no
 * peer window; 3 the DLL or an export is missing.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The header needs nothing before it: its helpers, vtx_moduleversion
 * included, are there whatever comes after. */
#include "vtxbridge.h"

#include <windows.h>

static int failures = 0;

static void report(const char* call, int result, int expected) {
    printf("%s -> %d (%s)\n", call, result, vtx_resultdescription(result));
    if (result != expected) ++failures;
}

/* An answer of the peer, or the library's error text with its code. */
static void report_text(const char* call, const char* text, int expectedCode) {
    int code = VTX_RESULT_OK;
    if (vtx_errortextcode(text, &code)) {
        printf("%s -> error text, code %d (%s)\n", call, code, vtx_resultdescription(code));
    } else {
        printf("%s -> %s\n", call, text);
    }
    if (code != expectedCode) ++failures;
}

int main(void) {
    static const char request[] = "{\"request\":\"hello\"}";
    HMODULE dll;
    unsigned int major = 0, minor = 0, patch = 0;
    PFN_vtx_init init;
    PFN_vtx_deinit deinit;
    PFN_vtx_sendrequest sendrequest;
    PFN_vtx_getjobid getjobid;
    char* jobId;
    unsigned int length;

    /* Next to this program, where the build copied it. */
    dll = LoadLibraryW(L"vtxbridge.dll");
    if (dll == NULL) {
        printf("cannot load vtxbridge.dll (error %lu)\n", (unsigned long)GetLastError());
        return 3;
    }
    /* The same major version as this header, or its contract may differ. */
    if (!vtx_moduleversion(dll, &major, &minor, &patch) || major != VTXBRIDGE_VERSION_MAJOR) {
        printf("vtxbridge.dll %u.%u.%u does not suit header %s\n", major, minor, patch, VTXBRIDGE_VERSION_STRING);
        FreeLibrary(dll);
        return 3;
    }
    printf("vtxbridge.dll %u.%u.%u loaded; header %s\n", major, minor, patch, VTXBRIDGE_VERSION_STRING);

    /* GetProcAddress returns FARPROC; the PFN_ types give each export its
     * signature. The cast goes through void (*)(void), the type compilers
     * accept as a stand-in for any function. */
    init = (PFN_vtx_init)(void (*)(void))GetProcAddress(dll, "vtx_init");
    deinit = (PFN_vtx_deinit)(void (*)(void))GetProcAddress(dll, "vtx_deinit");
    sendrequest = (PFN_vtx_sendrequest)(void (*)(void))GetProcAddress(dll, "vtx_sendrequest");
    getjobid = (PFN_vtx_getjobid)(void (*)(void))GetProcAddress(dll, "vtx_getjobid");
    if (init == NULL || deinit == NULL || sendrequest == NULL || getjobid == NULL) {
        printf("vtxbridge.dll lacks an export\n");
        FreeLibrary(dll);
        return 3;
    }

    if (FindWindowW(L"VantixConnect", NULL) == NULL) {
        printf("no peer window: start the companion application or vtxpeer.exe first\n");
        FreeLibrary(dll);
        return 2;
    }

    report("vtx_init", init(0, "dynload_host", 1, NULL), VTX_RESULT_OK);
    report_text("vtx_sendrequest", sendrequest(request, (int)strlen(request)), VTX_RESULT_OK);

    /* VTX_TEXT_CAPACITY always fits, so 7 never costs the answer. */
    jobId = (char*)malloc(VTX_TEXT_CAPACITY);
    if (jobId != NULL) {
        length = VTX_TEXT_CAPACITY;
        report("vtx_getjobid", getjobid(jobId, &length), VTX_RESULT_OK);
        printf("job ID: %s (%u)\n", jobId, length);
        free(jobId);
    } else {
        ++failures;
    }

    report("vtx_deinit", deinit(), VTX_RESULT_OK);
    /* Without a session nothing is sent: the error text says 8. */
    report_text("vtx_sendrequest", sendrequest(request, (int)strlen(request)), VTX_RESULT_NOT_OPEN);

    /* After vtx_deinit: the library's threads end before its code goes. */
    FreeLibrary(dll);
    printf(failures == 0 ? "session complete\n" : "session failed\n");
    return failures == 0 ? 0 : 1;
}
