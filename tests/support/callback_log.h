// What the host's server-request callbacks receive: RecordNarrowCallback
// and RecordWideCallback, given to vtx_init and vtx_initw, note every call
// in one log for the whole test process, in the order they came.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "vtxbridge.h"

namespace vtx::test {

struct CallbackCall {
    bool wide = false;                // which of the two callbacks ran
    std::vector<unsigned char> bytes;  // the text's units as bytes, terminator excluded
    unsigned int length = 0;
    bool terminated = false;  // a terminator followed the `length` units
    DWORD thread = 0;
    std::chrono::steady_clock::time_point at;

    std::string Narrow() const { return std::string(bytes.begin(), bytes.end()); }
    std::wstring Wide() const {
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
        return text;
    }
};

class CallbackLog {
public:
    static CallbackLog& Instance() {
        static CallbackLog log;
        return log;
    }
    void Reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.clear();
    }
    void Add(CallbackCall call) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.push_back(std::move(call));
        }
        changed_.notify_all();
    }
    std::vector<CallbackCall> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    // True once `count` calls came within `timeout`.
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return calls_.size() >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<CallbackCall> calls_;
};

template <class Char>
void RecordCallback(bool wide, const void* text, unsigned int length) {
    CallbackCall call;
    call.wide = wide;
    call.length = length;
    call.thread = GetCurrentThreadId();
    call.at = std::chrono::steady_clock::now();
    if (text != nullptr) {
        const auto* units = static_cast<const Char*>(text);
        const auto* bytes = static_cast<const unsigned char*>(text);
        call.bytes.assign(bytes, bytes + length * sizeof(Char));
        call.terminated = units[length] == Char{};
    }
    CallbackLog::Instance().Add(std::move(call));
}

inline void VTX_CALL RecordNarrowCallback(const void* text, unsigned int length) {
    RecordCallback<char>(false, text, length);
}

inline void VTX_CALL RecordWideCallback(const void* text, unsigned int length) {
    RecordCallback<wchar_t>(true, text, length);
}

}  // namespace vtx::test
