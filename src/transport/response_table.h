// Answers filed under their request IDs until the export that asked takes
// them. The table only keeps answers somebody waits for: an export registers
// its request ID before it sends (an answer may arrive during the send) and
// unregisters it when it is done. Answers that arrive late, that nobody asked
// for, or that repeat one already taken are released at once, so the table
// never grows beyond the requests in flight.
//
// Not locked itself: BridgeContext calls every member under its own
// in-process lock.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "transport/filed_answer.h"

namespace vtx {

template <class Answer>
class ResponseTable {
public:
    using Key = std::basic_string<typename Answer::Char>;

    // One more export waits for `key`. Requests that fell back to a shared
    // request ID register the same key more than once.
    void Expect(const Key& key) { ++entries_[key].waiters; }

    // Files an answer under its request ID if somebody waits for it. Returns
    // what must be released (a replaced or an unwanted answer), so the caller
    // can release it after leaving the lock.
    std::unique_ptr<Answer> File(std::unique_ptr<Answer> answer) {
        auto found = entries_.find(answer->requestId);
        if (found == entries_.end()) return answer;
        std::swap(found->second.answer, answer);
        return answer;
    }

    bool Has(const Key& key) const {
        const auto found = entries_.find(key);
        return found != entries_.end() && found->second.answer != nullptr;
    }

    // Hands the filed answer to one waiting export and ends that export's
    // registration in the same step, so two exports sharing a key can never
    // both see one answer.
    std::unique_ptr<Answer> Take(const Key& key) {
        auto found = entries_.find(key);
        if (found == entries_.end() || !found->second.answer) return nullptr;
        auto answer = std::move(found->second.answer);
        Release(found);
        return answer;
    }

    // Ends one registration without an answer (the wait ran out or the send
    // failed). Returns an answer filed meanwhile for the caller to release
    // outside the lock, once no other export waits for the key.
    std::unique_ptr<Answer> Forget(const Key& key) {
        auto found = entries_.find(key);
        if (found == entries_.end()) return nullptr;
        return Release(found);
    }

    std::size_t Size() const { return entries_.size(); }

private:
    struct Entry {
        int waiters = 0;
        std::unique_ptr<Answer> answer;
    };
    using Map = std::unordered_map<Key, Entry>;

    std::unique_ptr<Answer> Release(typename Map::iterator found) {
        if (--found->second.waiters > 0) return nullptr;
        auto leftover = std::move(found->second.answer);
        entries_.erase(found);
        return leftover;
    }

    Map entries_;
};

}  // namespace vtx
