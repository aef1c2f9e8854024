// The host's side of a gateway that stops answering: the driver reopens a gateway only
// when asked (the reconnect request), so the console host asks, with a pause that grows
// from one second to a minute while the gateway stays away.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
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

    // Looks at the instance's gateway status reads of this scan and asks for the
    // reconnects that are due; returns one line for each try, its outcome, and each
    // gateway lost or back. Instances are scanned side by side.
    std::vector<std::string> Scan(InstanceState& instance, Clock::time_point now);

  private:
    struct Lost {
        int tries = 0;
        std::chrono::seconds pause = kFirstPause;
        Clock::time_point next_try{};
    };

    std::string Try(InstanceState& instance, int gateway, Lost& lost, Clock::time_point now);

    // The gateway's entry, made when `make`; nullptr when there is none.
    Lost* Find(int32_t driver_number, int gateway, bool make);
    void Forget(int32_t driver_number, int gateway);

    HostInstances& host_;
    // By driver number and gateway; an entry is used only by its instance's scan, the map
    // itself by all of them.
    std::mutex mutex_;
    std::map<std::pair<int32_t, int>, Lost> lost_;
};

}  // namespace console
