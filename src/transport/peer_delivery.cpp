#include "transport/peer_delivery.h"

#include "support/log.h"
#include "transport/bridge_window.h"
#include "transport/form_traits.h"
#include "transport/session_state.h"
#include "transport/window_names.h"

namespace vtx {
namespace {

constexpr UINT kRunPeerFirstStringId = 101;
constexpr int kRunPeerFirstCapacity = 256;

// "Please start the companion application first, then start the chart."
constexpr wchar_t kRunPeerFirstText[] =
    L"\uBC18\uD2F1 \uCEE4\uB125\uD2B8\uB97C \uBA3C\uC800 \uC2E4\uD589 \uD6C4 "
    L"\uCC28\uD2B8\uB97C \uAD6C\uB3D9\uD574 \uC8FC\uC138\uC694.";
// "Error"
constexpr wchar_t kRunPeerFirstCaption[] = L"\uC624\uB958";

// The host's executable may carry its own wording as string 101.
void ShowRunPeerFirst() {
    wchar_t text[kRunPeerFirstCapacity] = {};
    const int loaded = ::LoadStringW(::GetModuleHandleW(nullptr), kRunPeerFirstStringId, text, kRunPeerFirstCapacity);
    ::MessageBoxW(nullptr, loaded > 0 ? text : kRunPeerFirstText, kRunPeerFirstCaption, MB_OK);
}

// The window message calls of each form. For WM_COPYDATA both carry the same
// bytes; the session's form picks one, as peers have always seen it.
template <class F>
LRESULT SendCopyData(HWND peer, WPARAM sender, LPARAM data, DWORD_PTR* result);
template <>
LRESULT SendCopyData<NarrowForm>(HWND peer, WPARAM sender, LPARAM data, DWORD_PTR* result) {
    return ::SendMessageTimeoutA(peer, WM_COPYDATA, sender, data, SMTO_ABORTIFHUNG, INFINITE, result);
}
template <>
LRESULT SendCopyData<WideForm>(HWND peer, WPARAM sender, LPARAM data, DWORD_PTR* result) {
    return ::SendMessageTimeoutW(peer, WM_COPYDATA, sender, data, SMTO_ABORTIFHUNG, INFINITE, result);
}

// The process of `window`; 0 when it is no window (any more).
DWORD OwnerOf(HWND window) {
    DWORD processId = 0;
    return window != nullptr && ::GetWindowThreadProcessId(window, &processId) != 0 ? processId : 0;
}

}  // namespace

PeerVerdict PeerDelivery::VerdictFor(HWND window, DWORD processId, bool& judgedNow) noexcept {
    judgedNow = false;
    KnownProcess known;
    {
        LockHold hold(knownLock_);
        for (const KnownProcess& each : known_) {
            if (each.processId == processId) known = each;
        }
    }
    // Still the process judged: the witness window is this one, or another
    // of the same process still alive.
    if (known.processId != 0 && (known.witness == window || OwnerOf(known.witness) == processId)) {
        return known.verdict;
    }
    judgedNow = true;
    const PeerVerdict verdict = Judge(processId);
    LockHold hold(knownLock_);
    int slot = nextKnown_;
    for (int i = 0; i < kKnownProcesses; ++i) {
        if (known_[i].processId == processId) slot = i;
    }
    if (slot == nextKnown_) nextKnown_ = (nextKnown_ + 1) % kKnownProcesses;
    known_[slot] = KnownProcess{processId, window, verdict};
    return verdict;
}

HWND PeerDelivery::KeptPeer() noexcept {
    TakenWindow taken;
    {
        LockHold hold(knownLock_);
        taken = taken_;
    }
    if (taken.window != nullptr && OwnerOf(taken.window) == taken.processId) return taken.window;
    return nullptr;
}

HWND PeerDelivery::WalkForPeer() noexcept {
    int judged = 0;
    for (int walk = 0; walk <= kWalkRestarts; ++walk) {
        // In Z-order, as FindWindowW would take them.
        HWND candidate = nullptr;
        HWND next = nullptr;
        while ((next = ::FindWindowExW(nullptr, candidate, kPeerClassName, nullptr)) != nullptr) {
            candidate = next;
            const DWORD processId = OwnerOf(candidate);
            bool judgedNow = false;
            const PeerVerdict verdict =
                processId == 0 ? PeerVerdict::Unreadable : VerdictFor(candidate, processId, judgedNow);
            if (verdict == PeerVerdict::Qualifies) {
                LockHold hold(knownLock_);
                taken_ = TakenWindow{candidate, processId};
                return candidate;
            }
            WriteLimitedLog(LogKind::SkippedPeer,
                            LogText("[SendMessageCopyData] Skipped a VantixConnect window of process ")
                                .Add(processId)
                                .Add(": ")
                                .Add(PeerVerdictReason(verdict))
                                .Add("."));
            if (judgedNow && ++judged == kJudgementsPerLookup) {
                WriteLimitedLog(LogKind::SkippedPeer, LogText("[SendMessageCopyData] Gave up looking for the peer after ")
                                                          .Add(kJudgementsPerLookup)
                                                          .Add(" processes judged anew in one lookup."));
                return nullptr;
            }
        }
        // The end of the windows, or the window the walk stood on is gone or
        // going: FindWindowEx then finds nothing after it, while IsWindow may
        // still say yes (under Wine, during its destruction). So a walk that
        // skipped windows looks again from the top, a few times at most;
        // the verdicts kept make that cheap.
        if (candidate == nullptr) return nullptr;
    }
    return nullptr;
}

HWND PeerDelivery::FindPeer() noexcept {
    const HWND kept = KeptPeer();
    return kept != nullptr ? kept : WalkForPeer();
}

LRESULT PeerDelivery::Send(std::uint32_t code, const void* envelope, std::uint32_t size) noexcept {
    if (stop_.Raised()) return 0;
    // While the box is up every send fails at once, as with the peer missing.
    // Its modal loop dispatches the thread's messages (a host's timer may
    // call us again), and other threads may send meanwhile: one box tells
    // the user all there is to tell.
    const bool boxUp = BoxShowing();
    HWND peer = boxUp ? nullptr : FindPeer();
    if (peer == nullptr) {
        if (!boxUp && !boxShowing_.exchange(true)) {
            ShowRunPeerFirst();
            boxShowing_ = false;
        }
        WriteLimitedLog(LogKind::PeerNotFound, LogText("[SendMessageCopyData] Not found VantixConnect handle."));
        return 0;
    }
    // The first send may wait seconds for the bridge window; the peer may
    // restart under a new handle meanwhile, so it is looked for again then.
    const bool senderKnown = bridgeWindow_.HandleKnown();
    const HWND sender = bridgeWindow_.Handle();
    if (sender == nullptr) {
        WriteLog("[SendMessageCopyData] Not found VantixBridge handle.");
        return 0;
    }
    if (!senderKnown && (peer = FindPeer()) == nullptr) return 0;

    COPYDATASTRUCT data{};
    data.dwData = code;
    data.cbData = size;
    data.lpData = const_cast<void*>(envelope);
    // No time limit: a live peer that takes long over a message is waited
    // for. But a peer whose thread has stopped handling messages altogether
    // would hold the host's thread forever, so a hung peer counts as not
    // delivered. A peer that hangs while handling this very message cannot
    // be told from a slow one and is still waited for.
    const auto wParam = reinterpret_cast<WPARAM>(sender);
    const auto lParam = reinterpret_cast<LPARAM>(&data);
    DWORD_PTR result = 0;
    const LRESULT sent = WithForm(session_.sendForm.load(),
                                  [&](auto form) { return SendCopyData<decltype(form)>(peer, wParam, lParam, &result); });
    return sent != 0 ? static_cast<LRESULT>(result) : 0;
}

}  // namespace vtx
