// The substitute peer: stands in for the companion application, so the
// library can be developed and tested without it. Tests run it in-process on
// a thread of its own (Start); vtxpeer.exe runs it on its main thread (Run).
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "peer/command_tickets.h"
#include "peer/message_log.h"
#include "peer/peer_script.h"

namespace vtx::peer {

class PeerEngine;
class PeerTrace;
class RecordDirectory;

struct PeerOptions {
    std::wstring trace;            // empty: none; L"-": standard output; else a file
    std::wstring recordDirectory;  // empty: received messages are not written to disk
    std::uint32_t exitAfterMs = 0;  // 0: run until quit or Stop()
    // Whether Received() and Sent() keep every message (for in-process tests).
    // vtxpeer.exe keeps nothing: it may run for days, and --record writes
    // what a test in another process needs.
    bool keepMessages = true;
};

class Peer {
public:
    explicit Peer(PeerOptions options = {});
    ~Peer();  // Stop()
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Creates the window on a thread of the peer's own and returns once it
    // exists. False (with `error` set, if given) when the trace, the record
    // directory or the window cannot be made, or the peer already runs.
    bool Start(std::string* error = nullptr);
    // Ends the peer's thread and destroys its window; harmless if not running.
    void Stop();

    // For main: creates the window on the calling thread, runs `startup`,
    // then pumps messages until quit, WM_CLOSE or the exit time. Returns 0
    // then, 2 (with `error` set) when the peer could not start.
    int Run(const std::vector<Command>& startup, std::string* error);

    // Runs commands on the peer's thread, from any thread. Commands before a
    // failing one keep their effect; text that does not parse runs nothing.
    ExecuteResult Execute(std::string_view commands);
    ExecuteResult Execute(const std::vector<Command>& commands);

    // Every message received (control messages excepted), oldest first.
    std::vector<ReceivedMessage> Received() const;
    bool WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    void ClearReceived();

    // Every answer and server request sent, with its receiver's result.
    std::vector<SentMessage> Sent() const;
    bool WaitForSent(std::size_t count, std::chrono::milliseconds timeout) const;
    void ClearSent();

    // The "VantixConnect" window; null when the peer is not running.
    HWND Window() const { return window_.load(); }

private:
    bool Open(std::string* error);
    void NoteReady();
    void PumpMessages();

    PeerOptions options_;
    MessageLog<ReceivedMessage> received_;
    MessageLog<SentMessage> sent_;
    std::unique_ptr<PeerTrace> trace_;
    std::unique_ptr<RecordDirectory> record_;
    std::unique_ptr<PeerEngine> engine_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<DWORD> threadId_{0};
    std::thread thread_;
};

}  // namespace vtx::peer
