// A program of the build run as a child process of a test: started from the
// test executable's folder, ended with the test.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/unique_handle.h"

namespace vtx::test {

class ChildProcess {
public:
    // Starts `program` (a file name next to the test executable). Started()
    // is false when it could not be started.
    ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments);
    // Terminates the process if it still runs.
    ~ChildProcess();
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;

    bool Started() const { return static_cast<bool>(process_); }
    DWORD ProcessId() const { return processId_; }
    bool Running() const;
    // The exit code once the process ended within `timeout`.
    std::optional<DWORD> WaitForExit(std::chrono::milliseconds timeout) const;

    struct Outcome {
        DWORD exitCode = 0;
        std::string output;  // standard output and standard error, as written
    };
    // Runs `program` to its end; nothing when it did not end within `timeout`
    // (it is then terminated).
    static std::optional<Outcome> RunToEnd(const std::wstring& program, const std::vector<std::wstring>& arguments,
                                           std::chrono::milliseconds timeout);

    // `program` in the test executable's folder.
    static std::wstring PathOf(const std::wstring& program);

private:
    ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, HANDLE output);

    UniqueHandle process_;
    DWORD processId_ = 0;
};

}  // namespace vtx::test
