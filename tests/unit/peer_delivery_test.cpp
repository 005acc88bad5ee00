#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/envelope_helpers.h"
#include "component_probes.h"
#include "support/child_process.h"
#include "support/peer_process.h"
#include "support/message_box_watcher.h"
#include "support/scoped_folder.h"
#include "support/unique_handle.h"
#include "window_stand_in.h"
#include "transport/bridge_context.h"
#include "transport/bridge_window.h"
#include "transport/envelope.h"
#include "transport/window_names.h"

namespace vtx {
namespace {

using namespace std::chrono_literals;

LRESULT SendBlankPoll(BridgeContext& context) {
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    return context.delivery.Send(1008, envelope.get(), sizeof(MessageEnvelope));
}

// Another window of the bridge's class, not a message-only one, holds the
// class name in this process: the loop thread can neither register the class
// nor replace it, so no bridge window ever appears.
using BridgeClassSquatter = test::WindowStandIn;

TEST(DeliveryWithoutBridgeWindow, GivesUpAfterFiftyAttemptsAndStartsOverNextTime) {
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    test::ScopedCurrentFolder folder;
    test::WindowStandIn peer(kPeerClassName);
    ASSERT_NE(peer.Handle(), nullptr);
    BridgeClassSquatter squatter(kBridgeClassName, ::DefWindowProcW);
    ASSERT_NE(squatter.Handle(), nullptr);

    BridgeContext context;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendBlankPoll(context), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 4900ms);
    EXPECT_LT(waited, 8s);
    EXPECT_FALSE(context.bridgeWindow.HandleKnown());
    EXPECT_EQ(SendBlankPoll(context), 0);

    std::vector<std::string> expected;
    for (int round = 0; round < 2; ++round) {
        for (int attempt = 1; attempt <= 50; ++attempt) {
            expected.push_back("[GetWindowHandle] counter: " + std::to_string(attempt));
        }
        expected.push_back("[SendMessageCopyData] Not found VantixBridge handle.");
    }
    EXPECT_EQ(test::ReadFallbackLog(), expected);
}

// The first send starts the loop thread and waits for its window: one
// attempt finds it, after the lookup's pause. Later sends look nothing up
// and log nothing.
TEST(DeliveryWithBridgeWindow, FirstSendLooksItUpOnceAndLogsIt) {
    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const test::ScopedCurrentFolder folder;
    const test::WindowStandIn peer(kPeerClassName);
    ASSERT_NE(peer.Handle(), nullptr);
    BridgeContext context;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendBlankPoll(context), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms) << "the lookup pauses after its attempt";
    EXPECT_EQ(SendBlankPoll(context), 1);
    EXPECT_EQ(SendBlankPoll(context), 1);
    EXPECT_TRUE(context.bridgeWindow.Stop());

    const std::vector<std::string> expected = {"[GetWindowHandle] counter: 1",
                                               "[GetWindowHandle] Message loop thread is found."};
    EXPECT_EQ(test::ReadFallbackLog(), expected);
}

DWORD OwnerOf(HWND window) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    return owner;
}

// Another host on the same desktop has a bridge window of its own, made
// after this one's, so it comes first among the windows of the class: the
// lookup must still take this process's window, or every answer to this
// host would go to the other. This test runs again as the other host, told
// by the variable (the first process's ID names the events they share).
constexpr wchar_t kOtherHostVariable[] = L"VTX_OTHER_BRIDGE_HOST";

TEST(DeliveryWithAnotherHost, TakesTheBridgeWindowOfThisProcessOnly) {
    wchar_t first[32] = {};
    if (::GetEnvironmentVariableW(kOtherHostVariable, first, 32) != 0) {
        const std::wstring tag(first);
        const UniqueHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"vtxtest-other-ready-" + tag).c_str()));
        const UniqueHandle done(::OpenEventW(SYNCHRONIZE, FALSE, (L"vtxtest-other-done-" + tag).c_str()));
        ASSERT_TRUE(ready && done);
        BridgeContext other;
        ASSERT_NE(other.bridgeWindow.Handle(), nullptr);
        ::SetEvent(ready.get());
        ::WaitForSingleObject(done.get(), 60000);
        EXPECT_TRUE(other.bridgeWindow.Stop());
        return;
    }
    test::ScopedCurrentFolder folder;  // for the lookup's log lines
    test::WindowStandIn peer(kPeerClassName);
    ASSERT_NE(peer.Handle(), nullptr);
    BridgeContext context;
    ASSERT_NE(context.bridgeWindow.Handle(), nullptr);

    const std::wstring self = std::to_wstring(::GetCurrentProcessId());
    const UniqueHandle ready(::CreateEventW(nullptr, TRUE, FALSE, (L"vtxtest-other-ready-" + self).c_str()));
    const UniqueHandle done(::CreateEventW(nullptr, TRUE, FALSE, (L"vtxtest-other-done-" + self).c_str()));
    ASSERT_TRUE(ready && done);
    test::ChildProcess::Outcome other;
    std::thread otherHost([&] { other = test::ChildProcess::RunThisTestAgain({{kOtherHostVariable, self}}, 90s); });
    const bool otherReady = ::WaitForSingleObject(ready.get(), 30000) == WAIT_OBJECT_0;
    if (otherReady) {
        const HWND firstFound = ::FindWindowExW(HWND_MESSAGE, nullptr, kBridgeClassName, nullptr);
        EXPECT_NE(OwnerOf(firstFound), ::GetCurrentProcessId()) << "the other host's window is not found first";
        // Looked up again, as at a host's first send.
        BridgeWindowProbe::ForgetHandle(context.bridgeWindow);
        EXPECT_EQ(OwnerOf(context.bridgeWindow.Handle()), ::GetCurrentProcessId());
    }
    ::SetEvent(done.get());
    otherHost.join();
    EXPECT_TRUE(context.bridgeWindow.Stop());
    ASSERT_TRUE(otherReady) << "the other host made no bridge window:\n" << other.output;
    EXPECT_TRUE(other.ended && other.exitCode == 0) << other.output;
}

// The process the judge of the test below turns away.
DWORD g_turnedAway = 0;
PeerVerdict JudgeForTest(DWORD processId) noexcept {
    return processId == g_turnedAway ? PeerVerdict::BelowMediumIntegrity : PeerVerdict::Qualifies;
}
// A window of this process that vanishes while it is being judged.
HWND g_vanishing = nullptr;
PeerVerdict JudgeAndDestroy(DWORD processId) noexcept {
    if (processId != ::GetCurrentProcessId()) return PeerVerdict::Qualifies;
    ::DestroyWindow(g_vanishing);
    return PeerVerdict::Unreadable;
}

std::size_t RecordsIn(const std::wstring& folder) {
    std::size_t count = 0;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*.bin").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return count;
}

// Any process can make a window of the peer's class. One whose process does
// not qualify (here judged below Medium integrity: Wine runs every process
// at one level) receives nothing though it comes first in Z-order, and the
// genuine peer behind it gets the message. With both qualifying, the first
// would get it.
TEST(DeliveryToThePeer, AWindowWhoseProcessDoesNotQualifyReceivesNothing) {
    test::ScopedCurrentFolder folder;  // the records, and the log's fallback
    const std::wstring realRecords = folder.Path() + L"\\real";
    const std::wstring impostorRecords = folder.Path() + L"\\impostor";
    test::PeerProcess real({L"--record", realRecords});
    ASSERT_NE(real.Window(), nullptr);
    test::PeerProcess impostor({L"--record", impostorRecords});  // the newer window: first in Z-order
    ASSERT_NE(impostor.Window(), nullptr);
    ASSERT_EQ(::FindWindowW(kPeerClassName, nullptr), impostor.Window());
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    {
        BridgeContext context;
        g_turnedAway = impostor.ProcessId();
        const StandIn judge(stand_in::judge, JudgeForTest);
        EXPECT_NE(context.delivery.Send(1020, envelope.get(), sizeof(MessageEnvelope)), 0);
        EXPECT_NE(context.delivery.Send(1020, envelope.get(), sizeof(MessageEnvelope)), 0) << "the verdict is kept";
        EXPECT_TRUE(context.bridgeWindow.Stop());
    }
    EXPECT_EQ(RecordsIn(realRecords), 2u);
    EXPECT_EQ(RecordsIn(impostorRecords), 0u);
    if (!test::LibraryLogFolderExists()) {
        const std::string skipped = "[SendMessageCopyData] Skipped a VantixConnect window of process " +
                                    std::to_string(impostor.ProcessId()) + ": it runs below Medium integrity.";
        const auto lines = test::ReadFallbackLog();
        // Once: the window taken is kept, so no later send walks past the
        // impostor again.
        EXPECT_EQ(std::count(lines.begin(), lines.end(), skipped), 1);
    }

    // A skipped window that vanishes while the walk stands on it hides
    // nothing: the walk starts again from the top.
    {
        test::MessageBoxWatcher boxes;  // only if the peer was missed
        test::WindowStandIn vanishing(kPeerClassName);
        g_vanishing = vanishing.Handle();
        ASSERT_EQ(::FindWindowW(kPeerClassName, nullptr), g_vanishing);
        BridgeContext context;
        const StandIn judge(stand_in::judge, JudgeAndDestroy);
        EXPECT_NE(context.delivery.Send(1020, envelope.get(), sizeof(MessageEnvelope)), 0);
        EXPECT_FALSE(::IsWindow(g_vanishing)) << "the window did not vanish during the walk";
        EXPECT_TRUE(context.bridgeWindow.Stop());
        EXPECT_EQ(boxes.Count(), 0);
    }
    EXPECT_EQ(RecordsIn(impostorRecords), 1u);

    // Judged for real, both qualify here, and the first in Z-order is taken.
    BridgeContext context;
    EXPECT_NE(context.delivery.Send(1020, envelope.get(), sizeof(MessageEnvelope)), 0);
    EXPECT_TRUE(context.bridgeWindow.Stop());
    EXPECT_EQ(RecordsIn(impostorRecords), 2u);
    EXPECT_EQ(JudgeProcess(::GetCurrentProcessId()), PeerVerdict::Qualifies);
    EXPECT_EQ(JudgeProcess(impostor.ProcessId()), PeerVerdict::Qualifies);
}

// Once the unload has begun, no send starts, from any thread: nothing
// reaches the peer, and without one no run-the-peer-first box comes up.
TEST(DeliveryToThePeer, NothingStartsOnceTheUnloadBegan) {
    test::ScopedCurrentFolder folder;
    const std::wstring records = folder.Path() + L"\\records";
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    test::MessageBoxWatcher boxes;
    {
        BridgeContext context;
        context.stop.Raise();
        EXPECT_EQ(context.delivery.Send(1020, envelope.get(), sizeof(MessageEnvelope)), 0);
    }
    test::PeerProcess peer({L"--record", records});
    ASSERT_NE(peer.Window(), nullptr);
    BridgeContext context;
    ASSERT_NE(context.bridgeWindow.Handle(), nullptr);  // known from an earlier send
    context.stop.Raise();
    EXPECT_EQ(context.delivery.Send(1020, envelope.get(), sizeof(MessageEnvelope)), 0);
    EXPECT_TRUE(context.bridgeWindow.Stop());
    EXPECT_EQ(RecordsIn(records), 0u);
    EXPECT_EQ(boxes.Count(), 0);
}

}  // namespace
}  // namespace vtx
