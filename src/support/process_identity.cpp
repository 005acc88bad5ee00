#include "support/process_identity.h"

#include "support/unique_handle.h"

namespace vtx {
namespace {

struct Identity {
    DWORD session = 0;
    DWORD integrity = 0;  // the mandatory label's RID
    alignas(void*) BYTE user[SECURITY_MAX_SID_SIZE] = {};
};

// Reads the three facts from a process's token; false when any is missing.
bool ReadIdentity(HANDLE process, Identity& identity) {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &rawToken)) return false;
    const UniqueHandle token(rawToken);

    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenSessionId, &identity.session, sizeof(identity.session), &size)) {
        return false;
    }
    alignas(void*) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) return false;
    const PSID user = reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid;
    if (!::IsValidSid(user) || !::CopySid(sizeof(identity.user), identity.user, user)) return false;

    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer, sizeof(buffer), &size)) return false;
    const PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    if (!::IsValidSid(label)) return false;
    const UCHAR count = *::GetSidSubAuthorityCount(label);
    if (count == 0) return false;
    identity.integrity = *::GetSidSubAuthority(label, count - 1u);
    return true;
}

bool ReadOwnIdentity(Identity& identity) { return ReadIdentity(::GetCurrentProcess(), identity); }

}  // namespace

const char* PeerVerdictReason(PeerVerdict verdict) noexcept {
    switch (verdict) {
        case PeerVerdict::Qualifies:
            return "it qualifies";
        case PeerVerdict::OtherSession:
            return "it runs in another Windows session";
        case PeerVerdict::OtherUser:
            return "it runs under another user";
        case PeerVerdict::BelowMediumIntegrity:
            return "it runs below Medium integrity";
        case PeerVerdict::Unreadable:
            return "its session, user and integrity level cannot be read";
    }
    return "unknown";
}

PeerVerdict JudgeProcess(DWORD processId) noexcept {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    Identity peer;
    Identity host;
    if (!process || !ReadIdentity(process.get(), peer) || !ReadOwnIdentity(host)) return PeerVerdict::Unreadable;
    if (peer.session != host.session) return PeerVerdict::OtherSession;
    if (!::EqualSid(peer.user, host.user)) return PeerVerdict::OtherUser;
    if (peer.integrity < SECURITY_MANDATORY_MEDIUM_RID) return PeerVerdict::BelowMediumIntegrity;
    return PeerVerdict::Qualifies;
}

bool HostRunsAboveMediumIntegrity() noexcept {
    Identity host;
    return ReadOwnIdentity(host) && host.integrity > SECURITY_MANDATORY_MEDIUM_RID;
}

}  // namespace vtx
