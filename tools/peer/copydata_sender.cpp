#include "peer/copydata_sender.h"

namespace vtx::peer {

SendOutcome SendCopyData(const OutgoingMessage& message, HWND from) {
    COPYDATASTRUCT data{};
    data.dwData = message.code;
    data.cbData = static_cast<DWORD>(message.bytes.size());
    // WM_COPYDATA never writes through lpData; the cast only meets the type.
    data.lpData = const_cast<unsigned char*>(message.bytes.data());

    SendOutcome outcome;
    DWORD_PTR result = 0;
    // SMTO_NORMAL keeps this thread answering messages sent to it meanwhile:
    // the receiver may well send to the peer before it returns.
    SetLastError(0);
    if (SendMessageTimeoutW(message.target, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&data),
                            SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0) {
        outcome.delivered = true;
        outcome.result = static_cast<LRESULT>(result);
    } else {
        outcome.error = GetLastError();
    }
    return outcome;
}

}  // namespace vtx::peer
