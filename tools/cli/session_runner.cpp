#include "session_runner.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "callback_recorder.h"
#include "common/text_conversion.h"
#include "output.h"
#include "quote.h"
#include "result_meaning.h"

namespace vtx::cli {
namespace {

std::string ToUtf8(std::string_view ansi) { return common::AnsiToUtf8(ansi); }
std::string ToUtf8(std::wstring_view wide) { return common::WideToUtf8(wide); }

// Set while --time measures a call: the moment it began.
std::optional<std::chrono::steady_clock::time_point> callStart;

// " [12.3 ms]", when the call is timed.
std::string Duration() {
    if (!callStart) return {};
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - *callStart;
    char text[32];
    std::snprintf(text, sizeof text, " [%.1f ms]", elapsed.count());
    return text;
}

void Print(const Command& command, const std::string& outcome) {
    WriteLine(Stream::Out, Echo(command) + " -> " + outcome + Duration());
}

// Every command that calls an export may send to the peer.
bool MaySend(const Command& command) { return !ExportName(InfoOf(command.verb)).empty(); }

bool PeerWindowExists() { return ::FindWindowW(L"VantixConnect", nullptr) != nullptr; }

std::string CodeAndMeaning(Verb verb, int result) {
    return std::to_string(result) + " " + std::string(MeaningOf(verb, result));
}

// A caller buffer of exactly `capacity` characters, zeroed so that what the
// library wrote can be told from what it left alone. A capacity of 0 still
// gets one unit: the library must see a valid pointer with *bufferLength 0,
// not a null pointer, which it refuses for another reason.
template <class Char>
class CallerBuffer {
public:
    explicit CallerBuffer(unsigned int capacity) : units_(std::max(capacity, 1u), Char{}), length_(capacity) {}

    Char* Data() { return units_.data(); }
    unsigned int* Length() { return &length_; }

    // "<code> <meaning>: "<text>" (bufferLength N)"; the text is shown when
    // the call succeeded or the library wrote anything at all.
    std::string Describe(Verb verb, int result) const {
        std::string line = CodeAndMeaning(verb, result);
        const auto end = std::find(units_.begin(), units_.end(), Char{});
        if (result == VTX_RESULT_OK || end != units_.begin()) {
            const auto length = static_cast<std::size_t>(end - units_.begin());
            line += ": " + Quote(ToUtf8(std::basic_string_view<Char>(units_.data(), length)));
        }
        return line + " (bufferLength " + std::to_string(length_) + ")";
    }

private:
    std::vector<Char> units_;
    unsigned int length_;
};

// Texts returned by pointer: the text and its length in the export's units;
// the library's error text also yields the code inside it, which becomes the
// command's result (any other text counts as 200).
template <class Char>
int ReportText(const Command& command, const Char* text) {
    if (text == nullptr) {
        // Never returned by the library; counted as not delivered so that an
        // `expect 200` fails on it.
        Print(command, "null text");
        return VTX_RESULT_NOT_DELIVERED;
    }
    const std::basic_string_view<Char> view(text);
    const std::string utf8 = ToUtf8(view);
    const std::string shown = Quote(utf8) + " (" + std::to_string(view.size()) + ")";
    if (const std::optional<int> code = ErrorTextCode(utf8)) {
        Print(command, CodeAndMeaning(command.verb, *code) + " (error text): " + shown);
        return *code;
    }
    Print(command, "text " + shown);
    return VTX_RESULT_OK;
}

int ReportCode(const Command& command, int result) {
    Print(command, CodeAndMeaning(command.verb, result));
    return result;
}

int AsInt(std::int64_t value) { return static_cast<int>(value); }  // the parser bounded it
unsigned int AsCapacity(std::int64_t value) { return static_cast<unsigned int>(value); }

}  // namespace

RunEnd SessionRunner::Run(const std::vector<Command>& commands) {
    for (const Command& command : commands) {
        if (command.verb == Verb::Expect) {
            if (!Check(command)) return RunEnd::ExpectFailed;
            continue;
        }
        if (settings_.requirePeer && MaySend(command) && !PeerWindowExists()) {
            WriteLine(Stream::Error, "vtxcli: " + command.origin +
                                         ": no peer window (class VantixConnect) on this desktop; start the "
                                         "companion application or vtxpeer.exe first (--require-peer)");
            return RunEnd::NoPeer;
        }
        if (settings_.timeCalls) callStart = std::chrono::steady_clock::now();
        const std::optional<int> result = Execute(command);
        callStart.reset();
        if (result) {
            lastResult_ = result;
            lastCommand_ = Echo(command);
            lastOutcome_ = CodeAndMeaning(command.verb, *result);
        }
    }
    return RunEnd::Completed;
}

bool SessionRunner::Check(const Command& expect) {
    const int expected = AsInt(expect.numbers[0]);
    if (lastResult_ == expected) {
        Print(expect, "ok");
        return true;
    }
    Print(expect, "failed: " + lastCommand_ + " gave " + lastOutcome_);
    WriteLine(Stream::Error, "vtxcli: " + expect.origin + ": expected " + std::to_string(expected) + " from " +
                                 lastCommand_ + ", got " + lastOutcome_ + "; the remaining commands were not run");
    return false;
}

std::optional<int> SessionRunner::Execute(const Command& command) {
    switch (command.verb) {
        case Verb::Init:
        case Verb::InitW: return Init(command);
        case Verb::Deinit: return ReportCode(command, exports_.deinit());
        case Verb::SendRequest:
        case Verb::SendRequestW: return SendRequest(command);
        case Verb::SendRequestParam:
        case Verb::SendRequestParamW: return SendRequestParam(command);
        case Verb::SendResponse:
        case Verb::SendResponseW: return SendResponse(command);
        case Verb::GetRequestMessage:
        case Verb::GetRequestMessageW:
        case Verb::GetJobId:
        case Verb::GetJobIdW:
        case Verb::GetErrorString:
        case Verb::GetErrorStringW: return BufferQuery(command);
        case Verb::Login:
        case Verb::LoginW: return Login(command);
        case Verb::IsWcAlive: return ReportCode(command, exports_.iswcalive());
        case Verb::SetBridgeId: return SetBridgeId(command);
        case Verb::GetBridgeId: return GetBridgeId(command);
        case Verb::Sleep:
            ::Sleep(static_cast<DWORD>(command.numbers[0]));
            Print(command, "done");
            return std::nullopt;
        case Verb::WaitCallback: return WaitCallback(command);
        case Verb::Expect: break;
    }
    return std::nullopt;
}

int SessionRunner::Init(const Command& command) {
    const int initValue = AsInt(command.numbers[0]);
    const int pollMode = AsInt(command.numbers[1]);
    const HostText& text = command.texts[0];
    if (command.verb == Verb::Init) {
        return ReportCode(command, exports_.init(initValue, text.ansi.c_str(), pollMode,
                                                 command.callback ? NarrowCallback : nullptr));
    }
    return ReportCode(
        command, exports_.initw(initValue, text.wide.c_str(), pollMode, command.callback ? WideCallback : nullptr));
}

int SessionRunner::SendRequest(const Command& command) {
    const int length = AsInt(command.numbers[0]);
    if (command.verb == Verb::SendRequest) {
        return ReportText(command, exports_.sendrequest(command.texts[0].ansi.c_str(), length));
    }
    return ReportText(command, exports_.sendrequestw(command.texts[0].wide.c_str(), length));
}

int SessionRunner::SendRequestParam(const Command& command) {
    const int length = AsInt(command.numbers[0]);
    const unsigned int capacity = AsCapacity(command.numbers[1]);
    int result = 0;
    if (command.verb == Verb::SendRequestParam) {
        CallerBuffer<char> buffer(capacity);
        result = exports_.sendrequestparam(command.texts[0].ansi.c_str(), length, buffer.Data(), buffer.Length());
        Print(command, buffer.Describe(command.verb, result));
    } else {
        CallerBuffer<wchar_t> buffer(capacity);
        result = exports_.sendrequestparamw(command.texts[0].wide.c_str(), length, buffer.Data(), buffer.Length());
        Print(command, buffer.Describe(command.verb, result));
    }
    return result;
}

int SessionRunner::SendResponse(const Command& command) {
    // The library derives the length itself; the text's own length is what
    // a host would pass.
    const HostText& text = command.texts[0];
    if (command.verb == Verb::SendResponse) {
        return ReportCode(command, exports_.sendresponse(text.ansi.c_str(), static_cast<int>(text.ansi.size())));
    }
    return ReportCode(command, exports_.sendresponsew(text.wide.c_str(), static_cast<int>(text.wide.size())));
}

int SessionRunner::BufferQuery(const Command& command) {
    const unsigned int capacity = AsCapacity(command.numbers.back());
    const int errorCode = command.numbers.size() > 1 ? AsInt(command.numbers[0]) : 0;
    int result = 0;
    if (InfoOf(command.verb).form == TextForm::Ansi) {
        CallerBuffer<char> buffer(capacity);
        switch (command.verb) {
            case Verb::GetRequestMessage: result = exports_.getrequestmessage(buffer.Data(), buffer.Length()); break;
            case Verb::GetJobId: result = exports_.getjobid(buffer.Data(), buffer.Length()); break;
            default: result = exports_.geterrorstring(errorCode, buffer.Data(), buffer.Length()); break;
        }
        Print(command, buffer.Describe(command.verb, result));
    } else {
        CallerBuffer<wchar_t> buffer(capacity);
        switch (command.verb) {
            case Verb::GetRequestMessageW: result = exports_.getrequestmessagew(buffer.Data(), buffer.Length()); break;
            case Verb::GetJobIdW: result = exports_.getjobidw(buffer.Data(), buffer.Length()); break;
            default: result = exports_.geterrorstringw(errorCode, buffer.Data(), buffer.Length()); break;
        }
        Print(command, buffer.Describe(command.verb, result));
    }
    return result;
}

int SessionRunner::Login(const Command& command) {
    if (command.verb == Verb::Login) {
        return ReportCode(command, exports_.login(command.texts[0].ansi.c_str(), command.texts[1].ansi.c_str()));
    }
    // The first argument of vtx_loginw is reserved; hosts pass 0.
    return ReportCode(command, exports_.loginw(0, command.texts[0].wide.c_str(), command.texts[1].wide.c_str()));
}

int SessionRunner::SetBridgeId(const Command& command) {
    return ReportCode(command, exports_.setbridgeid(command.texts[0].ansi.c_str()));
}

int SessionRunner::GetBridgeId(const Command& command) { return ReportText(command, exports_.getbridgeid()); }

int SessionRunner::WaitCallback(const Command& command) {
    const auto wanted = static_cast<std::size_t>(command.numbers[0]);
    const std::size_t seen = WaitForCallbacks(wanted, std::chrono::milliseconds(command.numbers[1]));
    const int result = seen >= wanted ? VTX_RESULT_OK : VTX_RESULT_TIMED_OUT;
    Print(command, CodeAndMeaning(command.verb, result) + ": " + std::to_string(seen) + " of " +
                       std::to_string(wanted) + " deliveries");
    return result;
}

}  // namespace vtx::cli
