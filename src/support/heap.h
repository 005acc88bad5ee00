// Heap blocks for the library's own data. The DLL carries no C++ runtime, so
// it has no operator new: an object is built in a block of the process heap
// and owned by Owned<T>, whose deleter destroys it and frees the block. An
// allocation that fails gives null, which the caller turns into its own
// failure result; nothing is ever thrown.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

namespace vtx {

// A block of `bytes` bytes, aligned for any of the library's types; null when
// no memory is left.
[[nodiscard]] void* AllocateBlock(std::size_t bytes) noexcept;
void FreeBlock(void* block) noexcept;

template <class T>
struct DestroyAndFree {
    void operator()(T* object) const noexcept {
        object->~T();
        FreeBlock(object);
    }
};

template <class T>
using Owned = std::unique_ptr<T, DestroyAndFree<T>>;

// A T built in a block of its own; null when no memory is left.
template <class T, class... Args>
[[nodiscard]] Owned<T> MakeOwned(Args&&... args) noexcept {
    void* block = AllocateBlock(sizeof(T));
    if (block == nullptr) return nullptr;
    return Owned<T>(::new (block) T(std::forward<Args>(args)...));
}

}  // namespace vtx
