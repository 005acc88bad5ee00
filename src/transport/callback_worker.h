// The worker thread that delivers server requests to the host's callback.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "support/sync.h"
#include "support/thread_block.h"
#include "support/unique_handle.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx {

struct CallbackRegistration {
    ServerRequestCallback callback = nullptr;
    // The form the callback expects: narrow for vtx_init, wide for vtx_initw.
    Form form = Form::Narrow;
};

struct WorkerControl : ThreadControl {
    // Signalled by the thread's first instruction: from then on it runs our
    // code, and an unload can wait for it to end.
    UniqueHandle begun{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Cuts the pause between turns short when the worker is stopped.
    UniqueHandle wake{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    CallbackRegistration Registration() {
        LockHold guard(registrationGuard);
        return registration;
    }
    void Register(CallbackRegistration next) {
        LockHold guard(registrationGuard);
        registration = next;
    }

private:
    Lock registrationGuard;
    CallbackRegistration registration;
};

DWORD WINAPI CallbackWorker(LPVOID parameter);

}  // namespace vtx
