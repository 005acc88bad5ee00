// vtxcli's command language: the verbs, what each takes, and one parsed
// command ready to run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vtx::cli {

// clang-format off
enum class Verb {
    Init, InitW, Deinit,
    SendRequest, SendRequestW, SendRequestParam, SendRequestParamW, SendResponse, SendResponseW,
    GetRequestMessage, GetRequestMessageW, GetJobId, GetJobIdW, GetErrorString, GetErrorStringW,
    Login, LoginW, IsWcAlive, SetBridgeId, GetBridgeId,
    Sleep, WaitCallback, Expect,  // helpers: they call no export
};
// clang-format on

// The encoding of the texts an export takes and returns.
enum class TextForm { None, Ansi, Wide };

enum class ArgKind {
    Int32,         // passed to the export unchanged, negative values included
    Text,          // UTF-8 on input, converted to the verb's form
    Capacity,      // caller buffer size in characters
    Milliseconds,  // a wait
    Count,         // callback deliveries to wait for
};

inline constexpr std::size_t kMaxArgs = 3;

struct VerbInfo {
    Verb verb;
    std::string_view name;  // the command; an export's name without "vtx_"
    TextForm form;          // None for the helpers; an export's from the message table
    std::array<ArgKind, kMaxArgs> args;
    std::array<std::string_view, kMaxArgs> argNames;  // as --help and errors name them
    std::size_t required;                             // arguments that must be given
    std::size_t total;                                // arguments that may be given (the rest optional)
    bool takesCallback = false;                       // a trailing `callback` keyword is allowed
};

// Every verb, in the order --help lists them.
const std::vector<VerbInfo>& Verbs();
const VerbInfo* FindVerb(std::string_view name);
const VerbInfo& InfoOf(Verb verb);
// "vtx_<name>"; empty for the helpers.
std::string ExportName(const VerbInfo& info);
// Whether the export of `info` waits for the peer's answer, as the library's
// table of messages (transport/message_codes.h) says; false for the helpers.
bool AwaitsAnswer(const VerbInfo& info);

// Bounds the parser enforces: far beyond real use, small enough that a typo
// cannot ask for gigabytes or hang a script for days.
inline constexpr std::int64_t kMaxCapacity = 1000000;
inline constexpr std::int64_t kMaxMilliseconds = 3600000;
inline constexpr std::int64_t kMaxCount = 1000000;
inline constexpr std::size_t kMaxTextBytes = 1000000;

// A text argument in the form its verb sends; the UTF-8 original is kept
// for printing.
struct HostText {
    std::string utf8;
    std::string ansi;   // TextForm::Ansi
    std::wstring wide;  // TextForm::Wide
    // Length in the units the export receives (bytes or UTF-16 units).
    std::size_t Units(TextForm form) const { return form == TextForm::Wide ? wide.size() : ansi.size(); }
};

struct Command {
    Verb verb = Verb::Deinit;
    std::vector<std::int64_t> numbers;  // the numeric arguments, in order
    std::vector<HostText> texts;        // the text arguments, in order
    bool callback = false;              // init/initw pass vtxcli's callback
    std::string shownArguments;         // the arguments as printed, texts quoted
    std::string origin;                 // where it was written, for error messages
};

// The command as printed in front of its result.
std::string Echo(const Command& command);

// "init <initValue> <initText> <pollMode> [callback]"
std::string Synopsis(const VerbInfo& info);

}  // namespace vtx::cli
