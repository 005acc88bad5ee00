// Job and error queries: the peer's text into a caller buffer.
#include "api/buffer_answer.h"
#include "transport/message_codes.h"
#include "vtxbridge.h"

namespace vtx::api {
namespace {

template <class F>
int GetJobId(typename F::Char* buffer, unsigned int* bufferLength) {
    if (buffer == nullptr || bufferLength == nullptr) return VTX_RESULT_DOES_NOT_FIT;
    return AnswerIntoBuffer<F, code::kGetJobId>([](typename F::Envelope&) { return true; }, buffer, bufferLength);
}

// Every error text comes from the peer, also for the library's own codes.
template <class F>
int GetErrorString(int errorCode, typename F::Char* buffer, unsigned int* bufferLength) {
    if (buffer == nullptr || bufferLength == nullptr) return VTX_RESULT_DOES_NOT_FIT;
    const auto fill = [errorCode](typename F::Envelope& request) {
        request.errorCode = errorCode;
        return true;
    };
    return AnswerIntoBuffer<F, code::kGetErrorString>(fill, buffer, bufferLength);
}

}  // namespace
}  // namespace vtx::api

using namespace vtx;
using namespace vtx::api;

extern "C" {

int VTX_CALL vtx_getjobid(char* buffer, unsigned int* bufferLength) { return GetJobId<NarrowForm>(buffer, bufferLength); }

int VTX_CALL vtx_getjobidw(wchar_t* buffer, unsigned int* bufferLength) {
    return GetJobId<WideForm>(buffer, bufferLength);
}

int VTX_CALL vtx_geterrorstring(int errorCode, char* buffer, unsigned int* bufferLength) {
    return GetErrorString<NarrowForm>(errorCode, buffer, bufferLength);
}

int VTX_CALL vtx_geterrorstringw(int errorCode, wchar_t* buffer, unsigned int* bufferLength) {
    return GetErrorString<WideForm>(errorCode, buffer, bufferLength);
}

}  // extern "C"
