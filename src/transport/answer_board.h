// The answer board: where the peer's answers wait for the exports that asked.
//
// An export registers its request ID before it sends (the peer may answer
// during the send), waits, and ends its registration whatever happens. The
// bridge window files each answer under its request ID, and only if some
// export waits for it: answers that arrive late, that nobody asked for, or
// that repeat one already taken are released at once, so the board never
// holds more than the requests in flight. Filing wakes the waiters, so an
// export takes its answer the moment it arrives.
//
// One lock guards both forms' tables; it is held only for the table step,
// never across a pause, and answers are made and released outside it.
// Portable: no Win32.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/heap.h"
#include "support/sync.h"
#include "transport/filed_answer.h"
#include "transport/form_traits.h"

namespace vtx {

// Registrations and filed answers of one form.
template <class Char>
class AnswerTable {
public:
    using Key = RequestIdText<Char>;
    using Answer = FiledAnswer<Char>;

    AnswerTable() = default;
    AnswerTable(const AnswerTable&) = delete;
    AnswerTable& operator=(const AnswerTable&) = delete;
    ~AnswerTable();

    // One more export waits for `key` (requests that fell back to a shared
    // request ID register the same key more than once). False when no
    // memory is left for the registration.
    [[nodiscard]] bool Expect(const Key& key) noexcept;
    // Files `answer` if somebody waits for its request ID. Returns what must
    // be released outside the lock: the answer itself when nobody waits, or
    // an earlier answer it replaced.
    [[nodiscard]] Owned<Answer> File(Owned<Answer> answer) noexcept;
    // Hands the filed answer to one waiting export and ends that export's
    // registration in the same step, so two exports sharing a key never
    // both see one answer.
    [[nodiscard]] Owned<Answer> Take(const Key& key) noexcept;
    // Ends one registration without an answer. Returns an answer filed
    // meanwhile, once no other export waits for the key.
    [[nodiscard]] Owned<Answer> Forget(const Key& key) noexcept;
    std::size_t Size() const noexcept { return size_; }

private:
    struct Entry {
        Key key;
        int waiters = 0;
        Owned<Answer> answer;
        Entry* next = nullptr;
    };
    Entry** Find(const Key& key) noexcept;
    Owned<Answer> Release(Entry** link) noexcept;

    Entry* first_ = nullptr;
    std::size_t size_ = 0;
};

class AnswerBoard {
public:
    AnswerBoard() = default;
    AnswerBoard(const AnswerBoard&) = delete;
    AnswerBoard& operator=(const AnswerBoard&) = delete;

    template <class F>
    [[nodiscard]] bool Expect(const RequestIdText<typename F::Char>& key) noexcept;
    // Files an answer of form F (called on the loop thread). False when
    // nobody waits for it: it is then released, and the caller may log it.
    template <class F>
    [[nodiscard]] bool File(Owned<FiledAnswer<typename F::Char>> answer) noexcept;
    // Waits at most `budgetMs` (in pauses of at most 100 ms, each cut short
    // the moment any answer is filed) for the answer and hands it over,
    // ending the registration. Null when it did not come in time, or when
    // the waits were stopped; the registration then stays until Forget.
    template <class F>
    [[nodiscard]] Owned<FiledAnswer<typename F::Char>> Wait(const RequestIdText<typename F::Char>& key,
                                              std::uint32_t budgetMs) noexcept;
    // Ends a registration that got no answer; a later answer is dropped.
    template <class F>
    void Forget(const RequestIdText<typename F::Char>& key) noexcept;

    // At unload: every wait under way ends at once, and every later one
    // returns at once, with nothing.
    void StopWaits() noexcept;

private:
    friend class AnswerBoardProbe;  // tests only

    template <class F>
    AnswerTable<typename F::Char>& TableOf() noexcept;

    Lock lock_;
    ConditionVariable answerFiled_;
    bool stopped_ = false;
    AnswerTable<char> narrow_;
    AnswerTable<WideChar> wide_;
};

}  // namespace vtx
