#include "sender_process.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include "common/envelope_helpers.h"
#include "stopwatch.h"
#include "transport/envelope.h"
#include "transport/message_codes.h"

namespace vtx::bench {
namespace {

constexpr DWORD kSendBoundMs = 5000;
constexpr char kText[] = "cb";

// Names of the shared slot and the two events, from the parent's process ID.
std::wstring NameOf(const wchar_t* what, const std::wstring& parentId) {
    return L"Local\\vtxbench-sender-" + parentId + L"-" + what;
}

}  // namespace

// Written by one side while the other waits on an event.
struct SenderProcess::Slot {
    volatile std::int64_t target;  // the window, or 0: end
    volatile std::int64_t sentAt;
    volatile std::int32_t taken;   // 1: the window answered non-zero
};

SenderProcess::SenderProcess() {
    const std::wstring parentId = std::to_wstring(::GetCurrentProcessId());
    mapping_.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Slot),
                                        NameOf(L"slot", parentId).c_str()));
    go_.reset(::CreateEventW(nullptr, FALSE, FALSE, NameOf(L"go", parentId).c_str()));
    done_.reset(::CreateEventW(nullptr, FALSE, FALSE, NameOf(L"done", parentId).c_str()));
    if (!mapping_ || !go_ || !done_) return;
    slot_ = static_cast<Slot*>(::MapViewOfFile(mapping_.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Slot)));
    if (slot_ == nullptr) return;
    child_ = std::make_unique<test::ChildProcess>(test::ChildProcess::ThisProgram(),
                                                  std::vector<std::wstring>{L"--sender", parentId});
}

SenderProcess::~SenderProcess() {
    if (Ready()) {
        slot_->target = 0;
        ::SetEvent(go_.get());
        child_->WaitForExit(std::chrono::milliseconds(kSendBoundMs));
    }
    if (slot_ != nullptr) ::UnmapViewOfFile(slot_);
}

bool SenderProcess::Send(HWND target, long long* sentAt) {
    if (!Ready()) return false;
    slot_->target = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(target));
    slot_->taken = 0;
    ::SetEvent(go_.get());
    if (::WaitForSingleObject(done_.get(), kSendBoundMs + 1000) != WAIT_OBJECT_0 || slot_->taken == 0) return false;
    *sentAt = slot_->sentAt;
    return true;
}

int SenderProcess::Serve(const wchar_t* parentId) {
    const std::wstring parent = parentId;
    const UniqueHandle mapping(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, NameOf(L"slot", parent).c_str()));
    const UniqueHandle go(::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, NameOf(L"go", parent).c_str()));
    const UniqueHandle done(::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, NameOf(L"done", parent).c_str()));
    const UniqueHandle parentProcess(
        ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(std::wcstoul(parentId, nullptr, 10))));
    if (!mapping || !go || !done || !parentProcess) return 2;
    auto* slot = static_cast<Slot*>(::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Slot)));
    if (slot == nullptr) return 2;

    // The envelope vtxpeer.exe sends: every byte but the text zero.
    const auto envelope = MakeBlankEnvelope<MessageEnvelope>();
    CopyToField(envelope->payload, std::string(kText));
    COPYDATASTRUCT data{};
    data.dwData = code::kServerRequest;
    data.cbData = sizeof(MessageEnvelope);
    data.lpData = envelope.get();

    // Ends with the parent, should it end without telling.
    const HANDLE waits[] = {go.get(), parentProcess.get()};
    while (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 && slot->target != 0) {
        const HWND target = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(slot->target));
        DWORD_PTR result = 0;
        const long long sentAt = Ticks();
        // As vtxpeer.exe sends: answering messages sent to this thread meanwhile.
        const bool sent = ::SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                                SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendBoundMs, &result) != 0;
        slot->sentAt = sentAt;
        slot->taken = sent && result != 0 ? 1 : 0;
        ::SetEvent(done.get());
    }
    ::UnmapViewOfFile(slot);
    return 0;
}

}  // namespace vtx::bench
