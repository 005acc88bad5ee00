// Message codes: the dwData of every WM_COPYDATA between the library and the
// peer. Requests are even; the peer answers with the request's code plus 1 in
// the request's form; 1009 and 2009 are the peer's own server requests.
#pragma once

#include <cstdint>

namespace vtx {

enum class Form { Narrow, Wide };

namespace code {
inline constexpr std::uint32_t kInit = 1000;
inline constexpr std::uint32_t kInitW = 2000;
inline constexpr std::uint32_t kGetJobId = 1002;
inline constexpr std::uint32_t kGetJobIdW = 2002;
inline constexpr std::uint32_t kSendRequestParam = 1004;
inline constexpr std::uint32_t kSendRequestParamW = 2004;
inline constexpr std::uint32_t kSendResponse = 1006;
inline constexpr std::uint32_t kSendResponseW = 2006;
inline constexpr std::uint32_t kPoll = 1008;
inline constexpr std::uint32_t kPollW = 2008;
inline constexpr std::uint32_t kServerRequest = 1009;
inline constexpr std::uint32_t kServerRequestW = 2009;
inline constexpr std::uint32_t kGetErrorString = 1010;
inline constexpr std::uint32_t kGetErrorStringW = 2010;
inline constexpr std::uint32_t kDeinit = 1012;
inline constexpr std::uint32_t kSendRequest = 1014;
inline constexpr std::uint32_t kSendRequestW = 2014;
inline constexpr std::uint32_t kSetBridgeId = 1016;
inline constexpr std::uint32_t kGetBridgeId = 1018;
inline constexpr std::uint32_t kIsAlive = 1020;
inline constexpr std::uint32_t kLogin = 1022;
inline constexpr std::uint32_t kLoginW = 2022;
}  // namespace code

// The code the peer answers a request with.
constexpr std::uint32_t AnswerCode(std::uint32_t requestCode) { return requestCode + 1; }

// The form a code travels in: the 1000 series is narrow, the 2000 series wide.
constexpr Form FormOfCode(std::uint32_t messageCode) {
    return messageCode >= 2000 ? Form::Wide : Form::Narrow;
}

// Answers the bridge window files: exactly the answers of requests whose
// senders wait. 1017 (set bridge ID) and the wide codes without a waiting
// sender (2013, 2017, 2019, 2021) are not among them.
constexpr bool IsAcceptedAnswer(std::uint32_t messageCode) {
    switch (messageCode) {
        case AnswerCode(code::kInit):
        case AnswerCode(code::kGetJobId):
        case AnswerCode(code::kSendRequestParam):
        case AnswerCode(code::kSendResponse):
        case AnswerCode(code::kGetErrorString):
        case AnswerCode(code::kDeinit):
        case AnswerCode(code::kSendRequest):
        case AnswerCode(code::kGetBridgeId):
        case AnswerCode(code::kIsAlive):
        case AnswerCode(code::kLogin):
        case AnswerCode(code::kInitW):
        case AnswerCode(code::kGetJobIdW):
        case AnswerCode(code::kSendRequestParamW):
        case AnswerCode(code::kSendResponseW):
        case AnswerCode(code::kGetErrorStringW):
        case AnswerCode(code::kSendRequestW):
        case AnswerCode(code::kLoginW):
            return true;
        default:
            return false;
    }
}

}  // namespace vtx
