#include "support/process_identity.h"

#include <sddl.h>

#include "support/unique_handle.h"

namespace vtx {
namespace {

enum class Reading { Read, TokenRefused, Failed };

// Reads the three facts from a process's token.
Reading ReadIdentity(HANDLE process, TokenIdentity& identity) {
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &rawToken)) {
        return ::GetLastError() == ERROR_ACCESS_DENIED ? Reading::TokenRefused : Reading::Failed;
    }
    const UniqueHandle token(rawToken);

    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenSessionId, &identity.session, sizeof(identity.session), &size)) {
        return Reading::Failed;
    }
    alignas(void*) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) return Reading::Failed;
    const PSID user = reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid;
    if (!::IsValidSid(user) || !::CopySid(sizeof(identity.user), identity.user, user)) return Reading::Failed;

    if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer, sizeof(buffer), &size)) {
        return Reading::Failed;
    }
    const PSID label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    if (!::IsValidSid(label)) return Reading::Failed;
    const UCHAR count = *::GetSidSubAuthorityCount(label);
    if (count == 0) return Reading::Failed;
    identity.integrity = *::GetSidSubAuthority(label, count - 1u);
    return Reading::Read;
}

bool ReadOwnIdentity(TokenIdentity& identity) { return ReadIdentity(::GetCurrentProcess(), identity) == Reading::Read; }

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
        case PeerVerdict::TokenRefused:
            return "its token is refused to this process (it may run elevated while the host does not)";
    }
    return "unknown";
}

PeerVerdict JudgeProcess(DWORD processId) noexcept {
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    TokenIdentity peer;
    TokenIdentity host;
    if (!process || !ReadOwnIdentity(host)) return PeerVerdict::Unreadable;
    // An unelevated process may open an elevated one for limited queries
    // (its image, session and times) but not read its token; a sandboxed
    // process can refuse its token to everyone in the same way. Without the
    // token its integrity level is unknown, and a lower one must not be
    // taken: both are skipped, with their own reason in the log.
    switch (ReadIdentity(process.get(), peer)) {
        case Reading::Read:
            break;
        case Reading::TokenRefused:
            return PeerVerdict::TokenRefused;
        case Reading::Failed:
            return PeerVerdict::Unreadable;
    }
    return CompareWithHost(peer, host);
}

PeerVerdict CompareWithHost(const TokenIdentity& peer, const TokenIdentity& host) noexcept {
    if (peer.session != host.session) return PeerVerdict::OtherSession;
    if (!::EqualSid(const_cast<BYTE*>(peer.user), const_cast<BYTE*>(host.user))) return PeerVerdict::OtherUser;
    if (peer.integrity < SECURITY_MANDATORY_MEDIUM_RID) return PeerVerdict::BelowMediumIntegrity;
    return PeerVerdict::Qualifies;
}

bool HostRunsAboveMediumIntegrity() noexcept {
    TokenIdentity host;
    return ReadOwnIdentity(host) && host.integrity > SECURITY_MANDATORY_MEDIUM_RID;
}

ProcessFacts ReadProcessFacts(DWORD processId) noexcept {
    ProcessFacts facts;
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return facts;
    TokenIdentity identity;
    switch (ReadIdentity(process.get(), identity)) {
        case Reading::Read:
            break;
        case Reading::TokenRefused:
            facts.tokenRefused = true;
            return facts;
        case Reading::Failed:
            return facts;
    }
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(identity.user, &text)) return facts;
    DWORD units = 0;
    while (text[units] != L'\0' && units + 1 < kSidTextUnits) {
        facts.user[units] = text[units];
        ++units;
    }
    const bool whole = text[units] == L'\0';
    ::LocalFree(text);
    if (!whole) return facts;
    facts.user[units] = L'\0';
    facts.session = identity.session;
    facts.integrity = identity.integrity;
    facts.read = true;
    return facts;
}

bool ReadProcessImagePath(DWORD processId, wchar_t* out, DWORD capacity) noexcept {
    if (capacity == 0) return false;
    out[0] = L'\0';
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    DWORD units = capacity;
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, out, &units) || units >= capacity) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

}  // namespace vtx
