#pragma once

#include <cstdint>
#include <limits>

namespace krogw {

// The host gives reply time-outs in units of 10 ms; a huge value saturates instead
// of wrapping round to a negative wait.
inline int32_t MillisecondsFrom10msUnits(int32_t units) {
    const int64_t ms = static_cast<int64_t>(units) * 10;
    if (ms > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (ms < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(ms);
}

}  // namespace krogw
