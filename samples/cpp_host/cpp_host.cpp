// cpp_host: a chart host in C++17 that takes server requests through a
// callback and speaks UTF-16 (Korean texts included).
//
// Opens a wide session with a callback (pollMode 0), waits for the first
// server request the callback receives, answers it, sends one request, and
// ends safely. Output is UTF-8; exit code 0 when every step succeeded.
//
// Ending safely: the library calls the callback only inside the session,
// and never again once vtx_deinit has returned 200. Should vtx_deinit fail,
// the session stays open and the callback may run until the DLL is unloaded,
// which for a program linked through the import library is the end of the
// process, after main's static objects are gone. So the callback touches only
// state that is never destroyed, and stops taking texts before vtx_deinit.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "vtxbridge.h"

namespace {

// What the callback hands to the main thread. Never destroyed (see above).
struct Inbox {
    std::mutex lock;
    std::condition_variable arrived;
    std::wstring first;  // the first server request
};
Inbox& TheInbox() {
    static Inbox* inbox = new Inbox;  // deliberately never freed
    return *inbox;
}
std::atomic<bool> accepting{true};

// Runs on the library's worker thread, one call at a time; returns promptly.
// No exception may leave it: it returns into the library.
void VTX_CALL OnServerRequest(const void* text, unsigned int length) {
    if (!accepting.load()) return;
    try {
        // vtx_initw registered this callback: the text is UTF-16, valid only now.
        std::wstring copy(static_cast<const wchar_t*>(text), length);
        Inbox& inbox = TheInbox();
        const std::lock_guard<std::mutex> hold(inbox.lock);
        if (inbox.first.empty()) {
            inbox.first.swap(copy);
            inbox.arrived.notify_all();
        }
    } catch (...) {
        // Out of memory: this request is lost to the host, the library lives on.
    }
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
    return utf8;
}

int failures = 0;

void Report(const char* call, int result, int expected) {
    std::printf("%s -> %d (%s)\n", call, result, vtx_resultdescription(result));
    if (result != expected) ++failures;
}

}  // namespace

int main() {
    std::printf("vtxbridge %s C++ host\n", VTXBRIDGE_VERSION_STRING);

    // Unattended hosts look for the peer first: without it every call that
    // sends would show the library's message box and wait for a user.
    if (FindWindowW(L"VantixConnect", nullptr) == nullptr) {
        std::printf("no peer window: start the companion application or vtxpeer.exe first\n");
        return 2;
    }

    const int opened = vtx_initw(0, L"cpp_host", 0, OnServerRequest);
    Report("vtx_initw", opened, VTX_RESULT_OK);
    if (opened != VTX_RESULT_OK) return 1;

    // The worker polls about every 100 ms; wait up to ten seconds.
    std::wstring serverRequest;
    {
        Inbox& inbox = TheInbox();
        std::unique_lock<std::mutex> hold(inbox.lock);
        inbox.arrived.wait_for(hold, std::chrono::seconds(10), [&inbox] { return !inbox.first.empty(); });
        serverRequest = inbox.first;
    }
    if (!serverRequest.empty()) {
        std::printf("callback: %s (%u)\n", Utf8(serverRequest).c_str(),
                    static_cast<unsigned int>(serverRequest.size()));
        Report("vtx_sendresponsew", vtx_sendresponsew(L"{\"result\":\"\uC11C\uBA85 \uC644\uB8CC\"}", 0),
               VTX_RESULT_OK);
    } else {
        std::printf("callback: nothing within ten seconds\n");
        ++failures;
    }

    // The answer belongs to the library until the next vtx_sendrequestw.
    const std::wstring request = L"{\"patient\":\"\uD64D\uAE38\uB3D9\"}";
    const wchar_t* answer = vtx_sendrequestw(request.c_str(), static_cast<int>(request.size()));
    int code = 0;
    if (vtx_errortextcodew(answer, &code)) {
        std::printf("vtx_sendrequestw -> error %d (%s)\n", code, vtx_resultdescription(code));
        ++failures;
    } else {
        std::printf("vtx_sendrequestw -> %s\n", Utf8(answer).c_str());
    }

    // Safe end: no more texts into the inbox, then close the session.
    accepting.store(false);
    Report("vtx_deinit", vtx_deinit(), VTX_RESULT_OK);

    std::printf(failures == 0 ? "session complete\n" : "session failed\n");
    return failures == 0 ? 0 : 1;
}
