// Writes to RTU tables, asked for by the host's write requests, and the command
// queue's draining by the command thread.
#pragma once

#include <cstdint>

#include "context/command_write.h"
#include "context/context.h"
#include "exchange/host_result.h"

namespace krogw {

// Sends the write of a table element gate (opcode 258 or 259) and waits for its
// confirmation, or queues it when the in-flight limit is reached. Returns the reported
// result of the RTU's state, not done or failed.
HostResult RequestCommand(DriverContext& context, const CommandWrite& write);

// Sends the oldest queued write through RequestCommand; called by the command thread.
HostResult DrainCommandQueue(DriverContext& context);

}  // namespace krogw
