#include "result_meaning.h"

#include <algorithm>
#include <vector>

#include "vtxbridge.h"

namespace vtx::cli {
namespace {

std::string_view LibraryMeaning(int result) {
    switch (result) {
        case VTX_RESULT_OK: return "ok";
        case VTX_RESULT_NO_CALLBACK: return "no callback";
        case VTX_RESULT_NOT_DELIVERED: return "not delivered";
        case VTX_RESULT_DOES_NOT_FIT: return "does not fit";
        case VTX_RESULT_NOT_OPEN: return "not open";
        case VTX_RESULT_ALREADY_OPEN: return "already open";
        case VTX_RESULT_TIMED_OUT: return "timed out";
        case VTX_RESULT_NOTHING_QUEUED: return "nothing queued";
        default: return "unknown code";
    }
}

// The library's own codes per export, and whether the export hands any
// other value over from the peer.
struct ResultSet {
    std::vector<int> own;
    bool passesStatus = false;
};

ResultSet ResultSetOf(Verb verb) {
    constexpr int kNotDelivered = VTX_RESULT_NOT_DELIVERED;
    constexpr int kDoesNotFit = VTX_RESULT_DOES_NOT_FIT;
    constexpr int kNotOpen = VTX_RESULT_NOT_OPEN;
    constexpr int kTimedOut = VTX_RESULT_TIMED_OUT;
    switch (verb) {
        case Verb::Init:
        case Verb::InitW:
            return {{VTX_RESULT_NO_CALLBACK, kNotDelivered, kDoesNotFit, VTX_RESULT_ALREADY_OPEN, kTimedOut}, true};
        case Verb::Deinit: return {{kNotDelivered, kTimedOut}, true};
        case Verb::SendResponse:
        case Verb::SendResponseW: return {{kNotDelivered, kDoesNotFit, kNotOpen, kTimedOut}, true};
        case Verb::Login:
        case Verb::LoginW: return {{kNotDelivered, kDoesNotFit, kTimedOut}, true};
        case Verb::IsWcAlive: return {{kNotDelivered, kNotOpen, kTimedOut}, true};
        case Verb::GetRequestMessage:
        case Verb::GetRequestMessageW: return {{kDoesNotFit, kNotOpen, VTX_RESULT_NOTHING_QUEUED}, false};
        case Verb::WaitCallback: return {{kTimedOut}, false};
        default:  // the buffer and text exports
            return {{kNotDelivered, kDoesNotFit, kNotOpen, kTimedOut}, false};
    }
}

}  // namespace

std::string_view MeaningOf(Verb verb, int result) {
    // vtx_setbridgeid returns the peer's window procedure result, not a code.
    if (verb == Verb::SetBridgeId) return result != 0 ? "accepted" : "not delivered or refused";
    if (result == VTX_RESULT_OK) return "ok";
    const ResultSet set = ResultSetOf(verb);
    if (std::find(set.own.begin(), set.own.end(), result) != set.own.end()) return LibraryMeaning(result);
    return set.passesStatus ? "peer status" : "unknown code";
}

std::optional<int> ErrorTextCode(std::string_view utf8) {
    constexpr std::string_view kStart = "{\"eventId\":9999, \"jobId\":\"\", \"code\":";
    if (utf8.substr(0, kStart.size()) != kStart || utf8.size() < kStart.size() + 2 || utf8.back() != '}') {
        return std::nullopt;
    }
    const std::string_view digits = utf8.substr(kStart.size(), utf8.size() - kStart.size() - 1);
    if (digits.size() > 9) return std::nullopt;
    int code = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        code = code * 10 + (c - '0');
    }
    return code;
}

}  // namespace vtx::cli
