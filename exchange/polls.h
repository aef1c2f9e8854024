// Polls of RTU table rows asked for by the host's requests, the poll queue's
// draining by the burst thread, and the RTU status read.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw {

// Sends a poll (opcode 257 or 261) of the gate in the request, or queues it when
// the in-flight limit is reached. Returns the RTU's reported state, or 2.
uint8_t RequestPoll(uint32_t opcode, HostRequest& request);

// Sends the oldest queued poll through RequestPoll; called by the burst thread.
uint8_t DrainPollQueue(DriverContext& context);

// Writes the state of the RTU into the value word of the request's value buffer,
// after querying the primary gateway's status. Always 0.
int32_t ReadRtuState(HostRequest& request, int32_t rtu, DriverContext& context);

}  // namespace krogw
