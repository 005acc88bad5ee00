// The peer's behaviour, run on the thread owning its window: takes requests,
// answers them as the rules say, sends server requests and runs commands.
// Single-threaded by design; other threads reach it only through
// CommandTickets and the window's message queue.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "peer/answer_rules.h"
#include "peer/command_tickets.h"
#include "peer/copydata_sender.h"
#include "peer/late_queue.h"
#include "peer/message_log.h"
#include "peer/peer_script.h"
#include "peer/peer_trace.h"
#include "peer/record_directory.h"

namespace vtx::peer {

// Messages the peer sends or posts to its own window.
inline constexpr UINT kWakeMessage = WM_APP + 1;     // late answers may be due
inline constexpr UINT kExecuteMessage = WM_APP + 2;  // lParam: a CommandTickets ticket
inline constexpr UINT kHangMessage = WM_APP + 3;     // wParam: how long to hang, in ms

// Where the engine reports what it sees; trace and record are optional.
struct EngineOutputs {
    MessageLog<ReceivedMessage>* received = nullptr;
    MessageLog<SentMessage>* sent = nullptr;
    PeerTrace* trace = nullptr;
    RecordDirectory* record = nullptr;
};

class PeerEngine {
public:
    explicit PeerEngine(EngineOutputs outputs);

    // Binds the engine to its window, once it exists.
    void Attach(HWND window);
    // Stops every timer and drops unsent answers, before the window goes.
    void Detach();
    // Ends the message loop after `ms` milliseconds.
    void StartExitTimer(std::uint32_t ms);

    LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT* data);
    void OnTimer(UINT_PTR timerId);
    void OnWake();
    void OnExecuteTicket(std::uintptr_t ticket);

    ExecuteResult Execute(const std::vector<Command>& commands);
    CommandTickets& Tickets() { return tickets_; }

private:
    LRESULT OnControl(const COPYDATASTRUCT& data);
    LRESULT OnRequest(HWND sender, std::uint32_t code, const void* data, std::size_t size);
    void Record(HWND sender, std::uint32_t code, const void* data, std::size_t size);

    std::string Run(const Command& command);
    std::string Serve(const ServeCommand& command);
    std::string StartServing(const EveryCommand& command);
    void StopServing();

    SendOutcome Deliver(const OutgoingMessage& message);
    void SendDueAnswers();
    void ArmWake();
    void Note(const std::string& text);

    EngineOutputs outputs_;
    HWND window_ = nullptr;
    CommandTickets tickets_;
    AnswerRules rules_;
    std::string bridgeId_;     // ANSI, as the last 1016 carried it
    HWND lastSender_ = nullptr;  // where server requests go by default
    LateQueue late_;
    bool sendingLate_ = false;
    std::map<UINT_PTR, ServeCommand> serving_;  // `every` timers by timer ID
    UINT_PTR nextServeTimer_;
    std::mt19937 random_;
};

}  // namespace vtx::peer
