#include "support/child_process.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <memory>

#include "common/module_path.h"
#include "support/command_line.h"
#include "support/create_process.h"

namespace vtx::test {
namespace {

struct EnvironmentStringsFree {
    void operator()(wchar_t* strings) const { ::FreeEnvironmentStringsW(strings); }
};

// Whether the block entry `entry` ("NAME=value") sets variable `name`;
// Windows compares variable names without regard to case.
bool Sets(const wchar_t* entry, const std::wstring& name) {
    return _wcsnicmp(entry, name.c_str(), name.size()) == 0 && entry[name.size()] == L'=';
}

// The test's own environment with `extra` added, as CreateProcessW takes it
// with CREATE_UNICODE_ENVIRONMENT: "NAME=value" entries, each ended by a
// NUL, and one more NUL at the end.
std::wstring EnvironmentBlock(const ChildProcess::Environment& extra) {
    std::wstring block;
    const std::unique_ptr<wchar_t, EnvironmentStringsFree> own(::GetEnvironmentStringsW());
    for (const wchar_t* entry = own.get(); entry != nullptr && *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        bool replaced = false;
        for (const auto& variable : extra) replaced = replaced || Sets(entry, variable.first);
        if (!replaced) block.append(entry).push_back(L'\0');
    }
    for (const auto& [name, value] : extra) block.append(name + L"=" + value).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

}  // namespace

std::wstring ChildProcess::PathOf(const std::wstring& program) {
    // A full path ("Z:\\...", "\\\\server\\...") is taken as it is.
    const bool full = (program.size() > 1 && program[1] == L':') || program.rfind(L"\\\\", 0) == 0;
    return full ? program : common::ExecutableFolder() + program;
}

std::optional<bool> ChildProcess::SameBitness(DWORD processId) {
    // On 64-bit Windows a 32-bit process runs under WOW64, a 64-bit one not.
    const UniqueHandle other(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    BOOL otherWow64 = FALSE;
    BOOL ownWow64 = FALSE;
    if (!other || !IsWow64Process(other.get(), &otherWow64) || !IsWow64Process(GetCurrentProcess(), &ownWow64)) {
        return std::nullopt;
    }
    return (otherWow64 != FALSE) == (ownWow64 != FALSE);
}

std::wstring ChildProcess::ThisProgram() {
    const std::wstring path = common::ModulePath(nullptr);
    return path.substr(path.find_last_of(L"\\/") + 1);
}

ChildProcess::Outcome ChildProcess::RunThisTestAgain(const Environment& environment,
                                                     std::chrono::milliseconds timeout) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string(info->test_suite_name()) + "." + info->name();
    return Run(ThisProgram(), {L"--gtest_filter=" + std::wstring(name.begin(), name.end())}, timeout, environment);
}

ChildProcess::ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments)
    : ChildProcess(program, arguments, nullptr, {}) {}

// `output`, if given, receives the child's standard output and error.
ChildProcess::ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, HANDLE output,
                           const Environment& environment) {
    std::wstring commandLine = CommandLineOf(PathOf(program), arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    // Without extra variables the child inherits the test's environment as is.
    std::wstring block = environment.empty() ? std::wstring() : EnvironmentBlock(environment);
    PROCESS_INFORMATION started{};
    if (!CreateProcessPatiently(commandLine.data(), output != nullptr, block.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                                block.empty() ? nullptr : block.data(), &startup, &started)) {
        return;
    }
    UniqueHandle thread(started.hThread);
    process_.reset(started.hProcess);
    processId_ = started.dwProcessId;
}

ChildProcess::~ChildProcess() {
    if (Running()) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 5000);
    }
}

bool ChildProcess::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) const {
    if (!process_ || WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process_.get(), &exitCode);
    return exitCode;
}

ChildProcess::Outcome ChildProcess::Run(const std::wstring& program, const std::vector<std::wstring>& arguments,
                                        std::chrono::milliseconds timeout, const Environment& environment) {
    Outcome outcome;
    // Output goes to a temporary file the child inherits: a pipe would need
    // a reader while the child runs.
    wchar_t directory[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (GetTempPathW(MAX_PATH, directory) == 0 || GetTempFileNameW(directory, L"vtx", 0, path) == 0) return outcome;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueFile output(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
    if (!output) return outcome;

    {
        // Ended here, by the destructor, if it is still running.
        ChildProcess child(program, arguments, output.get(), environment);
        const std::optional<DWORD> exitCode = child.WaitForExit(timeout);
        outcome.ended = exitCode.has_value();
        outcome.exitCode = exitCode.value_or(0);
    }
    SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(output.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        outcome.output.append(buffer, read);
    }
    return outcome;
}

std::optional<ChildProcess::Outcome> ChildProcess::RunToEnd(const std::wstring& program,
                                                            const std::vector<std::wstring>& arguments,
                                                            std::chrono::milliseconds timeout) {
    Outcome outcome = Run(program, arguments, timeout);
    if (!outcome.ended) return std::nullopt;
    return outcome;
}

}  // namespace vtx::test
