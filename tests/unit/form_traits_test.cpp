// The forms' texts: the error text, and the conversions between what the
// peer sends, what the queue keeps and what a host receives.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "transport/decode.h"
#include "transport/form_traits.h"
#include "transport/server_request_queue.h"
#include "vtxbridge.h"

namespace vtx {
namespace {

void MakeErrorText(int code, std::string& out) {
    char text[VTX_ERROR_TEXT_CAPACITY];
    out.assign(text, NarrowForm::ErrorText(code, text, VTX_ERROR_TEXT_CAPACITY));
}
void MakeErrorTextW(int code, std::wstring& out) {
    wchar_t text[VTX_ERROR_TEXT_CAPACITY];
    out.assign(text, WideForm::ErrorText(code, text, VTX_ERROR_TEXT_CAPACITY));
}

// A narrow server request's text as the queue keeps it.
std::optional<std::wstring> AnsiToWide(const std::string& text) {
    const ReceivedText received{reinterpret_cast<const unsigned char*>(text.data()), text.size()};
    const char* refusal = nullptr;
    const Owned<QueuedText> queued = NarrowForm::ToQueued(received, &refusal);
    if (!queued) return std::nullopt;
    return std::wstring(queued->Units(), queued->Length());
}

// A queued text as a narrow host receives it.
std::string WideToAnsi(const wchar_t* text, std::size_t length) {
    const Owned<QueuedText> queued = QueuedText::Make(length);
    std::copy(text, text + length, queued->Units());
    std::string ansi(NarrowForm::QueuedLength(*queued), '\0');
    NarrowForm::WriteQueued(*queued, ansi.data(), ansi.size());
    return ansi;
}

TEST(TextErrorText, ExactTextAndLengthInBothForms) {
    const struct {
        int code;
        const char* text;
        std::size_t length;
    } cases[] = {
        {6, R"({"eventId":9999, "jobId":"", "code":6})", 38},
        {8, R"({"eventId":9999, "jobId":"", "code":8})", 38},
        {14, R"({"eventId":9999, "jobId":"", "code":14})", 39},
    };
    for (const auto& c : cases) {
        std::string narrow;
        std::wstring wide;
        MakeErrorText(c.code, narrow);
        MakeErrorTextW(c.code, wide);
        EXPECT_EQ(narrow, c.text) << c.code;
        EXPECT_EQ(narrow.size(), c.length) << c.code;
        EXPECT_EQ(wide, std::wstring(narrow.begin(), narrow.end())) << c.code;
        EXPECT_EQ(wide.size(), c.length) << c.code;
    }
}

// The header's helpers read exactly the text the library makes, and nothing
// that merely resembles it.
TEST(TextErrorText, HeaderHelpersTellErrorTextsAndTheirCodes) {
    for (const int code : {6, 7, 8, 14, 200, 123456789}) {
        std::string narrow;
        std::wstring wide;
        MakeErrorText(code, narrow);
        MakeErrorTextW(code, wide);
        int narrowCode = -1;
        int wideCode = -1;
        EXPECT_EQ(vtx_errortextcode(narrow.c_str(), &narrowCode), 1) << narrow;
        EXPECT_EQ(vtx_errortextcodew(wide.c_str(), &wideCode), 1) << code;
        EXPECT_EQ(narrowCode, code);
        EXPECT_EQ(wideCode, code);
        EXPECT_LE(narrow.size() + 1, static_cast<std::size_t>(VTX_ERROR_TEXT_CAPACITY));
    }
    const char* const others[] = {
        R"({"eventId":9999, "jobId":"", "code":})",          // no digits
        R"({"eventId":9999, "jobId":"", "code":8} )",        // trailing text
        R"({"eventId":9999, "jobId":"", "code":8)",          // unclosed
        R"({"eventId":9999, "jobId":"", "code":-8})",        // sign
        R"({"eventId":9999, "jobId":"", "code":99999999999})",  // beyond int
        R"({"eventId":9999,"jobId":"", "code":8})",          // spacing differs
        R"({"eventId":9999, "jobId":"")",                    // cut short
        "", "JOB-0001",
    };
    for (const char* text : others) {
        int code = -1;
        EXPECT_EQ(vtx_errortextcode(text, &code), 0) << text;
        EXPECT_EQ(code, -1) << text;
        const std::wstring wide(text, text + std::char_traits<char>::length(text));
        EXPECT_EQ(vtx_errortextcodew(wide.c_str(), nullptr), 0) << text;
    }
    EXPECT_EQ(vtx_errortextcode(nullptr, nullptr), 0);
    EXPECT_EQ(vtx_errortextcodew(nullptr, nullptr), 0);

    // Every code of the library has words of its own; anything else is the peer's.
    const std::string peers = vtx_resultdescription(201);
    for (const int code : {200, 5, 6, 7, 8, 9, 14, 16}) EXPECT_NE(vtx_resultdescription(code), peers) << code;
}

TEST(TextErrorText, ATooSmallBufferGetsNothing) {
    char text[VTX_ERROR_TEXT_CAPACITY];
    std::fill(std::begin(text), std::end(text), 'x');
    EXPECT_EQ(NarrowForm::ErrorText(14, text, 39), 0u) << "39 characters need 40 units";
    EXPECT_EQ(text[0], 'x');
    EXPECT_EQ(NarrowForm::ErrorText(14, text, 40), 39u);
    EXPECT_EQ(text[39], '\0');
}

TEST(TextAnsi, RoundTrips) {
    const char* const texts[] = {"", "a", "chart 42", "line\r\nbreak", "{\"jobId\":\"\"}"};
    for (const char* text : texts) {
        const std::optional<std::wstring> wide = AnsiToWide(text);
        ASSERT_TRUE(wide.has_value()) << text;
        const std::string ascii(text);
        EXPECT_EQ(*wide, std::wstring(ascii.begin(), ascii.end())) << text;
        EXPECT_EQ(WideToAnsi(wide->c_str(), wide->size()), ascii) << text;
    }
}

TEST(TextAnsi, EmptyInputs) {
    EXPECT_EQ(AnsiToWide(""), std::optional<std::wstring>(std::wstring())) << "empty is a result, not a failure";
    EXPECT_EQ(WideToAnsi(L"", 0), "");
    EXPECT_EQ(WideToAnsi(L"abc", 0), "") << "the length, not the terminator, bounds the input";
}

TEST(TextAnsi, LengthBoundsTheWideInput) {
    const wchar_t text[] = {L'a', L'b', L'\0', L'c'};
    EXPECT_EQ(WideToAnsi(text, 2), "ab");
    EXPECT_EQ(WideToAnsi(text, 4), std::string("ab\0c", 4)) << "an embedded NUL is converted, not a stop";
}

TEST(TextAnsi, MissingCharacterBecomesTheDefaultCharacter) {
    const UINT codePage = ::GetACP();
    if (codePage == CP_UTF8) GTEST_SKIP() << "every character exists in UTF-8";
    CPINFO info = {};
    ASSERT_TRUE(::GetCPInfo(CP_ACP, &info));
    const std::string defaultChar(reinterpret_cast<const char*>(info.DefaultChar));
    // A Malayalam letter: in none of the ANSI code pages.
    const std::wstring text = L"a\x0D05z";
    EXPECT_EQ(WideToAnsi(text.c_str(), text.size()), "a" + defaultChar + "z");
    if (codePage == 1252) {
        EXPECT_EQ(defaultChar, "?");
    }
}

TEST(TextAnsi, HangulTakesTwoBytesPerSyllableInCodePage949) {
    if (::GetACP() != 949) GTEST_SKIP() << "needs the Korean code page (run with LC_ALL=ko_KR.UTF-8)";
    const std::wstring hangul = L"\xD55C\xAD6D\xC5B4";  // three syllables
    const std::string ansi = WideToAnsi(hangul.c_str(), hangul.size());
    EXPECT_EQ(ansi, "\xC7\xD1\xB1\xB9\xBE\xEE");
    EXPECT_EQ(AnsiToWide(ansi), std::optional<std::wstring>(hangul));
    const std::string mixed = WideToAnsi(L"A\xD55C" L"B", 3);
    EXPECT_EQ(mixed.size(), 4u);
}

}  // namespace
}  // namespace vtx
