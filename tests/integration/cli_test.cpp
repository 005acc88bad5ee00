// vtxcli.exe as host developers and support staff run it: a child process
// whose standard output and error are read through pipes, driving
// vtxpeer.exe (a process of its own) through vtxbridge.dll.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/bridge_library.h"
#include "support/child_process.h"
#include "support/command_line.h"
#include "support/create_process.h"
#include "support/json_value.h"
#include "support/message_box_watcher.h"
#include "support/peer_process.h"
#include "support/test_files.h"
#include "support/unique_handle.h"

namespace vtx::test {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

constexpr auto kRunLimit = 60s;

struct CliRun {
    bool ended = false;
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

// Moves what a pipe holds now into `into`, without blocking.
void ReadAvailable(HANDLE pipe, std::string* into) {
    char buffer[4096];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof(buffer)), &read, nullptr) || read == 0) return;
        into->append(buffer, read);
    }
}

// Runs vtxcli.exe (or `program`) from the test's directory to its end. The
// children share the test's desktop, so they find its peer and its message
// boxes.
CliRun RunCli(const std::vector<std::wstring>& arguments, const std::wstring& program = L"vtxcli.exe") {
    CliRun run;
    std::wstring commandLine = CommandLineOf(ChildProcess::PathOf(program), arguments);

    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &inheritable, 0)) return run;
    UniqueHandle outReader(outRead), outWriter(outWrite);
    if (!CreatePipe(&errRead, &errWrite, &inheritable, 0)) return run;
    UniqueHandle errReader(errRead), errWriter(errWrite);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION started{};
    if (!CreateProcessPatiently(commandLine.data(), TRUE, 0, nullptr, &startup, &started)) {
        return run;
    }
    UniqueHandle thread(started.hThread);
    UniqueHandle process(started.hProcess);
    // The child has its own copies of the write ends.
    outWriter.reset();
    errWriter.reset();
    // Read while the child runs, or a chatty child blocks on a full pipe.
    // The end of the output is the end of the process, not of the pipe:
    // a process the child starts (Wine's desktop process, for the first
    // window on a desktop) may inherit the write end and keep it open.
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    while (!run.ended && std::chrono::steady_clock::now() < deadline) {
        run.ended = WaitForSingleObject(process.get(), 10) == WAIT_OBJECT_0;
        ReadAvailable(outRead, &run.out);
        ReadAvailable(errRead, &run.err);
    }
    if (run.ended) {
        GetExitCodeProcess(process.get(), &run.exitCode);
    } else {
        TerminateProcess(process.get(), 99);
        WaitForSingleObject(process.get(), 5000);
    }
    return run;
}

Lines SplitLines(const std::string& text) {
    Lines lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The result lines: everything after the "library: <path>" line.
Lines ResultLines(const CliRun& run) {
    Lines lines = SplitLines(run.out);
    if (lines.empty() || lines.front().rfind("library: ", 0) != 0) {
        ADD_FAILURE() << "no library line in:\n" << run.out;
        return lines;
    }
    lines.erase(lines.begin());
    return lines;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Turns each command into its own -c argument.
std::vector<std::wstring> Commands(std::initializer_list<std::wstring> commands) {
    std::vector<std::wstring> arguments;
    for (const auto& command : commands) {
        arguments.push_back(L"-c");
        arguments.push_back(command);
    }
    return arguments;
}

std::vector<std::wstring> Join(std::vector<std::wstring> first, const std::vector<std::wstring>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// A script in a temporary file, removed with the test.
class ScriptFile {
public:
    explicit ScriptFile(const std::string& contents) {
        wchar_t directory[MAX_PATH];
        wchar_t path[MAX_PATH];
        GetTempPathW(MAX_PATH, directory);
        GetTempFileNameW(directory, L"cli", 0, path);
        path_ = path;
        UniqueFile file(
            CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        EXPECT_TRUE(file &&
                    WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr) &&
                    written == contents.size());
    }
    ~ScriptFile() { DeleteFileW(path_.c_str()); }
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
};

// ---------------------------------------------------------------------------
// A session against the peer

class CliSession : public ::testing::Test {
protected:
    void StartPeer(const std::wstring& command) {
        peer_ = std::make_unique<PeerProcess>(std::vector<std::wstring>{L"-c", command});
        ASSERT_NE(peer_->Window(), nullptr) << "vtxpeer.exe did not start";
    }
    std::unique_ptr<PeerProcess> peer_;
};

// One process, one session: every command sees the state the ones before it
// left, and every result is printed with its meaning and its texts.
TEST_F(CliSession, RunsAWholeSessionInOneProcess) {
    // Every poll is answered with a server request.
    StartPeer(L"answer 1008 inline payload=\"please sign\"");
    const CliRun run = RunCli(Commands({
        L"init 0 demo 1",
        L"sendrequest \"hello world\"",
        L"sendrequest \"hello\" 3",
        L"sendrequestparam \"hello\" 5 6",
        L"sendrequestparam \"hello\" 5 5",
        L"getjobid 64",
        L"login user secret",
        L"setbridgeid B-7",
        L"getbridgeid",
        L"getrequestmessage 11",
        L"getrequestmessage 12",
        L"sendresponse \"signed\"",
        L"deinit",
        L"iswcalive",
    }));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ResultLines(run), (Lines{
                                    R"(init 0 "demo" 1 -> 200 ok)",
                                    R"(sendrequest "hello world" 11 -> text "hello world" (11))",
                                    R"(sendrequest "hello" 3 -> text "hello" (5))",
                                    R"(sendrequestparam "hello" 5 6 -> 200 ok: "hello" (bufferLength 6))",
                                    R"(sendrequestparam "hello" 5 5 -> 7 does not fit (bufferLength 5))",
                                    R"(getjobid 64 -> 200 ok: "JOB-0001" (bufferLength 9))",
                                    R"(login "user" "secret" -> 200 ok)",
                                    R"(setbridgeid "B-7" -> 1 accepted)",
                                    R"(getbridgeid -> text "B-7" (3))",
                                    R"(getrequestmessage 11 -> 7 does not fit (bufferLength 11))",
                                    R"(getrequestmessage 12 -> 200 ok: "please sign" (bufferLength 11))",
                                    R"(sendresponse "signed" -> 200 ok)",
                                    R"(deinit -> 200 ok)",
                                    R"(iswcalive -> 8 not open)",
                                }));
}

// The library's own codes get its words; values it passes on from the peer
// are called the peer's status, even where they look like its own codes.
TEST_F(CliSession, NamesEachResultForTheExportThatGaveIt) {
    StartPeer(L"answer 1022 status=401");
    ASSERT_TRUE(peer_->Command("answer 1020 status=7"));
    const CliRun run = RunCli(Commands({
        L"getjobid 10",
        L"getjobid 64",
        L"sendrequest x",
        L"init 0 \"sixteen chars xx\" 1",
        L"init 0 nocallback 0",
        L"init 0 demo 1",
        L"init 0 demo 1",
        L"login a b",
        L"iswcalive",
        L"getrequestmessage 64",
        L"geterrorstring 14 64",
        L"deinit",
    }));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const std::string errorText8 = R"("{\"eventId\":9999, \"jobId\":\"\", \"code\":8}")";
    EXPECT_EQ(ResultLines(run), (Lines{
                                    R"(getjobid 10 -> 8 not open (bufferLength 10))",
                                    "getjobid 64 -> 8 not open: " + errorText8 + " (bufferLength 39)",
                                    "sendrequest \"x\" 1 -> 8 not open (error text): " + errorText8 + " (38)",
                                    R"(init 0 "sixteen chars xx" 1 -> 7 does not fit)",
                                    R"(init 0 "nocallback" 0 -> 5 no callback)",
                                    R"(init 0 "demo" 1 -> 200 ok)",
                                    R"(init 0 "demo" 1 -> 9 already open)",
                                    R"(login "a" "b" -> 401 peer status)",
                                    R"(iswcalive -> 7 peer status)",
                                    R"(getrequestmessage 64 -> 16 nothing queued (bufferLength 64))",
                                    R"(geterrorstring 14 64 -> 200 ok: "error 14" (bufferLength 9))",
                                    R"(deinit -> 200 ok)",
                                }));
}

// Texts go in and come out as UTF-8 whatever the export's form; lengths and
// capacities count the export's own units (here UTF-16).
TEST_F(CliSession, WideExportsCarryUnicodeBothWays) {
    // Wide server requests come from a timer: the peer serves the bridge
    // window that sent it the latest message.
    StartPeer(L"every 50 serve wide \"\uD655\uC778 \u20AC\"");
    const CliRun run = RunCli(Commands({
        L"initw 0 \"w\u00FCnsch\" 1",
        L"sendrequestw \"Gr\u00FC\u00DFe \u20AC\"",
        L"sendrequestparamw \"\u65E5\u672C\" 2 3",
        L"getjobidw 9",
        L"geterrorstringw 6 7",
        L"loginw \"\u00E4\" \"\u00F6\"",
        L"sleep 200",
        L"getrequestmessagew 4",
        L"getrequestmessagew 5",
        L"deinit",
    }));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ResultLines(run),
              (Lines{
                  u8"initw 0 \"w\u00FCnsch\" 1 -> 200 ok",
                  u8"sendrequestw \"Gr\u00FC\u00DFe \u20AC\" 7 -> text \"Gr\u00FC\u00DFe \u20AC\" (7)",
                  u8"sendrequestparamw \"\u65E5\u672C\" 2 3 -> 200 ok: \"\u65E5\u672C\" (bufferLength 3)",
                  u8"getjobidw 9 -> 200 ok: \"JOB-0001\" (bufferLength 9)",
                  u8"geterrorstringw 6 7 -> 7 does not fit (bufferLength 7)",
                  u8"loginw \"\u00E4\" \"\u00F6\" -> 200 ok",
                  u8"sleep 200 -> done",
                  u8"getrequestmessagew 4 -> 7 does not fit (bufferLength 4)",
                  u8"getrequestmessagew 5 -> 200 ok: \"\uD655\uC778 \u20AC\" (bufferLength 4)",
                  u8"deinit -> 200 ok",
              }));
}

// Runs again under the Korean ANSI code page (see tests/CMakeLists.txt): the
// narrow exports must receive code page 949 bytes, not the UTF-8 typed in;
// 안녕 is 4 bytes there and 6 in UTF-8.
TEST_F(CliSession, NarrowTextsUseTheAnsiCodePage949) {
    if (GetACP() != 949) GTEST_SKIP() << "needs the Korean ANSI code page";
    StartPeer(L"answer 1008 inline payload=\"\uC11C\uBA85\"");
    const CliRun run = RunCli(Commands({
        L"init 0 \uD55C 1",
        L"sendrequest \uC548\uB155",
        L"sendrequestparam \uC548\uB155 4 5",
        L"getrequestmessage 5",
        L"deinit",
    }));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ResultLines(run),
              (Lines{
                  u8"init 0 \"\uD55C\" 1 -> 200 ok",
                  u8"sendrequest \"\uC548\uB155\" 4 -> text \"\uC548\uB155\" (4)",
                  u8"sendrequestparam \"\uC548\uB155\" 4 5 -> 200 ok: \"\uC548\uB155\" (bufferLength 5)",
                  u8"getrequestmessage 5 -> 200 ok: \"\uC11C\uBA85\" (bufferLength 4)",
                  u8"deinit -> 200 ok",
              }));
}

// Without the peer the library's box holds the call until someone closes
// it; the call then reports the request as not delivered.
TEST(CliWithoutPeer, WaitsForTheLibrarysBoxThenReportsNotDelivered) {
    MessageBoxWatcher watcher;
    const CliRun run = RunCli(Commands({L"login a b"}));
    ASSERT_TRUE(run.ended);
    watcher.Stop();  // lets it finish counting the box it closed
    EXPECT_EQ(watcher.Count(), 1);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(ResultLines(run), (Lines{R"(login "a" "b" -> 6 not delivered)"}));
}

// Unattended: no box, no wait, an exit code of its own, and nothing after the
// refused command runs; with a peer, the same option changes nothing.
TEST(CliWithoutPeer, RequirePeerEndsWithExitCode4InsteadOfTheBox) {
    MessageBoxWatcher watcher;
    const CliRun run = RunCli(Join({L"--require-peer"}, Commands({L"sleep 1", L"login a b", L"iswcalive"})));
    ASSERT_TRUE(run.ended);
    watcher.Stop();
    EXPECT_EQ(watcher.Count(), 0);
    EXPECT_EQ(run.exitCode, 4u) << run.out << run.err;
    EXPECT_EQ(ResultLines(run), (Lines{R"(sleep 1 -> done)"}));
    EXPECT_TRUE(Contains(run.err, "-c \"login a b\": no peer window (class VantixConnect)")) << run.err;
}

// ---------------------------------------------------------------------------
// Callbacks

// The lines that are not callback deliveries, and how many deliveries of
// `expected` came; any other line would be two writers' output mixed.
Lines SplitCallbacks(const Lines& lines, const std::string& expected, int* deliveries) {
    Lines others;
    *deliveries = 0;
    for (const auto& line : lines) {
        if (line.rfind("callback: ", 0) == 0) {
            EXPECT_EQ(line, expected);
            ++*deliveries;
        } else {
            others.push_back(line);
        }
    }
    return others;
}

TEST_F(CliSession, NarrowCallbackPrintsEveryDelivery) {
    StartPeer(L"answer 1008 inline payload=\"sign \\\"1\\\"\"");
    const CliRun run = RunCli(Join({L"--callback"}, Commands({
                                                        L"init 0 cb 0",
                                                        L"wait-callback 3 10000",
                                                        L"expect 200",
                                                        L"getrequestmessage 64",
                                                        L"deinit",
                                                    })));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const Lines lines = ResultLines(run);
    int deliveries = 0;
    const Lines others = SplitCallbacks(lines, R"(callback: "sign \"1\"" (8))", &deliveries);
    EXPECT_GE(deliveries, 3);
    ASSERT_EQ(others.size(), 5u) << run.out;
    EXPECT_EQ(others[0], R"(init 0 "cb" 0 callback -> 200 ok)");
    EXPECT_EQ(others[1].rfind("wait-callback 3 10000 -> 200 ok: ", 0), 0u) << others[1];
    EXPECT_EQ(others[2], "expect 200 -> ok");
    // In callback mode nothing is left to collect by polling.
    EXPECT_EQ(others[3], "getrequestmessage 64 -> 16 nothing queued (bufferLength 64)");
    EXPECT_EQ(others[4], "deinit -> 200 ok");
    // The three deliveries waited for come before the wait's own line.
    const auto waitLine = std::find(lines.begin(), lines.end(), others[1]);
    EXPECT_GE(std::count_if(lines.begin(), waitLine, [](const std::string& l) { return l.rfind("callback", 0) == 0; }),
              3);
}

TEST_F(CliSession, WideCallbackIsPassedByTheKeyword) {
    StartPeer(L"every 50 serve wide \"\uC11C\uBA85 \u20AC\"");
    const CliRun run = RunCli(Commands({L"initw 0 cb 0 callback", L"wait-callback 1 10000", L"deinit"}));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    int deliveries = 0;
    const Lines others = SplitCallbacks(ResultLines(run), u8"callback: \"\uC11C\uBA85 \u20AC\" (4)", &deliveries);
    EXPECT_GE(deliveries, 1);
    ASSERT_EQ(others.size(), 3u) << run.out;
    EXPECT_EQ(others[0], R"(initw 0 "cb" 0 callback -> 200 ok)");
    EXPECT_EQ(others[1].rfind("wait-callback 1 10000 -> 200 ok: ", 0), 0u) << others[1];
}

TEST_F(CliSession, WaitCallbackTimesOutWhenNothingIsServed) {
    StartPeer(L"reset");
    const CliRun run = RunCli(Commands({L"init 0 cb 0 callback", L"wait-callback 1 300", L"expect 14", L"deinit"}));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ResultLines(run), (Lines{
                                    R"(init 0 "cb" 0 callback -> 200 ok)",
                                    "wait-callback 1 300 -> 14 timed out: 0 of 1 deliveries",
                                    "expect 14 -> ok",
                                    "deinit -> 200 ok",
                                }));
}

// ---------------------------------------------------------------------------
// Scripts and expect

// --time adds each call's duration; a peer that is busy 300 ms shows in it.
TEST_F(CliSession, TimePrintsEachCallsDurationAndRequirePeerLetsItRun) {
    StartPeer(L"answer 1020 busy=300");
    const CliRun run = RunCli(Join({L"--time", L"--require-peer"}, Commands({L"init 0 demo 1", L"iswcalive",
                                                                              L"expect 200", L"deinit"})));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    const Lines lines = ResultLines(run);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    const auto millisecondsOf = [](const std::string& line) {
        const std::size_t open = line.rfind(" [");
        const bool shaped = open != std::string::npos && line.size() > open + 5 &&
                            line.compare(line.size() - 4, 4, " ms]") == 0;
        return shaped ? std::stod(line.substr(open + 2)) : -1.0;
    };
    EXPECT_EQ(lines[0].rfind(R"(init 0 "demo" 1 -> 200 ok [)", 0), 0u) << lines[0];
    EXPECT_GE(millisecondsOf(lines[0]), 0.0) << lines[0];
    EXPECT_GE(millisecondsOf(lines[1]), 250.0) << lines[1];
    EXPECT_EQ(lines[2], "expect 200 -> ok") << "an expect calls nothing and is not timed";
    EXPECT_GE(millisecondsOf(lines[3]), 0.0) << lines[3];
}

TEST_F(CliSession, RunsScriptsAndCommandsInTheOrderGiven) {
    StartPeer(L"reset");
    const ScriptFile script(
        "\xEF\xBB\xBF# opens the session\r\n"
        "init 0 \"script\" 1\r\n"
        "\r\n"
        "   # indented comment\n"
        "sendrequest \"say \\\"hi\\\"\\\\\\n\"   # trailing comment\n"
        "expect 200\n"
        "getjobid 64");
    const CliRun run = RunCli(
        Join(Join(Commands({L"login a b"}), {L"--script", script.Path()}), Commands({L"deinit", L"expect 200"})));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ResultLines(run), (Lines{
                                    R"(login "a" "b" -> 200 ok)",
                                    R"(init 0 "script" 1 -> 200 ok)",
                                    R"(sendrequest "say \"hi\"\\\n" 10 -> text "say \"hi\"\\\n" (10))",
                                    "expect 200 -> ok",
                                    R"(getjobid 64 -> 200 ok: "JOB-0001" (bufferLength 9))",
                                    "deinit -> 200 ok",
                                    "expect 200 -> ok",
                                }));
}

TEST_F(CliSession, FailedExpectEndsTheRunWithExitCode1) {
    StartPeer(L"reset");
    const CliRun run = RunCli(Commands({L"iswcalive", L"sleep 1", L"expect 200", L"login a b"}));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(ResultLines(run), (Lines{
                                    "iswcalive -> 8 not open",
                                    "sleep 1 -> done",
                                    "expect 200 -> failed: iswcalive gave 8 not open",
                                }));
    EXPECT_TRUE(Contains(run.err, "expected 200 from iswcalive, got 8 not open")) << run.err;
}

// ---------------------------------------------------------------------------
// Errors: each is found before anything is loaded or sent

struct UsageCase {
    std::vector<std::wstring> arguments;
    std::string message;
};

TEST(CliErrors, BadCommandLinesEndWithExitCode2AndSayWhy) {
    const std::vector<UsageCase> cases = {
        {Commands({L"sendrequests x"}), "unknown command 'sendrequests'"},
        {Commands({L"getjobid lots"}), "getjobid capacity 'lots' is not a capacity from 0 to 1000000 characters"},
        {Commands({L"getjobid 1000001"}), "getjobid capacity '1000001' is not a capacity"},
        {Commands({L"getjobid -1"}), "getjobid capacity '-1' is not a capacity"},
        {Commands({L"init 2147483648 x 1"}), "init initValue '2147483648' is not a whole number"},
        {Commands({L"geterrorstring 1x 8"}), "geterrorstring code '1x' is not a whole number"},
        {Commands({L"sleep 3600001"}), "sleep ms '3600001' is not a time from 0 to 3600000 ms"},
        {Commands({L"wait-callback 0 100"}), "wait-callback count '0' is not a count from 1 to 1000000"},
        {Commands({L"init 0 x"}), "init takes the arguments init <initValue> <initText> <pollMode> [callback], not 2"},
        {Commands({L"deinit now"}), "deinit takes no arguments, not 1"},
        {Commands({L"login \"a b"}), "a quoted text is not closed"},
        {Commands({L"login \"a\\q\" b"}), "unknown escape \\q"},
        {Commands({L"login a\"b\" c"}), "a quote inside a bare word"},
        {Commands({L"expect 200", L"iswcalive"}), "expect has no earlier command"},
        {Commands({L"iswcalive", L"bogus"}), "unknown command 'bogus'"},
        {Commands({L""}), "no command given"},
        {{L"getjobid", L"64"}, "'getjobid' is not an option; give each command with -c"},
        {{L"--verbose"}, "unknown option '--verbose'"},
        {{L"-c"}, "-c needs a value"},
        {{L"--script", L"Z:\\no\\such\\script.txt"}, "script Z:\\no\\such\\script.txt: cannot open it"},
    };
    for (const UsageCase& usage : cases) {
        const CliRun run = RunCli(usage.arguments);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 2u) << usage.message;
        EXPECT_TRUE(Contains(run.err, usage.message)) << run.err;
        // Nothing ran: not even the DLL was loaded.
        EXPECT_EQ(run.out, "") << usage.message;
    }
}

TEST(CliErrors, NarrowTextTheCodePageLacksIsRefusedBeforeSending) {
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "a UTF-8 ANSI code page has every character";
    const CliRun run = RunCli(Commands({L"sendrequest \"\U00010348\""}));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_TRUE(Contains(run.err, "sendrequest text has characters the ANSI code page lacks")) << run.err;
}

TEST(CliErrors, ScriptErrorsNameFileAndLineAndRunNothing) {
    const ScriptFile script("init 0 x 1\n# fine so far\ngetjobid lots\ndeinit\n");
    const CliRun run = RunCli({L"--script", script.Path()});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_EQ(run.out, "");
    // The path is printed as given, here the temporary file's.
    std::string path;
    for (const wchar_t c : script.Path()) path += static_cast<char>(c);
    EXPECT_TRUE(Contains(run.err, path + ":3: getjobid capacity 'lots'")) << run.err;
}

TEST(CliErrors, MissingDllEndsWithExitCode3) {
    const CliRun run = RunCli(Join({L"--dll", L"Z:\\no\\such\\vtxbridge.dll"}, Commands({L"iswcalive"})));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_TRUE(Contains(run.err, "cannot load Z:\\no\\such\\vtxbridge.dll: ")) << run.err;
    EXPECT_EQ(run.out, "");
}

// A DLL without the exports, as a wrong or broken build would be.
TEST(CliErrors, MissingExportsEndWithExitCode3AndAreNamed) {
    const CliRun run = RunCli(Join({L"--dll", L"kernel32.dll"}, Commands({L"iswcalive", L"getjobidw 8", L"sleep 1"})));
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_TRUE(Contains(run.err, "the DLL lacks the export(s) vtx_iswcalive vtx_getjobidw\r\n")) << run.err;
}

// ---------------------------------------------------------------------------
// diagnose

// A variable of this process's environment, which the child inherits, for
// the life of the object.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string HexOf(HWND window) {
    char text[32];
    std::snprintf(text, sizeof(text), "0x%08llX",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(window)));
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void WriteText(const std::wstring& path, const std::string& text) {
    UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
}

// `vtxcli diagnose` through the program itself: without a peer; with two
// qualifying vtxpeer windows, the first in Z-order taken and the round
// trip answered; and through vtxcli_test_seam.exe (the same code with a
// test seam, never shipped) a window judged below Medium integrity, today's
// log lines counted by kind, and a log folder behind a link. It shows the
// walk, the verdicts, the window taken, the exit code of each cause and
// the JSON. What Wine cannot show: a process of another session, user or
// integrity level judged for real (under Wine every process runs at High
// integrity under one user); the seam's verdict stands in for it, and the
// verdict of a real process here is always "qualifies".
TEST(CliDiagnose, NamesTheWindowTakenOrWhyNoneWithAnExitCodeForEachCause) {
    const int bits = static_cast<int>(sizeof(void*) * 8);
    {
        // No peer: exit code 4, and --exchange sends nothing, so no box.
        MessageBoxWatcher watcher;
        const CliRun run = RunCli({L"diagnose", L"--json", L"--exchange"});
        ASSERT_TRUE(run.ended);
        watcher.Stop();
        EXPECT_EQ(watcher.Count(), 0);
        EXPECT_EQ(run.exitCode, 4u) << run.out << run.err;
        const std::optional<JsonValue> json = ParseJson(run.out);
        ASSERT_TRUE(json) << run.out;
        const JsonValue& report = *json;
        EXPECT_EQ(report["schema"].number, 1);
        EXPECT_EQ(report["cause"].text, "noPeerWindow");
        EXPECT_EQ(report["exitCode"].number, 4);
        EXPECT_TRUE(report["library"]["loaded"].boolean);
        EXPECT_TRUE(report["library"]["matchesHeader"].boolean);
        EXPECT_EQ(report["library"]["bits"].number, bits);
        EXPECT_TRUE(report["library"]["missingExports"].items.empty());
        EXPECT_EQ(report["peerWindows"].type, JsonValue::Type::Array);
        EXPECT_TRUE(report["peerWindows"].items.empty());
        EXPECT_EQ(report["self"]["processId"].type, JsonValue::Type::Number);
        EXPECT_TRUE(report["self"]["read"].boolean);
        EXPECT_TRUE(report["exchange"]["asked"].boolean);
        EXPECT_FALSE(report["exchange"]["ran"].boolean);
        for (const char* part : {"log", "registry"}) EXPECT_EQ(report[part].type, JsonValue::Type::Object) << part;
        ASSERT_FALSE(report["findings"].items.empty());
        EXPECT_EQ(report["findings"].items[0]["section"].text, "peer");
        EXPECT_TRUE(Contains(report["findings"].items[0]["what"].text, "no window of class VantixConnect"));
    }

    PeerProcess older;
    ASSERT_NE(older.Window(), nullptr);
    PeerProcess newer;  // first in Z-order
    ASSERT_NE(newer.Window(), nullptr);
    ASSERT_EQ(FindWindowW(L"VantixConnect", nullptr), newer.Window());
    {
        // Both qualify: the first is taken and answers the round trip.
        const CliRun run = RunCli({L"diagnose", L"--exchange"});
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
        const Lines lines = SplitLines(run.out);
        const auto at = [&](const std::string& start) {
            return std::find_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return l.rfind(start, 0) == 0; });
        };
        const auto first =
            at("   #1 window " + HexOf(newer.Window()) + ", process " + std::to_string(newer.ProcessId()));
        const auto second =
            at("   #2 window " + HexOf(older.Window()) + ", process " + std::to_string(older.ProcessId()));
        ASSERT_TRUE(first != lines.end() && second != lines.end()) << run.out;
        EXPECT_TRUE(EndsWith(*first, "vtxpeer.exe)")) << *first;
        EXPECT_EQ(first[2], "      verdict: it qualifies -> the library takes this window");
        EXPECT_EQ(second[2], "      verdict: it qualifies, but an earlier window is taken");
        EXPECT_TRUE(
            Contains(run.out, "[!] 2 windows qualify; the library takes the first, window " + HexOf(newer.Window())))
            << run.out;
        EXPECT_TRUE(at("   vtx_init -> 200; vtx_iswcalive -> 200 in ") != lines.end()) << run.out;
        EXPECT_TRUE(Contains(run.out, "\r\nresult: a qualifying peer was found (exit code 0)\r\n")) << run.out;
    }

    // The log folder "vc" in a folder of the test's own, as the library's
    // is in C:\vantix\log, which tests must not make.
    TempDirectory temp(L"vtxdiag");
    struct LogFolder {
        std::wstring path;
        std::wstring file;
        ~LogFolder() {
            DeleteFileW(file.c_str());
            RemoveDirectoryW(path.c_str());
        }
    } logFolder{temp.File(L"vc"), {}};
    const std::wstring& folder = logFolder.path;
    ASSERT_TRUE(CreateDirectoryW(temp.Path().c_str(), nullptr) && CreateDirectoryW(folder.c_str(), nullptr));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t day[32];
    std::swprintf(day, 32, L"\\bridge_%04u%02u%02u.log", now.wYear, now.wMonth, now.wDay);
    logFolder.file = folder + day;
    const std::wstring& file = logFolder.file;
    // Every kind's texts, summaries of a second and of the day's bound, an
    // earlier day's summary and a line of no kind, which count for nothing;
    // the last line has no line end.
    WriteText(file,
              "[09:00:00] [vtx_login] Not delivered (6): message 1022, request ID {A}.\r\n"
              "[09:00:01] [vtx_sendrequest] Timed out (14): no answer to message 1014, request ID {B}.\r\n"
              "[09:00:02] [WriteLog] 7 more failed calls within one second were not written.\r\n"
              "[09:00:03] [BridgeWindowProc] Refused message 1009 (12 bytes): too short.\r\n"
              "[09:00:04] [PushServerRequest] Server request queue is full: 40 bytes refused.\r\n"
              "[09:00:05] [StoreResponse] Dropped an answer nobody waited for: message 1014, request ID {C}.\r\n"
              "[09:00:06] [WriteLog] That was today's 10000th line of answers nobody waited for: the rest of the "
              "day's are counted, not written.\r\n"
              "[09:00:07] [WriteLog] 420 more refused messages were not written on 20261207, past the day's 10000.\r\n"
              "[09:00:08] [SendMessageCopyData] Skipped a VantixConnect window of process 77: it runs below Medium "
              "integrity.\r\n"
              "[09:00:09] [SendMessageCopyData] Gave up looking for the peer after 64 processes judged anew in one "
              "lookup.\r\n"
              "[09:00:09] [WriteLog] Another process held the log's lock past 50 ms: for 10 s lines are written "
              "without waiting for it.\r\n"
              "[09:00:09] [GetWindowHandle] counter: 1\r\n"
              "[09:00:10] [SendMessageCopyData] Not found VantixConnect handle.");
    {
        // The newer window turned away: the older is taken.
        const ScopedVariable turnedAway(L"VTX_TEST_TURNED_AWAY", std::to_wstring(newer.ProcessId()));
        const ScopedVariable logFolderVariable(L"VTX_TEST_LOG_FOLDER", folder);
        const CliRun run = RunCli({L"diagnose", L"--json"}, L"vtxcli_test_seam.exe");
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0u) << run.out << run.err;
        const std::optional<JsonValue> json = ParseJson(run.out);
        ASSERT_TRUE(json) << run.out;
        const JsonValue& windows = (*json)["peerWindows"];
        ASSERT_EQ(windows.items.size(), 2u) << run.out;
        EXPECT_EQ(windows.items[0]["processId"].number, newer.ProcessId());
        EXPECT_EQ(windows.items[0]["verdict"].text, "belowMediumIntegrity");
        EXPECT_EQ(windows.items[0]["reason"].text, "it runs below Medium integrity");
        EXPECT_FALSE(windows.items[0]["taken"].boolean);
        EXPECT_EQ(windows.items[1]["window"].number,
                  static_cast<double>(reinterpret_cast<std::uintptr_t>(older.Window())));
        EXPECT_EQ(windows.items[1]["verdict"].text, "qualifies");
        EXPECT_TRUE(windows.items[1]["taken"].boolean);
        EXPECT_TRUE(EndsWith(windows.items[1]["image"].text, "vtxpeer.exe")) << windows.items[1]["image"].text;
        EXPECT_EQ(windows.items[1]["integrity"].text, "High") << "Wine runs every process at High integrity";
        const JsonValue& log = (*json)["log"];
        EXPECT_EQ(log["folder"].text, Narrow(folder));
        EXPECT_TRUE(log["exists"].boolean);
        EXPECT_TRUE(log["writable"].boolean);
        EXPECT_EQ(log["linkOnTheWay"].text, "");
        EXPECT_TRUE(log["fileExists"].boolean);
        const JsonValue& today = log["today"];
        const auto expectKind = [&](const char* key, double written, double leftOut, bool bound) {
            EXPECT_EQ(today[key]["written"].number, written) << key;
            EXPECT_EQ(today[key]["leftOut"].number, leftOut) << key;
            EXPECT_EQ(today[key]["dayBoundReached"].boolean, bound) << key;
        };
        expectKind("failedCalls", 2, 7, false);
        expectKind("refusedMessages", 2, 0, false);
        expectKind("unwaitedAnswers", 1, 0, true);
        expectKind("skippedWindows", 2, 0, false);
        expectKind("sendsWithoutPeer", 1, 0, false);
        expectKind("heldLogLock", 1, 0, false);
    }

    // Both turned away, the same log folder reached through a linked parent.
    const TempDirectory linkPlace(L"vtxdiaglink");
    const ScopedSymbolicLink linked(linkPlace.Path(), temp.Path());
    {
        const ScopedVariable turnedAway(L"VTX_TEST_TURNED_AWAY",
                                        std::to_wstring(newer.ProcessId()) + L"," + std::to_wstring(older.ProcessId()));
        const ScopedVariable logFolderVariable(L"VTX_TEST_LOG_FOLDER",
                                               linked.Made() ? linkPlace.File(L"vc") : folder);
        const CliRun run = RunCli({L"diagnose"}, L"vtxcli_test_seam.exe");
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 5u) << run.out << run.err;
        for (const PeerProcess* peer : {&newer, &older}) {
            EXPECT_TRUE(Contains(
                run.out, "   [!] window " + HexOf(peer->Window()) + " of process " + std::to_string(peer->ProcessId())))
                << run.out;
        }
        EXPECT_TRUE(Contains(run.out,
                             "is not taken: it runs below Medium integrity\r\n       do: start the companion "
                             "application normally"))
            << run.out;
        EXPECT_TRUE(Contains(run.out, "\r\nresult: no window of class VantixConnect qualifies (exit code 5)\r\n"))
            << run.out;
        if (!linked.Made()) GTEST_SKIP() << "no symbolic link can be made here for the log folder behind a link";
        EXPECT_TRUE(Contains(run.out, "[!] the log folder " + Narrow(linkPlace.File(L"vc")) + " has a linked parent, " +
                                          Narrow(linkPlace.Path()) + ": the library writes no line through a link"))
            << run.out;
    }
}

// ---------------------------------------------------------------------------
// Help and the bare run

TEST(CliHelp, DocumentsEveryCommandAndTheMessageBox) {
    const CliRun run = RunCli({L"--help"});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    for (const char* command : {"init <",
                                "initw <",
                                "deinit",
                                "sendrequest <",
                                "sendrequestw <",
                                "sendrequestparam <",
                                "sendrequestparamw <",
                                "sendresponse <",
                                "sendresponsew <",
                                "getrequestmessage <",
                                "getrequestmessagew <",
                                "getjobid <",
                                "getjobidw <",
                                "geterrorstring <",
                                "geterrorstringw <",
                                "login <",
                                "loginw <",
                                "iswcalive",
                                "setbridgeid <",
                                "getbridgeid",
                                "sleep <",
                                "wait-callback <",
                                "expect <",
                                "--script",
                                "--dll",
                                "--callback",
                                "message box",
                                "Exit codes"}) {
        EXPECT_TRUE(Contains(run.out, command)) << command;
    }
}

TEST(CliHelp, WithoutCommandsChecksTheDllNextToIt) {
    const CliRun run = RunCli({});
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0u);
    std::string folder;
    for (const wchar_t c : ExecutableFolder()) folder += static_cast<char>(c);
    const std::string version = std::to_string(VTXBRIDGE_VERSION_MAJOR) + "." +
                                std::to_string(VTXBRIDGE_VERSION_MINOR) + "." +
                                std::to_string(VTXBRIDGE_VERSION_PATCH) + ".0";
    EXPECT_EQ(SplitLines(run.out),
              (Lines{"library: " + folder + "vtxbridge.dll, file version " + version, "exports: all twenty found"}));
}

}  // namespace
}  // namespace vtx::test
