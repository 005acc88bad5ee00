#include "library_client.h"

#include <cstring>
#include <cwchar>

#include "raw_host.h"
#include "support/process_windows.h"

namespace vtx::bench {
namespace {

const std::wstring& WidePayload() {
    static const std::wstring text(RawHost::kPayload, RawHost::kPayload + std::strlen(RawHost::kPayload));
    return text;
}

int NarrowLength() { return static_cast<int>(std::strlen(RawHost::kPayload)); }

}  // namespace

bool LibraryClient::OpenPolling() { return Loaded() && library_.init(0, "", 1, nullptr) == VTX_RESULT_OK; }

bool LibraryClient::ReopenWithCallback(ServerRequestCallback callback) {
    Close();
    return library_.init(0, "", 0, callback) == VTX_RESULT_OK;
}

bool LibraryClient::Close() { return Loaded() && library_.deinit() == VTX_RESULT_OK; }

bool LibraryClient::RequestNarrow() {
    const char* answer = library_.sendrequest(RawHost::kPayload, NarrowLength());
    return answer != nullptr && std::strcmp(answer, RawHost::kPayload) == 0;
}

bool LibraryClient::RequestWide() {
    const std::wstring& text = WidePayload();
    const wchar_t* answer = library_.sendrequestw(text.c_str(), static_cast<int>(text.size()));
    return answer != nullptr && text == answer;
}

bool LibraryClient::RequestIntoBuffer() {
    char buffer[256];
    unsigned int length = sizeof(buffer);
    return library_.sendrequestparam(RawHost::kPayload, NarrowLength(), buffer, &length) == VTX_RESULT_OK &&
           std::strcmp(buffer, RawHost::kPayload) == 0;
}

HWND LibraryClient::BridgeWindow() { return test::BridgeWindowOf(::GetCurrentProcessId()); }

}  // namespace vtx::bench
