// The named mutexes "Response" and "ServerRequest". Other programs of the
// user's session may look for them, so the library creates them when its
// context is built and closes them at unload. It never waits on them: what
// they once guarded (the answer tables, the server-request queue) belongs to
// one process alone and is guarded by in-process locks (support/sync.h).
// Waiting on a name any process can take would let a foreign, hung or
// hostile holder stall every export, and leave a library thread waiting
// across an unload.
#pragma once

#include <windows.h>

#include "support/unique_handle.h"

namespace vtx {

class NamedMutexPresence {
public:
    // Opens or creates the named mutex, without taking it. A name held by
    // another kind of object (or a failed creation) leaves nothing open; the
    // library works the same either way.
    explicit NamedMutexPresence(const wchar_t* name) : mutex_(::CreateMutexW(nullptr, FALSE, name)) {}
    NamedMutexPresence(const NamedMutexPresence&) = delete;
    NamedMutexPresence& operator=(const NamedMutexPresence&) = delete;

private:
    friend class NamedMutexPresenceProbe;  // tests only

    UniqueHandle mutex_;
};

}  // namespace vtx
