/*
 * vtxbridge - connects a chart host to its companion application.
 *
 * The host loads vtxbridge.dll and talks to the companion application (the
 * peer, a separate process owning a window of class "VantixConnect") through
 * the twenty vtx_* functions below. Requests travel as WM_COPYDATA messages;
 * each waits for the peer's answer for about five seconds.
 *
 * Forms: a function whose name ends in w takes and returns UTF-16 text
 * (wchar_t); every other function uses narrow text in the system's ANSI code
 * page. Both forms may be mixed within one session.
 *
 * Result codes: see VTX_RESULT_* below. Functions that answer with the peer's
 * status pass it on unchanged, so a peer status may coincide with one of the
 * library's codes.
 *
 * Texts returned by pointer (vtx_sendrequest, vtx_sendrequestw,
 * vtx_getbridgeid) belong to the library: each function has its own string,
 * which every call of that function overwrites in place (a pointer kept from
 * an earlier call shows the latest text), valid until the library is
 * unloaded. Do not free or modify them, and do not call the same function on
 * two threads at once.
 *
 * Caller buffers (vtx_sendrequestparam[w], vtx_getjobid[w],
 * vtx_geterrorstring[w]): *bufferLength holds the capacity in characters,
 * terminator included. On 200 the text and its terminator are written and
 * *bufferLength becomes the text's length + 1. On 7 (too small) nothing is
 * written and *bufferLength is unchanged; the answer is discarded. On 8 and 14
 * the error text (see below) is written with *bufferLength = its length + 1,
 * but only if it fits: otherwise nothing is written and *bufferLength is
 * unchanged. On 6 the buffer is untouched.
 * vtx_getrequestmessage[w] differs: on 200 *bufferLength becomes the text's
 * length WITHOUT the terminator, and on 7 the request stays queued.
 *
 * Error text: {"eventId":9999, "jobId":"", "code":N} with N = 6, 7, 8 or 14.
 *
 * Texts that do not fit the wire format are refused without sending:
 * payloads over VTX_MAX_PAYLOAD_CHARS (99999) characters, login texts over
 * VTX_MAX_LOGIN_TEXT_CHARS (23), initText over VTX_MAX_INIT_TEXT_CHARS (15),
 * and null text or buffer pointers. Integer results are then 7; text results
 * carry the error text with code 7; vtx_setbridgeid returns 0.
 *
 * A caller buffer of VTX_TEXT_CAPACITY (100000) characters always fits the
 * answer, so 7 never costs an answer. Pass it to vtx_sendrequestparam[w] from
 * the start: after a 7 there, the peer has run the request, and a retry runs
 * it again. One exception: the narrow vtx_getrequestmessage converts a text
 * to the ANSI code page, which can take up to three bytes per UTF-16 unit;
 * VTX_REQUEST_MESSAGE_CAPACITY always fits there (and a text that does not
 * fit stays queued anyway).
 *
 * The VTX_* constants and the helpers vtx_errortextcode[w],
 * vtx_resultdescription and vtx_moduleversion live in this header alone and
 * are compiled into the host: the DLL exports only the twenty functions.
 */
#ifndef VTXBRIDGE_H
#define VTXBRIDGE_H

/*
 * Version of this header. The DLL's own version is in its version resource
 * (vtx_moduleversion below reads it). Within one major version the exports
 * and their results stay compatible: see "Version and compatibility" in
 * docs/api.md.
 */
#define VTXBRIDGE_VERSION_MAJOR 1
#define VTXBRIDGE_VERSION_MINOR 0
#define VTXBRIDGE_VERSION_PATCH 0
#define VTXBRIDGE_VERSION_STRING "1.0.0"
/* MAJOR * 10000 + MINOR * 100 + PATCH: compare with #if. */
#define VTXBRIDGE_VERSION_NUMBER 10000

/*
 * Limits, in characters (bytes for narrow texts, UTF-16 units for wide
 * ones), terminator not counted. A longer text is refused with 7.
 */
#define VTX_MAX_PAYLOAD_CHARS 99999    /* request and response texts, vtx_setbridgeid */
#define VTX_MAX_LOGIN_TEXT_CHARS 23    /* each login text of vtx_login[w] */
#define VTX_MAX_INIT_TEXT_CHARS 15     /* initText of vtx_init[w] */
/* A caller buffer capacity (terminator included) that always fits. */
#define VTX_TEXT_CAPACITY 100000
/* The same for the narrow vtx_getrequestmessage: 3 bytes per UTF-16 unit. */
#define VTX_REQUEST_MESSAGE_CAPACITY 299998
/* Longest error text, {"eventId":9999, "jobId":"", "code":N}, with terminator. */
#define VTX_ERROR_TEXT_CAPACITY 48

/* Calling convention of every export and of the callback. */
#ifndef VTX_CALL
#  if defined(_WIN32)
#    define VTX_CALL __stdcall
#  else
#    define VTX_CALL
#  endif
#endif

/* Linkage; exports come from a .def file, so no dllexport is needed. */
#ifndef VTX_API
#  if defined(VTXBRIDGE_BUILDING)
#    define VTX_API
#  elif defined(_WIN32)
#    define VTX_API __declspec(dllimport)
#  else
#    define VTX_API
#  endif
#endif

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define VTX_RESULT_OK 200             /* success */
#define VTX_RESULT_NO_CALLBACK 5      /* init accepted, but pollMode 0 without callback: no session */
#define VTX_RESULT_NOT_DELIVERED 6    /* peer or bridge window missing, or the peer refused the message */
#define VTX_RESULT_DOES_NOT_FIT 7     /* caller buffer too small, or a host text / pointer refused */
#define VTX_RESULT_NOT_OPEN 8         /* no session is open; nothing was sent */
#define VTX_RESULT_ALREADY_OPEN 9     /* a session is already open; nothing was sent */
#define VTX_RESULT_TIMED_OUT 14       /* no answer within about five seconds */
#define VTX_RESULT_NOTHING_QUEUED 16  /* no server request queued, or callback mode */

/*
 * Receives one server request from the peer, on the library's own worker
 * thread, the moment it arrives. text is narrow (const char*, ANSI) for a
 * callback given to vtx_init and UTF-16 (const wchar_t*) for one given to
 * vtx_initw; length counts its characters without the terminator. The text is
 * valid only during the call.
 * It is called only inside the session it was given to: from the peer's
 * acceptance inside vtx_init(w) (a text queued earlier may arrive before
 * vtx_init(w) has returned 200) until vtx_deinit returns 200, never after. vtx_deinit waits
 * for a call under way (it may also be called from inside the callback). A
 * plug-in ends safely by calling vtx_deinit, and unloads its callback's code
 * only once that returned 200.
 */
typedef void(VTX_CALL* VtxServerRequestCallback)(const void* text, unsigned int length);
/* The earlier name, kept for existing hosts. */
typedef VtxServerRequestCallback ServerRequestCallback;
/*
 * What the callback receives, typed: a host may define its callback with
 * one of these signatures and cast it to VtxServerRequestCallback.
 */
typedef void(VTX_CALL* VtxServerRequestCallbackA)(const char* text, unsigned int length);
typedef void(VTX_CALL* VtxServerRequestCallbackW)(const wchar_t* text, unsigned int length);

/*
 * Session. vtx_init / vtx_initw open a session: 200, 5, 6, 9, 14, 7 (initText
 * over 15 characters or null) or the peer's status. pollMode != 0: collect
 * server requests with vtx_getrequestmessage[w]; pollMode == 0: they are
 * delivered to callback (required). vtx_deinit closes it (always narrow,
 * sent whether or not a session is open) and discards queued server requests:
 * 200, 6, 14 or the peer's status.
 */
VTX_API int VTX_CALL vtx_init(int initValue, const char* initText, int pollMode, VtxServerRequestCallback callback);
VTX_API int VTX_CALL vtx_initw(int initValue, const wchar_t* initText, int pollMode, VtxServerRequestCallback callback);
VTX_API int VTX_CALL vtx_deinit(void);

/*
 * Requests. vtx_sendrequest[w] return the peer's answer text, or the error
 * text (codes 6, 7, 8, 14) in the same library-owned string. length is
 * passed to the peer unchanged.
 */
VTX_API const char* VTX_CALL vtx_sendrequest(const char* text, int length);
VTX_API const wchar_t* VTX_CALL vtx_sendrequestw(const wchar_t* text, int length);
/* The answer text in a caller buffer: 200, 6, 7, 8, 14. */
VTX_API int VTX_CALL vtx_sendrequestparam(const char* text, int length, char* buffer, unsigned int* bufferLength);
VTX_API int VTX_CALL vtx_sendrequestparamw(const wchar_t* text, int length, wchar_t* buffer, unsigned int* bufferLength);
/* Answers a server request; length is ignored. The peer's status, or 6, 7, 8, 14. */
VTX_API int VTX_CALL vtx_sendresponse(const char* text, int length);
VTX_API int VTX_CALL vtx_sendresponsew(const wchar_t* text, int length);
/*
 * Polls the peer, then hands over the oldest queued server request: 200, 7
 * (stays queued), 8, 16. Returns 16 at once in a session with a callback.
 */
VTX_API int VTX_CALL vtx_getrequestmessage(char* buffer, unsigned int* bufferLength);
VTX_API int VTX_CALL vtx_getrequestmessagew(wchar_t* buffer, unsigned int* bufferLength);

/* Job and error queries, answered in a caller buffer: 200, 6, 7, 8, 14. */
VTX_API int VTX_CALL vtx_getjobid(char* buffer, unsigned int* bufferLength);
VTX_API int VTX_CALL vtx_getjobidw(wchar_t* buffer, unsigned int* bufferLength);
VTX_API int VTX_CALL vtx_geterrorstring(int errorCode, char* buffer, unsigned int* bufferLength);
VTX_API int VTX_CALL vtx_geterrorstringw(int errorCode, wchar_t* buffer, unsigned int* bufferLength);

/*
 * Identity. vtx_login[w] need no session: the peer's status, or 6, 7, 14.
 * vtx_loginw ignores its first argument. vtx_iswcalive: the peer's status, or
 * 6, 8, 14. vtx_setbridgeid waits for no answer and returns the peer's
 * window procedure result (nonzero: accepted; 0: not delivered or refused).
 * vtx_getbridgeid returns the peer's bridge ID text, or the error text.
 */
VTX_API int VTX_CALL vtx_login(const char* loginText1, const char* loginText2);
VTX_API int VTX_CALL vtx_loginw(int reserved, const wchar_t* loginText1, const wchar_t* loginText2);
VTX_API int VTX_CALL vtx_iswcalive(void);
VTX_API int VTX_CALL vtx_setbridgeid(const char* bridgeId);
VTX_API const char* VTX_CALL vtx_getbridgeid(void);

/*
 * Pointer types of the exports, for hosts that load the DLL at run time:
 *   PFN_vtx_init init = (PFN_vtx_init)GetProcAddress(dll, "vtx_init");
 */
typedef int(VTX_CALL* PFN_vtx_init)(int, const char*, int, VtxServerRequestCallback);
typedef int(VTX_CALL* PFN_vtx_initw)(int, const wchar_t*, int, VtxServerRequestCallback);
typedef int(VTX_CALL* PFN_vtx_deinit)(void);
typedef const char*(VTX_CALL* PFN_vtx_sendrequest)(const char*, int);
typedef const wchar_t*(VTX_CALL* PFN_vtx_sendrequestw)(const wchar_t*, int);
typedef int(VTX_CALL* PFN_vtx_sendrequestparam)(const char*, int, char*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_sendrequestparamw)(const wchar_t*, int, wchar_t*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_sendresponse)(const char*, int);
typedef int(VTX_CALL* PFN_vtx_sendresponsew)(const wchar_t*, int);
typedef int(VTX_CALL* PFN_vtx_getrequestmessage)(char*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_getrequestmessagew)(wchar_t*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_getjobid)(char*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_getjobidw)(wchar_t*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_geterrorstring)(int, char*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_geterrorstringw)(int, wchar_t*, unsigned int*);
typedef int(VTX_CALL* PFN_vtx_login)(const char*, const char*);
typedef int(VTX_CALL* PFN_vtx_loginw)(int, const wchar_t*, const wchar_t*);
typedef int(VTX_CALL* PFN_vtx_iswcalive)(void);
typedef int(VTX_CALL* PFN_vtx_setbridgeid)(const char*);
typedef const char*(VTX_CALL* PFN_vtx_getbridgeid)(void);

/* ---- Helpers compiled into the host (not exports) ------------------------ */

#ifndef VTX_INLINE
#  if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#    define VTX_INLINE static inline
#  elif defined(_MSC_VER)
#    define VTX_INLINE static __inline
#  elif defined(__GNUC__)
#    define VTX_INLINE static __inline__
#  else
#    define VTX_INLINE static
#  endif
#endif

/*
 * Whether `text` is the library's error text {"eventId":9999, "jobId":"",
 * "code":N} rather than an answer of the peer. Returns 1 and sets *code
 * (when code is not null) to N; returns 0 for any other text, including
 * null. Use it on the results of vtx_sendrequest[w] and vtx_getbridgeid.
 */
VTX_INLINE int vtx_errortextcode(const char* text, int* code) {
    static const char start[] = "{\"eventId\":9999, \"jobId\":\"\", \"code\":";
    unsigned int i = 0;
    int value = 0;
    if (text == 0) return 0;
    for (; start[i] != '\0'; ++i) {
        if (text[i] != start[i]) return 0;
    }
    if (text[i] < '0' || text[i] > '9') return 0;
    for (; text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > 99999999) return 0; /* more digits than any code has */
        value = value * 10 + (text[i] - '0');
    }
    if (text[i] != '}' || text[i + 1] != '\0') return 0;
    if (code != 0) *code = value;
    return 1;
}

/* The same for wide texts (vtx_sendrequestw). */
VTX_INLINE int vtx_errortextcodew(const wchar_t* text, int* code) {
    static const char start[] = "{\"eventId\":9999, \"jobId\":\"\", \"code\":";
    unsigned int i = 0;
    int value = 0;
    if (text == 0) return 0;
    for (; start[i] != '\0'; ++i) {
        if (text[i] != (wchar_t)start[i]) return 0;
    }
    if (text[i] < L'0' || text[i] > L'9') return 0;
    for (; text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (value > 99999999) return 0;
        value = value * 10 + (int)(text[i] - L'0');
    }
    if (text[i] != L'}' || text[i + 1] != L'\0') return 0;
    if (code != 0) *code = value;
    return 1;
}

/*
 * A short English description of a result code, without asking the peer
 * (vtx_geterrorstring asks the peer, so it cannot explain a missing one).
 * The library's codes are 200, 5, 6, 7, 8, 9, 14 and 16; any other value is
 * a status of the peer, passed on unchanged, and the peer may also answer
 * with one of the library's numbers. Never null; static text.
 */
VTX_INLINE const char* vtx_resultdescription(int code) {
    switch (code) {
        case VTX_RESULT_OK:
            return "success";
        case VTX_RESULT_NO_CALLBACK:
            return "the peer accepted the session, but polling is off and no callback was given: no session";
        case VTX_RESULT_NOT_DELIVERED:
            return "not delivered: the peer is not running, refused the message, or the library failed";
        case VTX_RESULT_DOES_NOT_FIT:
            return "does not fit: the buffer is too small, or a text is too long or null";
        case VTX_RESULT_NOT_OPEN:
            return "no session is open; nothing was sent";
        case VTX_RESULT_ALREADY_OPEN:
            return "a session is already open; nothing was sent";
        case VTX_RESULT_TIMED_OUT:
            return "timed out: the peer did not answer within about five seconds";
        case VTX_RESULT_NOTHING_QUEUED:
            return "no server request queued, or they go to the callback";
        default:
            return "a status of the peer, passed on unchanged";
    }
}

/*
 * The version of a loaded vtxbridge.dll (or any module loaded as an image):
 * module is what LoadLibrary or GetModuleHandleW(L"vtxbridge.dll")
 * returned. Returns 1 and the first three numbers of the file version in
 * the module's version resource, or 0 when it has none (or module is null,
 * or was loaded as a data file). It reads the resource from the module's
 * image in memory, so it needs neither <windows.h> nor any import, and any
 * include order works. Compare the result with VTXBRIDGE_VERSION_MAJOR: a
 * DLL of another major version may not suit this header.
 */

/* Not for hosts: little-endian numbers of the image, read byte by byte. */
VTX_INLINE unsigned long vtx_imagenumber_(const unsigned char* at, unsigned int bytes) {
    unsigned long value = 0;
    while (bytes > 0) {
        --bytes;
        value = (value << 8) | at[bytes];
    }
    return value;
}

/* Not for hosts: in the resource section (size bytes at root), the entry of
 * the directory at offset `directory` with the name `id`, or its first
 * entry when id is 0; the offset it leads to, which must lead to a
 * subdirectory when `subdirectory` is 1 and to data otherwise; 0 when there
 * is no such entry. */
VTX_INLINE unsigned long vtx_resourceentry_(const unsigned char* root, unsigned long size, unsigned long directory,
                                            unsigned long id, int subdirectory) {
    const unsigned long kSubdirectory = 0x80000000ul;
    unsigned long count;
    unsigned long i;
    if (directory > size || size - directory < 16) return 0;
    count = vtx_imagenumber_(root + directory + 12, 2) + vtx_imagenumber_(root + directory + 14, 2);
    if (count > (size - directory - 16) / 8) return 0;
    for (i = 0; i < count; ++i) {
        const unsigned char* entry = root + directory + 16 + 8 * i;
        unsigned long target = vtx_imagenumber_(entry + 4, 4);
        if (id != 0 && vtx_imagenumber_(entry, 4) != id) continue;
        if (((target & kSubdirectory) != 0) != (subdirectory != 0)) return 0;
        return target & ~kSubdirectory;
    }
    return 0;
}

VTX_INLINE int vtx_moduleversion(const void* module, unsigned int* major, unsigned int* minor,
                                 unsigned int* patch) {
    /* The PE headers: where the image's resources lie. */
    const unsigned char* image = (const unsigned char*)module;
    const unsigned char* resources;
    const unsigned char* fixed;
    unsigned long headers, directories, imageSize, resourcesAt, resourcesSize, byName, byLanguage, leaf, dataAt,
        dataSize;
    if (image == 0 || image[0] != 'M' || image[1] != 'Z') return 0;
    headers = vtx_imagenumber_(image + 0x3C, 4);
    if (headers > 0x10000ul || vtx_imagenumber_(image + headers, 4) != 0x4550ul) return 0; /* "PE\0\0" */
    imageSize = vtx_imagenumber_(image + headers + 24 + 56, 4);
    switch (vtx_imagenumber_(image + headers + 24, 2)) {
        case 0x10B: directories = headers + 24 + 96; break;  /* PE32 */
        case 0x20B: directories = headers + 24 + 112; break; /* PE32+ */
        default: return 0;
    }
    if (vtx_imagenumber_(image + directories - 4, 4) <= 2) return 0; /* no resource directory */
    resourcesAt = vtx_imagenumber_(image + directories + 16, 4);
    resourcesSize = vtx_imagenumber_(image + directories + 20, 4);
    if (resourcesAt == 0 || resourcesAt > imageSize || imageSize - resourcesAt < resourcesSize) return 0;
    resources = image + resourcesAt;
    /* Type 16 (RT_VERSION), name 1, the first language: its data. */
    byName = vtx_resourceentry_(resources, resourcesSize, 0, 16, 1);
    byLanguage = byName == 0 ? 0 : vtx_resourceentry_(resources, resourcesSize, byName, 1, 1);
    leaf = byLanguage == 0 ? 0 : vtx_resourceentry_(resources, resourcesSize, byLanguage, 0, 0);
    if (leaf == 0 || leaf > resourcesSize || resourcesSize - leaf < 16) return 0;
    dataAt = vtx_imagenumber_(resources + leaf, 4);
    dataSize = vtx_imagenumber_(resources + leaf + 4, 4);
    /* VS_VERSIONINFO: three WORDs, L"VS_VERSION_INFO" with its terminator,
     * padding to 4 bytes, then VS_FIXEDFILEINFO at 40, whose DWORDs 0, 2 and 3
     * are the signature and the file version. */
    if (dataAt > imageSize || imageSize - dataAt < dataSize || dataSize < 40 + 16) return 0;
    fixed = image + dataAt + 40;
    if (vtx_imagenumber_(fixed, 4) != 0xFEEF04BDul) return 0;
    if (major != 0) *major = (unsigned int)(vtx_imagenumber_(fixed + 8, 4) >> 16);
    if (minor != 0) *minor = (unsigned int)(vtx_imagenumber_(fixed + 8, 4) & 0xFFFFu);
    if (patch != 0) *patch = (unsigned int)(vtx_imagenumber_(fixed + 12, 4) >> 16);
    return 1;
}

#ifdef __cplusplus
}
#endif

#endif /* VTXBRIDGE_H */
