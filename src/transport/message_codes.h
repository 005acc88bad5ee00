// The messages between the library and the peer, listed once: the dwData of
// every WM_COPYDATA either of them sends. Each line gives the message's
// constant (code::k...), its code, the export it belongs to (its name
// without "vtx_"), its form, whether its sender waits for an answer, and
// whether it goes to the peer or comes from it.
//
// The peer answers a request its sender waits for with the request's code
// plus 1, in the request's form. Nobody waits for a poll: the peer may
// answer it, like any other moment, with a server request (1009, 2009),
// the one message it starts on its own. 1016 is answered by the peer's
// window procedure result alone.
//
// From this list come the codes, FormOfCode, which messages the bridge
// window takes (InboundOf, IsAcceptedAnswer), the export a failure log line
// names (api/failure_log.h), the frame's check that an export waits only
// for an answer listed here (api/call_frame.h), vtxcli's forms and results
// (tools/cli), and the test that holds the substitute peer's own list
// against it. Adding a message: its line here. A new export that waits for
// an answer: see the checklist in api/export_list.h.
#pragma once

#include <cstdint>

// clang-format off: one message per row reads best as a table
#define VTX_MESSAGES(X)                                                                   \
    /* constant          code  export              form    answer   direction */         \
    X(kInit,              1000, init,               Narrow, Awaited, ToPeer)              \
    X(kInitW,             2000, initw,              Wide,   Awaited, ToPeer)              \
    X(kGetJobId,          1002, getjobid,           Narrow, Awaited, ToPeer)              \
    X(kGetJobIdW,         2002, getjobidw,          Wide,   Awaited, ToPeer)              \
    X(kSendRequestParam,  1004, sendrequestparam,   Narrow, Awaited, ToPeer)              \
    X(kSendRequestParamW, 2004, sendrequestparamw,  Wide,   Awaited, ToPeer)              \
    X(kSendResponse,      1006, sendresponse,       Narrow, Awaited, ToPeer)              \
    X(kSendResponseW,     2006, sendresponsew,      Wide,   Awaited, ToPeer)              \
    X(kPoll,              1008, getrequestmessage,  Narrow, None,    ToPeer)              \
    X(kPollW,             2008, getrequestmessagew, Wide,   None,    ToPeer)              \
    X(kServerRequest,     1009, getrequestmessage,  Narrow, None,    FromPeer)            \
    X(kServerRequestW,    2009, getrequestmessagew, Wide,   None,    FromPeer)            \
    X(kGetErrorString,    1010, geterrorstring,     Narrow, Awaited, ToPeer)              \
    X(kGetErrorStringW,   2010, geterrorstringw,    Wide,   Awaited, ToPeer)              \
    X(kDeinit,            1012, deinit,             Narrow, Awaited, ToPeer)              \
    X(kSendRequest,       1014, sendrequest,        Narrow, Awaited, ToPeer)              \
    X(kSendRequestW,      2014, sendrequestw,       Wide,   Awaited, ToPeer)              \
    X(kSetBridgeId,       1016, setbridgeid,        Narrow, None,    ToPeer)              \
    X(kGetBridgeId,       1018, getbridgeid,        Narrow, Awaited, ToPeer)              \
    X(kIsAlive,           1020, iswcalive,          Narrow, Awaited, ToPeer)              \
    X(kLogin,             1022, login,              Narrow, Awaited, ToPeer)              \
    X(kLoginW,            2022, loginw,             Wide,   Awaited, ToPeer)
// clang-format on

namespace vtx {

// The two forms of every message: narrow texts in the ANSI code page, wide
// ones in UTF-16. Code that acts on a form switches on it without a
// default (transport/form_traits.h: WithForm), so a third form fails to
// compile wherever it is not handled.
enum class Form { Narrow, Wide };
// Whether the sender of a message waits for the peer's answer to it.
enum class AnswerWait { Awaited, None };
enum class Direction { ToPeer, FromPeer };

namespace code {
#define VTX_MESSAGE_CODE(constant, value, exportName, form, answer, direction) \
    inline constexpr std::uint32_t constant = value;
VTX_MESSAGES(VTX_MESSAGE_CODE)
#undef VTX_MESSAGE_CODE
}  // namespace code

struct Message {
    std::uint32_t code;
    const char* exportName;  // without "vtx_"
    Form form;
    AnswerWait answer;
    Direction direction;
};

inline constexpr Message kMessages[] = {
#define VTX_MESSAGE_ROW(constant, value, exportName, form, answer, direction) \
    {value, #exportName, Form::form, AnswerWait::answer, Direction::direction},
    VTX_MESSAGES(VTX_MESSAGE_ROW)
#undef VTX_MESSAGE_ROW
};

// The code the peer answers a request with.
constexpr std::uint32_t AnswerCode(std::uint32_t requestCode) { return requestCode + 1; }

// The listed message of this code; null for any other.
constexpr const Message* MessageOfCode(std::uint32_t messageCode) {
    for (const Message& message : kMessages) {
        if (message.code == messageCode) return &message;
    }
    return nullptr;
}

// What the bridge window takes: the message a server request is, or the
// request an answer belongs to, when its sender waits for it. Null for
// every other code: the answers of 1016 and of the codes the list lacks
// (2012, 2016, ...), polls, and whatever else arrives.
constexpr const Message* InboundOf(std::uint32_t messageCode) {
    for (const Message& message : kMessages) {
        const bool serverRequest = message.direction == Direction::FromPeer && message.code == messageCode;
        const bool awaitedAnswer = message.direction == Direction::ToPeer && message.answer == AnswerWait::Awaited &&
                                   AnswerCode(message.code) == messageCode;
        if (serverRequest || awaitedAnswer) return &message;
    }
    return nullptr;
}

// Answers the bridge window files: exactly the answers of requests whose
// senders wait.
constexpr bool IsAcceptedAnswer(std::uint32_t messageCode) {
    const Message* const request = InboundOf(messageCode);
    return request != nullptr && request->direction == Direction::ToPeer;
}

// Whether the table lists `messageCode` as a request of form `form` whose
// sender waits for the answer.
constexpr bool IsAwaitedRequest(std::uint32_t messageCode, Form form) {
    const Message* const message = MessageOfCode(messageCode);
    return message != nullptr && message->direction == Direction::ToPeer && message->answer == AnswerWait::Awaited &&
           message->form == form;
}

// The form of a listed message or of an answer the bridge window takes.
// A code the table does not know has no form of its own: it is given as
// narrow, and nothing in the library acts on it.
constexpr Form FormOfCode(std::uint32_t messageCode) {
    if (const Message* const message = MessageOfCode(messageCode)) return message->form;
    if (const Message* const request = InboundOf(messageCode)) return request->form;
    return Form::Narrow;
}

}  // namespace vtx
