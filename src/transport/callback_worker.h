// The worker thread that delivers server requests to the host's callback.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

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
        std::lock_guard<std::mutex> guard(registrationGuard);
        return registration;
    }
    void Register(CallbackRegistration next) {
        std::lock_guard<std::mutex> guard(registrationGuard);
        registration = next;
    }

private:
    std::mutex registrationGuard;
    CallbackRegistration registration;
};

DWORD WINAPI CallbackWorker(LPVOID parameter);

}  // namespace vtx
