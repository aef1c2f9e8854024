// Pass and fail counts of a plain test program: one line per failure, a summary at the
// end, and the exit status from it.
#pragma once

#include <cstdio>
#include <string>

namespace krogw::wintest {

inline int g_passed = 0;
inline int g_failed = 0;

inline bool Check(bool ok, const std::string& what) {
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::printf("FAILED: %s\n", what.c_str());
        std::fflush(stdout);
    }
    return ok;
}

inline int Summary() {
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}

}  // namespace krogw::wintest
