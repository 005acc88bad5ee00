#include <cstdarg>
#include <cstdio>

#include "bench_context.h"

namespace vtx::bench {

void Progress(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fflush(stderr);
}

}  // namespace vtx::bench
