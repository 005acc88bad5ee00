// A host whose executable carries its own string 101: the run-the-peer-first
// box shows the host's wording instead of the built-in one.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/envelope_helpers.h"
#include "support/message_box_watcher.h"
#include "transport/bridge_context.h"
#include "transport/envelope.h"

namespace vtx {
namespace {

TEST(RunPeerFirstBox, ShowsTheHostExecutablesOwnString101) {
    test::MessageBoxWatcher watcher;
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    BridgeContext context;
    EXPECT_EQ(context.delivery.Send(1020, envelope.get(), sizeof(MessageEnvelope)), 0);
    const test::SeenMessageBox box = watcher.Last();
    EXPECT_EQ(watcher.Count(), 1);
    EXPECT_EQ(box.text, L"Please start the companion application first.");
    EXPECT_EQ(box.caption, test::kRunPeerFirstCaption);
}

}  // namespace
}  // namespace vtx
