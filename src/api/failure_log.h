// The log line of an export that ends with 6 or 14 of its own, so support
// staff can see which call failed, when, and with which request ID.
#pragma once

#include <cstdint>

#include "support/log.h"
#include "transport/filed_answer.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {

// The export a listed message belongs to, without "vtx_" (the message
// table in transport/message_codes.h).
constexpr const char* ExportOfCode(std::uint32_t messageCode) {
    const Message* const message = MessageOfCode(messageCode);
    return message != nullptr ? message->exportName : "?";
}

// "[vtx_sendrequest] Timed out (14): no answer to message 1014, request ID {...}."
template <class Char>
void LogFailedExchange(std::uint32_t messageCode, int result, const RequestIdText<Char>& requestId) noexcept {
    WriteLimitedLog(LogKind::FailedExport,
                    LogText("[vtx_")
                        .Add(ExportOfCode(messageCode))
                        .Add("] ")
                        .Add(result == VTX_RESULT_TIMED_OUT ? "Timed out (14): no answer to message "
                                                            : "Not delivered (6): message ")
                        .Add(messageCode)
                        .Add(", request ID ")
                        .AddLoggable(requestId.units, requestId.length)
                        .Add("."));
}

// The export of `messageCode` ending with 6 for a reason inside the library.
inline void LogLibraryFailure(std::uint32_t messageCode, const char* why) noexcept {
    WriteLimitedLog(LogKind::FailedExport,
                    LogText("[vtx_").Add(ExportOfCode(messageCode)).Add("] Not delivered (6): ").Add(why).Add("."));
}

}  // namespace vtx::api
