// Shared ground of the export tests: vtxbridge.dll loaded as a host loads it,
// vtxpeer.exe in a process of its own recording every message it receives,
// and the checks that compare those messages byte for byte.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/bridge_library.h"
#include "support/callback_log.h"
#include "support/message_box_watcher.h"
#include "support/peer_process.h"
#include "support/test_files.h"
#include "support/unique_handle.h"
#include "common/envelope_helpers.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"
#include "transport/window_names.h"
#include "vtxbridge.h"

namespace vtx::test {

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

// Long enough for anything that is not a time-out to have happened.
inline constexpr auto kPatience = 5s;
// How long "nothing more happens" is watched; the worker polls every 100 ms.
inline constexpr auto kQuietPeriod = 400ms;

inline constexpr int kOk = VTX_RESULT_OK;
inline constexpr int kNoCallback = VTX_RESULT_NO_CALLBACK;
inline constexpr int kNotDelivered = VTX_RESULT_NOT_DELIVERED;
inline constexpr int kDoesNotFit = VTX_RESULT_DOES_NOT_FIT;
inline constexpr int kNotOpen = VTX_RESULT_NOT_OPEN;
inline constexpr int kAlreadyOpen = VTX_RESULT_ALREADY_OPEN;
inline constexpr int kTimedOut = VTX_RESULT_TIMED_OUT;
inline constexpr int kNothingQueued = VTX_RESULT_NOTHING_QUEUED;

// ---------------------------------------------------------------------------
// Texts

inline std::string ErrorText(int code) {
    return "{\"eventId\":9999, \"jobId\":\"\", \"code\":" + std::to_string(code) + "}";
}

inline std::wstring ErrorTextW(int code) {
    const std::string text = ErrorText(code);
    return std::wstring(text.begin(), text.end());
}

inline std::string Convert(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(std::max(bytes, 0)), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), size, converted.data(), bytes, nullptr, nullptr);
    return converted;
}

// The host's narrow form of a text: the ANSI code page of the process.
inline std::string ToAnsi(std::wstring_view text) { return Convert(CP_ACP, text); }
// Peer commands are UTF-8.
inline std::string ToUtf8(std::wstring_view text) { return Convert(CP_UTF8, text); }

// A text as a quoted word of the peer's command language.
inline std::string PeerWord(std::wstring_view text) {
    std::string quoted = "\"";
    for (const char c : ToUtf8(text)) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// `answer <code> <options>` for one code.
inline std::string AnswerRule(std::uint32_t messageCode, const std::string& options) {
    return "answer " + std::to_string(messageCode) + " " + options;
}

// ---------------------------------------------------------------------------
// The two forms of the exports, so one test body covers both.

struct NarrowApi {
    using Char = char;
    using String = std::string;
    using Envelope = MessageEnvelope;
    static constexpr std::uint32_t Code(std::uint32_t narrowCode) { return narrowCode; }
    static String Text(std::wstring_view text) { return ToAnsi(text); }
    static String Error(int code) { return ErrorText(code); }
    static ServerRequestCallback Callback() { return &RecordNarrowCallback; }

    static int Init(const BridgeLibrary& l, int value, const Char* text, int pollMode, ServerRequestCallback cb) {
        return l.init(value, text, pollMode, cb);
    }
    static const Char* SendRequest(const BridgeLibrary& l, const Char* text, int length) {
        return l.sendrequest(text, length);
    }
    static int SendRequestParam(const BridgeLibrary& l, const Char* text, int length, Char* buffer,
                                unsigned int* bufferLength) {
        return l.sendrequestparam(text, length, buffer, bufferLength);
    }
    static int SendResponse(const BridgeLibrary& l, const Char* text, int length) {
        return l.sendresponse(text, length);
    }
    static int GetRequestMessage(const BridgeLibrary& l, Char* buffer, unsigned int* bufferLength) {
        return l.getrequestmessage(buffer, bufferLength);
    }
    static int GetJobId(const BridgeLibrary& l, Char* buffer, unsigned int* bufferLength) {
        return l.getjobid(buffer, bufferLength);
    }
    static int GetErrorString(const BridgeLibrary& l, int errorCode, Char* buffer, unsigned int* bufferLength) {
        return l.geterrorstring(errorCode, buffer, bufferLength);
    }
    static int Login(const BridgeLibrary& l, const Char* text1, const Char* text2) { return l.login(text1, text2); }
};

struct WideApi {
    using Char = wchar_t;
    using String = std::wstring;
    using Envelope = MessageEnvelopeW;
    static constexpr std::uint32_t Code(std::uint32_t narrowCode) { return narrowCode + 1000; }
    static String Text(std::wstring_view text) { return String(text); }
    static String Error(int code) { return ErrorTextW(code); }
    static ServerRequestCallback Callback() { return &RecordWideCallback; }

    static int Init(const BridgeLibrary& l, int value, const Char* text, int pollMode, ServerRequestCallback cb) {
        return l.initw(value, text, pollMode, cb);
    }
    static const Char* SendRequest(const BridgeLibrary& l, const Char* text, int length) {
        return l.sendrequestw(text, length);
    }
    static int SendRequestParam(const BridgeLibrary& l, const Char* text, int length, Char* buffer,
                                unsigned int* bufferLength) {
        return l.sendrequestparamw(text, length, buffer, bufferLength);
    }
    static int SendResponse(const BridgeLibrary& l, const Char* text, int length) {
        return l.sendresponsew(text, length);
    }
    static int GetRequestMessage(const BridgeLibrary& l, Char* buffer, unsigned int* bufferLength) {
        return l.getrequestmessagew(buffer, bufferLength);
    }
    static int GetJobId(const BridgeLibrary& l, Char* buffer, unsigned int* bufferLength) {
        return l.getjobidw(buffer, bufferLength);
    }
    static int GetErrorString(const BridgeLibrary& l, int errorCode, Char* buffer, unsigned int* bufferLength) {
        return l.geterrorstringw(errorCode, buffer, bufferLength);
    }
    // The first argument is ignored by the library: a value that would show
    // up anywhere in the message is passed on purpose.
    static int Login(const BridgeLibrary& l, const Char* text1, const Char* text2) {
        return l.loginw(0x5A5A5A5A, text1, text2);
    }
};

using BothForms = ::testing::Types<NarrowApi, WideApi>;

struct FormNames {
    template <class Api>
    static std::string GetName(int) {
        return std::is_same_v<Api, NarrowApi> ? "Narrow" : "Wide";
    }
};

// ---------------------------------------------------------------------------
// What the peer received: one file per message, exactly cbData bytes.

struct Recorded {
    unsigned long sequence = 0;
    std::uint32_t code = 0;
    Bytes bytes;
};

// Every message recorded in `directory` (named <sequence>-<code>.bin), in order.
inline std::vector<Recorded> ReadRecords(const std::wstring& directory) {
    std::vector<Recorded> records;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((directory + L"\\*.bin").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return records;
    do {
        Recorded record;
        const std::wstring name = found.cFileName;
        const auto dash = name.find(L'-');
        if (dash == std::wstring::npos) continue;
        record.sequence = std::wcstoul(name.substr(0, dash).c_str(), nullptr, 10);
        record.code = static_cast<std::uint32_t>(std::wcstoul(name.substr(dash + 1).c_str(), nullptr, 10));
        record.bytes = ReadFileBytes(directory + L"\\" + name);
        records.push_back(std::move(record));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(records.begin(), records.end(),
              [](const Recorded& a, const Recorded& b) { return a.sequence < b.sequence; });
    return records;
}

inline std::vector<Recorded> WithCode(const std::vector<Recorded>& records, std::uint32_t messageCode) {
    std::vector<Recorded> matching;
    std::copy_if(records.begin(), records.end(), std::back_inserter(matching),
                 [&](const Recorded& r) { return r.code == messageCode; });
    return matching;
}

inline std::vector<Recorded> WithoutCodes(const std::vector<Recorded>& records,
                                          std::initializer_list<std::uint32_t> codes) {
    std::vector<Recorded> rest;
    std::copy_if(records.begin(), records.end(), std::back_inserter(rest), [&](const Recorded& r) {
        return std::find(codes.begin(), codes.end(), r.code) == codes.end();
    });
    return rest;
}

template <class Envelope>
std::unique_ptr<Envelope> EnvelopeOf(const Bytes& bytes) {
    auto envelope = std::make_unique<Envelope>();  // zero where bytes are missing
    std::memcpy(envelope.get(), bytes.data(), std::min(bytes.size(), sizeof(Envelope)));
    return envelope;
}

template <class Envelope>
using CharOf = std::remove_extent_t<decltype(Envelope::payload)>;

template <class Envelope>
std::basic_string<CharOf<Envelope>> RequestIdOf(const Recorded& record) {
    return FieldText(EnvelopeOf<Envelope>(record.bytes)->requestId);
}

// 36 characters: lowercase hex digits in groups of 8-4-4-4-12.
template <class Char>
bool IsRequestIdText(const std::basic_string<Char>& id) {
    if (id.size() != 36) return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const Char c = id[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != Char('-') : !((c >= Char('0') && c <= Char('9')) || (c >= Char('a') && c <= Char('f')))) {
            return false;
        }
    }
    return true;
}

// The envelope field at a byte offset, to say where two envelopes differ.
template <class Envelope>
const char* FieldAt(std::size_t offset) {
    struct Field {
        std::size_t offset;
        const char* name;
    };
    const Field fields[] = {
        {offsetof(Envelope, status), "status"},         {offsetof(Envelope, payload), "payload"},
        {offsetof(Envelope, length), "length"},         {offsetof(Envelope, errorCode), "errorCode"},
        {offsetof(Envelope, requestId), "requestId"},   {offsetof(Envelope, loginText1), "loginText1"},
        {offsetof(Envelope, loginText2), "loginText2"}, {offsetof(Envelope, initValue), "initValue"},
        {offsetof(Envelope, initText), "initText"},     {offsetof(Envelope, pollMode), "pollMode"},
    };
    const char* name = "?";
    for (const Field& field : fields) {
        if (offset >= field.offset) name = field.name;
    }
    return name;
}

// Compares whole envelopes without printing hundreds of kilobytes.
template <class Envelope>
::testing::AssertionResult SameEnvelopeBytes(const Bytes& actual, const Envelope& expected) {
    const auto* wanted = reinterpret_cast<const unsigned char*>(&expected);
    if (actual.size() != sizeof(Envelope)) {
        return ::testing::AssertionFailure() << "cbData " << actual.size() << ", expected " << sizeof(Envelope);
    }
    const auto difference = std::mismatch(actual.begin(), actual.end(), wanted);
    if (difference.first != actual.end()) {
        const std::size_t offset = static_cast<std::size_t>(difference.first - actual.begin());
        return ::testing::AssertionFailure() << "byte " << offset << " (in " << FieldAt<Envelope>(offset) << ") is "
                                             << int{*difference.first} << ", expected " << int{*difference.second};
    }
    return ::testing::AssertionSuccess();
}

// A request as the library must send it: message code, cbData = the whole
// envelope, a fresh request ID of GUID text, and every byte equal to
// `expected` (which leaves the request ID empty) apart from that ID.
template <class Envelope>
::testing::AssertionResult IsRequest(const Recorded& record, std::uint32_t messageCode, const Envelope& expected) {
    if (record.code != messageCode) {
        return ::testing::AssertionFailure() << "message " << record.code << ", expected " << messageCode;
    }
    if (record.bytes.size() != sizeof(Envelope)) {
        return ::testing::AssertionFailure() << "cbData " << record.bytes.size() << ", expected " << sizeof(Envelope);
    }
    const auto id = RequestIdOf<Envelope>(record);
    if (!IsRequestIdText(id)) {
        return ::testing::AssertionFailure() << "request ID of " << id.size() << " units is no lowercase GUID text";
    }
    auto withId = std::make_unique<Envelope>(expected);
    CopyToField(withId->requestId, id);
    return SameEnvelopeBytes(record.bytes, *withId);
}

// A poll: the blank envelope, no request ID.
template <class Envelope>
::testing::AssertionResult IsPoll(const Recorded& record, std::uint32_t messageCode) {
    if (record.code != messageCode) {
        return ::testing::AssertionFailure() << "message " << record.code << ", expected " << messageCode;
    }
    return SameEnvelopeBytes(record.bytes, *MakeBlankEnvelope<Envelope>());
}

// The blank envelope with these fields set; the others stay blank.
template <class Envelope>
std::unique_ptr<Envelope> Expected(const std::basic_string<CharOf<Envelope>>& payload = {},
                                   std::int32_t length = 0) {
    auto envelope = MakeBlankEnvelope<Envelope>();
    CopyToField(envelope->payload, payload);
    envelope->length = length;
    return envelope;
}

// ---------------------------------------------------------------------------
// The out-buffer convention of vtx_sendrequestparam(w), vtx_getjobid(w) and
// vtx_geterrorstring(w) for an answer text of L units: capacity 0 and L are
// too small (7, nothing written, *bufferLength unchanged); L + 1 and more take
// the text and its terminator, and *bufferLength becomes L + 1.

template <class Char>
inline constexpr Char kSentinel = static_cast<Char>(0x7F);

template <class Char>
using BufferCall = std::function<int(Char* buffer, unsigned int* bufferLength)>;

template <class Char>
bool AllSentinel(const std::vector<Char>& buffer, std::size_t from) {
    return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(from), buffer.end(),
                       [](Char c) { return c == kSentinel<Char>; });
}

template <class Char>
void ExpectBufferConvention(const char* file, int line, const BufferCall<Char>& call,
                            const std::basic_string<Char>& answer) {
    const ::testing::ScopedTrace trace(file, line, "out-buffer convention");
    const auto size = static_cast<unsigned int>(answer.size());
    const struct {
        unsigned int capacity;
        int result;
    } cases[] = {{0, kDoesNotFit}, {size, kDoesNotFit}, {size + 1, kOk}, {size + 5, kOk}};
    for (const auto& c : cases) {
        SCOPED_TRACE("capacity " + std::to_string(c.capacity) + " for a text of " + std::to_string(size));
        std::vector<Char> buffer(size + 8, kSentinel<Char>);
        unsigned int length = c.capacity;
        EXPECT_EQ(call(buffer.data(), &length), c.result);
        if (c.result == kOk) {
            EXPECT_EQ(std::basic_string<Char>(buffer.data(), size), answer);
            EXPECT_EQ(buffer[size], Char{}) << "terminator";
            EXPECT_TRUE(AllSentinel(buffer, size + 1)) << "written past the terminator";
            EXPECT_EQ(length, size + 1);
        } else {
            EXPECT_TRUE(AllSentinel(buffer, 0)) << "written although it did not fit";
            EXPECT_EQ(length, c.capacity);
        }
    }
}

#define EXPECT_BUFFER_CONVENTION(Char, call, answer) \
    ::vtx::test::ExpectBufferConvention<Char>(__FILE__, __LINE__, call, answer)

// An error text written into a caller buffer when it fits (codes 8 and 14):
// capacity = its length + 1 takes it, one less leaves everything unchanged.
template <class Char>
void ExpectErrorIntoBuffer(const char* file, int line, const BufferCall<Char>& call, int code) {
    const ::testing::ScopedTrace trace(file, line, "error text " + std::to_string(code) + " into a caller buffer");
    const std::string text = ErrorText(code);
    const std::basic_string<Char> expected(text.begin(), text.end());
    const auto size = static_cast<unsigned int>(expected.size());
    for (const unsigned int capacity : {size + 1, size + 3, size, 0u}) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        std::vector<Char> buffer(size + 8, kSentinel<Char>);
        unsigned int length = capacity;
        EXPECT_EQ(call(buffer.data(), &length), code);
        if (capacity > size) {
            EXPECT_EQ(std::basic_string<Char>(buffer.data(), size), expected);
            EXPECT_EQ(buffer[size], Char{});
            EXPECT_TRUE(AllSentinel(buffer, size + 1));
            EXPECT_EQ(length, size + 1);
        } else {
            EXPECT_TRUE(AllSentinel(buffer, 0));
            EXPECT_EQ(length, capacity);
        }
    }
}

#define EXPECT_ERROR_INTO_BUFFER(Char, call, code) \
    ::vtx::test::ExpectErrorIntoBuffer<Char>(__FILE__, __LINE__, call, code)

// ---------------------------------------------------------------------------
// HKEY_CURRENT_USER of this process redirected to a key of its own, so what
// the library writes there is seen by this test alone (test processes run in
// parallel under one prefix).

class PrivateCurrentUser {
public:
    PrivateCurrentUser() {
        path_ = L"Software\\vtx-exports-test\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount());
        HKEY created = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created,
                            nullptr) != ERROR_SUCCESS) {
            return;
        }
        key_.reset(created);
        overridden_ = RegOverridePredefKey(HKEY_CURRENT_USER, key_.get()) == ERROR_SUCCESS;
    }
    ~PrivateCurrentUser() {
        if (overridden_) RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (key_) {
            key_.reset();
            RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        }
    }
    PrivateCurrentUser(const PrivateCurrentUser&) = delete;
    PrivateCurrentUser& operator=(const PrivateCurrentUser&) = delete;

    bool Active() const { return overridden_; }

    // The bridge path value as a text, or nothing when it does not exist.
    std::optional<std::wstring> BridgePath() const {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(key_.get(), L"Software\\vantix_v40", 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        const UniqueKey key(opened);
        wchar_t value[1024] = {};
        DWORD size = sizeof(value) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status =
            RegQueryValueExW(key.get(), L"bridgepath", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
        if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
        return std::wstring(value, size / sizeof(wchar_t)).c_str();
    }

private:
    std::wstring path_;
    UniqueKey key_;
    bool overridden_ = false;
};

// ---------------------------------------------------------------------------

// Waits until `condition` holds or `timeout` passed; the condition's last value.
inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A crash anywhere in the process (a library thread included) ends it at
// once with a line on standard error, instead of waiting for a debugger
// until the test's time-out.
inline LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    std::fprintf(stderr, "\nCRASH: exception 0x%08lX at %p in thread %lu\n",
                 static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress,
                 static_cast<unsigned long>(GetCurrentThreadId()));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

inline void InstallCrashReport() { SetUnhandledExceptionFilter(&ReportCrash); }

// Keeps vtxbridge.dll mapped until the process ends. Unloading it may crash
// one of its threads (LibraryUnload shows it), and at the process's end the
// library stops nothing: so a test that is not about unloading never unloads.
inline ::testing::AssertionResult PinLibrary() {
    HMODULE pinned = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"vtxbridge.dll", &pinned)) {
        return ::testing::AssertionFailure() << "cannot pin vtxbridge.dll (" << GetLastError() << ")";
    }
    return ::testing::AssertionSuccess();
}

// One test process: a load of the DLL, its own peer and record folder. The
// load is kept until the process ends (see PinLibrary); tests that share a
// process (the code page 949 run) must leave no session open.
class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallCrashReport();
        CallbackLog::Instance().Reset();
        library_ = std::make_unique<BridgeLibrary>();
        ASSERT_TRUE(library_->Loaded()) << "vtxbridge.dll did not load";
        ASSERT_EQ(library_->Missing(), "") << "exports not found";
        ASSERT_TRUE(PinLibrary());
    }

    void TearDown() override {
        library_.reset();
        peer_.reset();
    }

    const BridgeLibrary& Lib() const { return *library_; }

    // Starts vtxpeer.exe recording every message into this test's folder,
    // unless `record` is false.
    void StartPeer(bool record = true) {
        peer_ = std::make_unique<PeerProcess>(record ? std::vector<std::wstring>{L"--record", records_.Path()}
                                                     : std::vector<std::wstring>{});
        ASSERT_NE(peer_->Window(), nullptr) << "vtxpeer.exe did not show its window";
    }

    // Runs peer commands (see vtxpeer --help); true when they all ran.
    bool Peer(const std::string& commands) const { return peer_ && peer_->Command(commands); }

    // Ends the peer the way a user closing it would, and waits for it.
    void EndPeer() {
        ASSERT_TRUE(Peer("quit"));
        ASSERT_TRUE(peer_->WaitForExit(kPatience).has_value()) << "vtxpeer.exe did not end";
        ASSERT_TRUE(WaitUntil([] { return FindWindowW(kPeerClassName, nullptr) == nullptr; }, kPatience));
    }

    std::vector<Recorded> Records() const { return ReadRecords(records_.Path()); }
    // The messages recorded after the first `count`.
    std::vector<Recorded> RecordsAfter(std::size_t count) const {
        auto records = Records();
        records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(std::min(count, records.size())));
        return records;
    }

    // Opens a session in the given form with pollMode 1 (server requests
    // collected by polling); asserts that it opened.
    template <class Api>
    void OpenSession(int pollMode = 1, ServerRequestCallback callback = nullptr) {
        const auto text = Api::Text(L"session");
        ASSERT_EQ(Api::Init(Lib(), 1, text.c_str(), pollMode, callback), kOk) << "the session did not open";
    }

    TempDirectory records_{L"vtxexports"};
    std::unique_ptr<PeerProcess> peer_;
    std::unique_ptr<BridgeLibrary> library_;
};

template <class Api>
class ExportsFormTest : public ExportsTest {};

}  // namespace vtx::test
