// The worker thread that delivers server requests to the host's callback.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "support/unique_handle.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx {

struct CallbackRegistration {
    ServerRequestCallback callback = nullptr;
    // The form the callback expects: narrow for vtx_init, wide for vtx_initw.
    Form form = Form::Narrow;
};

struct WorkerControl {
    UniqueHandle thread;
    DWORD threadId = 0;
    std::atomic<std::int32_t> started{0};
    // Set before the thread starts, so a stop that comes first is not undone.
    std::atomic<std::int32_t> run{1};
    // Signalled by the thread's first instruction: from then on it runs our
    // code, and an unload can wait for it to end.
    UniqueHandle begun{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Cuts the pause between turns short when the worker is stopped.
    UniqueHandle wake{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Signalled as the thread's last act; `parked` is never signalled.
    UniqueHandle ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle parked{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    CallbackRegistration Registration() {
        std::lock_guard<std::mutex> guard(registrationGuard);
        return registration;
    }
    void Register(CallbackRegistration next) {
        std::lock_guard<std::mutex> guard(registrationGuard);
        registration = next;
    }
    bool HasEnded() const { return ::WaitForSingleObject(ended.get(), 0) == WAIT_OBJECT_0; }

private:
    std::mutex registrationGuard;
    CallbackRegistration registration;
};

DWORD WINAPI CallbackWorker(LPVOID parameter);

}  // namespace vtx
