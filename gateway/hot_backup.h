// Hot backup: moving the traffic from the active gateway to the other one.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

inline constexpr uint8_t kAutomaticSwitch = 0;
inline constexpr uint8_t kManualSwitch = 1;

// Holds the threads off, waits its turn at the sync channel (SyncTurnWaitMs at most),
// forgets the polls and the writes the old gateway was to answer (queued writes stay,
// for the new active gateway), makes the other gateway's sockets the active set and
// tells it to be active. On success the old gateway is told to stand by, and an
// automatic switch-over closes its status socket. Returns 0 after a switch-over and
// after a failed one from 2 to 1; 1 after a failed one from 1 to 2, when active_gateway
// is neither 1 nor 2, when a reconnect or another switch-over is running, and when the
// sync channel's turn did not come (nothing switched, nothing sent).
int32_t SwitchGateway(DriverContext& context, uint8_t manual);

// The automatic SwitchGateway of a write sender whose send failed: it holds the sync
// channel's turn already.
int32_t SwitchGatewayHoldingSync(DriverContext& context);

// The switch-over triggers that need both gateways usable: a secondary is configured
// and a status read of each has succeeded since the last switch-over.
bool BothGatewaysUsable(const DriverContext& context);

}  // namespace krogw
