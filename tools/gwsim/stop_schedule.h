// When the gwsim command stops and starts its gateways again: the `stop` statements of a
// scenario, each a stretch of time, counted from start, during which one gateway is stopped.
#pragma once

#include <chrono>
#include <optional>
#include <vector>

namespace gwsim {

struct ScheduledStop {
    int gateway = 1;  // 1 for the first --address, 2 for the second
    std::chrono::milliseconds at{0};
    std::chrono::milliseconds length{0};
};

// True when `elapsed` lies inside one of the gateway's stops; overlapping stops join.
bool IsStoppedAt(const std::vector<ScheduledStop>& stops, int gateway,
                 std::chrono::milliseconds elapsed);
// The first moment after `elapsed` at which a stop begins or ends; nullopt when none does.
std::optional<std::chrono::milliseconds> NextStopChange(const std::vector<ScheduledStop>& stops,
                                                        std::chrono::milliseconds elapsed);

}  // namespace gwsim
