// The mode and status exchanges with a gateway: set mode, gateway status and the
// gateway's channel status for one RTU.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "gateway/replies.h"
#include "platform/platform.h"

namespace krogw {

enum ExchangeResult : uint8_t {
    kExchangeDone = 0,  // answered with result_code 0 and the expected reply
    // answered with an error code or an unexpected reply, or not sent because another
    // exchange held the status channel too long
    kExchangeRefused = 1,
    kExchangeFailed = 2,  // not sent or not answered
};

// Tells the gateway to be active (kGatewayModePrimary) or standby
// (kGatewayModeSecondary), in the context's mode_message buffer. While the host is
// the standby (backup mode 1) nothing is sent and the result is kExchangeDone.
ExchangeResult SetGatewayMode(DriverContext& context, uint16_t channel_id, PlatformSocket socket,
                              uint8_t mode);

// Reads the status word of the gateway that `unit` names (0xFFF1 the secondary, any
// other value the primary), on that gateway's status channel in its turn; its lower 16
// bits land in *status_word when the result is kExchangeDone. A good reply for 0xFFF0
// or 0xFFF1 marks that gateway usable in gateway_ok and records its mode value (status
// word AND 5).
ExchangeResult QueryGatewayStatus(DriverContext& context, int32_t unit, uint16_t* status_word);

// Reads the active gateway's channel status for the RTU, on the active status channel
// in its turn; its five words land in `values` when the result is kExchangeDone.
ExchangeResult QueryRtuChannelStatus(DriverContext& context, uint16_t rtu,
                                     uint16_t (&values)[kRtuChannelStatusValues]);

}  // namespace krogw
