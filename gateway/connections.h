// The connections to the primary (gateway 1) and secondary (gateway 2) gateways: each
// gateway's three channels and its mode, at start-up and on reopening.
#pragma once

#include <cstdint>

#include "context/context.h"

namespace krogw {

// Opens gateway 1's status, sync and burst channels and sets its mode: active when it
// is the active gateway (its sockets then become the active set, even when the mode
// was not taken), standby otherwise. A channel that fails to open closes all three;
// a refused mode leaves them open. True when the channels are open and the mode set.
bool OpenPrimary(DriverContext& context);

// The same for gateway 2; its mode goes on its sync channel.
bool OpenSecondary(DriverContext& context);

// Start-up: starts the socket library, opens gateway 1, makes it the active set, opens
// gateway 2 when one is configured and tells the active set's gateway to be active.
// False when the socket library, the primary without a secondary, or the last mode
// failed.
bool ConnectGateways(DriverContext& context);

// Closes the three sockets of gateway 1 or 2 (any number but 1 means 2) and, when it
// is the active gateway, empties the active set's sockets (the channel id stays).
void CloseGatewaySockets(DriverContext& context, uint8_t gateway);

// Closes the three sockets of gateway 1 or 2, nothing more.
void CloseGatewayChannels(DriverContext& context, uint8_t gateway);

}  // namespace krogw
