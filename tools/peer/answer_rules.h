// The answer rules set by `answer` commands and how they combine for one
// request: the code's own rule, then the `*` rule, then the defaults.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "peer/peer_script.h"
#include "peer/text_encoding.h"

namespace vtx::peer {

// What the peer does with one request, every option decided.
struct AnswerPlan {
    Delivery delivery = Delivery::Inline;
    DelayRange delay;
    std::int32_t status = 200;
    std::optional<EncodedText> payload;  // unset: the code's default payload
    std::int32_t returnValue = 1;        // 0 when refused
    std::uint32_t repeat = 1;
    std::optional<EncodedText> requestId;  // unset: the request's own ID
    std::uint32_t busyMs = 0;
};

// Request codes the peer answers without being told to; everything else
// (polls, 1016, unknown codes) stays unanswered unless its own rule says so.
bool AnswersByDefault(std::uint32_t code);

class AnswerRules {
public:
    // Stores the command's rule for each of its codes, replacing earlier
    // ones. Returns an error, storing nothing, when a text is not UTF-8 or
    // does not fit its field in a form the rule applies to.
    std::string Set(const AnswerCommand& command);
    void Clear();
    AnswerPlan PlanFor(std::uint32_t code) const;

private:
    struct Rule {
        AnswerOptions options;  // its UTF-8 texts are dropped once encoded:
        std::optional<EncodedText> payload;  // these replace them
        std::optional<EncodedText> requestId;
    };

    std::map<std::uint32_t, Rule> byCode_;
    Rule anyCode_;
};

}  // namespace vtx::peer
