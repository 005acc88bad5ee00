// The transport as a host meets it: vtxbridge.dll loaded with LoadLibrary,
// vtxpeer.exe in a process of its own. Covers delivery and its log, the
// run-the-peer-first box, the callback worker, and unloading and reloading.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/bridge_library.h"
#include "support/message_box_watcher.h"
#include "support/peer_process.h"
#include "support/process_counts.h"
#include "support/process_windows.h"
#include "support/scoped_folder.h"

namespace vtx::test {
namespace {

using namespace std::chrono_literals;

const std::wstring kRunPeerFirstText =
    L"\uBC18\uD2F1 \uCEE4\uB125\uD2B8\uB97C \uBA3C\uC800 \uC2E4\uD589 \uD6C4 "
    L"\uCC28\uD2B8\uB97C \uAD6C\uB3D9\uD574 \uC8FC\uC138\uC694.";
const std::wstring kErrorCaption = L"\uC624\uB958";

// Bridge windows of this process, found the way a second load would look.
int OwnBridgeWindows() {
    return static_cast<int>(WindowsOfProcess(HWND_MESSAGE, L"VantixBridge", ::GetCurrentProcessId()).size());
}

// What the host's callback received, in the order it came.
struct Delivery {
    std::string narrow;
    std::wstring wide;
    unsigned int length = 0;
    bool isWide = false;
};

class Deliveries {
public:
    static Deliveries& Instance() {
        static Deliveries deliveries;
        return deliveries;
    }
    static void __stdcall Narrow(const void* text, unsigned int length) {
        Instance().Add({static_cast<const char*>(text), L"", length, false});
    }
    static void __stdcall Wide(const void* text, unsigned int length) {
        Instance().Add({"", static_cast<const wchar_t*>(text), length, true});
    }
    bool WaitFor(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, timeout, [&] { return items_.size() >= count; });
    }
    std::vector<Delivery> Items() {
        std::lock_guard<std::mutex> lock(mutex_);
        return items_;
    }

private:
    void Add(Delivery delivery) {
        std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(std::move(delivery));
        arrived_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Delivery> items_;
};

// Log lines with each "request ID <GUID>" shown as "request ID <id>".
std::vector<std::string> WithoutRequestIds(std::vector<std::string> lines) {
    static const std::string marker = "request ID ";
    for (std::string& line : lines) {
        const std::size_t at = line.find(marker);
        if (at == std::string::npos) continue;
        const std::size_t end = line.find('.', at);
        line.replace(at + marker.size(), end - at - marker.size(), "<id>");
    }
    return lines;
}

TEST(Delivery, FirstSendLooksUpTheBridgeWindowOnceAndLogsIt) {
    if (LibraryLogFolderExists()) GTEST_SKIP() << "C:\\vantix\\log exists: lines go to the shared log";
    ScopedCurrentFolder folder;
    PeerProcess peer;
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_TRUE(library.Loaded());
    // The loop thread runs from the first send on, which waits for its
    // window: one attempt then finds it.

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(library.login("user", "secret"), 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms) << "the lookup pauses after its attempt";
    EXPECT_EQ(library.login("user", "secret"), 200);
    EXPECT_EQ(library.setbridgeid("id"), 1);

    const std::vector<std::string> expected = {"[GetWindowHandle] counter: 1",
                                               "[GetWindowHandle] Message loop thread is found."};
    EXPECT_EQ(ReadFallbackLog(), expected) << "later sends look nothing up and log nothing";
}

TEST(Delivery, PeerMissingShowsTheRunPeerFirstBoxOnEverySend) {
    if (LibraryLogFolderExists()) GTEST_SKIP() << "C:\\vantix\\log exists: lines go to the shared log";
    ScopedCurrentFolder folder;
    BridgeLibrary library;
    ASSERT_TRUE(library.Loaded());

    MessageBoxWatcher watcher(2);
    EXPECT_EQ(library.init(0, "", 1, nullptr), 6);
    EXPECT_EQ(std::string(library.sendrequest("text", 4)), "{\"eventId\":9999, \"jobId\":\"\", \"code\":8}")
        << "no session was opened";
    EXPECT_EQ(library.login("user", "secret"), 6);
    const SeenMessageBox box = watcher.Last();
    EXPECT_EQ(watcher.Count(), 2) << "one box per send that found no peer";
    EXPECT_EQ(box.caption, kErrorCaption);
    EXPECT_EQ(box.text, kRunPeerFirstText);

    // The bridge window is not looked up on this path. Each export that
    // gave 6 says so, with the message and its request ID.
    const std::vector<std::string> expected = {
        "[SendMessageCopyData] Not found VantixConnect handle.",
        "[vtx_init] Not delivered (6): message 1000, request ID <id>.",
        "[SendMessageCopyData] Not found VantixConnect handle.",
        "[vtx_login] Not delivered (6): message 1022, request ID <id>.",
    };
    EXPECT_EQ(WithoutRequestIds(ReadFallbackLog()), expected);
}

// A time-out, the late answer that follows it, and a refused server request
// leave a line each; a flood of refused messages is cut to a few lines a
// second and counted.
TEST(Delivery, LogExplainsTimeOutsLateAnswersAndRefusedMessagesWithoutFlooding) {
    if (LibraryLogFolderExists()) GTEST_SKIP() << "C:\\vantix\\log exists: lines go to the shared log";
    ScopedCurrentFolder folder;
    PeerProcess peer({L"-c", L"answer 1020 late=5600"});
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
    EXPECT_EQ(library.iswcalive(), 14);
    std::this_thread::sleep_for(2500ms);  // the late answer arrives meanwhile
    peer.Command("serve wide refused length=0");  // a length the library refuses

    std::vector<std::string> lines;
    for (const std::string& line : WithoutRequestIds(ReadFallbackLog())) {
        if (line.rfind("[GetWindowHandle]", 0) != 0) lines.push_back(line);  // the first lookup
    }
    const std::vector<std::string> expected = {
        "[vtx_iswcalive] Timed out (14): no answer to message 1020, request ID <id>.",
        "[StoreResponse] Dropped an answer nobody waited for: message 1021, request ID <id>.",
        "[BridgeWindowProc] Refused message 2009 (200228 bytes): its length does not fit its text.",
    };
    EXPECT_EQ(lines, expected);

    // The flood: every refused message that was not written is counted.
    ASSERT_TRUE(peer.Command("every 5 serve wide flood length=0"));
    std::this_thread::sleep_for(2500ms);
    ASSERT_TRUE(peer.Command("stop-timers"));
    std::this_thread::sleep_for(1100ms);  // the last window ends...
    peer.Command("serve wide last length=0");  // ...and the next line reports it
    int refused = 0;
    int summarised = 0;
    for (const std::string& line : ReadFallbackLog()) {
        if (line.rfind("[BridgeWindowProc] Refused message 2009", 0) == 0) ++refused;
        int more = 0;
        if (std::sscanf(line.c_str(), "[WriteLog] %d more refused messages within one second were not written.",
                        &more) == 1) {
            summarised += more;
        }
    }
    EXPECT_LE(refused, 1 + 5 * 5) << "at most five lines a second, about four seconds";
    EXPECT_GT(summarised, 0) << "the flood was not counted";
}

TEST(Delivery, RestartedPeerIsFoundWithoutAnyReset) {
    BridgeLibrary library;
    {
        PeerProcess first;
        ASSERT_NE(first.Window(), nullptr);
        EXPECT_EQ(library.init(0, "", 1, nullptr), 200);
    }
    PeerProcess second({L"-c", L"answer 1014 payload=second"});
    ASSERT_NE(second.Window(), nullptr);
    EXPECT_EQ(std::string(library.sendrequest("hello", 5)), "second");
}

// Any process on the desktop can post to the bridge window and its thread.
// A stray close or quit must not leave the host with answers going nowhere.
TEST(Delivery, BridgeWindowOutlivesAPostedCloseAndQuit) {
    PeerProcess peer({L"-c", L"answer 1014 payload=still-here"});
    ASSERT_NE(peer.Window(), nullptr);
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
    const HWND bridge = BridgeWindowOf(::GetCurrentProcessId());
    ASSERT_NE(bridge, nullptr);
    const DWORD loopThread = ::GetWindowThreadProcessId(bridge, nullptr);

    ASSERT_TRUE(::PostMessageW(bridge, WM_CLOSE, 0, 0));
    ASSERT_TRUE(::PostThreadMessageW(loopThread, WM_QUIT, 0, 0));
    // Posted messages wait behind sent ones: give the loop time to take them.
    std::this_thread::sleep_for(300ms);

    EXPECT_TRUE(::IsWindow(bridge));
    EXPECT_EQ(std::string(library.sendrequest("hello", 5)), "still-here");
}

TEST(Delivery, PollsAnsweredWithServerRequestsInBothForms) {
    PeerProcess peer({L"-c", L"answer 1008 inline payload=narrow-request", L"-c",
                      L"answer 2008 inline payload=wide-request"});
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
    char narrow[32];
    unsigned int narrowLength = sizeof(narrow);
    ASSERT_EQ(library.getrequestmessage(narrow, &narrowLength), 200);
    EXPECT_STREQ(narrow, "narrow-request");
    wchar_t wide[32];
    unsigned int wideLength = 32;
    ASSERT_EQ(library.getrequestmessagew(wide, &wideLength), 200);
    EXPECT_EQ(std::wstring(wide), L"wide-request");
    EXPECT_EQ(wideLength, 12u);
}

TEST(Delivery, InitPublishesTheHostFolder) {
    PeerProcess peer;
    BridgeLibrary library;
    EXPECT_EQ(library.init(0, "", 1, nullptr), 200);

    std::wstring folder = ExecutableFolder();
    folder.pop_back();  // no trailing separator
    wchar_t value[1024] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    ASSERT_EQ(::RegGetValueW(HKEY_CURRENT_USER, L"Software\\vantix_v40", L"bridgepath", RRF_RT_ANY, &type, value,
                             &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(value), folder);
}

TEST(Unload, ReloadInTheSameProcessWorksAndLeavesNothingBehind) {
    PeerProcess peer({L"-c", L"answer 1014 payload=answer"});
    ASSERT_NE(peer.Window(), nullptr);
    // The first load may leave threads of the system's own behind (RPC, for
    // the request IDs): count from after it.
    int threadsBefore = 0;
    for (int cycle = 0; cycle < 4; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        BridgeLibrary library;
        ASSERT_TRUE(library.Loaded());
        ASSERT_EQ(library.init(0, "", 1, nullptr), 200);
        EXPECT_EQ(std::string(library.sendrequest("hello", 5)), "answer");
        EXPECT_EQ(OwnBridgeWindows(), 1);
        library.Unload();
        EXPECT_EQ(OwnBridgeWindows(), 0) << "the loop destroyed its window before ending";
        WNDCLASSW info{};
        EXPECT_FALSE(::GetClassInfoW(::GetModuleHandleW(nullptr), L"VantixBridge", &info));
        if (cycle == 0) {
            ::Sleep(200);
            threadsBefore = ThreadCount();
        }
    }
    // Threads end shortly after they signalled their end.
    for (int i = 0; i < 50 && ThreadCount() > threadsBefore; ++i) ::Sleep(20);
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST(Unload, StopsARunningCallbackWorker) {
    PeerProcess peer;
    ASSERT_NE(peer.Window(), nullptr);
    const int threadsBefore = ThreadCount();
    {
        BridgeLibrary library;
        ASSERT_EQ(library.init(0, "", 0, &Deliveries::Narrow), 200);
        ASSERT_TRUE(peer.Command("serve narrow \"before unload\""));
        ASSERT_TRUE(Deliveries::Instance().WaitFor(1, 3s));
        const auto start = std::chrono::steady_clock::now();
        library.Unload();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the worker's pause is cut short";
    }
    for (int i = 0; i < 50 && ThreadCount() > threadsBefore; ++i) ::Sleep(20);
    EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST(CallbackWorker, DeliversOnePerTurnOldestFirst) {
    PeerProcess peer;
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 0, &Deliveries::Narrow), 200);
    // Three texts queued at once (the peer sends them in one go).
    ASSERT_TRUE(peer.Command("serve narrow first\nserve narrow \"\"\nserve wide third"));
    ASSERT_TRUE(Deliveries::Instance().WaitFor(3, 3s));
    const auto items = Deliveries::Instance().Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].narrow, "first");
    EXPECT_EQ(items[0].length, 5u);
    EXPECT_EQ(items[1].narrow, "");
    EXPECT_EQ(items[1].length, 0u);
    EXPECT_EQ(items[2].narrow, "third") << "a wide server request reaches a narrow callback as ANSI";
    for (const auto& item : items) EXPECT_FALSE(item.isWide);
    EXPECT_EQ(library.getrequestmessage(nullptr, nullptr), 7);
    char buffer[16];
    unsigned int length = sizeof(buffer);
    EXPECT_EQ(library.getrequestmessage(buffer, &length), 16) << "the worker is the only collector";
}

TEST(CallbackWorker, KeepsPollingWideAfterDeinitButHandsOverInTheCallbacksForm) {
    ScopedCurrentFolder folder;
    PeerProcess peer({L"--record", folder.Path()});
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 0, &Deliveries::Narrow), 200);
    ::Sleep(250);
    ASSERT_EQ(library.deinit(), 200);
    ::Sleep(350);
    ASSERT_TRUE(peer.Command("serve wide \"\uD55C after deinit\""));
    ASSERT_TRUE(Deliveries::Instance().WaitFor(1, 3s));
    const auto items = Deliveries::Instance().Items();
    EXPECT_FALSE(items[0].isWide) << "a narrow callback never receives UTF-16";
    EXPECT_EQ(items[0].narrow.substr(items[0].narrow.size() - 13), " after deinit");

    // The polls themselves follow the session: narrow while it was open,
    // wide once it was closed.
    auto count = [&](const wchar_t* suffix) {
        int found = 0;
        WIN32_FIND_DATAW entry;
        HANDLE search = ::FindFirstFileW((folder.Path() + L"\\*" + suffix).c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return 0;
        do ++found;
        while (::FindNextFileW(search, &entry));
        ::FindClose(search);
        return found;
    };
    EXPECT_GE(count(L"-1008.bin"), 1);
    EXPECT_GE(count(L"-2008.bin"), 2);
}

TEST(CallbackWorker, ASecondSessionReusesTheRunningWorker) {
    PeerProcess peer;
    BridgeLibrary library;
    ASSERT_EQ(library.init(0, "", 0, &Deliveries::Narrow), 200);
    const int threadsWithWorker = ThreadCount();
    ASSERT_EQ(library.deinit(), 200);
    ASSERT_EQ(library.initw(0, L"", 0, &Deliveries::Wide), 200);
    EXPECT_EQ(ThreadCount(), threadsWithWorker) << "no second worker competes for the queue";

    ASSERT_TRUE(peer.Command("serve wide \"\uD55C\uAE00\""));
    ASSERT_TRUE(Deliveries::Instance().WaitFor(1, 3s));
    const auto items = Deliveries::Instance().Items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_TRUE(items[0].isWide) << "the new callback, in its own form, took over";
    EXPECT_EQ(items[0].wide, L"\uD55C\uAE00");
    EXPECT_EQ(items[0].length, 2u);
}

}  // namespace
}  // namespace vtx::test
