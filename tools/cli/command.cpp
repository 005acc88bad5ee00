#include "command.h"

namespace vtx::cli {
namespace {

using A = ArgKind;
using V = Verb;
constexpr A kInt = A::Int32;
constexpr A kText = A::Text;
constexpr A kCap = A::Capacity;
constexpr TextForm kAnsi = TextForm::Ansi;
constexpr TextForm kWide = TextForm::Wide;
constexpr TextForm kHelper = TextForm::None;

}  // namespace

const std::vector<VerbInfo>& Verbs() {
    // clang-format off: one verb per row reads best as a table
    static const std::vector<VerbInfo> verbs = {
        {V::Init, "init", kAnsi, {kInt, kText, kInt}, {"initValue", "initText", "pollMode"}, 3, 3, true},
        {V::InitW, "initw", kWide, {kInt, kText, kInt}, {"initValue", "initText", "pollMode"}, 3, 3, true},
        {V::Deinit, "deinit", kAnsi, {}, {}, 0, 0},
        {V::SendRequest, "sendrequest", kAnsi, {kText, kInt}, {"text", "length"}, 1, 2},
        {V::SendRequestW, "sendrequestw", kWide, {kText, kInt}, {"text", "length"}, 1, 2},
        {V::SendRequestParam, "sendrequestparam", kAnsi, {kText, kInt, kCap}, {"text", "length", "capacity"}, 3, 3},
        {V::SendRequestParamW, "sendrequestparamw", kWide, {kText, kInt, kCap}, {"text", "length", "capacity"}, 3, 3},
        {V::SendResponse, "sendresponse", kAnsi, {kText}, {"text"}, 1, 1},
        {V::SendResponseW, "sendresponsew", kWide, {kText}, {"text"}, 1, 1},
        {V::GetRequestMessage, "getrequestmessage", kAnsi, {kCap}, {"capacity"}, 1, 1},
        {V::GetRequestMessageW, "getrequestmessagew", kWide, {kCap}, {"capacity"}, 1, 1},
        {V::GetJobId, "getjobid", kAnsi, {kCap}, {"capacity"}, 1, 1},
        {V::GetJobIdW, "getjobidw", kWide, {kCap}, {"capacity"}, 1, 1},
        {V::GetErrorString, "geterrorstring", kAnsi, {kInt, kCap}, {"code", "capacity"}, 2, 2},
        {V::GetErrorStringW, "geterrorstringw", kWide, {kInt, kCap}, {"code", "capacity"}, 2, 2},
        {V::Login, "login", kAnsi, {kText, kText}, {"text1", "text2"}, 2, 2},
        {V::LoginW, "loginw", kWide, {kText, kText}, {"text1", "text2"}, 2, 2},
        {V::IsWcAlive, "iswcalive", kAnsi, {}, {}, 0, 0},
        {V::SetBridgeId, "setbridgeid", kAnsi, {kText}, {"id"}, 1, 1},
        {V::GetBridgeId, "getbridgeid", kAnsi, {}, {}, 0, 0},
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
