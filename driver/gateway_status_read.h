// The read of a gateway status gate: the query with one retry, and the switch-over
// or closing that a silent or confused gateway calls for.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw {

int32_t ReadGatewayStatus(DriverContext& context, GateIoArguments& io);

}  // namespace krogw
