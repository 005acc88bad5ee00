#include "peer/answer_rules.h"

#include <vector>

#include "peer/peer_forms.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx::peer {

// The peer's own list, kept apart from the library's table of messages on
// purpose; a unit test holds the two against each other.
bool AnswersByDefault(std::uint32_t requestCode) {
    switch (requestCode) {
        case code::kInit:
        case code::kInitW:
        case code::kGetJobId:
        case code::kGetJobIdW:
        case code::kSendRequestParam:
        case code::kSendRequestParamW:
        case code::kSendResponse:
        case code::kSendResponseW:
        case code::kGetErrorString:
        case code::kGetErrorStringW:
        case code::kDeinit:
        case code::kSendRequest:
        case code::kSendRequestW:
        case code::kGetBridgeId:
        case code::kIsAlive:
        case code::kLogin:
        case code::kLoginW:
            return true;
        default:
            return false;
    }
}

std::string AnswerRules::Set(const AnswerCommand& command) {
    std::vector<Form> forms;
    if (command.allCodes) {
        forms = {Form::Narrow, Form::Wide};
    } else {
        for (std::uint32_t messageCode : command.codes) forms.push_back(SeriesForm(messageCode));
    }

    Rule rule;
    rule.options = command.options;
    if (command.options.payload) {
        rule.payload.emplace();
        std::string error = EncodeForFields(*command.options.payload, "payload", kPayloadUnits, forms, &*rule.payload);
        if (!error.empty()) return error;
    }
    if (command.options.requestId) {
        rule.requestId.emplace();
        std::string error = EncodeForFields(*command.options.requestId, "id", kRequestIdUnits, forms, &*rule.requestId);
        if (!error.empty()) return error;
    }

    rule.options.payload.reset();
    rule.options.requestId.reset();
    if (command.allCodes) {
        anyCode_ = std::move(rule);
    } else {
        for (std::uint32_t messageCode : command.codes) byCode_[messageCode] = rule;
    }
    return {};
}

void AnswerRules::Clear() {
    byCode_.clear();
    anyCode_ = Rule{};
}

AnswerPlan AnswerRules::PlanFor(std::uint32_t requestCode) const {
    static const Rule kNoRule;
    const auto found = byCode_.find(requestCode);
    const Rule& own = found != byCode_.end() ? found->second : kNoRule;
    const Rule& any = anyCode_;

    AnswerPlan plan;
    // Delivery: the code's own rule decides; `*` may delay, silence or refuse
    // the codes answered by default, but it never makes a poll or an unknown
    // code answer (that needs a rule naming the code). Refusing applies to all.
    if (own.options.delivery) {
        plan.delivery = *own.options.delivery;
        plan.delay = own.options.delay;
    } else if (any.options.delivery) {
        plan.delivery = *any.options.delivery;
        plan.delay = any.options.delay;
    }
    if (!own.options.delivery && !AnswersByDefault(requestCode) && plan.delivery != Delivery::Refuse) {
        plan.delivery = Delivery::Silent;
    }

    plan.status = own.options.status.value_or(any.options.status.value_or(200));
    plan.payload = own.payload ? own.payload : any.payload;
    plan.requestId = own.requestId ? own.requestId : any.requestId;
    plan.repeat = own.options.repeat.value_or(any.options.repeat.value_or(1));
    plan.busyMs = own.options.busyMs.value_or(any.options.busyMs.value_or(0));
    plan.returnValue = own.options.returnValue.value_or(any.options.returnValue.value_or(1));
    if (plan.delivery == Delivery::Refuse) plan.returnValue = 0;
    return plan;
}

}  // namespace vtx::peer
