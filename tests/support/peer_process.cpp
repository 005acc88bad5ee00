#include "support/peer_process.h"

#include <thread>

// The test support library cannot see the peer's include directory; the
// control channel is header-only, so its header is taken from the tree.
#include "peer/peer_control.h"

namespace vtx::test {
namespace {

constexpr auto kWindowWait = std::chrono::seconds(10);

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring CommandLineOf(const std::vector<std::wstring>& arguments) {
    std::wstring commandLine = QuoteArgument(PeerProcess::ExecutablePath());
    for (const auto& argument : arguments) commandLine += L" " + QuoteArgument(argument);
    return commandLine;
}

// The peer window of process `processId`; each test runs on a desktop of
// its own, but checking the owner costs nothing.
HWND FindPeerWindow(DWORD processId) {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, L"VantixConnect", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(candidate, &owner);
        if (owner == processId) return candidate;
    }
    return nullptr;
}

// Starts the peer; `output`, if given, receives its standard output and error.
bool Launch(const std::vector<std::wstring>& arguments, HANDLE output, PROCESS_INFORMATION* process) {
    std::wstring commandLine = CommandLineOf(arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr, nullptr,
                          &startup, process) != 0;
}

}  // namespace

std::wstring PeerProcess::ExecutablePath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length);
    directory.erase(directory.find_last_of(L"\\/") + 1);
    return directory + L"vtxpeer.exe";
}

PeerProcess::PeerProcess(const std::vector<std::wstring>& arguments) {
    PROCESS_INFORMATION process{};
    if (!Launch(arguments, nullptr, &process)) return;
    UniqueHandle thread(process.hThread);
    process_.reset(process.hProcess);
    processId_ = process.dwProcessId;

    const auto deadline = std::chrono::steady_clock::now() + kWindowWait;
    while (std::chrono::steady_clock::now() < deadline) {
        window_ = FindPeerWindow(processId_);
        if (window_ != nullptr || WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

PeerProcess::~PeerProcess() {
    if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 5000);
    }
}

bool PeerProcess::Command(const std::string& commands) const {
    return window_ != nullptr && peer::SendCommand(window_, commands);
}

std::optional<DWORD> PeerProcess::WaitForExit(std::chrono::milliseconds timeout) const {
    if (!process_ || WaitForSingleObject(process_.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process_.get(), &exitCode);
    return exitCode;
}

std::optional<PeerProcess::Outcome> PeerProcess::RunToEnd(const std::vector<std::wstring>& arguments,
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

    PROCESS_INFORMATION started{};
    if (!Launch(arguments, output.get(), &started)) return std::nullopt;
    UniqueHandle thread(started.hThread);
    UniqueHandle process(started.hProcess);
    if (WaitForSingleObject(process.get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 5000);
        return std::nullopt;
    }

    Outcome outcome;
    GetExitCodeProcess(process.get(), &outcome.exitCode);
    SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN);
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(output.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        outcome.output.append(buffer, read);
    }
    return outcome;
}

}  // namespace vtx::test
