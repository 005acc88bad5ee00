#include "support/child_process.h"

#include "common/module_path.h"
#include "support/command_line.h"

namespace vtx::test {

std::wstring ChildProcess::PathOf(const std::wstring& program) { return common::ExecutableFolder() + program; }

ChildProcess::ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments)
    : ChildProcess(program, arguments, nullptr) {}

// `output`, if given, receives the child's standard output and error.
ChildProcess::ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, HANDLE output) {
    std::wstring commandLine = CommandLineOf(PathOf(program), arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr, nullptr,
                        &startup, &started)) {
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

std::optional<ChildProcess::Outcome> ChildProcess::RunToEnd(const std::wstring& program,
                                                            const std::vector<std::wstring>& arguments,
                                                            std::chrono::milliseconds timeout) {
    // Output goes to a temporary file the child inherits: a pipe would need
    // a reader while the child runs.
    wchar_t directory[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (GetTempPathW(MAX_PATH, directory) == 0 || GetTempFileNameW(directory, L"vtx", 0, path) == 0) {
        return std::nullopt;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueFile output(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr));
    if (!output) return std::nullopt;

    ChildProcess child(program, arguments, output.get());
    const std::optional<DWORD> exitCode = child.WaitForExit(timeout);
    if (!exitCode) return std::nullopt;

    Outcome outcome;
    outcome.exitCode = *exitCode;
    SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(output.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        outcome.output.append(buffer, read);
    }
    return outcome;
}

}  // namespace vtx::test
