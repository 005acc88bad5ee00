// The session: whether one is open, and the form sends use while it is.
#pragma once

#include <atomic>

#include "transport/message_codes.h"

namespace vtx {

struct SessionState {
    // Set by a successful vtx_init(w), cleared by a successful vtx_deinit.
    std::atomic<bool> open{false};
    // The form of the send call (ANSI or UTF-16 window messages) and of the
    // callback worker's polls: narrow after vtx_init; wide after vtx_initw,
    // and with no session form set.
    std::atomic<Form> sendForm{Form::Wide};
};

}  // namespace vtx
