// A text answer delivered into a caller's buffer: the body shared by
// vtx_sendrequestparam(w), vtx_getjobid(w) and vtx_geterrorstring(w).
#pragma once

#include <cstdint>
#include <utility>

#include "api/call_frame.h"
#include "api/host_text.h"
#include "vtxbridge.h"

namespace vtx::api {

// Runs the frame and applies the out-buffer convention to the answer; an
// answer that does not fit is discarded all the same.
template <class F, std::uint32_t kNarrowCode, class Fill>
[[nodiscard]] int AnswerIntoBuffer(Fill&& fill, typename F::Char* buffer, unsigned int* bufferLength) noexcept {
    if (!SessionOpen()) return ErrorIntoCallerBuffer<F>(VTX_RESULT_NOT_OPEN, buffer, bufferLength);
    const Exchange<F> exchange = RunExchange<F, kNarrowCode>(std::forward<Fill>(fill));
    switch (exchange.outcome) {
        case Outcome::Answered:
            break;
        case Outcome::TimedOut:
            return ErrorIntoCallerBuffer<F>(VTX_RESULT_TIMED_OUT, buffer, bufferLength);
        default:
            return ResultCodeOf(exchange.outcome);
    }
    const auto& payload = exchange.answer->payload;
    return CopyToCallerBuffer(payload.CStr(), payload.Length(), buffer, bufferLength) ? VTX_RESULT_OK
                                                                                        : VTX_RESULT_DOES_NOT_FIT;
}

}  // namespace vtx::api
