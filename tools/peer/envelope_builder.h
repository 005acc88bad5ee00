// Builds the envelopes the peer sends: answers to requests and server
// requests. Each comes out as the exact bytes of one WM_COPYDATA, so a late
// answer can wait in a queue after the request's data is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "peer/answer_rules.h"
#include "peer/text_encoding.h"
#include "transport/message_codes.h"

namespace vtx::peer {

using MessageBytes = std::vector<unsigned char>;

// The answer to request `requestCode` whose `size` bytes are at `request`:
// an envelope of the request's form, blank but for status, payload and the
// request ID. `bridgeId` is the ANSI bridge ID last set with 1016.
MessageBytes BuildAnswer(std::uint32_t requestCode, const void* request, std::size_t size, const AnswerPlan& plan,
                         const std::string& bridgeId);

// A server request of `form` holding `text`, which fits the payload field.
MessageBytes BuildServerRequest(Form form, const EncodedText& text, std::optional<std::int32_t> length);

// The payload text of the 1016 request at `request`, as the 1018 answer
// hands it back.
std::string BridgeIdOf(const void* request, std::size_t size);

}  // namespace vtx::peer
