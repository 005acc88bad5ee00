#include "command.h"

#include "transport/message_codes.h"

namespace vtx::cli {
namespace {

using A = ArgKind;
using V = Verb;
constexpr A kInt = A::Int32;
constexpr A kText = A::Text;
constexpr A kCap = A::Capacity;
constexpr TextForm kHelper = TextForm::None;

// The form of the messages of the export `name` (without "vtx_"), from the
// library's table of messages; None for a name it does not list.
TextForm FormOfExport(std::string_view name) {
    for (const Message& message : kMessages) {
        if (name != message.exportName) continue;
        switch (message.form) {
            case Form::Narrow: return TextForm::Ansi;
            case Form::Wide: return TextForm::Wide;
        }
    }
    return TextForm::None;
}

// A verb that calls the export of its name.
VerbInfo ExportVerb(Verb verb, std::string_view name, std::array<ArgKind, kMaxArgs> args,
                    std::array<std::string_view, kMaxArgs> argNames, std::size_t required, std::size_t total,
                    bool takesCallback = false) {
    return {verb, name, FormOfExport(name), args, argNames, required, total, takesCallback};
}

}  // namespace

const std::vector<VerbInfo>& Verbs() {
    // clang-format off: one verb per row reads best as a table
    static const std::vector<VerbInfo> verbs = {
        ExportVerb(V::Init, "init", {kInt, kText, kInt}, {"initValue", "initText", "pollMode"}, 3, 3, true),
        ExportVerb(V::InitW, "initw", {kInt, kText, kInt}, {"initValue", "initText", "pollMode"}, 3, 3, true),
        ExportVerb(V::Deinit, "deinit", {}, {}, 0, 0),
        ExportVerb(V::SendRequest, "sendrequest", {kText, kInt}, {"text", "length"}, 1, 2),
        ExportVerb(V::SendRequestW, "sendrequestw", {kText, kInt}, {"text", "length"}, 1, 2),
        ExportVerb(V::SendRequestParam, "sendrequestparam", {kText, kInt, kCap}, {"text", "length", "capacity"}, 3, 3),
        ExportVerb(V::SendRequestParamW, "sendrequestparamw", {kText, kInt, kCap}, {"text", "length", "capacity"}, 3, 3),
        ExportVerb(V::SendResponse, "sendresponse", {kText}, {"text"}, 1, 1),
        ExportVerb(V::SendResponseW, "sendresponsew", {kText}, {"text"}, 1, 1),
        ExportVerb(V::GetRequestMessage, "getrequestmessage", {kCap}, {"capacity"}, 1, 1),
        ExportVerb(V::GetRequestMessageW, "getrequestmessagew", {kCap}, {"capacity"}, 1, 1),
        ExportVerb(V::GetJobId, "getjobid", {kCap}, {"capacity"}, 1, 1),
        ExportVerb(V::GetJobIdW, "getjobidw", {kCap}, {"capacity"}, 1, 1),
        ExportVerb(V::GetErrorString, "geterrorstring", {kInt, kCap}, {"code", "capacity"}, 2, 2),
        ExportVerb(V::GetErrorStringW, "geterrorstringw", {kInt, kCap}, {"code", "capacity"}, 2, 2),
        ExportVerb(V::Login, "login", {kText, kText}, {"text1", "text2"}, 2, 2),
        ExportVerb(V::LoginW, "loginw", {kText, kText}, {"text1", "text2"}, 2, 2),
        ExportVerb(V::IsWcAlive, "iswcalive", {}, {}, 0, 0),
        ExportVerb(V::SetBridgeId, "setbridgeid", {kText}, {"id"}, 1, 1),
        ExportVerb(V::GetBridgeId, "getbridgeid", {}, {}, 0, 0),
        {V::Sleep, "sleep", kHelper, {A::Milliseconds}, {"ms"}, 1, 1},
        {V::WaitCallback, "wait-callback", kHelper, {A::Count, A::Milliseconds}, {"count", "timeout-ms"}, 2, 2},
        {V::Expect, "expect", kHelper, {kInt}, {"result"}, 1, 1},
    };
    // clang-format on
    return verbs;
}

const VerbInfo* FindVerb(std::string_view name) {
    for (const VerbInfo& info : Verbs()) {
        if (info.name == name) return &info;
    }
    return nullptr;
}

const VerbInfo& InfoOf(Verb verb) {
    for (const VerbInfo& info : Verbs()) {
        if (info.verb == verb) return info;
    }
    return Verbs().front();  // unreachable: every verb is in the table
}

std::string ExportName(const VerbInfo& info) {
    return info.form == TextForm::None ? std::string() : "vtx_" + std::string(info.name);
}

bool AwaitsAnswer(const VerbInfo& info) {
    if (info.form == TextForm::None) return false;
    for (const Message& message : kMessages) {
        if (info.name == message.exportName && message.direction == Direction::ToPeer &&
            message.answer == AnswerWait::Awaited) {
            return true;
        }
    }
    return false;
}

std::string Echo(const Command& command) {
    std::string echo(InfoOf(command.verb).name);
    if (!command.shownArguments.empty()) echo += " " + command.shownArguments;
    if (command.callback) echo += " callback";
    return echo;
}

}  // namespace vtx::cli

namespace vtx::cli {

std::string Synopsis(const VerbInfo& info) {
    std::string synopsis(info.name);
    for (std::size_t i = 0; i < info.total; ++i) {
        const std::string name = "<" + std::string(info.argNames[i]) + ">";
        synopsis += " " + (i < info.required ? name : "[" + name + "]");
    }
    if (info.takesCallback) synopsis += " [callback]";
    return synopsis;
}

}  // namespace vtx::cli
