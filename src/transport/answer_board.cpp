#include "transport/answer_board.h"

#include <utility>

namespace vtx {
namespace {
// A pause ends after this long at the latest, even if nothing was filed.
constexpr std::uint32_t kLongestPauseMs = 100;
}  // namespace

template <class Char>
AnswerTable<Char>::~AnswerTable() {
    while (first_ != nullptr) {
        Entry* entry = first_;
        first_ = entry->next;
        DestroyAndFree<Entry>{}(entry);
    }
}

template <class Char>
typename AnswerTable<Char>::Entry** AnswerTable<Char>::Find(const Key& key) noexcept {
    Entry** link = &first_;
    while (*link != nullptr && !((*link)->key == key)) link = &(*link)->next;
    return link;
}

template <class Char>
bool AnswerTable<Char>::Expect(const Key& key) noexcept {
    Entry** link = Find(key);
    if (*link == nullptr) {
        Owned<Entry> entry = MakeOwned<Entry>();
        if (!entry) return false;
        entry->key = key;
        *link = entry.release();
        ++size_;
    }
    ++(*link)->waiters;
    return true;
}

template <class Char>
Owned<FiledAnswer<Char>> AnswerTable<Char>::File(Owned<Answer> answer) noexcept {
    Entry** link = Find(answer->requestId);
    if (*link == nullptr) return answer;
    std::swap((*link)->answer, answer);
    return answer;
}

template <class Char>
Owned<FiledAnswer<Char>> AnswerTable<Char>::Take(const Key& key) noexcept {
    Entry** link = Find(key);
    if (*link == nullptr || !(*link)->answer) return nullptr;
    Owned<Answer> answer = std::move((*link)->answer);
    Release(link);
    return answer;
}

template <class Char>
Owned<FiledAnswer<Char>> AnswerTable<Char>::Forget(const Key& key) noexcept {
    Entry** link = Find(key);
    if (*link == nullptr) return nullptr;
    return Release(link);
}

template <class Char>
Owned<FiledAnswer<Char>> AnswerTable<Char>::Release(Entry** link) noexcept {
    Entry* entry = *link;
    if (--entry->waiters > 0) return nullptr;
    Owned<Answer> leftover = std::move(entry->answer);
    *link = entry->next;
    --size_;
    DestroyAndFree<Entry>{}(entry);
    return leftover;
}

template class AnswerTable<char>;
template class AnswerTable<WideChar>;

template <>
AnswerTable<char>& AnswerBoard::TableOf<NarrowForm>() noexcept { return narrow_; }
template <>
AnswerTable<WideChar>& AnswerBoard::TableOf<WideForm>() noexcept { return wide_; }

template <class F>
bool AnswerBoard::Expect(const RequestIdText<typename F::Char>& key) noexcept {
    LockHold hold(lock_);
    return TableOf<F>().Expect(key);
}

template <class F>
bool AnswerBoard::File(Owned<FiledAnswer<typename F::Char>> answer) noexcept {
    const FiledAnswer<typename F::Char>* const incoming = answer.get();
    Owned<FiledAnswer<typename F::Char>> released;
    {
        LockHold hold(lock_);
        released = TableOf<F>().File(std::move(answer));
    }
    const bool filed = released.get() != incoming;
    if (filed) answerFiled_.NotifyAll();
    return filed;  // `released` (unwanted, or a repeat's predecessor) goes here, outside the lock
}

template <class F>
Owned<FiledAnswer<typename F::Char>> AnswerBoard::Wait(const RequestIdText<typename F::Char>& key,
                                                       std::uint32_t budgetMs) noexcept {
    const std::uint64_t deadline = MonotonicMs() + budgetMs;
    LockHold hold(lock_);
    for (;;) {
        if (auto answer = TableOf<F>().Take(key)) return answer;
        const std::uint64_t now = MonotonicMs();
        if (stopped_ || now >= deadline) return nullptr;
        // The lock is held from the look to the wait, so no filing slips in
        // between. Any filing wakes this; an answer for someone else just
        // means another look.
        const std::uint64_t left = deadline - now;
        answerFiled_.WaitFor(hold, static_cast<std::uint32_t>(left < kLongestPauseMs ? left : kLongestPauseMs));
    }
}

template <class F>
void AnswerBoard::Forget(const RequestIdText<typename F::Char>& key) noexcept {
    Owned<FiledAnswer<typename F::Char>> leftover;  // released after the lock: declared first
    LockHold hold(lock_);
    leftover = TableOf<F>().Forget(key);
}

void AnswerBoard::StopWaits() noexcept {
    {
        LockHold hold(lock_);
        stopped_ = true;
    }
    answerFiled_.NotifyAll();
}

template bool AnswerBoard::Expect<NarrowForm>(const RequestIdText<char>&) noexcept;
template bool AnswerBoard::Expect<WideForm>(const RequestIdText<WideChar>&) noexcept;
template bool AnswerBoard::File<NarrowForm>(Owned<FiledAnswer<char>>) noexcept;
template bool AnswerBoard::File<WideForm>(Owned<FiledAnswer<WideChar>>) noexcept;
template Owned<FiledAnswer<char>> AnswerBoard::Wait<NarrowForm>(const RequestIdText<char>&, std::uint32_t) noexcept;
template Owned<FiledAnswer<WideChar>> AnswerBoard::Wait<WideForm>(const RequestIdText<WideChar>&,
                                                                  std::uint32_t) noexcept;
template void AnswerBoard::Forget<NarrowForm>(const RequestIdText<char>&) noexcept;
template void AnswerBoard::Forget<WideForm>(const RequestIdText<WideChar>&) noexcept;

}  // namespace vtx
