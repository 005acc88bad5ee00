#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/message_box_watcher.h"
#include "support/scoped_folder.h"
#include "transport/bridge_context.h"
#include "transport/envelope.h"
#include "transport/window_names.h"

namespace vtx {
namespace {

using namespace std::chrono_literals;

// A stand-in for the peer's window: delivery only needs to find it.
class PeerWindowStandIn {
public:
    PeerWindowStandIn() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kPeerClassName;
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, kPeerClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    }
    ~PeerWindowStandIn() { ::DestroyWindow(window_); }
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

LRESULT SendBlankPoll() {
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    COPYDATASTRUCT data{1008, sizeof(MessageEnvelope), envelope.get()};
    return GetBridgeContext().SendMessageCopyData(&data);
}

// Another window of the bridge's class, not a message-only one, holds the
// class name in this process: the loop thread can neither register the class
// nor replace it, so no bridge window ever appears.
class BridgeClassSquatter {
public:
    BridgeClassSquatter() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kBridgeClassName;
        ::RegisterClassW(&windowClass);
        window_ = ::CreateWindowExW(0, kBridgeClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    windowClass.hInstance, nullptr);
    }
    ~BridgeClassSquatter() { ::DestroyWindow(window_); }
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

TEST(DeliveryWithoutBridgeWindow, GivesUpAfterFiftyAttemptsAndStartsOverNextTime) {
    if (test::LibraryLogFolderExists()) GTEST_SKIP() << "C:\\vantix\\log exists: lines go to the shared log";
    test::ScopedCurrentFolder folder;
    PeerWindowStandIn peer;
    ASSERT_NE(peer.Handle(), nullptr);
    BridgeClassSquatter squatter;
    ASSERT_NE(squatter.Handle(), nullptr);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendBlankPoll(), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 4900ms);
    EXPECT_LT(waited, 8s);
    EXPECT_EQ(GetBridgeContext().bridgeWindow.load(), nullptr);
    EXPECT_EQ(SendBlankPoll(), 0);

    std::vector<std::string> expected;
    for (int round = 0; round < 2; ++round) {
        for (int attempt = 1; attempt <= 50; ++attempt) {
            expected.push_back("[GetWindowHandle] counter: " + std::to_string(attempt));
        }
        expected.push_back("[SendMessageCopyData] Not found VantixBridge handle.");
    }
    EXPECT_EQ(test::ReadFallbackLog(), expected);
}

}  // namespace
}  // namespace vtx
