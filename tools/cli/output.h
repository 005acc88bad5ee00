// All of vtxcli's output: whole lines of UTF-8, written with WriteFile so a
// pipe receives the same bytes under Wine and Windows. Callbacks print from
// the library's worker thread, so every line is written under one lock and
// lines never mix.
#pragma once

#include <string_view>

namespace vtx::cli {

enum class Stream { Out, Error };

void WriteLine(Stream stream, std::string_view utf8);
// Writes text that already carries its line ends (the help text).
void WriteText(Stream stream, std::string_view utf8);

// Switches an attached console to UTF-8 for the guard's lifetime and back
// afterwards, so the user's console is left as it was found.
class ConsoleUtf8Guard {
public:
    ConsoleUtf8Guard();
    ~ConsoleUtf8Guard();
    ConsoleUtf8Guard(const ConsoleUtf8Guard&) = delete;
    ConsoleUtf8Guard& operator=(const ConsoleUtf8Guard&) = delete;

private:
    unsigned int previous_ = 0;  // 0: no console, nothing to restore
};

}  // namespace vtx::cli
