// Writes to RTU tables, RTU clock setting and SetCall, asked for by the host's
// write requests, and the command queue's draining by the command thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "context/context.h"
#include "include/krogw/abi.h"

namespace krogw {

// Sends the write of a table element gate (opcode 258 or 259) and waits for its
// confirmation, or queues it when the in-flight limit is reached. Returns the RTU's
// reported state, 1 or 2.
uint8_t RequestCommand(GateIoArguments& write, DriverContext& context);

// Sends the oldest queued write through RequestCommand; called by the command thread.
uint8_t DrainCommandQueue(DriverContext& context);

// The command thread's handling of a late reply to a write (258 or 259).
void HandleCommandReply(const uint8_t* message, size_t received, DriverContext& context);

// Sets the clock of the gate's RTU to the PC's local time (opcode 1028).
uint8_t SetRtuTime(GateIoArguments& write, DriverContext& context);

// Sends the SetCall message (opcode 513) with the six stored parameters. 0 or 1.
uint8_t SendSetCall(GateIoArguments& write, DriverContext& context);

}  // namespace krogw
