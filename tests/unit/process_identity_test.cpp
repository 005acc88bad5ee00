#include "support/process_identity.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

namespace vtx {
namespace {

constexpr wchar_t kUser[] = L"S-1-5-21-1-2-3-1001";

TokenIdentity Identity(DWORD session, const wchar_t* user, DWORD integrity) {
    TokenIdentity identity;
    identity.session = session;
    identity.integrity = integrity;
    PSID sid = nullptr;
    EXPECT_TRUE(::ConvertStringSidToSidW(user, &sid));
    EXPECT_TRUE(::CopySid(sizeof(identity.user), identity.user, sid));
    ::LocalFree(sid);
    return identity;
}

// Wine runs every process at one level and under one user, so the rule is
// held to hosts of every level here: an elevated host (or one at System)
// still takes a peer at Medium, and a sandboxed host takes none below it.
TEST(ProcessIdentity, PeerHeldToItsSessionUserAndMediumWhateverTheHostsLevel) {
    for (const DWORD hostLevel : {SECURITY_MANDATORY_LOW_RID, SECURITY_MANDATORY_MEDIUM_RID,
                                  SECURITY_MANDATORY_HIGH_RID, SECURITY_MANDATORY_SYSTEM_RID}) {
        SCOPED_TRACE("host level " + std::to_string(hostLevel));
        const TokenIdentity host = Identity(1, kUser, hostLevel);
        EXPECT_EQ(CompareWithHost(Identity(1, kUser, SECURITY_MANDATORY_MEDIUM_RID), host), PeerVerdict::Qualifies);
        EXPECT_EQ(CompareWithHost(Identity(1, kUser, SECURITY_MANDATORY_HIGH_RID), host), PeerVerdict::Qualifies);
        EXPECT_EQ(CompareWithHost(Identity(1, kUser, SECURITY_MANDATORY_LOW_RID), host),
                  PeerVerdict::BelowMediumIntegrity);
        EXPECT_EQ(CompareWithHost(Identity(1, kUser, SECURITY_MANDATORY_UNTRUSTED_RID), host),
                  PeerVerdict::BelowMediumIntegrity);
        EXPECT_EQ(CompareWithHost(Identity(2, kUser, SECURITY_MANDATORY_MEDIUM_RID), host), PeerVerdict::OtherSession);
        EXPECT_EQ(CompareWithHost(Identity(1, L"S-1-5-21-1-2-3-1002", SECURITY_MANDATORY_MEDIUM_RID), host),
                  PeerVerdict::OtherUser);
    }
}

}  // namespace
}  // namespace vtx
