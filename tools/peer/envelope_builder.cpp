#include "peer/envelope_builder.h"

#include <algorithm>
#include <cstring>

#include "peer/received_fields.h"
#include "common/envelope_helpers.h"
#include "transport/envelope.h"
#include "peer/peer_forms.h"

namespace vtx::peer {
namespace {

template <class Envelope>
MessageBytes ToBytes(const Envelope& envelope) {
    MessageBytes bytes(sizeof(Envelope));
    std::memcpy(bytes.data(), &envelope, sizeof(Envelope));
    return bytes;
}

template <class FormTraits>
typename FormTraits::String TextOfForm(const EncodedText& text) {
    if constexpr (FormTraits::kForm == Form::Wide) {
        return text.wide;
    } else {
        return text.narrow;
    }
}

template <class FormTraits>
typename FormTraits::String Ascii(const std::string& text) {
    return typename FormTraits::String(text.begin(), text.end());
}

template <class FormTraits>
typename FormTraits::String DefaultPayload(std::uint32_t requestCode, const ReceivedFields<FormTraits>& request,
                                           const std::string& bridgeId) {
    switch (requestCode) {
        case FormTraits::Code(code::kGetJobId):
            return Ascii<FormTraits>("JOB-0001");
        case FormTraits::Code(code::kSendRequestParam):
        case FormTraits::Code(code::kSendRequest):
            return request.Payload();
        case FormTraits::Code(code::kGetErrorString):
            return Ascii<FormTraits>("error " + std::to_string(request.ErrorCode()));
        case FormTraits::Code(code::kGetBridgeId):
            if constexpr (FormTraits::kForm == Form::Narrow) return bridgeId;
            return {};
        default:
            return {};
    }
}

// Copies a received text into a field of the answer. A text that filled its
// field without a terminator is passed on as it came (the request ID must
// come back unchanged); a payload that long is cut by one unit to make room
// for the terminator the answer promises.
template <class Char, std::size_t N>
void CopyClipped(Char (&field)[N], const std::basic_string<Char>& text, bool mayFillField) {
    const std::size_t length = std::min(text.size(), mayFillField ? N : N - 1);
    std::char_traits<Char>::copy(field, text.data(), length);
}

template <class FormTraits>
MessageBytes Answer(std::uint32_t requestCode, const void* request, std::size_t size, const AnswerPlan& plan,
                    const std::string& bridgeId) {
    const ReceivedFields<FormTraits> fields(request, size);
    auto answer = MakeBlankEnvelope<typename FormTraits::Envelope>();
    answer->status = plan.status;
    if (plan.payload) {
        CopyToField(answer->payload, TextOfForm<FormTraits>(*plan.payload));
    } else {
        CopyClipped(answer->payload, DefaultPayload(requestCode, fields, bridgeId), false);
    }
    if (plan.requestId) {
        CopyToField(answer->requestId, TextOfForm<FormTraits>(*plan.requestId));
    } else {
        CopyClipped(answer->requestId, fields.RequestId(), true);
    }
    // Answering a wide poll makes a wide server request, whose length must
    // cover its text and terminator.
    if (AnswerCode(requestCode) == code::kServerRequestW) {
        answer->length = static_cast<std::int32_t>(BoundedLength(answer->payload, kPayloadUnits) + 1);
    }
    return ToBytes(*answer);
}

template <class FormTraits>
MessageBytes ServerRequest(const EncodedText& text, std::optional<std::int32_t> length) {
    auto request = MakeBlankEnvelope<typename FormTraits::Envelope>();
    const auto payload = TextOfForm<FormTraits>(text);
    CopyToField(request->payload, payload);
    // The wide form announces the size of its text's buffer, terminator
    // included; the narrow form carries no length.
    const std::int32_t defaultLength =
        FormTraits::kForm == Form::Wide ? static_cast<std::int32_t>(payload.size() + 1) : 0;
    request->length = length.value_or(defaultLength);
    return ToBytes(*request);
}

}  // namespace

MessageBytes BuildAnswer(std::uint32_t requestCode, const void* request, std::size_t size, const AnswerPlan& plan,
                         const std::string& bridgeId) {
    return WithPeerForm(SeriesForm(requestCode), [&](auto form) {
        return Answer<decltype(form)>(requestCode, request, size, plan, bridgeId);
    });
}

MessageBytes BuildServerRequest(Form form, const EncodedText& text, std::optional<std::int32_t> length) {
    return WithPeerForm(form, [&](auto traits) { return ServerRequest<decltype(traits)>(text, length); });
}

std::string BridgeIdOf(const void* request, std::size_t size) {
    return ReceivedFields<NarrowForm>(request, size).Payload();
}

}  // namespace vtx::peer
