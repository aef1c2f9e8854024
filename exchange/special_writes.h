// The two writes sent without the queue, each on a channel of its own for the time of
// its exchange: the RTU's clock and SetCall.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "exchange/host_result.h"

namespace krogw {

// Sets the clock of RTU `rtu` to the PC's local time (opcode 1028), in its turn at the
// sync channel; 1 without sending when the turn does not come within SyncTurnWaitMs.
HostResult SetRtuTime(DriverContext& context, int32_t rtu);

// Sends the SetCall message (opcode 513) with the six stored parameters. Done or not
// done.
HostResult SendSetCall(DriverContext& context);

}  // namespace krogw
