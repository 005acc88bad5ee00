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

// What the worker is doing on the host's behalf; vtx_deinit waits for both.
enum class WorkerActivity { Poll, Callback };

struct WorkerControl : ThreadControl {
    // Signalled by the thread's first instruction: from then on it runs our
    // code, and an unload can wait for it to end.
    UniqueHandle begun{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Set when there is work: a text arrived, a session opened, or the worker
    // is stopped. The worker resets it before it looks for work.
    UniqueHandle wake{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

    // The callback session. Only while it is open does the worker poll or
    // call the callback.
    void OpenSession(CallbackRegistration next);
    // Closes the session and waits until the worker is out of the host's
    // callback and out of its poll; a call from inside the callback (on the
    // worker's own thread) does not wait for itself.
    void CloseSession();
    bool SessionOpen();

    // Marks the worker busy with `activity` and gives the session's callback;
    // false, marking nothing, when no session is open.
    bool Begin(WorkerActivity activity, CallbackRegistration* registration);
    void End(WorkerActivity activity);

private:
    bool BusyForCloser();

    Lock guard;
    ConditionVariable idle;
    bool open = false;
    bool polling = false;
    bool calling = false;
    CallbackRegistration registration;
};

DWORD WINAPI CallbackWorker(LPVOID parameter);

}  // namespace vtx
