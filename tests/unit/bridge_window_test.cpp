#include "transport/bridge_window.h"

#include <gtest/gtest.h>

#include "component_probes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/envelope_helpers.h"
#include "support/scoped_folder.h"
#include "window_stand_in.h"
#include "transport/bridge_context.h"
#include "transport/envelope.h"
#include "transport/window_names.h"

namespace vtx {
namespace {

HWND FindBridgeWindow() { return ::FindWindowExW(HWND_MESSAGE, nullptr, kBridgeClassName, nullptr); }

template <class Char>
RequestIdText<Char> Key(const std::basic_string<Char>& text) {
    RequestIdText<Char> key;
    key.length = text.size();
    std::copy(text.begin(), text.end(), key.units);
    return key;
}

std::wstring Take(ServerRequestQueue& queue) {
    const Owned<QueuedText> text = queue.TakeOldest();
    return text ? std::wstring(text->Units(), text->Length()) : L"(none)";
}

// The loop thread runs in this test process as it would inside a host.
class BridgeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = context.bridgeWindow.Handle();
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(window, FindBridgeWindow());
    }
    void TearDown() override { EXPECT_TRUE(context.bridgeWindow.Stop()); }

    LRESULT Send(ULONG_PTR code, const void* data, DWORD size) {
        COPYDATASTRUCT copy{code, size, const_cast<void*>(data)};
        return ::SendMessageW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
    }
    template <class Envelope>
    LRESULT Send(ULONG_PTR code, const Envelope& envelope) {
        return Send(code, &envelope, sizeof(envelope));
    }

    HWND window = nullptr;
    BridgeContext context;
};

TEST_F(BridgeWindowTest, LivesOnTheLoopThreadAndLeavesOtherMessagesToTheDefault) {
    // Made by the library's own loop thread, not by the thread that asked for
    // it, whose messages a host may never pump.
    EXPECT_NE(::GetWindowThreadProcessId(window, nullptr), ::GetCurrentThreadId());
    // Other messages get the default processing: the title is the class name.
    EXPECT_EQ(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0), 12);
}

TEST_F(BridgeWindowTest, FilesAnswersThatAreAwaited) {
    for (ULONG_PTR code : {1001u, 1003u, 1005u, 1007u, 1011u, 1013u, 1015u, 1019u, 1021u, 1023u}) {
        auto answer = MakeBlankEnvelope<MessageEnvelope>();
        const std::string id = "narrow-" + std::to_string(code);
        CopyToField(answer->requestId, id);
        answer->status = static_cast<std::int32_t>(code);
        ASSERT_TRUE(context.answers.Expect<NarrowForm>(Key(id)));
        EXPECT_EQ(Send(code, *answer), 1) << code;
        auto filed = context.answers.Wait<NarrowForm>(Key(id), 0);
        ASSERT_NE(filed, nullptr) << code;
        EXPECT_EQ(filed->status, static_cast<std::int32_t>(code));
    }
    for (ULONG_PTR code : {2001u, 2003u, 2005u, 2007u, 2011u, 2015u, 2023u}) {
        auto answer = MakeBlankEnvelope<MessageEnvelopeW>();
        const std::wstring id = L"wide-" + std::to_wstring(code);
        CopyToField(answer->requestId, id);
        ASSERT_TRUE(context.answers.Expect<WideForm>(Key(id)));
        EXPECT_EQ(Send(code, *answer), 1) << code;
        EXPECT_NE(context.answers.Wait<WideForm>(Key(id), 0), nullptr) << code;
    }
    EXPECT_EQ(AnswerBoardProbe::PendingCount(context.answers), 0u);
}

TEST_F(BridgeWindowTest, AcknowledgesCodesItDoesNotActOn) {
    auto narrow = MakeBlankEnvelope<MessageEnvelope>();
    CopyToField(narrow->requestId, std::string("x"));
    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    ASSERT_TRUE(context.answers.Expect<NarrowForm>(Key(std::string("x"))));
    for (ULONG_PTR code : {1017u, 1008u, 1014u, 3001u, 0u}) EXPECT_EQ(Send(code, *narrow), 1) << code;
    for (ULONG_PTR code : {2013u, 2017u, 2019u, 2021u, 2008u}) EXPECT_EQ(Send(code, *wide), 1) << code;
    EXPECT_EQ(context.answers.Wait<NarrowForm>(Key(std::string("x")), 0), nullptr);
    context.answers.Forget<NarrowForm>(Key(std::string("x")));
    EXPECT_EQ(ServerRequestQueueProbe::Count(context.serverRequests), 0u);
    // A null COPYDATASTRUCT is acknowledged too.
    EXPECT_EQ(::SendMessageW(window, WM_COPYDATA, 0, 0), 1);
}

TEST_F(BridgeWindowTest, RefusesMalformedMessagesAndKeepsNothing) {
    ASSERT_TRUE(context.answers.Expect<NarrowForm>(Key(std::string())));
    EXPECT_EQ(Send(1015, nullptr, sizeof(MessageEnvelope)), 0);
    EXPECT_EQ(Send(2009, nullptr, sizeof(MessageEnvelopeW)), 0);

    // Short cbData: only the bytes that came with the message may be read.
    std::vector<unsigned char> shortData(64, 0);
    EXPECT_EQ(Send(1015, shortData.data(), static_cast<DWORD>(shortData.size())), 0);
    EXPECT_EQ(Send(1009, shortData.data(), static_cast<DWORD>(shortData.size())), 0);

    auto unterminated = MakeBlankEnvelope<MessageEnvelope>();
    std::memset(unterminated->payload, 'p', sizeof(unterminated->payload));
    EXPECT_EQ(Send(1015, *unterminated), 0);
    EXPECT_EQ(Send(1009, *unterminated), 0);

    auto badLength = MakeBlankEnvelope<MessageEnvelopeW>();
    CopyToField(badLength->payload, std::wstring(L"abc"));
    badLength->length = 3;
    EXPECT_EQ(Send(2009, *badLength), 0);
    badLength->length = 0;
    EXPECT_EQ(Send(2009, *badLength), 0);
    badLength->length = 100001;
    EXPECT_EQ(Send(2009, *badLength), 0);

    EXPECT_EQ(context.answers.Wait<NarrowForm>(Key(std::string()), 0), nullptr);
    context.answers.Forget<NarrowForm>(Key(std::string()));
    EXPECT_EQ(ServerRequestQueueProbe::Count(context.serverRequests), 0u);
}

TEST_F(BridgeWindowTest, QueuesServerRequestsAsUtf16) {
    auto narrow = MakeBlankEnvelope<MessageEnvelope>();
    CopyToField(narrow->payload, std::string("print chart"));
    EXPECT_EQ(Send(1009, *narrow), 1);
    auto empty = MakeBlankEnvelope<MessageEnvelope>();
    EXPECT_EQ(Send(1009, *empty), 1);
    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    CopyToField(wide->payload, std::wstring(L"\uD55C\uAE00"));
    wide->length = 3;
    EXPECT_EQ(Send(2009, *wide), 1);
    auto wideEmpty = MakeBlankEnvelope<MessageEnvelopeW>();
    wideEmpty->length = 1;
    EXPECT_EQ(Send(2009, *wideEmpty), 1);

    EXPECT_EQ(Take(context.serverRequests), L"print chart");
    EXPECT_EQ(Take(context.serverRequests), L"");
    EXPECT_EQ(Take(context.serverRequests), L"\uD55C\uAE00");
    EXPECT_EQ(Take(context.serverRequests), L"");
    EXPECT_EQ(context.serverRequests.TakeOldest(), nullptr);
}

// The queue holds at most kQueuedBytesBound bytes of UTF-16 text and
// kQueuedTextsBound texts: a text that would pass either bound is refused
// with 0, nothing of it is kept, and the log says why; one that ends exactly
// at the bound is taken; collecting a text makes room again.
TEST_F(BridgeWindowTest, ServerRequestQueueIsBoundedAndFreesAsTextsAreCollected) {
    const test::ScopedCurrentFolder folder;  // for the log
    constexpr std::size_t kBound = BridgeContext::kQueuedBytesBound;
    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    const auto sendWide = [&](std::size_t units) {
        CopyToField(wide->payload, std::wstring(units, L'w'));
        wide->length = static_cast<std::int32_t>(units + 1);
        return Send(2009, *wide);
    };
    constexpr std::size_t kLongest = kPayloadUnits - 1;
    const std::size_t fitting = kBound / (kLongest * sizeof(WideChar));
    for (std::size_t i = 0; i < fitting; ++i) ASSERT_EQ(sendWide(kLongest), 1) << "text " << i;
    EXPECT_EQ(sendWide(kLongest), 0) << "past the bound";
    EXPECT_EQ(ServerRequestQueueProbe::Count(context.serverRequests), fitting) << "a refused text was kept";

    const std::size_t room = kBound - ServerRequestQueueProbe::Bytes(context.serverRequests);
    EXPECT_EQ(sendWide(room / 2 + 1), 0) << "one unit too many";
    EXPECT_EQ(sendWide(room / 2), 1) << "ends exactly at the bound";
    EXPECT_EQ(ServerRequestQueueProbe::Bytes(context.serverRequests), kBound);
    auto narrow = MakeBlankEnvelope<MessageEnvelope>();
    EXPECT_EQ(Send(1009, *narrow), 1) << "an empty text takes no room";
    CopyToField(narrow->payload, std::string("x"));
    EXPECT_EQ(Send(1009, *narrow), 0);

    ASSERT_NE(context.serverRequests.TakeOldest(), nullptr);
    EXPECT_EQ(sendWide(kLongest), 1) << "room again once a text was collected";
    context.serverRequests.Clear();
    EXPECT_EQ(ServerRequestQueueProbe::Bytes(context.serverRequests), 0u);
    EXPECT_EQ(Send(1009, *narrow), 1);
    EXPECT_EQ(ServerRequestQueueProbe::Bytes(context.serverRequests), 2u);

    // As many texts as there may be, however short: the next is refused.
    while (ServerRequestQueueProbe::Count(context.serverRequests) < BridgeContext::kQueuedTextsBound) {
        ASSERT_EQ(context.serverRequests.Push(QueuedText::Make(0)), ServerRequestQueue::Admission::Kept);
    }
    auto empty = MakeBlankEnvelope<MessageEnvelope>();
    EXPECT_EQ(Send(1009, *empty), 0) << "text " << BridgeContext::kQueuedTextsBound + 1;
    EXPECT_EQ(ServerRequestQueueProbe::Count(context.serverRequests), BridgeContext::kQueuedTextsBound);
    context.serverRequests.Clear();

    VTX_SKIP_IF_THE_LOG_IS_SHARED();
    const std::string full = "[PushServerRequest] Server request queue is full";
    const std::vector<std::string> expected = {
        full + ": " + std::to_string(kLongest * sizeof(WideChar)) + " bytes refused.",
        full + ": " + std::to_string((room / 2 + 1) * sizeof(WideChar)) + " bytes refused.",
        full + ": " + std::to_string(sizeof(WideChar)) + " bytes refused.",
        full + " (texts): 0 bytes refused.",
    };
    std::vector<std::string> lines = test::ReadFallbackLog();
    lines.erase(std::remove_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(full, 0) != 0; }),
                lines.end());
    EXPECT_EQ(lines, expected);
}

bool Elevated() noexcept { return true; }
bool NotElevated() noexcept { return false; }
HWND g_filterOpenedFor = nullptr;
int g_filterOpenings = 0;
void RecordFilterOpening(HWND window) noexcept {
    g_filterOpenedFor = window;
    ++g_filterOpenings;
}

// Processes of lower integrity reach the bridge window only when the host
// runs elevated (so that an unelevated peer can answer it). Wine runs every
// process at one level: the host's is decided here.
TEST(BridgeWindowFilter, OpensForLowerIntegrityOnlyWhenTheHostIsElevated) {
    for (const bool elevated : {false, true}) {
        SCOPED_TRACE(elevated ? "elevated" : "not elevated");
        BridgeContext context;
        const StandIn host(stand_in::hostAboveMedium, elevated ? Elevated : NotElevated);
        const StandIn filter(stand_in::openFilter, RecordFilterOpening);
        g_filterOpenings = 0;
        g_filterOpenedFor = nullptr;
        const HWND window = context.bridgeWindow.Handle();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(g_filterOpenings, elevated ? 1 : 0);
        EXPECT_EQ(g_filterOpenedFor, elevated ? window : nullptr);
        EXPECT_TRUE(context.bridgeWindow.Stop());
    }
}

// A loop that has ended (here stopped, as at unload) leaves no window and no
// class behind, and the next send starts it again and goes out as ever.
TEST(BridgeWindowLifetime, StopRemovesWindowAndClassAndTheNextSendStartsTheLoopAgain) {
    test::ScopedCurrentFolder folder;  // for the lookup's log lines
    const test::WindowStandIn peer(kPeerClassName);
    BridgeContext context;
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        EXPECT_EQ(FindBridgeWindow(), nullptr) << "nothing runs before the first send";
        EXPECT_EQ(context.delivery.Send(1008, envelope.get(), sizeof(MessageEnvelope)), 1);
        ASSERT_NE(FindBridgeWindow(), nullptr);
        EXPECT_TRUE(context.bridgeWindow.Stop());
        EXPECT_EQ(FindBridgeWindow(), nullptr);
        WNDCLASSW info{};
        EXPECT_FALSE(::GetClassInfoW(::GetModuleHandleW(nullptr), kBridgeClassName, &info))
            << "the class is unregistered, so a reload can register it again";
    }
}

}  // namespace
}  // namespace vtx
