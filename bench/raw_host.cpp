#include "raw_host.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace vtx::bench {
namespace {

constexpr wchar_t kClassName[] = L"VtxBenchRawHost";
constexpr DWORD kAnswerWaitMs = 5000;

std::atomic<unsigned> senderCount{0};

template <class Char, std::size_t N>
void WriteAsciiField(Char (&field)[N], const char* text) {
    std::size_t i = 0;
    for (; text[i] != '\0' && i + 1 < N; ++i) field[i] = static_cast<Char>(text[i]);
    field[i] = Char{};
}

// The bytes an answer's payload must hold: the request's payload echoed.
template <class Char>
const std::string& ExpectedPayloadBytes() {
    static const std::string bytes = [] {
        std::basic_string<Char> text(RawHost::kPayload, RawHost::kPayload + std::strlen(RawHost::kPayload));
        return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(Char));
    }();
    return bytes;
}

// Bounded reads of a received envelope: the sender's bytes are only trusted
// up to the field's end.
std::string NarrowField(const unsigned char* bytes, std::size_t offset, std::size_t units) {
    const char* field = reinterpret_cast<const char*>(bytes + offset);
    return std::string(field, strnlen(field, units));
}

std::string WideFieldBytes(const unsigned char* bytes, std::size_t offset, std::size_t units) {
    const wchar_t* field = reinterpret_cast<const wchar_t*>(bytes + offset);
    return std::string(reinterpret_cast<const char*>(field), wcsnlen(field, units) * sizeof(wchar_t));
}

// Request IDs are ASCII: the wide ID narrows unit by unit to the table's key.
std::string WideAsciiField(const unsigned char* bytes, std::size_t offset, std::size_t units) {
    const wchar_t* field = reinterpret_cast<const wchar_t*>(bytes + offset);
    const std::size_t length = wcsnlen(field, units);
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(field[i]);
    return text;
}

}  // namespace

const char RawHost::kPayload[] = "{\"bench\":\"ping\"}";

RawHost::Sender::Sender()
    : answered_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      narrow_(MakeBlankEnvelope<MessageEnvelope>()),
      wide_(MakeBlankEnvelope<MessageEnvelopeW>()) {
    char prefix[32];
    std::snprintf(prefix, sizeof(prefix), "raw%u-", senderCount.fetch_add(1));
    prefix_ = prefix;
    WriteAsciiField(narrow_->payload, kPayload);
    WriteAsciiField(wide_->payload, kPayload);
    narrow_->length = wide_->length = static_cast<std::int32_t>(std::strlen(kPayload));
}

RawHost::RawHost() : serverRequestArrived_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    UniqueHandle created(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    pump_ = std::thread([this, event = created.get()] { Pump(event); });
    ::WaitForSingleObject(created.get(), INFINITE);
}

RawHost::~RawHost() {
    if (window_ != nullptr) ::PostMessageW(window_, WM_CLOSE, 0, 0);
    pump_.join();
}

void RawHost::Pump(HANDLE created) {
    const HINSTANCE module = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kClassName;
    ::RegisterClassW(&windowClass);
    window_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, this);
    ::SetEvent(created);  // `created` is gone from here on
    if (window_ == nullptr) return;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    ::UnregisterClassW(kClassName, module);
}

LRESULT CALLBACK RawHost::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    auto* self = reinterpret_cast<RawHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_COPYDATA && lParam != 0) {
        return self->OnCopyData(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT RawHost::OnCopyData(const COPYDATASTRUCT& data) {
    const auto* bytes = static_cast<const unsigned char*>(data.lpData);
    std::string key;
    std::string payload;
    switch (data.dwData) {
        case AnswerCode(code::kSendRequest):
            if (bytes == nullptr || data.cbData < sizeof(MessageEnvelope)) return 0;
            key = NarrowField(bytes, offsetof(MessageEnvelope, requestId), kRequestIdUnits);
            payload = NarrowField(bytes, offsetof(MessageEnvelope, payload), kPayloadUnits);
            break;
        case AnswerCode(code::kSendRequestW):
            if (bytes == nullptr || data.cbData < sizeof(MessageEnvelopeW)) return 0;
            key = WideAsciiField(bytes, offsetof(MessageEnvelopeW, requestId), kRequestIdUnits);
            payload = WideFieldBytes(bytes, offsetof(MessageEnvelopeW, payload), kPayloadUnits);
            break;
        case code::kServerRequest:
            if (bytes == nullptr || data.cbData < sizeof(MessageEnvelope)) return 0;
            payload = NarrowField(bytes, offsetof(MessageEnvelope, payload), kPayloadUnits);
            {
                std::lock_guard<std::mutex> hold(inboxLock_);
                serverRequests_.push_back(std::move(payload));
            }
            ::SetEvent(serverRequestArrived_.get());
            return 1;
        default:
            return 1;
    }
    // The copy is made before the lock: the lock guards the table only.
    std::lock_guard<std::mutex> hold(tableLock_);
    const auto found = awaiting_.find(key);
    if (found == awaiting_.end()) return 1;  // nobody waits any more
    found->second->payload = std::move(payload);
    ::SetEvent(found->second->answered);
    awaiting_.erase(found);
    return 1;
}

template <class Envelope>
bool RawHost::SendAndWait(Sender& sender, Envelope& envelope, std::uint32_t messageCode, HWND peer) {
    char id[kRequestIdUnits];
    std::snprintf(id, sizeof(id), "%s%08x", sender.prefix_.c_str(), sender.next_++);
    WriteAsciiField(envelope.requestId, id);
    const std::string key(id);

    Awaiting awaiting{sender.answered_.get(), {}};
    {
        std::lock_guard<std::mutex> hold(tableLock_);
        awaiting_[key] = &awaiting;
    }
    COPYDATASTRUCT data{};
    data.dwData = messageCode;
    data.cbData = sizeof(Envelope);
    data.lpData = &envelope;
    const LRESULT accepted =
        ::SendMessageW(peer, WM_COPYDATA, reinterpret_cast<WPARAM>(window_), reinterpret_cast<LPARAM>(&data));
    if (accepted == 0 || ::WaitForSingleObject(awaiting.answered, kAnswerWaitMs) != WAIT_OBJECT_0) {
        std::lock_guard<std::mutex> hold(tableLock_);
        awaiting_.erase(key);
        // An answer filed just before the erase has set the event: clear it
        // so the next round trip does not wake early.
        ::ResetEvent(awaiting.answered);
        return false;
    }
    using Char = std::remove_extent_t<decltype(Envelope::payload)>;
    return awaiting.payload == ExpectedPayloadBytes<Char>();
}

bool RawHost::RoundTrip(Sender& sender, HWND peer, Form form) {
    if (form == Form::Narrow) return SendAndWait(sender, *sender.narrow_, code::kSendRequest, peer);
    return SendAndWait(sender, *sender.wide_, code::kSendRequestW, peer);
}

std::optional<std::string> RawHost::TakeServerRequest() {
    std::lock_guard<std::mutex> hold(inboxLock_);
    if (serverRequests_.empty()) return std::nullopt;
    std::string text = std::move(serverRequests_.front());
    serverRequests_.pop_front();
    return text;
}

}  // namespace vtx::bench
