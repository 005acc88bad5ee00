#include "system_error.h"

#include <windows.h>

#include "common/text_conversion.h"

namespace vtx::cli {

std::string SystemErrorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer != nullptr ? buffer : L"", buffer != nullptr ? length : 0);
    if (buffer != nullptr) LocalFree(buffer);
    // System messages end in ".\r\n"; the caller's sentence goes on.
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.')) {
        text.pop_back();
    }
    return (text.empty() ? std::string() : common::WideToUtf8(text) + " ") + "(error " + std::to_string(error) + ")";
}

}  // namespace vtx::cli
