// Writes to RTU tables, asked for by the host's write requests, and the command
// queue's draining by the command thread.
#pragma once

#include <cstdint>

#include "context/command_write.h"
#include "context/context.h"

namespace krogw {

// Sends the write of a table element gate (opcode 258 or 259) and waits for its
// confirmation, or queues it when the in-flight limit is reached. Returns the RTU's
// reported state, 1 or 2.
uint8_t RequestCommand(DriverContext& context, const CommandWrite& write);

// Sends the oldest queued write through RequestCommand; called by the command thread.
uint8_t DrainCommandQueue(DriverContext& context);

}  // namespace krogw
