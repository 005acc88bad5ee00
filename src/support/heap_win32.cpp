#include <windows.h>

#include "support/heap.h"

namespace vtx {

// The process heap: it exists before the library is loaded and after it is
// gone, so nothing of it has to be set up or given back at load or unload.
void* AllocateBlock(std::size_t bytes) noexcept { return ::HeapAlloc(::GetProcessHeap(), 0, bytes); }

void FreeBlock(void* block) noexcept {
    if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}

}  // namespace vtx
