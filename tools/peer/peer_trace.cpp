#include "peer/peer_trace.h"

#include <cstdio>

#include "peer/message_description.h"

namespace vtx::peer {
namespace {

std::string Timestamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[16];
    std::snprintf(text, sizeof(text), "%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds);
    return text;
}

}  // namespace

std::unique_ptr<PeerTrace> PeerTrace::Open(const std::wstring& target, std::string* error) {
    if (target == L"-") {
        return std::make_unique<PeerTrace>(OpenKey{}, GetStdHandle(STD_OUTPUT_HANDLE),
                                           UniqueFile(INVALID_HANDLE_VALUE));
    }
    // Others may read the trace while the peer writes it.
    UniqueFile file(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = "cannot create the trace file (error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    const HANDLE output = file.get();
    return std::make_unique<PeerTrace>(OpenKey{}, output, std::move(file));
}

PeerTrace::PeerTrace(OpenKey, HANDLE output, UniqueFile file) : output_(output), file_(std::move(file)) {}

void PeerTrace::Received(std::uint32_t code, HWND from, const void* data, std::size_t size) {
    WriteLine("recv " + std::to_string(code) + " cb=" + std::to_string(size) + " from=" + HandleText(from) + " " +
              DescribeEnvelope(code, data, size));
}

void PeerTrace::Sent(const OutgoingMessage& message, const SendOutcome& outcome) {
    const std::string result = outcome.delivered ? "-> " + std::to_string(outcome.result)
                                                 : "-> not delivered (error " + std::to_string(outcome.error) + ")";
    const auto& bytes = message.bytes;
    WriteLine("send " + std::to_string(message.code) + " cb=" + std::to_string(bytes.size()) +
              " to=" + HandleText(message.target) + " " + DescribeEnvelope(message.code, bytes.data(), bytes.size()) +
              " " + result);
}

void PeerTrace::Note(const std::string& text) { WriteLine("note " + text); }

void PeerTrace::WriteLine(const std::string& line) {
    const std::string text = Timestamp() + " " + line + "\r\n";
    std::lock_guard<std::mutex> lock(mutex_);
    DWORD written = 0;
    WriteFile(output_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace vtx::peer
