// Polls of RTU table rows asked for by the host's requests, the poll queue's
// draining by the burst thread, and the RTU status read.
#pragma once

#include <cstdint>

#include "context/context.h"
#include "exchange/host_result.h"

namespace krogw {

struct PollAnswer {
    HostResult result;  // the reported result of the RTU's state, or failed
    bool sent;          // the poll went out now, neither queued nor failed
};

// Sends a poll (opcode 257 or 261) of the rows that `subaddress` packs, or queues it
// when the in-flight limit is reached.
PollAnswer RequestPoll(DriverContext& context, uint32_t opcode, int32_t rtu, int32_t subaddress);

// Sends the oldest queued poll through RequestPoll; called by the burst thread.
HostResult DrainPollQueue(DriverContext& context);

// The word an RTU status gate shows (1 active, 3 disabled, 0 otherwise), after querying
// the status of the gateway that `unit` names; 0, and the RTU unconfirmed, when the
// gateway does not answer.
uint16_t QueryRtuState(DriverContext& context, int32_t unit, int32_t rtu);

}  // namespace krogw
