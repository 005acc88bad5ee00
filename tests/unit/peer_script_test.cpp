// The substitute peer's command language: what each command parses to, what
// is refused and why, and how the rules of several commands combine.
#include "peer/peer_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "peer/answer_rules.h"
#include "transport/message_codes.h"

namespace vtx::peer {
namespace {

// Parses `text`, which must hold exactly one command of type T.
template <class T>
T ParseOne(const std::string& text) {
    const ParseResult result = ParseCommands(text);
    EXPECT_TRUE(result.Ok()) << text << ": " << result.error;
    EXPECT_EQ(result.commands.size(), 1u) << text;
    if (result.commands.size() != 1 || !std::holds_alternative<T>(result.commands[0])) {
        ADD_FAILURE() << text << " did not parse to the expected command";
        return T{};
    }
    return std::get<T>(result.commands[0]);
}

TEST(PeerScript, AnswerCodes) {
    EXPECT_EQ(ParseOne<AnswerCommand>("answer 1014").codes, std::vector<std::uint32_t>{1014});
    EXPECT_EQ(ParseOne<AnswerCommand>("answer 0x3F6").codes, std::vector<std::uint32_t>{1014});
    EXPECT_EQ(ParseOne<AnswerCommand>("answer 1014,2014,1002").codes, (std::vector<std::uint32_t>{1014, 2014, 1002}));
    EXPECT_EQ(ParseOne<AnswerCommand>("answer 4294967295").codes, std::vector<std::uint32_t>{4294967295u});

    const auto all = ParseOne<AnswerCommand>("answer *");
    EXPECT_TRUE(all.allCodes);
    EXPECT_TRUE(all.codes.empty());
    EXPECT_FALSE(ParseOne<AnswerCommand>("answer 1014").allCodes);
}

TEST(PeerScript, AnswerOptionsLeftOutStayUnset) {
    const auto options = ParseOne<AnswerCommand>("answer 1014").options;
    EXPECT_FALSE(options.status);
    EXPECT_FALSE(options.payload);
    EXPECT_FALSE(options.delivery);
    EXPECT_FALSE(options.returnValue);
    EXPECT_FALSE(options.repeat);
    EXPECT_FALSE(options.requestId);
}

TEST(PeerScript, EveryAnswerOption) {
    const auto options =
        ParseOne<AnswerCommand>("answer 1014 status=-7 payload=hi return=7 repeat=3 id=req-9 late=250 busy=40")
            .options;
    EXPECT_EQ(options.status, -7);
    EXPECT_EQ(options.payload, "hi");
    EXPECT_EQ(options.returnValue, 7);
    EXPECT_EQ(options.repeat, 3u);
    EXPECT_EQ(options.requestId, "req-9");
    EXPECT_EQ(options.busyMs, 40u);
    EXPECT_EQ(options.delivery, Delivery::Late);
    EXPECT_EQ(options.delay.minMs, 250u);
    EXPECT_EQ(options.delay.maxMs, 250u);

    const auto range = ParseOne<AnswerCommand>("answer * late=100-300").options;
    EXPECT_EQ(range.delay.minMs, 100u);
    EXPECT_EQ(range.delay.maxMs, 300u);

    EXPECT_EQ(ParseOne<AnswerCommand>("answer * inline").options.delivery, Delivery::Inline);
    EXPECT_EQ(ParseOne<AnswerCommand>("answer * silent").options.delivery, Delivery::Silent);
    EXPECT_EQ(ParseOne<AnswerCommand>("answer * refuse").options.delivery, Delivery::Refuse);
    EXPECT_EQ(ParseOne<AnswerCommand>("answer * status=-2147483648").options.status, INT32_MIN);
    EXPECT_EQ(ParseOne<AnswerCommand>("answer * status=2147483647").options.status, INT32_MAX);
}

TEST(PeerScript, Texts) {
    struct Case {
        const char* command;
        const char* payload;
    };
    const Case cases[] = {
        {R"(answer 1 payload=plain)", "plain"},
        {R"(answer 1 payload="two words")", "two words"},
        {R"(answer 1 payload="")", ""},
        {R"(answer 1 payload="say \"hi\"")", "say \"hi\""},
        {R"(answer 1 payload="back\\slash")", "back\\slash"},
        {R"(answer 1 payload="a\nb\r\tc")", "a\nb\r\tc"},
        {R"(answer 1 payload=a=b)", "a=b"},
        {R"(answer 1 payload=a"b c"d)", "ab cd"},
        {R"(answer 1 payload=x#y)", "x#y"},
        {R"(answer 1 payload="#not a comment")", "#not a comment"},
        {"answer 1 payload=\"gr\xC3\xBC\xC3\x9F\xC3\xA9\"", "gr\xC3\xBC\xC3\x9F\xC3\xA9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseOne<AnswerCommand>(c.command).options.payload, std::string(c.payload)) << c.command;
    }
}

TEST(PeerScript, Serve) {
    const auto narrow = ParseOne<ServeCommand>("serve narrow hello");
    EXPECT_EQ(narrow.form, Form::Narrow);
    EXPECT_EQ(narrow.text, "hello");
    EXPECT_FALSE(narrow.length);
    EXPECT_FALSE(narrow.target);

    const auto wide = ParseOne<ServeCommand>(R"(serve wide "a b=c" length=7 to=0x1A2B)");
    EXPECT_EQ(wide.form, Form::Wide);
    EXPECT_EQ(wide.text, "a b=c") << "a quoted '=' belongs to the text";
    EXPECT_EQ(wide.length, 7);
    EXPECT_EQ(wide.target, std::uintptr_t{0x1A2B});

    EXPECT_EQ(ParseOne<ServeCommand>(R"(serve wide "" length=-1)").length, -1);
    EXPECT_EQ(ParseOne<ServeCommand>("serve narrow x to=65536").target, std::uintptr_t{65536});

    const auto every = ParseOne<EveryCommand>(R"(every 50 serve wide "tick tock" length=3)");
    EXPECT_EQ(every.intervalMs, 50u);
    EXPECT_EQ(every.serve.form, Form::Wide);
    EXPECT_EQ(every.serve.text, "tick tock");
    EXPECT_EQ(every.serve.length, 3);
}

TEST(PeerScript, CommandsWithoutArguments) {
    EXPECT_EQ(ParseOne<HangCommand>("hang 6000").ms, 6000u);
    ParseOne<StopTimersCommand>("stop-timers");
    ParseOne<ResetCommand>("  reset  ");
    ParseOne<QuitCommand>("quit # and a comment");
}

TEST(PeerScript, ScriptsWithCommentsBlankLinesAndLineEnds) {
    const std::string script =
        "\xEF\xBB\xBF# a script saved with a byte order mark\r\n"
        "\r\n"
        "answer 1014 late=10   # trailing comment\r\n"
        "\t  \n"
        "serve narrow \"# quoted\"\n"
        "quit";
    const ParseResult result = ParseCommands(script);
    ASSERT_TRUE(result.Ok()) << result.error;
    ASSERT_EQ(result.commands.size(), 3u);
    EXPECT_EQ(std::get<AnswerCommand>(result.commands[0]).options.delay.minMs, 10u);
    EXPECT_EQ(std::get<ServeCommand>(result.commands[1]).text, "# quoted");
    EXPECT_TRUE(std::holds_alternative<QuitCommand>(result.commands[2]));
    EXPECT_TRUE(ParseCommands("").Ok());
    EXPECT_TRUE(ParseCommands("\n# nothing\n").commands.empty());
}

TEST(PeerScript, ErrorsNameTheProblem) {
    struct Case {
        const char* text;
        const char* error;  // a part of the message
    };
    const Case cases[] = {
        {"bogus", "unknown command 'bogus'"},
        {"\"answer\" 1014", "unknown command"},
        {"answer", "needs a code"},
        {"answer abc", "a code must be a number"},
        {"answer 1014,,2014", "a code must be a number"},
        {"answer 4294967296", "a code must be a number"},
        {"answer -1", "a code must be a number"},
        {"answer 1014 stauts=1", "unknown option 'stauts=1'"},
        {"answer 1014 loose", "unexpected 'loose'"},
        {"answer 1014 \"silent\"", "unexpected"},
        {"answer 1014 status=x", "status must be"},
        {"answer 1014 status=--5", "status must be"},
        {"answer 1014 status=2147483648", "status must be"},
        {"answer 1014 status=\"5\"", "status must be"},
        {"answer 1014 return=1.5", "return must be"},
        {"answer 1014 status=1 status=2", "status given twice"},
        {"answer 1014 silent refuse", "choose one"},
        {"answer 1014 late=5 inline", "choose one"},
        {"answer 1014 late=", "late must be"},
        {"answer 1014 late=300-100", "min <= max"},
        {"answer 1014 late=5-", "late must be"},
        {"answer 1014 late=3600001", "late must be"},
        {"answer 1014 repeat=0", "repeat must be a number from 1 to 1000"},
        {"answer 1014 repeat=1001", "repeat must be"},
        {"answer 1014 refuse return=3", "refuse always returns 0"},
        {"answer 1014 busy=3600001", "busy must be"},
        {"hang", "hang needs a time"},
        {"hang 0", "hang must be"},
        {"answer 1014 payload=\"abc", "unterminated quoted text"},
        {"answer 1014 payload=\"abc\\", "unterminated quoted text"},
        {"answer 1014 payload=\"a\\qb\"", "unknown escape \\q"},
        {"serve", "narrow or wide"},
        {"serve middle hi", "narrow or wide"},
        {"serve narrow", "needs a text"},
        {"serve narrow length=3", "needs a text"},
        {"serve narrow hello world", "unexpected 'world'"},
        {"serve narrow hi length=abc", "length must be"},
        {"serve narrow hi to=0", "window handle"},
        {"serve narrow hi to=wnd", "window handle"},
        {"serve narrow hi from=1", "unknown option 'from=1'"},
        {"serve narrow hi to=1 to=2", "to given twice"},
        {"every serve narrow x", "every needs an interval"},
        {"every 50 narrow x", "every needs an interval"},
        {"every 0 serve narrow x", "every must be a number from 1"},
        {"quit now", "quit takes no arguments"},
        {"reset all", "reset takes no arguments"},
        {"stop-timers 1", "stop-timers takes no arguments"},
    };
    for (const Case& c : cases) {
        const ParseResult result = ParseCommands(c.text);
        EXPECT_FALSE(result.Ok()) << c.text;
        EXPECT_NE(result.error.find(c.error), std::string::npos) << c.text << " gave: " << result.error;
        EXPECT_EQ(result.errorLine, 1u) << c.text;
        EXPECT_TRUE(result.commands.empty()) << c.text;
    }
}

TEST(PeerScript, AnErrorAnywhereRejectsTheWholeScript) {
    const ParseResult result = ParseCommands("answer 1014 status=201\n# fine so far\nanswer 2014 bad=1\nquit\n");
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(result.errorLine, 3u);
    EXPECT_TRUE(result.commands.empty()) << "no half-applied script";
}

// Rules as commands set them; Set's errors are those of running the command.
AnswerRules RulesFrom(const std::string& script) {
    AnswerRules rules;
    const ParseResult parsed = ParseCommands(script);
    EXPECT_TRUE(parsed.Ok()) << parsed.error;
    for (const Command& command : parsed.commands) {
        EXPECT_EQ(rules.Set(std::get<AnswerCommand>(command)), "");
    }
    return rules;
}

std::string SetError(AnswerRules& rules, const std::string& command) {
    return rules.Set(ParseOne<AnswerCommand>(command));
}

TEST(AnswerRules, DefaultsAnswerRequestsAndLeavePollsAndUnknownCodesAlone) {
    const AnswerRules rules;
    for (std::uint32_t request : {1000u, 1002u, 1004u, 1006u, 1010u, 1012u, 1014u, 1018u, 1020u, 1022u, 2000u, 2002u,
                                  2004u, 2006u, 2010u, 2014u, 2022u}) {
        const AnswerPlan plan = rules.PlanFor(request);
        EXPECT_EQ(plan.delivery, Delivery::Inline) << request;
        EXPECT_EQ(plan.status, 200) << request;
        EXPECT_EQ(plan.returnValue, 1) << request;
        EXPECT_EQ(plan.repeat, 1u) << request;
        EXPECT_FALSE(plan.payload) << request;
        EXPECT_FALSE(plan.requestId) << request;
    }
    for (std::uint32_t other : {1008u, 2008u, 1016u, 1009u, 2012u, 2018u, 4242u}) {
        EXPECT_EQ(rules.PlanFor(other).delivery, Delivery::Silent) << other;
        EXPECT_EQ(rules.PlanFor(other).returnValue, 1) << other;
    }
    // The peer's own list agrees with the library's table of messages: it
    // answers exactly the requests whose senders wait.
    for (const Message& message : kMessages) {
        const bool awaited = message.direction == Direction::ToPeer && message.answer == AnswerWait::Awaited;
        EXPECT_EQ(AnswersByDefault(message.code), awaited) << message.code;
    }
}

TEST(AnswerRules, StarRuleDelaysAndRefusesButNeverMakesPollsAnswer) {
    const AnswerRules late = RulesFrom("answer * late=100-200");
    EXPECT_EQ(late.PlanFor(1014).delivery, Delivery::Late);
    EXPECT_EQ(late.PlanFor(1014).delay.maxMs, 200u);
    EXPECT_EQ(late.PlanFor(1008).delivery, Delivery::Silent);

    const AnswerRules refused = RulesFrom("answer * refuse");
    EXPECT_EQ(refused.PlanFor(1008).delivery, Delivery::Refuse);
    EXPECT_EQ(refused.PlanFor(1008).returnValue, 0);
    EXPECT_EQ(refused.PlanFor(2014).returnValue, 0);

    const AnswerRules answeredPoll = RulesFrom("answer * late=50\nanswer 1008,1016 inline");
    EXPECT_EQ(answeredPoll.PlanFor(1008).delivery, Delivery::Inline);
    EXPECT_EQ(answeredPoll.PlanFor(1016).delivery, Delivery::Inline);
    EXPECT_EQ(answeredPoll.PlanFor(2008).delivery, Delivery::Silent);
}

TEST(AnswerRules, CodeRuleOverridesStarRuleOptionByOption) {
    const AnswerRules rules = RulesFrom("answer * status=500 payload=star return=9 late=30\nanswer 1014 status=201");
    const AnswerPlan own = rules.PlanFor(1014);
    EXPECT_EQ(own.status, 201);
    ASSERT_TRUE(own.payload);
    EXPECT_EQ(own.payload->narrow, "star");
    EXPECT_EQ(own.returnValue, 9);
    EXPECT_EQ(own.delivery, Delivery::Late);
    EXPECT_EQ(rules.PlanFor(2014).status, 500);
}

TEST(AnswerRules, LaterCommandForACodeReplacesTheEarlierOne) {
    const AnswerRules rules = RulesFrom("answer 1014 status=201 silent\nanswer 1014 repeat=2");
    EXPECT_EQ(rules.PlanFor(1014).status, 200);
    EXPECT_EQ(rules.PlanFor(1014).delivery, Delivery::Inline);
    EXPECT_EQ(rules.PlanFor(1014).repeat, 2u);
}

TEST(AnswerRules, TextsAreEncodedForEachForm) {
    const AnswerRules rules = RulesFrom("answer * payload=\"gr\xC3\xBC\xC3\x9F\" id=\"\xE2\x82\xAC-1\"");
    const AnswerPlan plan = rules.PlanFor(2014);
    ASSERT_TRUE(plan.payload && plan.requestId);
    EXPECT_EQ(plan.payload->wide, L"gr\u00FC\u00DF");
    EXPECT_EQ(plan.requestId->wide, L"\u20AC-1");
    EXPECT_EQ(plan.payload->narrow.size(), 4u) << "one ANSI unit per character in a single-byte code page";
}

TEST(AnswerRules, TextsMustFitTheirFieldsInTheFormsTheyAreUsedWith) {
    AnswerRules rules;
    const std::string longest(99999, 'p');
    EXPECT_EQ(SetError(rules, "answer * payload=" + longest), "");
    EXPECT_NE(SetError(rules, "answer * payload=" + longest + "p"), "");
    EXPECT_EQ(SetError(rules, "answer 1014 id=" + std::string(39, 'i')), "");
    EXPECT_NE(SetError(rules, "answer 1014 id=" + std::string(40, 'i')), "");

    // Limits count units of the form, not UTF-8 bytes: 99999 'é' take
    // 199998 bytes here but 99999 UTF-16 units.
    std::string accents;
    for (int i = 0; i < 99999; ++i) accents += "\xC3\xA9";
    EXPECT_EQ(SetError(rules, "answer 2014 payload=" + accents), "");
    EXPECT_NE(SetError(rules, "answer 2014 payload=" + accents + "x"), "");

    EXPECT_NE(SetError(rules, "answer 1014 payload=\"\xFF\xFE\"").find("UTF-8"), std::string::npos);
}

TEST(AnswerRules, ARefusedCommandChangesNothing) {
    AnswerRules rules = RulesFrom("answer 1014 status=201");
    EXPECT_NE(SetError(rules, "answer 1014 status=500 id=" + std::string(40, 'i')), "");
    EXPECT_EQ(rules.PlanFor(1014).status, 201);
    rules.Clear();
    EXPECT_EQ(rules.PlanFor(1014).status, 200);
}

}  // namespace
}  // namespace vtx::peer
