#include "tools/console/reconnect.h"

#include <algorithm>

namespace console {
namespace {

std::string GatewayName(const InstanceState& instance, int gateway) {
    return "instance " + std::to_string(instance.definition->driver_number) + " gateway " +
           std::to_string(gateway);
}

}  // namespace

std::vector<std::string> GatewayReconnect::Scan(Clock::time_point now) {
    std::vector<std::string> lines;
    for (InstanceState& instance : host_.instances()) {
        if (!instance.running) {
            continue;
        }
        for (size_t at = 0; at < instance.gateway_status.size(); ++at) {
            const int gateway = static_cast<int>(at) + 1;
            const auto key = std::make_pair(instance.definition->driver_number, gateway);
            const auto found = lost_.find(key);
            // Result 2: nothing sent or no answer. An answer with an error code still
            // means the channels work.
            if (instance.gateway_status[at].result != krogw::kResultFailed) {
                if (found != lost_.end()) {
                    lines.push_back(GatewayName(instance, gateway) + " answers again");
                    lost_.erase(found);
                }
                continue;
            }
            if (found == lost_.end()) {
                Lost& lost = lost_[key];
                lost.next_try = now + lost.pause;
                lines.push_back(GatewayName(instance, gateway) + " does not answer; reconnect in " +
                                std::to_string(lost.pause.count()) + " s");
            } else if (now >= found->second.next_try) {
                lines.push_back(Try(instance, gateway, found->second, now));
            }
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
