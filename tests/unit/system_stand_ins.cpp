// The unit tests' src/system_seams.cpp (see component_probes.h): the same
// functions, linked in its place, each answering as the library does unless
// a test's StandIn answers instead.
#include "component_probes.h"
#include "transport/peer_delivery.h"

namespace vtx {

namespace stand_in {
std::atomic<PeerVerdict (*)(DWORD processId) noexcept> judge{nullptr};
std::atomic<bool (*)() noexcept> hostAboveMedium{nullptr};
std::atomic<void (*)(HWND window) noexcept> openFilter{nullptr};
std::atomic<LogClockReading (*)()> clock{nullptr};
}  // namespace stand_in

PeerVerdict PeerDelivery::Judge(DWORD processId) noexcept {
    const auto judge = stand_in::judge.load();
    return judge != nullptr ? judge(processId) : JudgeProcess(processId);
}

bool BridgeWindow::HostAboveMedium() noexcept {
    const auto hostAboveMedium = stand_in::hostAboveMedium.load();
    return hostAboveMedium != nullptr ? hostAboveMedium() : HostRunsAboveMediumIntegrity();
}

void BridgeWindow::OpenFilter(HWND window) noexcept {
    const auto openFilter = stand_in::openFilter.load();
    if (openFilter != nullptr) {
        openFilter(window);
    } else {
        AllowCopyDataFromLowerIntegrity(window);
    }
}

LogClockReading LogClockNow() noexcept {
    const auto clock = stand_in::clock.load();
    return clock != nullptr ? clock() : ReadLocalClock();
}

}  // namespace vtx
