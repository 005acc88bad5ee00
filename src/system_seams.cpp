// What the library asks the system where the unit tests must decide the
// answer, because Wine gives one answer for all: who a peer's process is,
// whether the host runs elevated, the opening of the bridge window's
// message filter, and the local time the log stamps its lines with. Each is
// a plain call here, in a file of its own: the unit tests link
// tests/unit/system_stand_ins.cpp in its place (a link-time seam), so the
// classes carry no test hook.
#include "support/log.h"
#include "support/process_identity.h"
#include "transport/bridge_window.h"
#include "transport/peer_delivery.h"

namespace vtx {

PeerVerdict PeerDelivery::Judge(DWORD processId) noexcept { return JudgeProcess(processId); }

bool BridgeWindow::HostAboveMedium() noexcept { return HostRunsAboveMediumIntegrity(); }

void BridgeWindow::OpenFilter(HWND window) noexcept { AllowCopyDataFromLowerIntegrity(window); }

LogClockReading LogClockNow() noexcept { return ReadLocalClock(); }

}  // namespace vtx
