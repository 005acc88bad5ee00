// The portable components' heap on the native test build.
#include <cstdlib>

#include "support/heap.h"

namespace vtx {

void* AllocateBlock(std::size_t bytes) noexcept { return std::malloc(bytes == 0 ? 1 : bytes); }

void FreeBlock(void* block) noexcept { std::free(block); }

}  // namespace vtx
