// The log line of an export that ends with 6 or 14 of its own, so support
// staff can see which call failed, when, and with which request ID.
#pragma once

#include <cstdint>

#include "support/log.h"
#include "transport/filed_answer.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {

// The export that sends `messageCode`.
constexpr const char* ExportOfCode(std::uint32_t messageCode) {
    switch (messageCode) {
        case code::kInit: return "vtx_init";
        case code::kInitW: return "vtx_initw";
        case code::kGetJobId: return "vtx_getjobid";
        case code::kGetJobIdW: return "vtx_getjobidw";
        case code::kSendRequestParam: return "vtx_sendrequestparam";
        case code::kSendRequestParamW: return "vtx_sendrequestparamw";
        case code::kSendResponse: return "vtx_sendresponse";
        case code::kSendResponseW: return "vtx_sendresponsew";
        case code::kGetErrorString: return "vtx_geterrorstring";
        case code::kGetErrorStringW: return "vtx_geterrorstringw";
        case code::kDeinit: return "vtx_deinit";
        case code::kSendRequest: return "vtx_sendrequest";
        case code::kSendRequestW: return "vtx_sendrequestw";
        case code::kSetBridgeId: return "vtx_setbridgeid";
        case code::kGetBridgeId: return "vtx_getbridgeid";
        case code::kIsAlive: return "vtx_iswcalive";
        case code::kLogin: return "vtx_login";
        case code::kLoginW: return "vtx_loginw";
        default: return "vtx";
    }
}

// "[vtx_sendrequest] Timed out (14): no answer to message 1014, request ID {...}."
template <class Char>
void LogFailedExchange(std::uint32_t messageCode, int result, const RequestIdText<Char>& requestId) noexcept {
    WriteLimitedLog(LogKind::FailedExport,
                    LogText("[")
                        .Add(ExportOfCode(messageCode))
                        .Add("] ")
                        .Add(result == VTX_RESULT_TIMED_OUT ? "Timed out (14): no answer to message "
                                                            : "Not delivered (6): message ")
                        .Add(messageCode)
                        .Add(", request ID ")
                        .AddLoggable(requestId.units, requestId.length)
                        .Add("."));
}

// An export ending with 6 for a reason inside the library.
inline void LogLibraryFailure(const char* exportName, const char* why) noexcept {
    WriteLimitedLog(LogKind::FailedExport,
                    LogText("[").Add(exportName).Add("] Not delivered (6): ").Add(why).Add("."));
}

}  // namespace vtx::api
