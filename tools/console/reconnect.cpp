#include "tools/console/reconnect.h"

#include <algorithm>

namespace console {
namespace {

std::string GatewayName(const InstanceState& instance, int gateway) {
    return "instance " + std::to_string(instance.definition->driver_number) + " gateway " +
           std::to_string(gateway);
}

}  // namespace

GatewayReconnect::Lost* GatewayReconnect::Find(int32_t driver_number, int gateway, bool make) {
    std::lock_guard lock(mutex_);
    const auto key = std::make_pair(driver_number, gateway);
    if (make) {
        return &lost_[key];
    }
    const auto found = lost_.find(key);
    return found == lost_.end() ? nullptr : &found->second;
}

void GatewayReconnect::Forget(int32_t driver_number, int gateway) {
    std::lock_guard lock(mutex_);
    lost_.erase(std::make_pair(driver_number, gateway));
}

std::vector<std::string> GatewayReconnect::Scan(InstanceState& instance, Clock::time_point now) {
    std::vector<std::string> lines;
    if (!instance.running) {
        return lines;
    }
    const int32_t number = instance.definition->driver_number;
    for (size_t at = 0; at < instance.gateway_status.size(); ++at) {
        const int gateway = static_cast<int>(at) + 1;
        Lost* lost = Find(number, gateway, false);
        // Result 2: nothing sent or no answer. An answer with an error code still means
        // the channels work.
        if (instance.gateway_status[at].result != krogw::kResultFailed) {
            if (lost != nullptr) {
                lines.push_back(GatewayName(instance, gateway) + " answers again");
                Forget(number, gateway);
            }
            continue;
        }
        if (lost == nullptr) {
            lost = Find(number, gateway, true);
            lost->next_try = now + lost->pause;
            lines.push_back(GatewayName(instance, gateway) + " does not answer; reconnect in " +
                            std::to_string(lost->pause.count()) + " s");
        } else if (now >= lost->next_try) {
            lines.push_back(Try(instance, gateway, *lost, now));
        }
    }
    return lines;
}

std::string GatewayReconnect::Try(InstanceState& instance, int gateway, Lost& lost,
                                  Clock::time_point now) {
    ++lost.tries;
    krogw::ReconnectArguments reconnect{gateway == 1 ? krogw::PrimaryGatewayUnit
                                                     : krogw::SecondaryGatewayUnit};
    const int32_t result = host_.Call(instance, krogw::kReconnectGateway, &reconnect);
    std::string line =
        GatewayName(instance, gateway) + " reconnect try " + std::to_string(lost.tries) + ": ";
    // The pause goes back to the first only when a status read answers: a gateway that
    // takes the channels but does not answer is not asked every second.
    lost.pause = std::min(lost.pause * 2, kLongestPause);
    lost.next_try = now + lost.pause;
    if (result == krogw::kResultDone) {
        return line + "done";
    }
    return line + "failed (result " + std::to_string(result) + "); next try in " +
           std::to_string(lost.pause.count()) + " s";
}

}  // namespace console
