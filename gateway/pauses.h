// The fixed pauses of connecting and switching gateways. The driver keeps the defaults;
// tests and demos that run many reconnects and switch-overs shorten them.
#pragma once

#include <cstdint>

namespace krogw {

// Between closing a gateway's sockets and reopening it.
inline constexpr uint32_t kReconnectPauseMs = 20;
// Between holding the threads off and changing the active set, so that they finish
// what they are doing.
inline constexpr uint32_t kSwitchOverPauseMs = 1000;

struct GatewayPauses {
    uint32_t connect_settle_ms;  // between a channel's two connects (gateway/channel.h)
    uint32_t reconnect_ms;
    uint32_t switch_over_ms;
};

GatewayPauses CurrentGatewayPauses();
// For the whole process; every instance uses them from its next pause on.
void SetGatewayPauses(const GatewayPauses& pauses);

}  // namespace krogw
