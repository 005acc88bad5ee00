// The reliability suite's own main: GoogleTest's flags plus --scale=N, which
// runs every bounded amount N times over for a soak run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vtx::test {
extern int reliabilityScale;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* fromEnvironment = std::getenv("VTX_RELIABILITY_SCALE")) {
        vtx::test::reliabilityScale = std::max(1, std::atoi(fromEnvironment));
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--scale=", 8) == 0) vtx::test::reliabilityScale = std::max(1, std::atoi(argv[i] + 8));
    }
    return RUN_ALL_TESTS();
}
