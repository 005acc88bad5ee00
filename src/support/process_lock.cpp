#include "support/process_lock.h"

namespace vtx {

ProcessLock::ProcessLock(const wchar_t* name) {
    mutex_.reset(::CreateMutexW(nullptr, FALSE, name));
    named_ = static_cast<bool>(mutex_);
    if (!mutex_) mutex_.reset(::CreateMutexW(nullptr, FALSE, nullptr));
}

ProcessLock::Hold::Hold(ProcessLock& lock) : lock_(lock) {
    if (lock_.mutex_) {
        const DWORD status = ::WaitForSingleObject(lock_.mutex_.get(), INFINITE);
        if (status == WAIT_OBJECT_0 || status == WAIT_ABANDONED) return;
    }
    lock_.local_.lock();
    usedLocal_ = true;
}

ProcessLock::Hold::~Hold() {
    if (usedLocal_) {
        lock_.local_.unlock();
    } else {
        ::ReleaseMutex(lock_.mutex_.get());
    }
}

}  // namespace vtx
