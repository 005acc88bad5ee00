#include "peer/message_description.h"

#include <cstdio>

#include "common/text_conversion.h"
#include "peer/received_fields.h"
#include "transport/message_codes.h"

namespace vtx::peer {
namespace {

std::string ToUtf8(const std::string& ansi) { return common::AnsiToUtf8(ansi); }
std::string ToUtf8(const std::wstring& wide) { return common::WideToUtf8(wide); }

template <class FormTraits>
std::string Describe(const ReceivedFields<FormTraits>& fields) {
    std::string text;
    const auto addInt = [&](const char* name, std::int32_t value, std::int32_t blank) {
        if (value != blank) text += std::string(name) + "=" + std::to_string(value) + " ";
    };
    const auto addText = [&](const char* name, const typename FormTraits::String& value) {
        if (!value.empty()) text += std::string(name) + "=" + QuoteForDisplay(ToUtf8(value)) + " ";
    };
    addInt("status", fields.Status(), 0);
    addInt("length", fields.Length(), 0);
    addInt("errorCode", fields.ErrorCode(), 0);
    addText("id", fields.RequestId());
    addText("login1", fields.LoginText1());
    addText("login2", fields.LoginText2());
    addInt("initValue", fields.InitValue(), 0);
    addText("initText", fields.InitText());
    addInt("pollMode", fields.PollMode(), -1);

    const auto payload = fields.Payload();
    if (payload.empty()) {
        text += "payload=\"\"";
    } else {
        const bool shortened = payload.size() > kShownPayloadUnits;
        std::string shown = QuoteForDisplay(ToUtf8(payload.substr(0, kShownPayloadUnits)));
        if (shortened) shown += "...";
        text += "payload=" + shown + " (" + std::to_string(payload.size()) + " units)";
    }
    if (!fields.IsComplete()) text += " [short message: fields past the end read as blank]";
    return text;
}

}  // namespace

std::string DescribeEnvelope(std::uint32_t messageCode, const void* data, std::size_t size) {
    const bool narrowCode = messageCode >= 1000 && messageCode < 2000;
    const bool wideCode = messageCode >= 2000 && messageCode < 3000;
    if (wideCode || (!narrowCode && size == sizeof(MessageEnvelopeW))) {
        return Describe(ReceivedFields<WideForm>(data, size));
    }
    if (narrowCode || size == sizeof(MessageEnvelope)) {
        return Describe(ReceivedFields<NarrowForm>(data, size));
    }
    return "(" + std::to_string(size) + " bytes, not an envelope)";
}

std::string HandleText(HWND window) {
    char text[2 + 2 * sizeof(void*) + 1];
    std::snprintf(text, sizeof(text), "0x%0*llX", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    return text;
}

std::string QuoteForDisplay(const std::string& utf8) {
    std::string quoted = "\"";
    for (const char c : utf8) {
        const auto unit = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '\t') {
            quoted += "\\t";
        } else if (unit < 0x20 || unit == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", unit);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace vtx::peer
