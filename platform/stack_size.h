#pragma once

#include <cstddef>

namespace krogw {

// A POSIX thread's stack is all it gets: the driver's threads keep their big buffers
// in the context, but they format log lines through the host and call into the C
// library, which a 32 KiB stack does not hold.
inline constexpr size_t kPosixThreadStackFloor = size_t{256} << 10;

// The stack to ask for: at least `floor`, and more in sanitizer builds, whose
// runtimes keep their own frames on the thread's stack.
inline size_t EffectiveStackBytes(size_t requested, size_t floor) {
#if defined(KROGW_SANITIZER_BUILD)
    constexpr size_t kSanitizerStack = size_t{1} << 20;
    floor = floor < kSanitizerStack ? kSanitizerStack : floor;
#endif
    return requested < floor ? floor : requested;
}

}  // namespace krogw
