// Filing answers and waiting for them: the "Response" lock is held only for
// the table work, never across a pause, and envelopes are allocated and
// released outside it.
#include "transport/bridge_context.h"

namespace vtx {
namespace {
constexpr int kWaitPauses = 50;
constexpr DWORD kPauseMs = 100;
}  // namespace

template <>
ResponseTable<MessageEnvelope>& BridgeContext::TableOf<NarrowForm>() { return responses_; }
template <>
ResponseTable<MessageEnvelopeW>& BridgeContext::TableOf<WideForm>() { return responsesW_; }

template <class F>
void BridgeContext::Store(std::unique_ptr<typename F::Envelope> copy) {
    std::unique_ptr<typename F::Envelope> unwanted;
    {
        auto hold = responseLock_.Acquire();
        unwanted = TableOf<F>().File(std::move(copy));
    }
}

template <class F>
bool BridgeContext::Has(const typename F::String& requestId) {
    auto hold = responseLock_.Acquire();
    return TableOf<F>().Has(requestId);
}

template <class F>
void BridgeContext::Expect(const typename F::String& requestId) {
    auto hold = responseLock_.Acquire();
    TableOf<F>().Expect(requestId);
}

template <class F>
std::unique_ptr<typename F::Envelope> BridgeContext::Wait(int* timedOut, const typename F::String& requestId) {
    *timedOut = 0;
    for (int pausesLeft = kWaitPauses;; --pausesLeft) {
        {
            auto hold = responseLock_.Acquire();
            if (auto answer = TableOf<F>().Take(requestId)) return answer;
        }
        if (pausesLeft <= 0) break;
        ::Sleep(kPauseMs);
    }
    *timedOut = 1;
    return nullptr;
}

template <class F>
void BridgeContext::Remove(const typename F::String& requestId) {
    std::unique_ptr<typename F::Envelope> leftover;
    {
        auto hold = responseLock_.Acquire();
        leftover = TableOf<F>().Forget(requestId);
    }
}

std::size_t BridgeContext::PendingResponseCount() {
    auto hold = responseLock_.Acquire();
    return responses_.Size() + responsesW_.Size();
}

template void BridgeContext::Store<NarrowForm>(std::unique_ptr<MessageEnvelope>);
template void BridgeContext::Store<WideForm>(std::unique_ptr<MessageEnvelopeW>);
template bool BridgeContext::Has<NarrowForm>(const std::string&);
template bool BridgeContext::Has<WideForm>(const WideString&);
template void BridgeContext::Expect<NarrowForm>(const std::string&);
template void BridgeContext::Expect<WideForm>(const WideString&);
template std::unique_ptr<MessageEnvelope> BridgeContext::Wait<NarrowForm>(int*, const std::string&);
template std::unique_ptr<MessageEnvelopeW> BridgeContext::Wait<WideForm>(int*, const WideString&);
template void BridgeContext::Remove<NarrowForm>(const std::string&);
template void BridgeContext::Remove<WideForm>(const WideString&);

}  // namespace vtx
