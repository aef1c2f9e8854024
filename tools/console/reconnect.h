// The host's side of a gateway that stops answering: the driver reopens a gateway only
// when asked (the reconnect request), so the console host asks, with a pause that grows
// from one second to a minute while the gateway stays away.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/console/host_instances.h"

namespace console {

class GatewayReconnect {
  public:
    static constexpr std::chrono::seconds kFirstPause{1};
    static constexpr std::chrono::seconds kLongestPause{60};

    explicit GatewayReconnect(HostInstances& host) : host_(host) {}

    // Looks at the gateway status reads of this scan and asks for the reconnects that
    // are due; returns one line for each try, its outcome, and each gateway lost or back.
    std::vector<std::string> Scan(Clock::time_point now);

  private:
    struct Lost {
        int tries = 0;
        std::chrono::seconds pause = kFirstPause;
        Clock::time_point next_try{};
    };

    std::string Try(InstanceState& instance, int gateway, Lost& lost, Clock::time_point now);

    HostInstances& host_;
    std::map<std::pair<int32_t, int>, Lost> lost_;  // by driver number and gateway
};

}  // namespace console
