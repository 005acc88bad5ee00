#include "transport/bridge_context.h"

#include <gtest/gtest.h>

#include "component_probes.h"

#include <string>
#include <thread>
#include <vector>

#include "support/named_mutex_presence.h"
#include "support/unique_handle.h"

namespace vtx {
namespace {

TEST(BridgeContext, ConcurrentFirstCallsBuildOneContextThatStartsIdle) {
    std::vector<BridgeContext*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (auto& slot : seen) threads.emplace_back([&slot] { slot = BridgeContext::Get(); });
    for (auto& thread : threads) thread.join();
    ASSERT_NE(seen[0], nullptr);
    for (BridgeContext* context : seen) EXPECT_EQ(context, seen[0]);

    BridgeContext& context = *seen[0];
    EXPECT_FALSE(context.bridgeWindow.HandleKnown()) << "nothing runs before the first send";
    EXPECT_EQ(context.session.sendForm.load(), Form::Wide);
    EXPECT_FALSE(context.session.open.load());
    EXPECT_FALSE(context.worker.SessionOpen());
    EXPECT_EQ(ServerRequestQueueProbe::Count(context.serverRequests), 0u);
    EXPECT_EQ(AnswerBoardProbe::PendingCount(context.answers), 0u);
}

TEST(NamedMutexPresence, OpensTheNameUnlessAnotherKindHoldsIt) {
    const std::wstring name = L"vtxtest-presence-" + std::to_wstring(::GetCurrentProcessId());
    {
        const NamedMutexPresence presence(name.c_str());
        EXPECT_TRUE(NamedMutexPresenceProbe::IsOpen(presence));
        // Open, not held: another process can take it at once.
        const UniqueHandle other(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
        ASSERT_TRUE(other);
        EXPECT_EQ(::WaitForSingleObject(other.get(), 0), WAIT_OBJECT_0);
        ::ReleaseMutex(other.get());
    }
    // Another program's event holds the name: nothing is open, and nothing
    // of the library depends on it.
    const UniqueHandle squatter(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(squatter);
    EXPECT_FALSE(NamedMutexPresenceProbe::IsOpen(NamedMutexPresence(name.c_str())));
}

}  // namespace
}  // namespace vtx
