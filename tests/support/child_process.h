// A program of the build run as a child process of a test: started from the
// test executable's folder, ended with the test.
#pragma once

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/unique_handle.h"

namespace vtx::test {

class ChildProcess {
public:
    // Starts `program` (a file name next to the test executable, or a full
    // path). Started() is false when it could not be started.
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

    // Variables set for the child on top of the test's own environment.
    using Environment = std::vector<std::pair<std::wstring, std::wstring>>;

    struct Outcome {
        bool ended = false;  // within the time; a child that did not was terminated
        DWORD exitCode = 0;
        std::string output;  // standard output and standard error, as written
    };
    // Runs `program` until it ends, for at most `timeout`. Its output is
    // kept also when it hung, to show how far it got.
    static Outcome Run(const std::wstring& program, const std::vector<std::wstring>& arguments,
                       std::chrono::milliseconds timeout, const Environment& environment = {});
    // Runs `program` to its end; nothing when it did not end within `timeout`
    // (it is then terminated).
    static std::optional<Outcome> RunToEnd(const std::wstring& program, const std::vector<std::wstring>& arguments,
                                           std::chrono::milliseconds timeout);

    // `program` in the test executable's folder, or `program` itself when it
    // is a full path.
    static std::wstring PathOf(const std::wstring& program);
    // Whether process `processId` has this process's bitness (both 32-bit or
    // both 64-bit); nothing when it cannot be asked.
    static std::optional<bool> SameBitness(DWORD processId);
    // The file name of the running test executable, to run it again as a
    // child (with --gtest_filter, say).
    static std::wstring ThisProgram();
    // The running GoogleTest test once more, alone, in a child process of
    // this executable; `environment` tells the child what part to play.
    static Outcome RunThisTestAgain(const Environment& environment, std::chrono::milliseconds timeout);

private:
    ChildProcess(const std::wstring& program, const std::vector<std::wstring>& arguments, HANDLE output,
                 const Environment& environment);

    UniqueHandle process_;
    DWORD processId_ = 0;
};

}  // namespace vtx::test
