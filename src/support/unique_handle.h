// Move-only owners for Win32 handles, so no logic code closes one by hand.
#pragma once

#include <windows.h>

#include <utility>

namespace vtx {

template <class Handle, class Closer, Handle kInvalid>
class UniqueResource {
public:
    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != kInvalid; }
    Handle release() { return std::exchange(handle_, kInvalid); }
    void reset(Handle handle = kInvalid) {
        const Handle old = std::exchange(handle_, handle);
        if (old != kInvalid) Closer{}(old);
    }

private:
    Handle handle_ = kInvalid;
};

struct CloseHandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
struct RegCloseKeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};

// Kernel objects whose failure value is null (threads, events, mutexes).
using UniqueHandle = UniqueResource<HANDLE, CloseHandleCloser, nullptr>;
using UniqueKey = UniqueResource<HKEY, RegCloseKeyCloser, nullptr>;

// Files, whose failure value is INVALID_HANDLE_VALUE.
class UniqueFile {
public:
    explicit UniqueFile(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    HANDLE get() const { return handle_.get(); }
    explicit operator bool() const { return static_cast<bool>(handle_); }

private:
    UniqueHandle handle_;
};

}  // namespace vtx
