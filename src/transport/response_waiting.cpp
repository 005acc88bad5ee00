// Filing answers and waiting for them: the in-process lock is held only for
// the table work, never across a pause, and answers are made and released
// outside it. A waiting export sleeps until an answer is filed, so
// it takes its own the moment it arrives, or until the library is unloaded.
#include <algorithm>
#include <chrono>

#include "support/limited_log.h"
#include "transport/bridge_context.h"

namespace vtx {
namespace {
using Clock = std::chrono::steady_clock;
// The wait's budget: 50 pauses of 100 ms, as hosts know it.
constexpr auto kWaitBudget = std::chrono::milliseconds(50 * 100);
// A pause ends after this long at the latest, even if nothing was filed.
constexpr auto kLongestPause = std::chrono::milliseconds(100);
}  // namespace

template <>
ResponseTable<Answer>& BridgeContext::TableOf<NarrowForm>() { return responses_; }
template <>
ResponseTable<AnswerW>& BridgeContext::TableOf<WideForm>() { return responsesW_; }

template <class F>
void BridgeContext::Store(std::unique_ptr<typename F::Answer> answer) {
    const typename F::Answer* const incoming = answer.get();
    std::unique_ptr<typename F::Answer> unwanted;
    {
        LockHold guard(responseGuard_);
        unwanted = TableOf<F>().File(std::move(answer));
        if (!unwanted) ++answersFiled_;
    }
    if (!unwanted) answerFiled_.NotifyAll();
    // Late or unsolicited; a repeat that replaced an answer not yet taken is not.
    if (unwanted && unwanted.get() == incoming) {
        WriteLimitedLog(LogKind::UnwaitedAnswer, "[StoreResponse] Dropped an answer nobody waited for: message " +
                                                     std::to_string(unwanted->code) + ", request ID " +
                                                     LoggableText(unwanted->requestId) + ".");
    }
}

template <class F>
bool BridgeContext::Has(const typename F::String& requestId) {
    LockHold guard(responseGuard_);
    return TableOf<F>().Has(requestId);
}

template <class F>
void BridgeContext::Expect(const typename F::String& requestId) {
    LockHold guard(responseGuard_);
    TableOf<F>().Expect(requestId);
}

template <class F>
std::unique_ptr<typename F::Answer> BridgeContext::Wait(int* timedOut, const typename F::String& requestId) {
    *timedOut = 0;
    const Clock::time_point deadline = Clock::now() + kWaitBudget;
    for (;;) {
        std::uint64_t filedBefore;
        {
            LockHold guard(responseGuard_);
            if (auto answer = TableOf<F>().Take(requestId)) return answer;
            filedBefore = answersFiled_;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline || Unloading()) break;
        // Woken by any filing; an answer for someone else just means another look.
        const auto pause = std::min<Clock::duration>(deadline - now, kLongestPause);
        const auto pauseMs = std::chrono::ceil<std::chrono::milliseconds>(pause).count();
        std::unique_lock<Lock> guard(responseGuard_);
        if (answersFiled_ == filedBefore && !Unloading()) answerFiled_.WaitFor(guard, static_cast<DWORD>(pauseMs));
    }
    *timedOut = 1;
    return nullptr;
}

// The unload is one more thing a waiter is woken for.
void BridgeContext::BeginUnload() {
    {
        LockHold guard(responseGuard_);
        unloading_ = 1;
    }
    answerFiled_.NotifyAll();
}

template <class F>
void BridgeContext::Remove(const typename F::String& requestId) {
    std::unique_ptr<typename F::Answer> leftover;
    {
        LockHold guard(responseGuard_);
        leftover = TableOf<F>().Forget(requestId);
    }
}

std::size_t BridgeContext::PendingResponseCount() {
    LockHold guard(responseGuard_);
    return responses_.Size() + responsesW_.Size();
}

template void BridgeContext::Store<NarrowForm>(std::unique_ptr<Answer>);
template void BridgeContext::Store<WideForm>(std::unique_ptr<AnswerW>);
template bool BridgeContext::Has<NarrowForm>(const std::string&);
template bool BridgeContext::Has<WideForm>(const WideString&);
template void BridgeContext::Expect<NarrowForm>(const std::string&);
template void BridgeContext::Expect<WideForm>(const WideString&);
template std::unique_ptr<Answer> BridgeContext::Wait<NarrowForm>(int*, const std::string&);
template std::unique_ptr<AnswerW> BridgeContext::Wait<WideForm>(int*, const WideString&);
template void BridgeContext::Remove<NarrowForm>(const std::string&);
template void BridgeContext::Remove<WideForm>(const WideString&);

}  // namespace vtx
