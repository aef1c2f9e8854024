#pragma once

#include <cstddef>

namespace krogw {

// Sanitizer runtimes keep their own frames on the thread's stack; only their builds
// get more than the driver asks for.
inline size_t EffectiveStackBytes(size_t requested) {
#if defined(KROGW_SANITIZER_BUILD)
    constexpr size_t kSanitizerStack = size_t{1} << 20;
    return requested < kSanitizerStack ? kSanitizerStack : requested;
#else
    return requested;
#endif
}

}  // namespace krogw
