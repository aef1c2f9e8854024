#include "tools/gwsim/stop_schedule.h"

#include <algorithm>

namespace gwsim {

bool IsStoppedAt(const std::vector<ScheduledStop>& stops, int gateway,
                 std::chrono::milliseconds elapsed) {
    return std::any_of(stops.begin(), stops.end(), [&](const ScheduledStop& stop) {
        return stop.gateway == gateway && stop.at <= elapsed && elapsed < stop.at + stop.length;
    });
}

std::optional<std::chrono::milliseconds> NextStopChange(const std::vector<ScheduledStop>& stops,
                                                        std::chrono::milliseconds elapsed) {
    std::optional<std::chrono::milliseconds> next;
    for (const ScheduledStop& stop : stops) {
        for (const std::chrono::milliseconds change : {stop.at, stop.at + stop.length}) {
            if (change > elapsed && (!next || change < *next)) {
                next = change;
            }
        }
    }
    return next;
}

}  // namespace gwsim
