#include "transport/envelope.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/envelope_helpers.h"
#include "transport/message_codes.h"

namespace vtx {
namespace {

TEST(Envelope, CopyToFieldRefusesWhatDoesNotFit) {
    auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    std::memset(envelope->initText, 'x', sizeof(envelope->initText));
    EXPECT_FALSE(CopyToField(envelope->initText, std::string(16, 'a')));
    EXPECT_EQ(envelope->initText[0], 'x') << "a refused copy leaves the field untouched";
    EXPECT_TRUE(CopyToField(envelope->initText, std::string(15, 'a')));
    EXPECT_EQ(envelope->initText[15], '\0');
    EXPECT_EQ(envelope->pollMode, -1) << "the next field is untouched";

    const std::string longest(99999, 'p');
    ASSERT_TRUE(CopyToField(envelope->payload, longest));
    EXPECT_EQ(envelope->payload[99999], '\0') << "the terminator is the last byte of the payload";
    EXPECT_FALSE(CopyToField(envelope->payload, std::string(100000, 'p')));
}

TEST(MessageCodes, AnswersAndForms) {
    EXPECT_EQ(AnswerCode(code::kSendRequest), 1015u);
    EXPECT_EQ(FormOfCode(code::kSendRequestW), Form::Wide);
    EXPECT_EQ(FormOfCode(code::kDeinit), Form::Narrow);
    const std::uint32_t accepted[] = {1001, 1003, 1005, 1007, 1011, 1013, 1015, 1019, 1021, 1023,
                                      2001, 2003, 2005, 2007, 2011, 2015, 2023};
    for (std::uint32_t c : accepted) EXPECT_TRUE(IsAcceptedAnswer(c)) << c;
    const std::uint32_t refused[] = {1017, 2013, 2017, 2019, 2021, 1008, 2008, 1009, 2009, 1014, 0, 3001};
    for (std::uint32_t c : refused) EXPECT_FALSE(IsAcceptedAnswer(c)) << c;
}

}  // namespace
}  // namespace vtx
