#include "transport/request_id.h"

#include "common/envelope_helpers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace vtx {
namespace {

// Platform calls that fail on demand, standing in for the real ones.
HRESULT WINAPI FailingCreate(GUID*) { return E_FAIL; }
RPC_STATUS RPC_ENTRY FailingToStringA(UUID*, RPC_CSTR*) { return RPC_S_OUT_OF_MEMORY; }
RPC_STATUS RPC_ENTRY FailingToStringW(UUID*, RPC_WSTR*) { return RPC_S_OUT_OF_MEMORY; }

GuidSource WithFailingCreate() {
    GuidSource source = SystemGuidSource();
    source.create = &FailingCreate;
    return source;
}

GuidSource WithFailingConversion() {
    GuidSource source = SystemGuidSource();
    source.toStringA = &FailingToStringA;
    source.toStringW = &FailingToStringW;
    return source;
}

bool IsGuidText(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = text[i];
        if (hyphen ? c != '-' : !(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

TEST(NewRequestId, IsTheTextOfAFreshGuid) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        auto envelope = MakeBlankEnvelope<MessageEnvelope>();
        NewRequestId(*envelope, SystemGuidSource());
        const std::string id = FieldText(envelope->requestId);
        EXPECT_TRUE(IsGuidText(id)) << id;
        seen.insert(id);
        for (std::size_t j = id.size(); j < kRequestIdUnits; ++j) ASSERT_EQ(envelope->requestId[j], '\0');
    }
    EXPECT_EQ(seen.size(), 100u);

    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    NewRequestIdW(*wide, SystemGuidSource());
    const std::wstring id = FieldText(wide->requestId);
    EXPECT_TRUE(IsGuidText(std::string(id.begin(), id.end())));
}

TEST(NewRequestId, FallsBackToTheFixedTextWhenTheGuidHasNoText) {
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    NewRequestId(*envelope, WithFailingConversion());
    EXPECT_EQ(FieldText(envelope->requestId), "{12345678-1234-1234-1234-123456789abc}");

    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    NewRequestIdW(*wide, WithFailingConversion());
    EXPECT_EQ(FieldText(wide->requestId), L"{12345678-1234-1234-1234-123456789abc}");
}

TEST(NewRequestId, StaysEmptyWhenNoGuidCanBeMade) {
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    CopyToField(envelope->requestId, std::string("left over"));
    NewRequestId(*envelope, WithFailingCreate());
    for (char unit : envelope->requestId) ASSERT_EQ(unit, '\0');

    auto wide = MakeBlankEnvelope<MessageEnvelopeW>();
    NewRequestIdW(*wide, WithFailingCreate());
    EXPECT_TRUE(FieldText(wide->requestId).empty());
}

}  // namespace
}  // namespace vtx
