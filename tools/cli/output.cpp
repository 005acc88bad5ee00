#include "output.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>

namespace vtx::cli {
namespace {

std::mutex& OutputLock() {
    static std::mutex lock;
    return lock;
}

void WriteAll(HANDLE handle, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) return;
        bytes.remove_prefix(written);
    }
}

HANDLE HandleOf(Stream stream) { return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

void WriteText(Stream stream, std::string_view utf8) {
    const HANDLE handle = HandleOf(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    std::lock_guard<std::mutex> guard(OutputLock());
    WriteAll(handle, utf8);
}

void WriteLine(Stream stream, std::string_view utf8) {
    std::string line;
    line.reserve(utf8.size() + 2);
    line.append(utf8);
    line.append("\r\n");
    WriteText(stream, line);
}

ConsoleUtf8Guard::ConsoleUtf8Guard() {
    if (!IsConsole(HandleOf(Stream::Out)) && !IsConsole(HandleOf(Stream::Error))) return;
    const UINT current = GetConsoleOutputCP();
    if (current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) previous_ = current;
}

ConsoleUtf8Guard::~ConsoleUtf8Guard() {
    if (previous_ != 0) SetConsoleOutputCP(previous_);
}

}  // namespace vtx::cli
