// The trace: one readable line per message the peer receives or sends and
// per command it runs, written as it happens so a crash loses nothing.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "peer/copydata_sender.h"
#include "support/unique_handle.h"

namespace vtx::peer {

class PeerTrace {
    struct OpenKey {
        explicit OpenKey() = default;
    };

public:
    // `target` "-" is standard output; anything else a file, truncated.
    // Null with `error` set when the file cannot be created.
    static std::unique_ptr<PeerTrace> Open(const std::wstring& target, std::string* error);

    void Received(std::uint32_t code, HWND from, const void* data, std::size_t size);
    void Sent(const OutgoingMessage& message, const SendOutcome& outcome);
    void Note(const std::string& text);

    // For Open only (it alone can make an OpenKey).
    PeerTrace(OpenKey, HANDLE output, UniqueFile file);

private:
    void WriteLine(const std::string& line);

    std::mutex mutex_;
    HANDLE output_;
    UniqueFile file_;  // owns `output_` unless that is standard output
};

}  // namespace vtx::peer
