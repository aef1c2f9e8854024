// A wait in milliseconds as select's time-out takes it: whole seconds and the
// microseconds that remain.
#pragma once

#include <cstdint>

namespace krogw {

struct SelectWait {
    int32_t seconds;
    int32_t microseconds;
};

inline SelectWait SplitWaitMs(int32_t milliseconds) {
    return {milliseconds / 1000, (milliseconds % 1000) * 1000};
}

}  // namespace krogw
