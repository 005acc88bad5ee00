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
// other value over from the peer. Every export that waits for the peer's
// answer (the library's message table) may also give 6 and 14.
struct ResultSet {
    std::vector<int> own;
    bool passesStatus = false;
};

ResultSet OwnResultsOf(Verb verb) {
    constexpr int kDoesNotFit = VTX_RESULT_DOES_NOT_FIT;
    constexpr int kNotOpen = VTX_RESULT_NOT_OPEN;
    switch (verb) {
        case Verb::Init:
        case Verb::InitW: return {{VTX_RESULT_NO_CALLBACK, kDoesNotFit, VTX_RESULT_ALREADY_OPEN}, true};
        case Verb::Deinit: return {{}, true};
        case Verb::SendResponse:
        case Verb::SendResponseW: return {{kDoesNotFit, kNotOpen}, true};
        case Verb::Login:
        case Verb::LoginW: return {{kDoesNotFit}, true};
        case Verb::IsWcAlive: return {{kNotOpen}, true};
        case Verb::GetRequestMessage:
        case Verb::GetRequestMessageW: return {{kDoesNotFit, kNotOpen, VTX_RESULT_NOTHING_QUEUED}, false};
        case Verb::WaitCallback: return {{VTX_RESULT_TIMED_OUT}, false};
        default:  // the buffer and text exports
            return {{kDoesNotFit, kNotOpen}, false};
    }
}

ResultSet ResultSetOf(Verb verb) {
    ResultSet set = OwnResultsOf(verb);
    if (AwaitsAnswer(InfoOf(verb))) {
        set.own.push_back(VTX_RESULT_NOT_DELIVERED);
        set.own.push_back(VTX_RESULT_TIMED_OUT);
    }
    return set;
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
    int code = 0;
    if (!vtx_errortextcode(std::string(utf8).c_str(), &code)) return std::nullopt;
    return code;
}

}  // namespace vtx::cli
