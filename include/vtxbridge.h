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
 * payloads over 99999 characters, login texts over 23, initText over 15,
 * and null text or buffer pointers. Integer results are then 7; text results
 * carry the error text with code 7; vtx_setbridgeid returns 0.
 */
#ifndef VTXBRIDGE_H
#define VTXBRIDGE_H

#define VTXBRIDGE_VERSION_MAJOR 1
#define VTXBRIDGE_VERSION_MINOR 0
#define VTXBRIDGE_VERSION_PATCH 0

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
typedef void(VTX_CALL* ServerRequestCallback)(const void* text, unsigned int length);

/*
 * Session. vtx_init / vtx_initw open a session: 200, 5, 6, 9, 14, 7 (initText
 * over 15 characters or null) or the peer's status. pollMode != 0: collect
 * server requests with vtx_getrequestmessage[w]; pollMode == 0: they are
 * delivered to callback (required). vtx_deinit closes it (always narrow,
 * sent whether or not a session is open) and discards queued server requests:
 * 200, 6, 14 or the peer's status.
 */
VTX_API int VTX_CALL vtx_init(int initValue, const char* initText, int pollMode, ServerRequestCallback callback);
VTX_API int VTX_CALL vtx_initw(int initValue, const wchar_t* initText, int pollMode, ServerRequestCallback callback);
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

#ifdef __cplusplus
}
#endif

#endif /* VTXBRIDGE_H */
