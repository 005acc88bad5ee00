// A text the library keeps: its units in a heap block of its own, always
// terminated. Filling one can fail for want of memory, and says so; nothing
// is thrown.
#pragma once

#include <cstddef>
#include <cstring>

#include "support/heap.h"

namespace vtx {

template <class Char>
class OwnedText {
public:
    OwnedText() noexcept = default;
    OwnedText(OwnedText&& other) noexcept : units_(other.units_), length_(other.length_) {
        other.units_ = nullptr;
        other.length_ = 0;
    }
    OwnedText& operator=(OwnedText&& other) noexcept {
        if (this != &other) {
            FreeBlock(units_);
            units_ = other.units_;
            length_ = other.length_;
            other.units_ = nullptr;
            other.length_ = 0;
        }
        return *this;
    }
    OwnedText(const OwnedText&) = delete;
    OwnedText& operator=(const OwnedText&) = delete;
    ~OwnedText() { FreeBlock(units_); }

    // Room for `length` units and a terminator, every unit zero. False, the
    // text unchanged, when no memory is left.
    [[nodiscard]] bool Allocate(std::size_t length) noexcept {
        if (length >= static_cast<std::size_t>(-1) / sizeof(Char) - 1) return false;
        const std::size_t bytes = (length + 1) * sizeof(Char);
        auto* units = static_cast<Char*>(AllocateBlock(bytes));
        if (units == nullptr) return false;
        std::memset(static_cast<void*>(units), 0, bytes);
        FreeBlock(units_);
        units_ = units;
        length_ = length;
        return true;
    }

    // A copy of `length` units read from `bytes`, which need not be aligned
    // (they may come straight from another process's message).
    [[nodiscard]] bool AssignBytes(const void* bytes, std::size_t length) noexcept {
        if (!Allocate(length)) return false;
        if (length != 0) std::memcpy(static_cast<void*>(units_), bytes, length * sizeof(Char));
        return true;
    }

    // Never null: an empty text is a lone terminator.
    const Char* CStr() const noexcept {
        static constexpr Char kEmpty{};
        return units_ != nullptr ? units_ : &kEmpty;
    }
    // Null until the text was allocated.
    Char* Data() noexcept { return units_; }
    std::size_t Length() const noexcept { return length_; }

private:
    Char* units_ = nullptr;
    std::size_t length_ = 0;
};

}  // namespace vtx
